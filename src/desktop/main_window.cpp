#include "desktop/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QScreen>
#include <QTimer>
#include <filesystem>

#include "astrometry/asterism.h"
#include "astrometry/identify.h"
#include "astrometry/moon_sun.h"
#include "astrometry/overlay.h"
#include "astrometry/pattern_index.h"
#include "astrometry/track.h"
#include "astrometry/ui/frm_txt.h"
#include "base/numbers.h"
#include "base/ui/file_dialog.h"
#include "base/ui/frmz.h"
#include "base/ui/long_task.h"
#include "base/ui/message.h"
#include "base/ui/owned_window.h"
#include "frameinfo/info_file.h"
#include "frameinfo/ui/frm_exif.h"
#include "frameinfo/ui/frm_par.h"
#include "image/decode.h"
#include "image/raster.h"
#include "desktop/satellite_windows.h"
#include "satdb/satdb.h"
#include "satdb/ui/frm_clear.h"
#include "satdb/ui/frm_dir.h"
#include "session/commands.h"
#include "session/frame_session.h"
#include "session/remembered_use.h"
#include "session/startup.h"
#include "desktop/form1.h"
#include "desktop/frame_viewer.h"
#include "desktop/frm_frame.h"
#include "desktop/frm_nast.h"
#include "desktop/frm_splash.h"
#include "desktop/frmp.h"

namespace {


// Lets the window serve its events between pieces of a short task that has no progress window.
class EventLoopTask final : public TaskControl {
public:
  void Yield() override { QApplication::processEvents(); }
};

}  // namespace

MainWindow::MainWindow(const QString& appDir, QWidget* parent) : QMainWindow(parent) {
  setObjectName("MainWindow");
  auto* workspace = new QWidget(this);
  workspace->setAutoFillBackground(true);
  QPalette shade = workspace->palette();
  shade.setColor(QPalette::Window, QColor(128, 128, 128));
  workspace->setPalette(shade);
  setCentralWidget(workspace);
  setWindowTitle(QStringLiteral("Orvia"));
  app_.appDir = WithTrailingSeparator(QDir::toNativeSeparators(QDir(appDir).absolutePath()).toStdString());
  app_.lastImageDir = app_.appDir;
  CreateMenus();

  hint_ = new Frmp(this);
  progress_ = new Frmz(app_.longTaskRunning, this);
  form1_ = new Form1(this);
  fragment_ = new FrmFrame(this);
  ViewerHooks hooks;
  hooks.say = [this](const QString& text) { Say(text); };
  hooks.hint = [this](const QString& a, const QString& b, const QString& c) { ShowHint(a, b, c); };
  hooks.starMarked = [this](const StarStep& step) { ShowStarMark(step.detection); };
  hooks.trackEndMarked = [this](const TrackEndStep& step) { ShowTrackEndAddition(step.addition); };
  hooks.trajectoryPoints = [this]() -> const std::vector<TrajectoryScreenPoint>& { return trajectoryPoints_; };
  viewer_ = std::make_unique<FrameViewer>(session_, form1_, fragment_, std::move(hooks));
  connect(form1_, &Form1::CloseRequested, this, &MainWindow::CloseFrame);
  CreateSatelliteWindows();
}

MainWindow::~MainWindow() = default;

void MainWindow::CreateSatelliteWindows() {
  SatelliteContext context{.session = session_, .progress = progress_, .owner = this};
  context.collectStrict = [this] { return Collect(true); };
  context.showTrajectories = [this] { ShowTrajectories(); };
  context.showTrackEnds = [this] { ShowTrackEnds(); };
  context.hint = [this](const QString& a, const QString& b, const QString& c) { ShowHint(a, b, c); };
  context.place = [this](QWidget* window) { PlaceClearOfFrame(window, BesidePanel()); };
  satellites_ = std::make_unique<SatelliteWindows>(std::move(context));
}

