// The main window's start-up and shut-down: the single-instance lock, the panel and hint, the working files,
// the remembered site and TLE folder, and saving the frame's information when it is left.

#include <algorithm>

#include <QApplication>
#include <QDir>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>

#include "astrometry/asterism.h"
#include "astrometry/pattern_index.h"
#include "base/ui/frmz.h"
#include "base/ui/long_task.h"
#include "base/ui/message.h"
#include "base/ui/owned_window.h"
#include "desktop/frmp.h"
#include "desktop/main_window.h"
#include "frameinfo/ui/frm_exif.h"
#include "frameinfo/ui/frm_par.h"
#include "session/remembered_use.h"
#include "session/startup.h"

bool MainWindow::TakeInstanceLock() {
  AppLockAttempt attempt = instanceLock_.Take(app_.appDir, "orvia");
  // The command line holds the directory only for one command: it is given a few seconds to end.
  if (!attempt.taken && attempt.reason.empty() && attempt.holder.program != "orvia")
    attempt = instanceLock_.Take(app_.appDir, "orvia", std::chrono::seconds(5));
  if (attempt.taken) return true;
  if (!attempt.reason.empty()) {
    Say(QStringLiteral("Не удалось заблокировать папку программы %1: %2")
            .arg(QString::fromStdString(app_.appDir), QString::fromStdString(attempt.reason)));
  } else if (attempt.holder.program == "orvia") {
    Say(QStringLiteral("Программа уже запущена!"));
  } else {
    const QString holder = QString::fromStdString(attempt.holder.program.empty() ? "?" : attempt.holder.program);
    Say(QStringLiteral("Папка программы %1 занята другой программой: %2 (процесс %3). Попробуйте позже.")
            .arg(QString::fromStdString(app_.appDir), holder, QString::number(attempt.holder.pid)));
  }
  return false;
}

bool MainWindow::StartUp() {
  if (startedUp_) return !shutDown_;
  startedUp_ = true;
  if (!TakeInstanceLock()) {
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
  // The panel shows all its rows when the screen has room under the menu bar; otherwise it scrolls them
  // rather than covering the menus (the window manager's title bar is not there yet: allow for it).
  if (const auto* scroll = panel_->findChild<QScrollArea*>("scrPar"); scroll && scroll->widget() && !area.isEmpty()) {
    const int rows = scroll->widget()->sizeHint().height() + 2 * scroll->frameWidth();
    const int room = area.bottom() - top - panel_->style()->pixelMetric(QStyle::PM_TitleBarHeight) - 8;
    const int bar = rows > room ? panel_->style()->pixelMetric(QStyle::PM_ScrollBarExtent) : 0;
    panel_->resize(scroll->widget()->sizeHint().width() + bar, std::max(200, std::min(rows, room)));
  }
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
  app_.lastImageDir.clear();  // the first frame is looked for from the user's home folder
  return true;
}

bool MainWindow::ShutDown() {
  if (shutDown_) return true;
  if (!frame_.infoFilePath.empty() && !SaveFrameInfo(QStringLiteral("Выйти из программы без сохранения?")))
    return false;
  shutDown_ = true;
  QApplication::processEvents();
  app_.logFile.Close();
  instanceLock_.Release();
  return true;
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
  if (saved.Ok()) {
    // Another program changed the file meanwhile: what it wrote was kept, and the user is told.
    for (const std::string& message : saved.messages) Say(QString::fromStdString(message));
    return true;
  }
  const QString text = QStringLiteral(
                           "Не удалось записать информационный файл кадра %1: %2.\r\n"
                           "Сведения о кадре (обстоятельства, решение, трек, спутник) не сохранены.\r\n%3")
                           .arg(QString::fromStdString(frame_.infoFilePath),
                                QString::fromStdString(saved.messages.front()), leaveQuestion);
  return ShowMessage(text, kMessageCaption, MessageButtons::YesNo, this) == MessageAnswer::Yes;
}
