#pragma once
// Every satellite of the database whose predicted path crosses a calibrated frame while it was exposed:
// where and when each entered and left the picture, how bright it should have been, whether it was
// sunlit and how far away. The database is run through once with the candidate search's machinery (the
// site's samples computed once, every satellite propagated at the same coarse times); only satellites
// that come near the frame are followed closely. Predicted directions are rotated from TEME of date to
// J2000, the frame of the plate solution, before they are projected.

#include <optional>
#include <string>
#include <vector>

#include "astrometry/plate.h"
#include "base/task_control.h"
#include "frameinfo/frame_info.h"
#include "orbit/candidates.h"
#include "orbit/observer.h"
#include "satdb/tle_record.h"
#include "sky/fixed_camera.h"

// The time a satellite may have crossed the frame in: the stated exposure widened on both sides by the
// clock error, from start - utError to start + exposure + utError (MJD, UT).
TrackWindow CrossingWindow(const FrameInfo& info);

// What the crossing search needs from the frame.
struct CrossingsInput {
  std::string appDir;    // the application directory; its TLE folder is the database searched
  PlateConstants plate;  // working form of the frame's plate solution
  int imageWidth = 0;    // image pixels; the picture spans 0.5 .. width + 0.5 and 0.5 .. height + 0.5
  int imageHeight = 0;
  TrackWindow window;         // CrossingWindow of the frame
  double latitudeRad = 0.0;   // geodetic latitude of the site
  double longitudeRad = 0.0;  // east longitude of the site
  double heightKm = 0.0;      // height of the site above the WGS-84 ellipsoid
  CameraView camera;          // how the pixels look at the sky during the exposure (a still camera turns)
};

// A predicted position on the frame.
struct CrossingSample {
  double mjd = 0.0;  // MJD (UT)
  double x = 0.0;    // image pixels
  double y = 0.0;
};

// One satellite's passage through the frame. When it leaves and comes back within the window, entry
// is its first entry and exit its last exit.
struct FrameCrossing {
  int catalogNumber = 0;
  std::string name;  // display name
  CrossingSample entry;
  CrossingSample exit;
  std::optional<double> magnitude;   // predicted visual magnitude at mid-crossing; none when unknown
  bool sunlit = false;               // at mid-crossing
  double rangeKm = 0.0;              // observer - satellite distance at mid-crossing, km
  std::vector<CrossingSample> path;  // positions inside the frame about a second apart, for drawing
};

// Step of the close following of a satellite near the frame, seconds. Between two samples the path on
// the picture is straight to far below a pixel, so entry and exit are found on the chord.
inline constexpr double kCrossingStepSeconds = 0.25;

// The crossing of one element set (its satellite's number and name taken from it), followed at
// kCrossingStepSeconds over the input's window; none when its path does not enter the picture, is below
// the horizon there, or cannot be propagated.
std::optional<FrameCrossing> CrossFrame(const TleRecord& tle, const CrossingsInput& input);

// How the search ended: message "Нет TLE." when the database holds no file, "Ни один ИСЗ базы не
// пересекает кадр." when no satellite crossed it, empty otherwise (also on cancel).
struct CrossingsResult {
  bool cancelled = false;
  std::string message;
  std::vector<FrameCrossing> crossings;  // by entry time, then catalogue number
};

// Runs through every "*.tle" file of the database (progress text the file's path, cancel checked per
// file) with the element set nearest the window's start, younger than kMaxElementAgeDays. Each satellite
// is propagated at the candidate search's 5-second samples over the window; one whose samples all lie
// farther from the frame than its radius plus the sky it covers between samples cannot reach it and is
// passed over. The others are followed by CrossFrame.
CrossingsResult FrameCrossings(const CrossingsInput& input, TaskControl& task);

// One crossing as the lists show it: "43229  PODSAT  вход 18:10:39.24 (929.1, 1137.1)  выход
// 18:11:09.24 (1281.2, 561.2)  m=5.3  освещён  2468 км" ("в тени" in the Earth's shadow; the magnitude
// only when known).
std::string CrossingText(const FrameCrossing& crossing);
