#pragma once
// What the satellite windows read and change outside themselves: the open frame as they need it, the
// frame's satellite state and identification, the application's long-task flags, and hooks into the
// main window (strict collection of the panel, redrawing the trajectory overlays, hints, track ends).

#include <QString>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "astrometry/plate.h"
#include "base/colour.h"
#include "sky/direction.h"
#include "frameinfo/frame_info.h"
#include "orbit/trajectories.h"

class Frmz;
class QWidget;

// A snapshot of the open frame: circumstances, calibration, picture geometry and the measured track ends.
struct SatelliteFrame {
  FrameInfo info;
  PlateSolution plate;
  int imageWidth = 0;  // image pixels
  int imageHeight = 0;
  int displayWidth = 0;  // screen pixels of the shown picture
  int displayHeight = 0;
  float displayScale = 1.0f;  // image pixels per screen pixel
  int trackEndCount = 0;
  std::array<double, 2> endX{}, endY{};    // track ends 1 and 2, image pixels
  std::array<J2000Direction, 2> endSky{};  // their measured directions
};

// References into the application's state and the main window's hooks, filled by the main window.
struct SatelliteContext {
  std::string appDir;     // with a trailing separator
  SatelliteState& state;  // candidates, trajectory marks and labels of the open frame
  int& identifiedNorad;   // the satellite the frame is identified as
  std::string& identifiedName;
  std::vector<int>& rememberedSatellites;  // numbers remembered for drawing several satellites
  bool& longTaskRunning;                   // cleared by the progress window's "Отмена"
  bool& catalogueReady;                    // false while a long task runs: guarded commands do nothing
  const MarkPalette& palette;              // sunlit and shadow colours of trajectory marks
  Frmz* progress = nullptr;
  QWidget* owner = nullptr;                  // parent of the windows and of their messages
  std::function<SatelliteFrame()> frame{};   // the open frame now
  std::function<bool()> collectStrict{};     // strict collection of the panel; false after its message
  std::function<void()> showTrajectories{};  // redraws the state's marks and labels on the frame
  std::function<void(const QString&, const QString&, const QString&)> hint{};
  std::function<void()> swapTrackEnds{};  // exchanges track ends 1 and 2
  // Moves a new window inside the screen and off the frame's picture; unset: near the owner's centre.
  std::function<void(QWidget*)> place{};
};