void MainWindow::ShowTrajectories() {
  form1_->RemoveOverlay(OverlayKind::TrajectoryPoints);
  form1_->RemoveOverlay(OverlayKind::TrajectoryLabels);
  trajectoryPoints_.clear();
  const double scale = frame_.displayScale;
  for (const TrajectoryMark& mark : frame_.satellites.marks) {
    OverlayItem item;
    item.centre = QPointF(mark.x * scale, mark.y * scale);
    item.sideScreen = 2 * mark.size;
    item.colour = ToQColor(mark.colour);
    form1_->AddOverlay(OverlayKind::TrajectoryPoints, item);
    trajectoryPoints_.push_back(TrajectoryScreenPoint{mark.x, mark.y, mark.timeText});
  }
  for (const TrajectoryLabel& label : frame_.satellites.labels) {
    OverlayItem item;
    item.centre = QPointF(label.x * scale, label.y * scale);
    item.text = QString::fromStdString(label.text);
    item.colour = ToQColor(label.colour);
    form1_->AddOverlay(OverlayKind::TrajectoryLabels, item);
  }
  if (trajectoryPoints_.empty()) form1_->HideTimeLabel();
}

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
  ident->addSeparator();
  AddAction(ident, "mnuAuto", QStringLiteral("Автоматическая обработка"), &MainWindow::AutoProcess);

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

  QMenu* about = menu("mnuAbout", QStringLiteral("О программе"));
  AddAction(about, "mnuOrvia", QStringLiteral("Описание"), &MainWindow::Orvia);
  AddAction(about, "mnuVer", QStringLiteral("Версия"), &MainWindow::Ver);
}

void MainWindow::Say(const QString& text) {
  ShowMessage(text, kMessageCaption, MessageButtons::Ok, this);
}

QPointF MainWindow::TrackEndCentre(int slot) const {
  const TrackPoint& end = frame_.trackEnds[static_cast<std::size_t>(std::clamp(slot, 1, 2))];
  return QPointF(end.x, end.y);
}

void MainWindow::DrawOutline(OverlayKind kind, const MarkOutline& outline, std::optional<QPointF> imageCentre) {
  OverlayItem item;
  item.screenRect = QRect(outline.left, outline.top, outline.side, outline.side);
  if (imageCentre) {  // drawn on the frame's own pixels when the frame window is zoomed in
    item.centre = *imageCentre;
    item.sideImage = outline.side * static_cast<double>(frame_.displayScale);
  }
  item.colour = ToQColor(outline.colour);
  form1_->AddOverlay(kind, item);
}

void MainWindow::ShowStarMark(const StarDetection& found) {
  DrawOutline(OverlayKind::StarMarks, found.mark, QPointF(found.sx, found.sy));
  if (panel_) panel_->SetProgramRow(1, QString::fromStdString(FormatNumber(frame_.starCount(), "0")));
}

void MainWindow::ShowTrackEnds() {
  form1_->RemoveOverlay(OverlayKind::TrackEnds);
  for (int slot = 1; slot <= frame_.trackEnds.count; ++slot)
    DrawOutline(OverlayKind::TrackEnds, DrawTrackEnd(frame_.trackEnds, frame_.displayScale, app_.palette, slot),
                TrackEndCentre(slot));
}

void MainWindow::ShowTrackEndAddition(const TrackEndAddition& addition) {
  if (addition.added) DrawOutline(OverlayKind::TrackEnds, addition.mark, TrackEndCentre(frame_.trackEnds.count));
  if (addition.showHint)
    ShowHint(QString::fromStdString(addition.hintLines[0]), QString::fromStdString(addition.hintLines[1]),
             QString::fromStdString(addition.hintLines[2]));
}

void MainWindow::ShowHint(const QString& line1, const QString& line2, const QString& line3) {
  hint_->ShowHint(line1, line2, line3);
}

bool MainWindow::TakeInstanceLock() {
  // Keyed on the canonical path, so that a symbolic link to the directory names the same directory.
  const QString canonical = QFileInfo(QString::fromStdString(app_.appDir)).canonicalFilePath();
  const QString keyPath = canonical.isEmpty() ? QString::fromStdString(app_.appDir) : canonical;
  const QByteArray key = QCryptographicHash::hash(keyPath.toUtf8(), QCryptographicHash::Sha1);
  instanceLock_ = std::make_unique<QLockFile>(QDir::temp().filePath("orvia-" + key.toHex().left(16) + ".lock"));
  instanceLock_->setStaleLockTime(0);
  if (instanceLock_->tryLock(0)) return true;
  instanceLock_.reset();
  return false;
}

