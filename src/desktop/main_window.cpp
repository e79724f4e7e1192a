#include "desktop/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFontMetrics>
#include <QPalette>

#include "base/numbers.h"
#include "base/ui/frmz.h"
#include "base/ui/message.h"
#include "desktop/form1.h"
#include "desktop/frame_viewer.h"
#include "desktop/frm_frame.h"
#include "desktop/frmp.h"
#include "desktop/satellite_windows.h"
#include "frameinfo/ui/frm_par.h"
#include "session/startup.h"

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
  app_.lastImageDir.clear();  // the first frame is looked for from the user's home folder
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

const FrameViewState& MainWindow::ViewState() const {
  return viewer_->View();
}

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
  const double scale = ViewState().displayScale > 0 ? ViewState().displayScale : 1.0;
  for (const TrajectoryMark& mark : frame_.satellites.marks) {
    OverlayItem item;
    item.centre = QPointF(mark.x, mark.y);
    item.sideScreen = 2 * mark.size;
    item.colour = ToQColor(mark.colour);
    form1_->AddOverlay(OverlayKind::TrajectoryPoints, item);
    trajectoryPoints_.push_back(TrajectoryScreenPoint{mark.x / scale, mark.y / scale, mark.timeText});
  }
  // Labels are kept inside the picture by the size of their text in the frame window's font.
  const QFontMetrics metrics(form1_->font());
  const float pictureWidth = static_cast<float>(frame_.imageWidth / scale);
  const float pictureHeight = static_cast<float>(frame_.imageHeight / scale);
  for (const TrajectoryLabel& label : frame_.satellites.labels) {
    const QString text = QString::fromStdString(label.text);
    const LabelCorner corner =
        LabelOnScreen(label, static_cast<float>(scale), pictureWidth, pictureHeight,
                      static_cast<float>(metrics.horizontalAdvance(text)), static_cast<float>(metrics.height()));
    OverlayItem item;
    item.centre = QPointF(corner.left * scale, corner.top * scale);
    item.text = text;
    item.colour = ToQColor(label.colour);
    form1_->AddOverlay(OverlayKind::TrajectoryLabels, item);
  }
  if (trajectoryPoints_.empty()) form1_->HideTimeLabel();
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
    item.sideImage = outline.side * static_cast<double>(ViewState().displayScale);
  }
  item.colour = ToQColor(outline.colour);
  form1_->AddOverlay(kind, item);
}

void MainWindow::ShowStarMark(const StarDetection& found) {
  DrawOutline(OverlayKind::StarMarks, StarMarkOutline(frame_.starMarks.back(), ViewState().displayScale, app_.palette),
              QPointF(found.sx, found.sy));
  if (panel_) panel_->SetProgramRow(1, QString::fromStdString(FormatNumber(frame_.starCount(), "0")));
}

void MainWindow::ShowTrackEnds() {
  form1_->RemoveOverlay(OverlayKind::TrackEnds);
  for (int slot = 1; slot <= frame_.trackEnds.count; ++slot)
    DrawOutline(
        OverlayKind::TrackEnds,
        TrackEndOutline(frame_.trackEnds[static_cast<std::size_t>(slot)], ViewState().displayScale, app_.palette),
        TrackEndCentre(slot));
}

void MainWindow::ShowTrackEndAddition(const TrackEndAddition& addition) {
  if (addition.added)
    DrawOutline(OverlayKind::TrackEnds,
                TrackEndOutline(frame_.trackEnds[static_cast<std::size_t>(addition.slot)], ViewState().displayScale,
                                app_.palette),
                TrackEndCentre(addition.slot));
  if (addition.showHint)
    ShowHint(QString::fromStdString(addition.hintLines[0]), QString::fromStdString(addition.hintLines[1]),
             QString::fromStdString(addition.hintLines[2]));
}

void MainWindow::ShowHint(const QString& line1, const QString& line2, const QString& line3) {
  hint_->ShowHint(line1, line2, line3);
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
