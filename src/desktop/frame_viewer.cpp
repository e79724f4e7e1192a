#include "desktop/frame_viewer.h"

#include <QApplication>
#include <QKeyEvent>
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "astrometry/track.h"
#include "base/calendar.h"
#include "base/numbers.h"
#include "desktop/form1.h"
#include "desktop/frame_view.h"
#include "desktop/frm_frame.h"
#include "sky/angles.h"

QColor ToQColor(const Rgb& rgb) {
  return QColor(rgb.r, rgb.g, rgb.b);
}

FrameViewer::FrameViewer(FrameSession& session, Form1* form1, FrmFrame* fragment, ViewerHooks hooks)
    : session_(session),
      app_(session.App()),
      frame_(session.Frame()),
      form1_(form1),
      fragment_(fragment),
      hooks_(std::move(hooks)) {
  tick_.start();
  connect(form1_, &Form1::MouseMoved, this, &FrameViewer::FollowMouse);
  connect(form1_, &Form1::Clicked, this, &FrameViewer::ClickFrame);
  connect(&timer_, &QTimer::timeout, this, &FrameViewer::SampleKeyboard);
  timer_.start(300);
  qApp->installEventFilter(this);
}

void FrameViewer::Reset() {
  lastMouseX_ = 0;
  lastMouseY_ = 0;
}

void FrameViewer::SetDisplay(const DisplayGeometry& shown) {
  view_.displayWidth = static_cast<std::int16_t>(shown.displayWidth);
  view_.displayHeight = static_cast<std::int16_t>(shown.displayHeight);
  view_.displayScale = shown.displayScale;
}

void FrameViewer::SetUpFragment() {
  ApplyFrameSizeOnScreen(view_, FrameSizeOf(frame_, app_.frameSizes), view_.displayScale);
  if (view_.fragmentSide == 0) return;
  // The image centre, kept inside the 1-based image even for a one-pixel side.
  view_.cursorX = static_cast<std::int16_t>(std::max(1, RoundToInt(frame_.imageWidth / 2.0)));
  view_.cursorY = static_cast<std::int16_t>(std::max(1, RoundToInt(frame_.imageHeight / 2.0)));
  fragment_->SetFragmentSide(view_.fragmentSide);
  form1_->SetMarkingFrameColour(ToQColor(app_.palette.viewFrame));
  form1_->PlaceMarkingFrame(view_.cursorX / view_.displayScale, view_.cursorY / view_.displayScale,
                            view_.frameSideOnScreen, frame_.frameSide);
  RenderFragment(view_.cursorX - frame_.frameHalf, view_.cursorY - frame_.frameHalf, view_.cursorX + frame_.frameHalf,
                 view_.cursorY + frame_.frameHalf);
  fragment_->SetPosition(view_.cursorX, view_.cursorY);
}

void FrameViewer::RenderFragment(int x0, int y0, int x1, int y1) {
  const DecodedImage part = FragmentPixels(frame_.colourPixels, x0, y0, x1, y1);
  if (part.pixels.empty()) return;
  QImage buffer(reinterpret_cast<const uchar*>(part.pixels.data()), part.width, part.height, part.width * 4,
                QImage::Format_RGB32);
  fragment_->ShowFragment(buffer.copy(), view_.zoom);
}

void FrameViewer::PlaceFrameAtCursor() {
  const int cx = RoundToInt(view_.cursorX / view_.displayScale);
  const int cy = RoundToInt(view_.cursorY / view_.displayScale);
  if (form1_->ViewZoom() > 1.0)  // zoomed in: on the frame pixel itself
    form1_->PlaceMarkingFrame(view_.cursorX / view_.displayScale, view_.cursorY / view_.displayScale,
                              view_.frameSideOnScreen, frame_.frameSide);
  else
    form1_->PlaceMarkingFrame(cx, cy, view_.frameSideOnScreen, frame_.frameSide);
  RenderFragment(view_.cursorX - frame_.frameHalf, view_.cursorY - frame_.frameHalf, view_.cursorX + frame_.frameHalf,
                 view_.cursorY + frame_.frameHalf);
  fragment_->SetPosition(view_.cursorX, view_.cursorY);
  UpdateSkyReadout();
  lastMouseX_ = cx;
  lastMouseY_ = cy;
}

