#pragma once
// Random satellite scenes for testing the automatic road: a random site and night time, a satellite of a
// database that stands high over that site, a camera pointed near it with a random scale, rotation,
// mirroring, lens distortion, sky level and noise, and the satellite's streak drawn between its positions
// at the exposure's true start and end. Everything a user would type comes with it. A scene may be taken
// with a camera standing still: its stars are trails and the streak's ends lie where the still camera
// saw the satellite at those instants.

#include <cstdint>
#include <string>
#include <vector>

#include "framegen/framegen.h"
#include "frameinfo/frame_info.h"
#include "satdb/tle_record.h"
#include "sky/direction.h"

// The limits scenes are drawn from.
struct SceneLimits {
  int minWidth = 1600;  // frame width, pixels; the height is two thirds of it
  int maxWidth = 3200;
  double minScaleArcsec = 18.0;  // arcseconds per pixel
  double maxScaleArcsec = 60.0;
  double maxDistortion = 0.003;  // |k| of the radial distortion
  double minPeak = 25.0;         // streak peak above the sky, levels
  double maxPeak = 140.0;
  double minNoise = 1.5;  // sky noise sigma, levels
  double maxNoise = 4.0;
  double minAltitudeDeg = 35.0;  // the satellite's altitude at mid-exposure
  double maxClockLag = 0.4;      // seconds the true start follows the stated one at most
  bool fixedCamera = false;      // the camera stood still
  double exposure = 0.0;         // seconds; 0 draws 5 to 30 s
  // The declination of the streak's middle, degrees; a narrower window draws the site's latitude near it.
  double minDecDeg = -90.0;
  double maxDecDeg = 90.0;
};

// One scene: the drawing, the satellite and what the observer types into the panel.
struct SatelliteScene {
  FrameSpec drawing;
  int catalogNumber = 0;  // the satellite drawn
  double startMjd = 0.0;  // true exposure start, MJD (UT)
  double exposure = 0.0;  // seconds
  J2000Direction ends[2];  // the satellite's true directions at the exposure's true start and end
  double longitudeDeg = 0.0;
  double latitudeDeg = 0.0;
  // The panel's texts: date, time of the stated start (truncated to 0.1 s), UT error, exposure, site,
  // and the frame centre and width to the whole degree.
  std::string date, time, utError, exposureText, longitude, latitude, ra, dec, field;
  bool west = false, south = false;
};

// Draws a random scene from the generator state; false when no satellite of the list could be placed in
// a few hundred tries. Satellites with periods of 300 minutes or more are passed over.
bool MakeSatelliteScene(const std::vector<TleRecord>& satellites, const SceneLimits& limits, std::uint32_t seed,
                        SatelliteScene& scene);

// What the observer types for a scene; the frame centre and width only with centre set.
PanelEntries SceneEntries(const SatelliteScene& scene, bool centre);