bool MainWindow::StartUp() {
  if (startedUp_) return !shutDown_;
  startedUp_ = true;
  if (!TakeInstanceLock()) {
    Say(QStringLiteral("Программа уже запущена!"));
    shutDown_ = true;  // this process ends: it must not touch the database the other one works on
    return false;
  }
  // Top-left corner and the whole screen, also where no window manager maximises windows.
  if (const QScreen* screen = QApplication::primaryScreen()) setGeometry(screen->availableGeometry());
  setWindowState(windowState() | Qt::WindowMaximized);

  panel_ = new FrmPar(this);
  panel_->SetAppDir(app_.appDir);
  connect(panel_, &FrmPar::StationChosen, this, [this](std::int16_t code) { frame_.info.stationCode = code; });
  connect(panel_, &FrmPar::VisibilityChanged, this,
          [this](bool consider) { frame_.info.considerVisibility = consider; });
  connect(panel_, &FrmPar::ExifRequested, this, [this] {
    if (FrmExif* exif = OpenExifWindow(app_.catalogueReady, frame_.frameOpen, frame_.imagePath, this)) {
      connect(exif, &FrmExif::ValuesCopied, panel_, &FrmPar::CopyExifValues);
      exifWindow_ = exif;
    }
  });
  panel_->adjustSize();
  const QRect area = QApplication::primaryScreen() ? QApplication::primaryScreen()->availableGeometry() : QRect();
  const int top = area.top() + menuBar()->sizeHint().height() + 30;
  MoveInsideArea(panel_, QPoint(area.left() + 2, top));
  panel_->show();
  // The hint window stands right of the panel, its bottom level with the panel's.
  MoveInsideArea(hint_, QPoint(panel_->frameGeometry().right() + 4,
                               panel_->frameGeometry().bottom() - hint_->frameGeometry().height()));

  app_.logFile.Open(app_.appDir + "log.txt");
  frame_.frameOpen = false;
  app_.framesOpened = 0;
  frame_.infoFilePath.clear();

  StartUpHooks hooks;
  hooks.yield = [] { QApplication::processEvents(); };
  hooks.buildAsterisms = [this](const std::string& catalogue, const std::string& asterisms) {
    if (shutDown_) return false;  // closed before the build began
    LongTaskGuard guard({app_.longTaskRunning, nullptr}, progress_,
                        QStringLiteral("Создание файла астеризмов.\r\nЭто займет некоторое время."), false);
    progress_->SetLabel(QStringLiteral("В процессе..."));
    return BuildAsterismFile(catalogue, asterisms, guard.Task());
  };
  hooks.buildPatternIndex = [this](const std::string& catalogue, const std::string& index) {
    LongTaskGuard guard({app_.longTaskRunning, nullptr}, progress_,
                        QStringLiteral("Создание файла астеризмов.\r\nЭто займет некоторое время."), false);
    progress_->SetLabel(QStringLiteral("В процессе..."));
    return BuildPatternIndexFile(catalogue, index, guard.Task());
  };
  startingUp_ = true;
  const PrepareResult prepared = PrepareWorkingFiles(app_, hooks);
  startingUp_ = false;
  // The window was closed while the working files were prepared: the program ends without more words.
  if (shutDown_) return false;
  if (!prepared.message.empty()) Say(QString::fromStdString(prepared.message));

  // The observer's last site and TLE folder, from an earlier run.
  const RememberedUse remembered = ReadRememberedUse(app_.appDir);
  lastSite_ = remembered.site;
  lastTleDir_ = QString::fromStdString(remembered.tleFolder);

  app_.palette = MarkPalette{};
  catalogueDisplay_ = CatalogueDisplayState{};
  app_.frameSizes = MakeFrameSizeTable();
  frame_.frameSizeIndex = 3;
  ApplyFrameSize(frame_, app_.frameSizes);

  hint_->show();
  ShowHint(QStringLiteral("Нужно открыть кадр"), QStringLiteral("Меню Файл->Открыть кадр "), QStringLiteral(" "));
  app_.lastImageDir = app_.appDir;
  return true;
}

bool MainWindow::ShutDown() {
  if (shutDown_) return true;
  if (!frame_.infoFilePath.empty() && !SaveFrameInfo(QStringLiteral("Выйти из программы без сохранения?"))) return false;
  shutDown_ = true;
  QApplication::processEvents();
  app_.logFile.Close();
  instanceLock_.reset();
  return true;
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Closed during start-up's index build: the build stops at its next step and start-up ends the program.
  if (startingUp_) app_.longTaskRunning = false;
  if (!ShutDown()) {
    event->ignore();
    return;
  }
  event->accept();
  QApplication::closeAllWindows();
}

bool MainWindow::Solved() const {
  return frame_.plate.Solved();
}

