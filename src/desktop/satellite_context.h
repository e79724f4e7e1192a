#pragma once
// What the satellite windows work on: the frame session whose steps they run, the progress window and
// the owner of their windows, and the main window's view updates they ask for (the panel's strict
// collection, the trajectory and track-end overlays, hints, window placement).

#include <QString>
#include <functional>

#include "session/frame_session.h"

class Frmz;
class QWidget;

// The session and the main window's view updates, filled by the main window.
struct SatelliteContext {
  FrameSession& session;
  Frmz* progress = nullptr;
  QWidget* owner = nullptr;                  // parent of the windows and of their messages
  std::function<bool()> collectStrict{};     // strict collection of the panel; false after its message
  std::function<void()> showTrajectories{};  // redraws the frame's trajectory marks and labels
  std::function<void()> showTrackEnds{};     // redraws the track ends after they were exchanged
  std::function<void(const QString&, const QString&, const QString&)> hint{};
  // Moves a new window inside the screen and off the frame's picture; unset: near the owner's centre.
  std::function<void(QWidget*)> place{};
};
