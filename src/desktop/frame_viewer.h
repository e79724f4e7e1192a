#pragma once
// The user's hands on the frame: the marking frame following the mouse, the magnified fragment,
// the sky readout, clicks in each work mode, and Ctrl+arrows / Ctrl+End sampled every 300 ms.

#include <QColor>
#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <functional>
#include <vector>

#include "session/app_state.h"
#include "desktop/frame_view.h"

class Form1;
class FrmFrame;

// What the viewer needs from the rest of the application.
struct ViewerHooks {
  // Shows a message box with caption "Сообщение".
  std::function<void(const QString&)> say;
  // Three lines into the hint window.
  std::function<void(const QString&, const QString&, const QString&)> hint;
  // Sky position (radians) of an image pixel; false while the frame is not solved.
  std::function<bool(double, double, double&, double&)> pixelToSky;
  // Star search at the cursor with recording; true and the centroid when found.
  std::function<bool(int, int, double&, double&)> detectStar;
  // Track-end search at the cursor (records the end); true and the end when found.
  std::function<bool(int, int, double&, double&)> detectTrackEnd;
  // Marks an image pixel as a track end (manual marking).
  std::function<void(double, double)> addTrackEnd;
  // The predicted trajectory points drawn over the frame, for the time label beside the marking frame;
  // unset or empty while no trajectory is drawn.
  std::function<const std::vector<TrajectoryScreenPoint>&()> trajectoryPoints;
};

// Colour of an RGB palette entry.
QColor ToQColor(const Rgb& rgb);

class FrameViewer : public QObject {
  Q_OBJECT
public:
  FrameViewer(AppState& app, FrameState& frame, Form1* form1, FrmFrame* fragment, ViewerHooks hooks);

  // Centres the marking frame on the image, sizes the fragment window and renders the fragment.
  void SetUpFragment();
  // Mouse move over the picture (screen pixels).
  void FollowMouse(double x, double y);
  // Moves the cursor by whole image pixels.
  void Nudge(int dx, int dy);
  // A click on the picture, by work mode.
  void ClickFrame();
  // One keyboard sample (what every Timer1 tick does).
  void SampleKeyboard();
  // Computes a track-end slot's sky position when the frame is solved.
  void TrackEndSky(int slot);
  // Renders the image rectangle x0..x1, y0..y1 into the fragment window.
  void RenderFragment(int x0, int y0, int x1, int y1);
  // Forgets the remembered mouse position (back to 0, 0, as when the window starts).
  void Reset();
  // Places the marking frame at real screen coordinates and re-renders the fragment around an image pixel.
  void Recentre(double imageX, double imageY);
  // The application-wide pressed keys the timer samples (public for tests).
  bool KeyDown(int key) const { return pressed_.contains(key); }
  QTimer* Timer() { return &timer_; }

protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

private:
  void UpdateSkyReadout();
  void UpdateTimeLabel(int cx, int cy);
  void PlaceFrameAtCursor();
  // Follows the mouse while the frame window is zoomed in (display pixels, real values).
  void FollowMouseZoomed(double x, double y);

  AppState& app_;
  FrameState& frame_;
  Form1* form1_;
  FrmFrame* fragment_;
  ViewerHooks hooks_;
  int lastMouseX_ = 0;
  int lastMouseY_ = 0;
  double lastCtrlEndTick_ = 0;
  QElapsedTimer tick_;
  QTimer timer_;
  QSet<int> pressed_;
};
