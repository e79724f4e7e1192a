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

#include "desktop/frame_view.h"
#include "session/app_state.h"
#include "session/frame_session.h"

class Form1;
class FrmFrame;

// The view updates the viewer asks of the rest of the application.
struct ViewerHooks {
  // Shows a message box with caption "Сообщение".
  std::function<void(const QString&)> say;
  // Three lines into the hint window.
  std::function<void(const QString&, const QString&, const QString&)> hint;
  // Draws a star mark the session has just recorded.
  std::function<void(const StarStep&)> starMarked;
  // Draws a track end the session has just recorded and shows its hint.
  std::function<void(const TrackEndStep&)> trackEndMarked;
  // The predicted trajectory points drawn over the frame, for the time label beside the marking frame;
  // unset or empty while no trajectory is drawn.
  std::function<const std::vector<TrajectoryScreenPoint>&()> trajectoryPoints;
};

// Colour of an RGB palette entry.
QColor ToQColor(const Rgb& rgb);

class FrameViewer : public QObject {
  Q_OBJECT
public:
  FrameViewer(FrameSession& session, Form1* form1, FrmFrame* fragment, ViewerHooks hooks);

  // What the frame window shows beside the analysis: picture size and scale, cursor, on-screen sizes, zoom.
  FrameViewState& View() { return view_; }
  const FrameViewState& View() const { return view_; }
  // Takes the shown picture's size and scale for a frame just opened.
  void SetDisplay(const DisplayGeometry& shown);
  // Takes the marking-frame size on screen, centres the marking frame on the image, sizes the fragment window
  // and renders the fragment.
  void SetUpFragment();
  // Mouse move over the picture (screen pixels).
  void FollowMouse(double x, double y);
  // Moves the cursor by whole image pixels.
  void Nudge(int dx, int dy);
  // A click on the picture, by work mode.
  void ClickFrame();
  // One keyboard sample (what every Timer1 tick does).
  void SampleKeyboard();
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
  // Marks a track end at the cursor (a streak's end found near it, or with exact the pixel itself) and
  // has it drawn.
  TrackEndStep MarkTrackEnd(bool exact);
  // Follows the mouse while the frame window is zoomed in (display pixels, real values).
  void FollowMouseZoomed(double x, double y);

  FrameSession& session_;
  AppState& app_;
  FrameState& frame_;
  Form1* form1_;
  FrmFrame* fragment_;
  ViewerHooks hooks_;
  FrameViewState view_;
  int lastMouseX_ = 0;
  int lastMouseY_ = 0;
  double lastCtrlEndTick_ = 0;
  QElapsedTimer tick_;
  QTimer timer_;
  QSet<int> pressed_;
};
