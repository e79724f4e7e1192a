// The main window's frame steps: opening and closing a frame and its information file, and the marking
// modes with the marking-frame size.

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>

#include "astrometry/ui/frm_txt.h"
#include "base/numbers.h"
#include "base/ui/file_dialog.h"
#include "base/ui/message.h"
#include "base/ui/owned_window.h"
#include "desktop/form1.h"
#include "desktop/frame_viewer.h"
#include "desktop/frm_frame.h"
#include "desktop/frm_nast.h"
#include "desktop/main_window.h"
#include "desktop/satellite_windows.h"
#include "frameinfo/info_file.h"
#include "frameinfo/ui/frm_par.h"
#include "image/decode.h"
#include "image/frame_header.h"
#include "session/startup.h"

void MainWindow::OpenIm() {
  if (!Guarded()) return;
  // A frame whose work cannot be saved stays open unless the user lets it go.
  if (app_.framesOpened > 0 && !SaveFrameInfo(QStringLiteral("Открыть другой кадр без сохранения?"))) return;
  const QString path =
      ChooseOpenFile(this, QStringLiteral("Открыть файл"), StartFolder(QString::fromStdString(app_.lastImageDir)),
                     QStringLiteral("jpg, bmp (*.jpg;*jpeg;*.bmp)"));
  if (path.isEmpty()) return;
  app_.lastImageDir = WithTrailingSeparator(QFileInfo(path).absolutePath().toStdString());
  if (!OpenFrame(path)) Say(QString::fromStdString(FrameOpenErrorText(openRefusal_)));
}

void MainWindow::OpenFrameFromCommandLine(const QString& path) {
  if (!Guarded()) return;
  const QFileInfo file(path.trimmed());
  app_.lastImageDir = WithTrailingSeparator(QDir::toNativeSeparators(file.absolutePath()).toStdString());
  if (!OpenFrame(file.absoluteFilePath())) Say(QString::fromStdString(FrameOpenErrorText(openRefusal_)));
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
  if (!DecodeFrameFile(path.toStdString(), decoded)) {
    openRefusal_ = decoded.refusal;
    return false;
  }
  openRefusal_ = FrameRefusal::None;
  frame_.frameOpen = false;
  form1_->hide();
  fragment_->hide();
  QApplication::processEvents();
  const OpenStep opened = session_.Open(path.toStdString(), std::move(decoded));
  viewer_->SetDisplay(ComputeDisplayGeometry(frame_.imageWidth, frame_.imageHeight));

  const DecodedImage& pixels = frame_.colourPixels;
  const QImage image(reinterpret_cast<const uchar*>(pixels.pixels.data()), pixels.width, pixels.height,
                     static_cast<qsizetype>(pixels.width) * 4, QImage::Format_RGB32);
  form1_->SetPicture(image, ViewState().displayWidth, ViewState().displayHeight, ViewState().displayScale);
  form1_->setWindowTitle(path);
  viewer_->Reset();
  viewer_->SetUpFragment();

  ResetFrameView(opened.infoRead);
  PlaceFrameWindows();
  form1_->show();
  fragment_->show();
  // Values of the information file that were not used, each with its file, key and value.
  for (const std::string& message : opened.messages) Say(QString::fromStdString(message));
  return true;
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

void MainWindow::ShowFrameInfo() {
  if (panel_)
    panel_->ShowFrameInfo(frame_.info, frame_.plate, frame_.moonVisibility, frame_.moonPhase, frame_.moonDistance);
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
  // The folder of the last information file chosen, else the program's own Info folder.
  const QString path = ChooseOpenFile(this, QStringLiteral("Открыть файл"),
                                      StartFolder(lastInfoDir_, QString::fromStdString(app_.appDir + "Info")),
                                      QStringLiteral("txt(*.txt)"));
  if (path.isEmpty()) return;
  lastInfoDir_ = QFileInfo(path).absolutePath();
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