bool MainWindow::Allowed(std::initializer_list<Requirement> requirements) {
  if (!Guarded()) return false;
  const std::string refusal = Refusal(frame_, requirements);
  if (refusal.empty()) return true;
  Say(QString::fromStdString(refusal));
  return false;
}

LongTaskGuard::Flags MainWindow::LongTaskFlags() {
  return {app_.longTaskRunning, &app_.catalogueReady};
}

TaskContext MainWindow::TaskContextOf() {
  return TaskContext{app_.appDir, app_.catalogueReady, app_.longTaskRunning, progress_};
}

bool MainWindow::Collect(bool strict) {
  if (!panel_) return !strict;
  const CircumstancesStep step = session_.Circumstances(panel_->Entries(), strict);
  if (step.collected.utErrorRewritten) panel_->SetUtErrorText(QString::fromStdString(step.collected.utErrorText));
  for (const std::string& message : step.messages) Say(QString::fromStdString(message));
  return step.Ok();
}

void MainWindow::RememberSite() {
  if (frame_.info.longitude == 0 && frame_.info.latitude == 0) return;
  ObserverSite site;
  site.longitude = frame_.info.longitude;
  site.latitude = frame_.info.latitude;
  site.code = frame_.info.stationCode;
  const bool changed = !lastSite_ || lastSite_->longitude != site.longitude || lastSite_->latitude != site.latitude ||
                       lastSite_->code != site.code;
  lastSite_ = site;
  if (changed) StoreRememberedUse();
}

void MainWindow::StoreRememberedUse() {
  // A failure costs only the convenience: the next run starts without the remembered values.
  WriteRememberedUse(app_.appDir, RememberedUse{lastSite_, QDir::toNativeSeparators(lastTleDir_).toStdString()});
}

bool MainWindow::SaveFrameInfo(const QString& leaveQuestion) {
  // Collected leniently, so that a half-typed panel never blocks leaving a frame.
  Collect(false);
  RememberSite();
  const StepResult saved = session_.Save();
  if (saved.Ok()) return true;
  const QString text = QStringLiteral("Не удалось записать информационный файл кадра %1: %2.\r\n"
                                      "Сведения о кадре (обстоятельства, решение, трек, спутник) не сохранены.\r\n%3")
                           .arg(QString::fromStdString(frame_.infoFilePath), QString::fromStdString(saved.messages.front()),
                                leaveQuestion);
  return ShowMessage(text, kMessageCaption, MessageButtons::YesNo, this) == MessageAnswer::Yes;
}

void MainWindow::ShowFrameInfo() {
  if (panel_)
    panel_->ShowFrameInfo(frame_.info, frame_.plate, frame_.moonVisibility, frame_.moonPhase, frame_.moonDistance);
}

// ---- File menu ----

void MainWindow::OpenIm() {
  if (!Guarded()) return;
  // A frame whose work cannot be saved stays open unless the user lets it go.
  if (app_.framesOpened > 0 && !SaveFrameInfo(QStringLiteral("Открыть другой кадр без сохранения?"))) return;
  const QString path = ChooseOpenFile(this, QStringLiteral("Открыть файл"), QString::fromStdString(app_.lastImageDir),
                                      QStringLiteral("jpg, bmp (*.jpg;*jpeg;*.bmp)"));
  if (path.isEmpty()) return;
  app_.lastImageDir = WithTrailingSeparator(QFileInfo(path).absolutePath().toStdString());
  if (!OpenFrame(path)) Say(QStringLiteral("Ошибка при открытии файла."));
}

void MainWindow::OpenFrameFromCommandLine(const QString& path) {
  if (!Guarded()) return;
  const QFileInfo file(path.trimmed());
  app_.lastImageDir = WithTrailingSeparator(QDir::toNativeSeparators(file.absolutePath()).toStdString());
  if (!OpenFrame(file.absoluteFilePath())) Say(QStringLiteral("Ошибка при открытии файла."));
}

void MainWindow::CloseFrame() {
  if (shutDown_ || !frame_.frameOpen) return;
  if (!SaveFrameInfo(QStringLiteral("Закрыть кадр без сохранения?"))) {
    // The frame's work could not be stored and the user keeps the frame: its window comes back.
    QTimer::singleShot(0, form1_, [this] { form1_->show(); });
    return;
  }
  frame_.frameOpen = false;
  form1_->hide();
  fragment_->hide();
  CloseAuxiliaryWindows();
  ShowHint(QStringLiteral("Нужно открыть кадр"), QStringLiteral("Меню Файл->Открыть кадр "), QStringLiteral(" "));
}