void FrameViewer::UpdateSkyReadout() {
  if (!frame_.plate.Solved()) return;
  const SkyPosition sky = PixelToSky(view_.cursorX, view_.cursorY, frame_.plate.working);
  const double ra = sky.ra, dec = sky.dec;
  // A degenerate plate (one read from a damaged information file) can give no position: show nothing.
  if (!std::isfinite(ra) || !std::isfinite(dec)) return;
  const double raDeg = ra * 180.0 / Pi;
  const double decDeg = dec * 180.0 / Pi;
  form1_->SetSkyReadout(
      QString::fromStdString("RA=" + FormatNumber(raDeg, "0.00") + "; DEC=" + FormatNumber(decDeg, "0.00")),
      QString::fromStdString(FormatRaHms(raDeg) + "  " + FormatDecDms(decDeg)));
}

void FrameViewer::UpdateTimeLabel(int cx, int cy) {
  if (!hooks_.trajectoryPoints) return;
  const std::vector<TrajectoryScreenPoint>& points = hooks_.trajectoryPoints();
  if (points.empty()) return;
  const int nearest = NearestTrajectoryPoint(points, cx, cy, view_.displayWidth);
  if (nearest < 0) return form1_->HideTimeLabel();
  form1_->ShowTimeLabel(QString::fromStdString(points[static_cast<std::size_t>(nearest)].time),
                        QPointF(cx + view_.frameHalfOnScreen, cy + view_.frameHalfOnScreen));
}

void FrameViewer::FollowMouseZoomed(double x, double y) {
  // Zoomed in: the marking frame follows the frame pixel under the pointer, not whole display pixels.
  const int ix =
      std::clamp(RoundToInt(x * static_cast<double>(view_.displayScale)), 1, std::max<int>(1, frame_.imageWidth));
  const int iy =
      std::clamp(RoundToInt(y * static_cast<double>(view_.displayScale)), 1, std::max<int>(1, frame_.imageHeight));
  if (ix == view_.cursorX && iy == view_.cursorY) return;
  view_.cursorX = static_cast<std::int16_t>(ix);
  view_.cursorY = static_cast<std::int16_t>(iy);
  const double cx = ix / static_cast<double>(view_.displayScale);
  const double cy = iy / static_cast<double>(view_.displayScale);
  form1_->PlaceMarkingFrame(cx, cy, view_.frameSideOnScreen, frame_.frameSide);
  RenderFragment(ix - frame_.frameHalf, iy - frame_.frameHalf, ix + frame_.frameHalf, iy + frame_.frameHalf);
  fragment_->SetPosition(ix, iy);
  UpdateSkyReadout();
  UpdateTimeLabel(RoundToInt(cx), RoundToInt(cy));
  lastMouseX_ = RoundToInt(cx);
  lastMouseY_ = RoundToInt(cy);
}

void FrameViewer::FollowMouse(double x, double y) {
  if (view_.busy || !frame_.frameOpen) return;
  if (form1_->ViewZoom() > 1.0) return FollowMouseZoomed(x, y);
  const int cx = PointerToFrameCentre(x, view_.displayWidth, view_.frameHalfOnScreen);
  const int cy = PointerToFrameCentre(y, view_.displayHeight, view_.frameHalfOnScreen);
  if (cx == lastMouseX_ && cy == lastMouseY_) return;
  if (std::abs(cx - lastMouseX_) < 5 && std::abs(cy - lastMouseY_) < 5) {
    form1_->PlaceMarkingFrame(cx, cy, view_.frameSideOnScreen, frame_.frameSide);
    view_.cursorX = static_cast<std::int16_t>(RoundToInt(cx * static_cast<double>(view_.displayScale)));
    view_.cursorY = static_cast<std::int16_t>(RoundToInt(cy * static_cast<double>(view_.displayScale)));
    RenderFragment(view_.cursorX - frame_.frameHalf, view_.cursorY - frame_.frameHalf, view_.cursorX + frame_.frameHalf,
                   view_.cursorY + frame_.frameHalf);
    fragment_->SetPosition(view_.cursorX, view_.cursorY);
    UpdateSkyReadout();
    UpdateTimeLabel(cx, cy);
  }
  lastMouseX_ = cx;
  lastMouseY_ = cy;
}

