#pragma once
// The Moon at the middle of an exposure, as the frame-parameters panel and the log show it. The theories
// of the Moon and the Sun and the topocentric places are in sky/sun_moon.h.

#include <string>

#include "sky/direction.h"
#include "sky/site.h"
#include "sky/sun_moon.h"

class LogFile;

// Circumstances ComputeMoon needs from the frame.
struct MoonCircumstances {
  double midMjd = 0.0;        // middle of the exposure, MJD (UT)
  double longitudeRad = 0.0;  // site longitude, east positive
  double latitudeRad = 0.0;   // site latitude, geodetic
  double heightKm = 0.0;      // site height above the WGS-84 ellipsoid
  bool plateSolved = false;   // the frame has a plate solution (Mx non-zero)
  double tangentRaRad = 0.0;  // the solution's tangent point, radians
  double tangentDecRad = 0.0;
};

// What ComputeMoon gives the frame-parameters panel (and the log).
struct MoonValues {
  bool valid = false;        // false when the circumstances were not finite numbers
  std::string visibility;    // "Yes" when the altitude plus 51' is at least 0, else "No"
  float phase = 0.0f;        // illuminated fraction, 0 (new) to 1 (full)
  bool distanceSet = false;  // distanceDeg was computed (the frame is solved); else keep the old value
  float distanceDeg = 0.0f;  // great-circle distance Moon - tangent point, degrees
  J2000Direction moon;       // topocentric astrometric place of the Moon
  Horizontal horizon;        // azimuth and geometric altitude (51' added), degrees
};

// The Moon at the middle of an exposure as the observer saw it: topocentric J2000 place, illuminated
// fraction, distance from the field centre (only when the frame is solved; both in J2000) and
// visibility (geometric topocentric altitude plus 51' for refraction and the Moon's radius at least 0).
// Writes the lines "Moon ra,dec:" (J2000, radians) and "Moon az,h:" (degrees) to the log.
MoonValues ComputeMoon(const MoonCircumstances& circumstances, LogFile& log);