bool MainWindow::OpenFrame(const QString& chosen) {
  const QString path = chosen.trimmed();
  DecodedImage decoded;
  if (!DecodeFrameFile(path.toStdString(), decoded)) return false;
  frame_.frameOpen = false;
  form1_->hide();
  fragment_->hide();
  QApplication::processEvents();
  const OpenStep opened = session_.Open(path.toStdString(), std::move(decoded));

  const DecodedImage& pixels = frame_.colourPixels;
  const QImage image(reinterpret_cast<const uchar*>(pixels.pixels.data()), pixels.width, pixels.height,
                     static_cast<qsizetype>(pixels.width) * 4, QImage::Format_RGB32);
  form1_->SetPicture(image, frame_.displayWidth, frame_.displayHeight, frame_.displayScale);
  form1_->setWindowTitle(path);
  viewer_->Reset();
  viewer_->SetUpFragment();

  ResetFrameView(opened.infoRead);
  PlaceFrameWindows();
  form1_->show();
  fragment_->show();
  return true;
}

void MainWindow::PlaceFrameWindows() {
  // The frame window at the top right of the screen's available area, below the menu; the fragment window
  // on its left, or wherever it does not cover the picture.
  const QRect area = AvailableArea(this);
  const int top = area.top() + menuBar()->sizeHint().height() + 30;
  MoveInsideArea(form1_, QPoint(area.right() - 33 - form1_->width(), top));
  const QRect picture =
      form1_->frameGeometry().isValid() ? QRect(form1_->pos(), form1_->size() + QSize(8, 30)) : QRect();
  const int gap = 4;
  const int fragmentWidth = fragment_->width() + 8;
  PlaceAvoiding(fragment_,
                {QPoint(picture.left() - fragmentWidth - gap, picture.top()),
                 QPoint(picture.left(), picture.bottom() + gap), QPoint(area.left(), picture.bottom() + gap)},
                {picture, panel_ ? panel_->frameGeometry() : QRect()});
}

void MainWindow::PlaceClearOfFrame(QWidget* window, QPoint preferred) {
  // Tried in turn: the preferred corner, below the panel, below the frame window's picture, the bottom right
  // and the bottom left corners; the first where the window covers neither the frame's picture, the fragment,
  // the panel, the measurement text, the hint nor another open window (in that order of importance).
  const QRect area = AvailableArea(this);
  // Of the frame window, the picture with its readouts and controls; the empty margin below them may be covered.
  const QRect picture(form1_->pos(),
                      QSize(form1_->width() + 8, 30 + std::min(form1_->height(), form1_->childrenRect().bottom() + 2)));
  QList<QRect> avoid;
  if (form1_->isVisible() && form1_ != window) avoid << picture;
  QList<QWidget*> others{fragment_, panel_, textWindow_, hint_};
  for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (child->isWindow() && !others.contains(child) && child != form1_) others << child;
  for (const QWidget* other : others)
    if (other && other != window && other->isVisible()) avoid << QRect(other->pos(), other->size() + QSize(8, 30));
  QList<QPoint> corners{preferred};
  if (panel_) corners << QPoint(panel_->frameGeometry().left(), panel_->frameGeometry().bottom() + 4);
  corners << QPoint(picture.left(), picture.bottom() + 4)
          << area.bottomRight() - QPoint(window->width(), window->height())
          << QPoint(area.left(), area.bottom() - window->height());
  PlaceAvoiding(window, corners, avoid);
}

QPoint MainWindow::BesidePanel() const {
  if (!panel_) return QPoint(x() + width() / 3, y() + height() / 3);
  const QRect beside = panel_->frameGeometry();
  return QPoint(beside.right() + 5, beside.top());
}

void MainWindow::ResetFrameView(bool infoRead) {
  app_.framesOpened += 1;
  for (OverlayKind kind :
       {OverlayKind::StarMarks, OverlayKind::CatalogueStars, OverlayKind::MagnitudeLabels, OverlayKind::TrackEnds,
        OverlayKind::LocalReference, OverlayKind::TrajectoryPoints, OverlayKind::TrajectoryLabels})
    if (form1_->OverlayCount(kind) > 0) form1_->RemoveOverlay(kind);
  catalogueDisplay_ = CatalogueDisplayState{};
  if (panel_) {
    panel_->SetProgramRow(1, "0");
    // The depth row shows the depth just reset, not the previous frame's.
    panel_->SetProgramRow(9, QString::fromStdString(FormatNumber(catalogueDisplay_.depth, "0.0")));
    panel_->ClearIgnoreVisibility();
  }
  Action("mnuStarVis")->setChecked(false);
  Action("mnuViewmag")->setChecked(false);
  EnterMode(WorkMode::View);
  trajectoryPoints_.clear();
  form1_->HideTimeLabel();
  ShowInfoLookUp(infoRead);
  form1_->SetSkyReadout(QStringLiteral("RA= ; DEC="), QStringLiteral(" "));
  form1_->RemoveOverlay(OverlayKind::Centre);
  CloseAuxiliaryWindows();
  // The information file may have filled the track-end slots.
  ShowTrackEnds();
}