void FrameViewer::Nudge(int dx, int dy) {
  if (!frame_.frameOpen) return;
  NudgeCursor(view_, frame_, dx, dy);
  PlaceFrameAtCursor();
}

void FrameViewer::Recentre(double imageX, double imageY) {
  const int ix = static_cast<int>(std::floor(imageX + 0.5));
  const int iy = static_cast<int>(std::floor(imageY + 0.5));
  RenderFragment(ix - frame_.frameHalf, iy - frame_.frameHalf, ix + frame_.frameHalf, iy + frame_.frameHalf);
  fragment_->SetPosition(ix, iy);
  form1_->PlaceMarkingFrame(ix / view_.displayScale, iy / view_.displayScale, view_.frameSideOnScreen,
                            frame_.frameSide);
}

TrackEndStep FrameViewer::MarkTrackEnd(bool exact) {
  const TrackEndStep step = session_.MarkTrackEnd(view_.cursorX, view_.cursorY, exact);
  if (step.found && hooks_.trackEndMarked) hooks_.trackEndMarked(step);
  return step;
}

void FrameViewer::ClickFrame() {
  if (view_.busy || !frame_.frameOpen) return;
  switch (frame_.workMode) {
    case WorkMode::StarMarking: {
      view_.busy = true;
      const StarStep step = session_.MarkStar(view_.cursorX, view_.cursorY);
      if (step.detection.marked && hooks_.starMarked) hooks_.starMarked(step);
      view_.busy = false;
      if (step.detection.found) Recentre(step.detection.sx, step.detection.sy);
      break;
    }
    case WorkMode::AutoTrackEnds:
    case WorkMode::ManualTrackEnds: {
      if (frame_.trackEnds.count >= 2) {
        hooks_.say(QStringLiteral("Две отметки трека уже есть."));
        return;
      }
      const bool exact = frame_.workMode == WorkMode::ManualTrackEnds;
      view_.busy = true;
      const TrackEndStep step = MarkTrackEnd(exact);
      view_.busy = false;
      if (exact) break;
      if (step.found)
        Recentre(step.ex, step.ey);
      else
        hooks_.say(QStringLiteral("Трек не обнаружен. Воспользуйтесь ручной разметкой."));
      break;
    }
    case WorkMode::View:
      hooks_.hint(QStringLiteral("Вы находитесь в режиме просмотра"),
                  QStringLiteral("Для выделения звезд и трека перейдите в соответствующий режим"),
                  QStringLiteral("Меню Разметка->"));
      break;
  }
}

void FrameViewer::SampleKeyboard() {
  if (!KeyDown(Qt::Key_Control) || !frame_.frameOpen) return;
  if (KeyDown(Qt::Key_Left)) return Nudge(-1, 0);
  if (KeyDown(Qt::Key_Right)) return Nudge(1, 0);
  if (KeyDown(Qt::Key_Up)) return Nudge(0, -1);
  if (KeyDown(Qt::Key_Down)) return Nudge(0, 1);
  if (!KeyDown(Qt::Key_End) || frame_.workMode != WorkMode::ManualTrackEnds) return;
  if (frame_.trackEnds.count >= 2) {
    hooks_.say(QStringLiteral("Две отметки трека уже есть"));
    return;
  }
  const double now = static_cast<double>(tick_.elapsed());
  if (std::fabs(now - lastCtrlEndTick_) > 2000.0 || lastCtrlEndTick_ == 0) {
    timer_.stop();
    lastCtrlEndTick_ = now > 0 ? now : 1;
    MarkTrackEnd(true);
    timer_.start(300);
  }
}

bool FrameViewer::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (!key->isAutoRepeat()) {
      if (event->type() == QEvent::KeyPress)
        pressed_.insert(key->key());
      else
        pressed_.remove(key->key());
    }
  } else if (event->type() == QEvent::ApplicationDeactivate) {
    pressed_.clear();
  }
  return QObject::eventFilter(watched, event);
}
