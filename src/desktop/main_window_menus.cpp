// The main window's menus, and the commands of the catalogue display, TLE and About menus.

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>

#include "astrometry/ui/frm_txt.h"
#include "base/ui/file_dialog.h"
#include "base/ui/long_task.h"
#include "desktop/form1.h"
#include "desktop/frame_viewer.h"
#include "desktop/frm_frame.h"
#include "desktop/frm_splash.h"
#include "desktop/frmp.h"
#include "desktop/main_window.h"
#include "desktop/satellite_windows.h"
#include "frameinfo/ui/frm_par.h"
#include "satdb/satdb.h"
#include "satdb/ui/frm_clear.h"
#include "satdb/ui/frm_dir.h"
#include "session/startup.h"

QAction* MainWindow::AddAction(QMenu* menu, const QString& name, const QString& text, void (MainWindow::*slot)(),
                               bool checkable) {
  QAction* action = menu->addAction(text);
  action->setObjectName(name);
  action->setCheckable(checkable);
  connect(action, &QAction::triggered, this, slot);
  actions_[name] = action;
  return action;
}

QAction* MainWindow::Action(const QString& name) const {
  auto it = actions_.find(name);
  return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::CreateMenus() {
  auto menu = [this](const QString& name, const QString& title) {
    QMenu* m = menuBar()->addMenu(title);
    m->setObjectName(name);
    return m;
  };
  QMenu* file = menu("mnuFile", QStringLiteral("Файл"));
  AddAction(file, "mnuOpenIm", QStringLiteral("Открыть кадр"), &MainWindow::OpenIm);
  AddAction(file, "mnuOpenInf", QStringLiteral("Открыть информационный файл"), &MainWindow::OpenInf);
  file->addSeparator();
  QAction* exit = file->addAction(QStringLiteral("Выход"));
  exit->setObjectName("mnuExit");
  connect(exit, &QAction::triggered, this, &QWidget::close);
  actions_["mnuExit"] = exit;

  QMenu* razm = menu("mnuRazm", QStringLiteral("Разметка"));
  AddAction(razm, "mnuView", QStringLiteral("Режим просмотра"), &MainWindow::View);
  AddAction(razm, "mnuStar", QStringLiteral("Режим разметки звезд"), &MainWindow::Star);
  AddAction(razm, "mnuTrek", QStringLiteral("Автоматическая разметка концов трека"), &MainWindow::Trek);
  AddAction(razm, "mnuMtrek", QStringLiteral("Ручная разметка концов трека"), &MainWindow::Mtrek);
  razm->addSeparator();
  AddAction(razm, "MnuParf", QStringLiteral("Параметры фрейма"), &MainWindow::Parf);
  razm->addSeparator();
  AddAction(razm, "mnuAutoStar", QStringLiteral("Автоматическая разметка звезд"), &MainWindow::AutoStars);
  AddAction(razm, "mnuAutoTrek", QStringLiteral("Автоматический поиск трека"), &MainWindow::AutoTrack);

  QMenu* ident = menu("mnuIdent", QStringLiteral("Идентификация"));
  AddAction(ident, "mnuStarId", QStringLiteral("Идентификация звезд"), &MainWindow::StarId);
  AddAction(ident, "mnuMesTrek", QStringLiteral("Измерить трек"), &MainWindow::MesTrek);
  AddAction(ident, "mnuSat", QStringLiteral("Поиск претендентов ИСЗ"), &MainWindow::Sat);
  ident->addSeparator();
  AddAction(ident, "mnuUserSat", QStringLiteral("Траектория конкретного ИСЗ"), &MainWindow::UserSat);
  AddAction(ident, "mnuSatN", QStringLiteral("Траектории нескольких ИСЗ"), &MainWindow::SatN);
  AddAction(ident, "mnuCrossings", QStringLiteral("Все ИСЗ в кадре"), &MainWindow::Crossings);
  ident->addSeparator();
  AddAction(ident, "mnuAuto", QStringLiteral("Автоматическая обработка"), &MainWindow::AutoProcess);
  AddAction(ident, "mnuIod", QStringLiteral("Создать IOD"), &MainWindow::Iod);

  QMenu* vis = menu("mnuVis", QStringLiteral("Визуализация каталога"));
  AddAction(vis, "mnuStarVis", QStringLiteral("Показать звезды каталога"), &MainWindow::StarVis, true);
  AddAction(vis, "mnuViewmag", QStringLiteral("Показать звездные величины"), &MainWindow::Viewmag, true);
  AddAction(vis, "mnuStarMinus", QStringLiteral("Уменьшить глубину каталога на 0.5 mag"), &MainWindow::StarMinus);
  AddAction(vis, "mnuStarPlus", QStringLiteral("Увеличить глубину каталога на 0.5 mag"), &MainWindow::StarPlus);

  QMenu* tle = menu("mnuTle", QStringLiteral("TLE"));
  AddAction(tle, "mnuLoadTleDir", QStringLiteral("Ввести TLE из файлов"), &MainWindow::LoadTleDir);
  AddAction(tle, "mnussr", QStringLiteral("Ввести ssr.txt"), &MainWindow::Ssr);
  AddAction(tle, "mnuVislist", QStringLiteral("Ввести vislist"), &MainWindow::Vislist);
  tle->addSeparator();
  AddAction(tle, "mnuClear", QStringLiteral("Очистка базы данных"), &MainWindow::Clear);

  // The tool windows a click on their close button hides, brought back.
  QMenu* windows = menu("mnuWindows", QStringLiteral("Окна"));
  AddAction(windows, "mnuShowPanel", QStringLiteral("Параметры"), &MainWindow::ShowPanelWindow);
  AddAction(windows, "mnuShowHint", QStringLiteral("Подсказка"), &MainWindow::ShowHintWindow);
  AddAction(windows, "mnuShowFragment", QStringLiteral("Фрагмент"), &MainWindow::ShowFragmentWindow);
  AddAction(windows, "mnuShowMeasurement", QStringLiteral("Измерение трека"), &MainWindow::ShowMeasurementWindow);
  connect(windows, &QMenu::aboutToShow, this, [this] {
    // Only what exists can come back: the fragment of an open frame, a measurement already made.
    Action("mnuShowFragment")->setEnabled(frame_.frameOpen);
    Action("mnuShowMeasurement")->setEnabled(textWindow_ && !textWindow_->Text().isEmpty());
  });

  QMenu* about = menu("mnuAbout", QStringLiteral("О программе"));
  AddAction(about, "mnuOrvia", QStringLiteral("Описание"), &MainWindow::Orvia);
  AddAction(about, "mnuVer", QStringLiteral("Версия"), &MainWindow::Ver);
}

void MainWindow::ApplyCatalogueResult(const CatalogueCommandResult& result) {
  if (!result.message.empty()) Say(QString::fromStdString(result.message));
  if (result.removeMarkers) form1_->RemoveOverlay(OverlayKind::CatalogueStars);
  if (result.removeLabels) form1_->RemoveOverlay(OverlayKind::MagnitudeLabels);
  if (result.overlay.drawn) {
    DeriveFrameTimes(frame_.info);  // a drawing refreshes the frame's derived times from the typed ones
    form1_->RemoveOverlay(OverlayKind::CatalogueStars);
    form1_->RemoveOverlay(OverlayKind::MagnitudeLabels);
    const float scale = ViewState().displayScale;
    for (const CatalogueMarker& marker : result.overlay.markers) {
      if (!marker.visible) continue;
      OverlayItem item;
      item.centre = QPointF(marker.x, marker.y);
      item.sideScreen = 2 * CatalogueMarkerHalfSide(marker.magnitude, scale);
      item.colour = ToQColor(marker.colour);
      form1_->AddOverlay(OverlayKind::CatalogueStars, item);
    }
    // A magnitude stands right of its star's square, level with the square's top.
    for (const MagnitudeLabel& label : result.overlay.labels) {
      const double beside = CatalogueMarkerHalfSide(label.magnitude, scale) * static_cast<double>(scale);
      OverlayItem item;
      item.centre = QPointF(label.x + beside, label.y - beside);
      item.text = QString::fromStdString(label.text);
      item.colour = ToQColor(label.colour);
      form1_->AddOverlay(OverlayKind::MagnitudeLabels, item);
    }
    if (panel_ && !result.overlay.depthText.empty())
      panel_->SetProgramRow(9, QString::fromStdString(result.overlay.depthText));
  }
  Action("mnuStarVis")->setChecked(result.shownChecked);
  Action("mnuViewmag")->setChecked(result.magnitudesChecked);
}

void MainWindow::StarVis() {
  ApplyCatalogueResult(ToggleCatalogueStars(CatalogueFrameOf(frame_, app_), catalogueDisplay_));
}

void MainWindow::Viewmag() {
  ApplyCatalogueResult(ToggleMagnitudeLabels(CatalogueFrameOf(frame_, app_), catalogueDisplay_));
}

void MainWindow::StarMinus() {
  ApplyCatalogueResult(DecreaseCatalogueDepth(CatalogueFrameOf(frame_, app_), catalogueDisplay_));
}

void MainWindow::StarPlus() {
  ApplyCatalogueResult(IncreaseCatalogueDepth(CatalogueFrameOf(frame_, app_), catalogueDisplay_));
}

void MainWindow::LoadTleDir() {
  if (!Guarded()) return;
  if (app_.longTaskRunning) return;  // an import is running: its window stays until it is over
  if (tleWindow_) tleWindow_->close();
  auto* window = new FrmDir(TaskContextOf(), this);
  window->setAttribute(Qt::WA_DeleteOnClose);
  RememberTleFolder(window);
  window->show();
  tleWindow_ = window;
}

void MainWindow::RememberTleFolder(FrmDir* window) {
  if (!lastTleDir_.isEmpty() && QFileInfo(lastTleDir_).isDir()) window->SetDirectory(lastTleDir_);
  connect(window, &FrmDir::FolderUsed, this, [this](const QString& dir) {
    if (dir == lastTleDir_) return;
    lastTleDir_ = dir;
    StoreRememberedUse();
  });
}

void MainWindow::RunImport(const QString& progressText, const QString& filter, const QString& failure, bool ssr) {
  const QString path = ChooseOpenFile(this, QStringLiteral("Открыть файл"), StartFolder(lastNamesDir_), filter);
  if (path.trimmed().isEmpty()) return;
  lastNamesDir_ = QFileInfo(path.trimmed()).absolutePath();
  const std::string file = path.trimmed().toStdString();
  NamesImportResult imported;
  {
    LongTaskGuard guard(LongTaskFlags(), progress_, progressText, true);
    imported = ssr ? ImportSsr(file, app_.appDir, guard.Task()) : ImportMagnitudes(file, app_.appDir, guard.Task());
  }
  if (!imported) Say(imported.message.empty() ? failure : QString::fromStdString(imported.message));
}

void MainWindow::Ssr() {
  if (!Guarded()) return;
  RunImport(QStringLiteral("Ввод ssr"), QStringLiteral("txt(*.txt)"),
            QStringLiteral("Произошла ошибка при чтении ssr-файла"), true);
}

void MainWindow::Vislist() {
  if (!Guarded()) return;
  RunImport(QStringLiteral("Ввод vislist"), QStringLiteral("*.*"), QStringLiteral("Произошла ошибка при чтении файла"),
            false);
}

void MainWindow::Clear() {
  if (app_.longTaskRunning) return;  // a long task is running: a second one may not start inside it
  if (cleanupWindow_) cleanupWindow_->close();
  auto* window = new FrmClear(TaskContextOf(), this);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
  cleanupWindow_ = window;
}

void MainWindow::Orvia() {
  const QString help = QDir::toNativeSeparators(QString::fromStdString(ProgramFilePath(app_, kHelpFileName)));
  if (!QFileInfo::exists(help))
    return Say(QStringLiteral("Файл справки отсутствует.\r\nОн должен лежать здесь: %1 (он есть в папке data "
                              "исходных текстов программы).")
                   .arg(help));
  if (!OpenDocument(help))
    Say(QStringLiteral("Не удалось открыть описание: не найдена программа для просмотра страниц HTML.\r\n"
                       "Откройте файл в браузере: %1")
            .arg(help));
}

void MainWindow::Crossings() {
  if (!Allowed({Requirement::FrameOpen})) return;
  if (!Collect(true)) return;
  if (!Allowed(kCrossingRequirements)) return;
  satellites_->OpenCrossings();
}

void MainWindow::Ver() {
  auto* splash = new FrmSplash(this);
  splash->adjustSize();
  splash->move(x() + width() / 3, y() + height() / 3);
  splash->show();
  splash->setFocus();
}

namespace {

// Shows a hidden tool window again where it was, in front.
void Reopen(QWidget* window) {
  if (!window) return;
  window->showNormal();
  window->raise();
  window->activateWindow();
}

}  // namespace

void MainWindow::ShowPanelWindow() {
  Reopen(panel_);
}

void MainWindow::ShowHintWindow() {
  Reopen(hint_);
}

void MainWindow::ShowFragmentWindow() {
  if (frame_.frameOpen) Reopen(fragment_);
}

void MainWindow::ShowMeasurementWindow() {
  if (textWindow_ && !textWindow_->Text().isEmpty()) Reopen(textWindow_);
}