void MainWindow::ShowInfoLookUp(bool infoRead) {
  if (infoRead) {
    ShowFrameInfo();
    ShowHint(QStringLiteral("Файл параметров найден."), QStringLiteral("Включен режим просмотра"),
             QStringLiteral("Для выделения звезд или трека перейдите в нужный режим (Меню: Разметка)"));
    return;
  }
  if (panel_) panel_->ResetPanel();
  // A new frame starts at the site of the last one.
  if (panel_ && lastSite_) panel_->ShowPlace(*lastSite_);
  ShowHint(QStringLiteral("Введите информацию о кадре или откройте информационный файл: "),
           QStringLiteral("Меню Файл-> Открыть информационный файл "), QStringLiteral(" "));
}

void MainWindow::KeepOrDropShownSolution(const PlateSolution& shown) {
  // A file without a solution would silently take the frame's solution away (and out of its own file).
  if (shown.Solved() && !frame_.plate.Solved() &&
      ShowMessage(
          QStringLiteral("В информационном файле нет решения кадра. Заменить им решение, показанное на экране?"),
          kMessageCaption, MessageButtons::YesNoDefaultNo, this) != MessageAnswer::Yes) {
    frame_.plate = shown;
    if (panel_) panel_->ShowPlate(frame_.plate, frame_.info.fieldSizeText);
  }
  // The readout and the star count follow what the frame now holds.
  if (!frame_.plate.Solved()) form1_->SetSkyReadout(QStringLiteral("RA= ; DEC="), QStringLiteral(" "));
  if (panel_) panel_->SetProgramRow(1, QString::fromStdString(FormatNumber(frame_.starCount(), "0")));
}

void MainWindow::CloseAuxiliaryWindows() {
  if (frameSizeWindow_) frameSizeWindow_->close();
  if (exifWindow_) exifWindow_->close();
  if (tleWindow_) tleWindow_->close();
  if (textWindow_) textWindow_->close();
  if (satellites_) satellites_->CloseAll();
}

void MainWindow::OpenInf() {
  if (!Allowed({Requirement::FrameOpen})) return;
  const QString path = ChooseOpenFile(this, QStringLiteral("Открыть файл"),
                                      QString::fromStdString(app_.appDir + "Info"), QStringLiteral("txt(*.txt)"));
  if (path.isEmpty()) return;
  // As when a frame is opened: a file holding only the mid time must not inherit the typed start time.
  ClearFrameTimes(frame_.info);
  const PlateSolution shown = frame_.plate;
  ReadInfoIntoFrame(frame_, path.trimmed().toStdString());
  ShowFrameInfo();
  KeepOrDropShownSolution(shown);
  ShowTrackEnds();
  // The values are saved to the open frame's own information file.
  frame_.infoFilePath = FindInfoFile(app_.appDir, frame_.imagePath, frame_.imageWidth, frame_.imageHeight);
}

// ---- Marking menu ----

void MainWindow::EnterMode(WorkMode mode) {
  struct ModeText {
    QString caption;
    Rgb colour;
    QString hint[3];
  };
  const MarkPalette& p = app_.palette;
  const ModeText texts[4] = {
      {QStringLiteral("Просмотр"),
       p.viewFrame,
       {QStringLiteral("В этом режиме ничего на кадре отмечать нельзя"),
        QStringLiteral("Для разметки звезд и трека выберите соответствующий режим"), QStringLiteral(" ")}},
      {QStringLiteral("Разметка звезд"),
       p.catalogueStar,
       {QStringLiteral("Для выбора звезды загоните звезду во фрейм и щелкните мышью"),
        QStringLiteral("Если звезда не отметилась на кадре, то сигнал/шум ниже допустимого значения "),
        QStringLiteral("Изменить размер фрейма можно через Меню: Разметка->Размер фрейма")}},
      {QStringLiteral("Атоматическая разметка концов трека"),
       p.trackEnd,
       {QStringLiteral("Для разметки конца трека загоните конец трека во фрейм и щелкните мышью"),
        QStringLiteral("Если конец трека не отметился на кадре, то сигнал/шум ниже допустимого значения "),
        QStringLiteral("Изменить размер фрейма можно через Меню: Разметка->Размер фрейма")}},
      {QStringLiteral("Ручная разметка концов трека"),
       p.manualFrame,
       {QStringLiteral("Для разметки конца трека загоните конец трека в центр фрейма и щелкните мышью"),
        QStringLiteral("Ctrl + стрелочки для пиксельной подводки"),
        QStringLiteral("При нажатии Ctrl+End пиксел центра фрейма отметится как конец трека ")}},
  };
  switch (mode) {
    case WorkMode::View:
      form1_->RemoveOverlay(OverlayKind::LocalReference);
      break;
    case WorkMode::StarMarking:
      if (form1_->OverlayCount(OverlayKind::StarMarks) > 0 || !frame_.starMarks.empty()) {
        form1_->RemoveOverlay(OverlayKind::StarMarks);
        frame_.starMarks.clear();
        if (panel_) panel_->SetProgramRow(1, "0");
      }
      form1_->RemoveOverlay(OverlayKind::CatalogueStars);
      form1_->RemoveOverlay(OverlayKind::MagnitudeLabels);
      form1_->RemoveOverlay(OverlayKind::LocalReference);
      break;
    case WorkMode::AutoTrackEnds:
    case WorkMode::ManualTrackEnds:
      if (form1_->OverlayCount(OverlayKind::TrackEnds) > 0 || frame_.trackEnds.count > 0) {
        form1_->RemoveOverlay(OverlayKind::TrackEnds);
        frame_.trackEnds.count = 0;
      }
      break;
  }
  const ModeText& t = texts[static_cast<int>(mode)];
  frame_.workMode = mode;
  form1_->SetModeCaption(t.caption);
  form1_->SetMarkingFrameColour(ToQColor(t.colour));
  ShowHint(t.hint[0], t.hint[1], t.hint[2]);
}

void MainWindow::View() {
  EnterMode(WorkMode::View);
}

void MainWindow::Star() {
  if (!Allowed({Requirement::FrameOpen})) return;
  if (!MayEraseIdentifiedMarks()) return;
  EnterMode(WorkMode::StarMarking);
}

bool MainWindow::MayEraseIdentifiedMarks() {
  const bool identified = std::any_of(frame_.starMarks.begin(), frame_.starMarks.end(),
                                      [](const StarMark& mark) { return mark.identity != 0; });
  if (!identified) return true;
  return ShowMessage(QStringLiteral("Отметки звезд опознаны. Новая разметка сотрет их. Продолжить?"), kMessageCaption,
                     MessageButtons::YesNoDefaultNo, this) == MessageAnswer::Yes;
}

void MainWindow::Trek() {
  if (!Allowed({Requirement::FrameOpen})) return;
  EnterMode(WorkMode::AutoTrackEnds);
}

void MainWindow::Mtrek() {
  if (!Allowed({Requirement::FileOpen})) return;
  EnterMode(WorkMode::ManualTrackEnds);
}

void MainWindow::Parf() {
  if (!Guarded()) return;
  if (frameSizeWindow_) frameSizeWindow_->close();
  auto* window = new FrmNast(app_.frameSizes, frame_.frameSizeIndex, this);
  connect(window, &FrmNast::SizeChosen, this, [this](int index) {
    frame_.frameSizeIndex = static_cast<std::uint8_t>(index);
    ApplyFrameSize(frame_, app_.frameSizes);
    viewer_->SetUpFragment();
  });
  MoveInsideArea(window, QPoint(x() + width() / 3, y() + height() / 3));
  window->show();
  frameSizeWindow_ = window;
}

// ---- Identification menu ----

void MainWindow::StarId() {
  if (!Allowed({Requirement::FrameOpen, Requirement::EnoughStars})) return;
  if (!Collect(frame_.info.considerVisibility)) return;

  const bool centreGiven = panel_ && panel_->CentreGiven();
  IdentifyStep step;
  {
    LongTaskGuard guard(LongTaskFlags(), progress_, QStringLiteral("Идентификация звезд."), true);
    step = session_.Identify(centreGiven, false, guard.Task());
  }
  if (step.Ok()) ShowIdentification(step.identification);
  for (const std::string& message : step.messages) Say(QString::fromStdString(message));
}

void MainWindow::ShowIdentification(const IdentificationResult& result) {
  if (panel_) {
    const IdentificationPanelTexts& t = result.panel;
    const std::string rows[10] = {"",       t.stars,     t.ra,       t.dec,      t.scaleX,
                                  t.scaleY, t.fieldSize, t.rotation, t.mirrored, t.depth};
    for (int row = 1; row <= 9; ++row) panel_->SetProgramRow(row, QString::fromStdString(rows[row]));
  }
  if (panel_) panel_->ShowMoon(frame_.moonVisibility, frame_.moonPhase, frame_.moonDistance);
  ApplyCatalogueResult(ShowCatalogueAfterIdentification(CatalogueFrameOf(frame_, app_), catalogueDisplay_));
}

void MainWindow::MesTrek() {
  if (!Allowed({Requirement::TrackMeasurable})) return;
  if (!Collect(true)) return;

  if (!textWindow_) textWindow_ = new FrmTxt(this);
  textWindow_->PlaceBeside(panel_);
  PlaceClearOfFrame(textWindow_, textWindow_->pos());
  textWindow_->show();
  form1_->RemoveOverlay(OverlayKind::LocalReference);
  EventLoopTask task;
  const TrackMeasurement measured = session_.Measure(task, textWindow_->LineSink()).measurement;
  for (const LocalReferenceMark& mark : measured.localMarks)
    DrawOutline(OverlayKind::LocalReference, LocalReferenceOutline(mark, frame_.displayScale, app_.palette));
  ShowHint(QString::fromUtf8(kMeasureTrackHint), QStringLiteral(" "), QStringLiteral(" "));
}

void MainWindow::Sat() {
  if (!Allowed({Requirement::FrameOpen})) return;
  if (!Collect(true)) return;
  if (!Allowed(kCandidateRequirements)) return;
  satellites_->OpenFilter();
}

void MainWindow::UserSat() {
  if (!Allowed({Requirement::FrameOpen})) return;
  if (!Collect(true)) return;
  if (!Allowed({Requirement::Solved})) return;
  satellites_->OpenUserSat();
}

void MainWindow::SatN() {
  if (!Allowed({Requirement::FrameOpen})) return;
  if (!Collect(true)) return;
  if (!Allowed({Requirement::Solved})) return;
  satellites_->OpenSatN();
}

// ---- Catalogue display menu ----

void MainWindow::ApplyCatalogueResult(const CatalogueCommandResult& result) {
  if (!result.message.empty()) Say(QString::fromStdString(result.message));
  if (result.removeMarkers) form1_->RemoveOverlay(OverlayKind::CatalogueStars);
  if (result.removeLabels) form1_->RemoveOverlay(OverlayKind::MagnitudeLabels);
  if (result.overlay.drawn) {
    DeriveFrameTimes(frame_.info);  // a drawing refreshes the frame's derived times from the typed ones
    form1_->RemoveOverlay(OverlayKind::CatalogueStars);
    form1_->RemoveOverlay(OverlayKind::MagnitudeLabels);
    for (const CatalogueMarker& marker : result.overlay.markers) {
      if (!marker.visible) continue;
      OverlayItem item;
      item.centre = QPointF(marker.x, marker.y);
      item.sideScreen = 2 * marker.halfSide;
      item.colour = ToQColor(marker.colour);
      form1_->AddOverlay(OverlayKind::CatalogueStars, item);
    }
    for (const MagnitudeLabel& label : result.overlay.labels) {
      OverlayItem item;
      item.centre = QPointF(label.x, label.y);
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

// ---- TLE menu ----

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
  const QString path =
      ChooseOpenFile(this, QStringLiteral("Открыть файл"), QString::fromStdString(app_.appDir + "Info"), filter);
  if (path.trimmed().isEmpty()) return;
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

// ---- About menu ----

void MainWindow::Orvia() {
  const QString help = QString::fromStdString(ProgramFilePath(app_, kHelpFileName));
  if (!QFileInfo::exists(help)) return Say(QStringLiteral("Файл справки отсутствует."));
  OpenDocument(help);
}

void MainWindow::Ver() {
  auto* splash = new FrmSplash(this);
  splash->adjustSize();
  splash->move(x() + width() / 3, y() + height() / 3);
  splash->show();
  splash->setFocus();
}
