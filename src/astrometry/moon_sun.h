#pragma once
// Geocentric positions of the Moon and the Sun of low precision (a few hundredths of a degree), the
// Moon's illuminated fraction and its place above the observer's horizon.
// Vectors are geocentric equatorial rectangular coordinates in km, x towards the equinox, z towards the
// north pole, referred to the mean equator and equinox of date.

#include <array>
#include <string>

class LogFile;

// Right ascension and declination, radians.
struct RaDec {
  double raRad = 0.0;   // 0 to below 2*pi
  double decRad = 0.0;  // -pi/2 to pi/2
};

// Azimuth (from the south, positive towards the west) and altitude, degrees.
struct Horizontal {
  double azimuthDeg = 0.0;   // 0 to below 360
  double altitudeDeg = 0.0;  // -90 to 90
};

// Circumstances ComputeMoon needs from the frame.
struct MoonCircumstances {
  double midMjd = 0.0;        // middle of the exposure, MJD (UT)
  double longitudeRad = 0.0;  // site longitude, east positive
  double latitudeRad = 0.0;   // site latitude, geodetic
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
  RaDec moon;                // geocentric place of the Moon
  Horizontal horizon;        // azimuth and altitude (51' added), degrees
};

// Geocentric Moon vector (km) at an MJD (UT), by the low-precision lunar theory referred to the epoch
// 1900 January 0.5 (mean arguments with their additive corrections, longitude terms down to 0.0005 deg,
// latitude terms down to 0.001 deg, the full parallax series; distance from the parallax).
std::array<double, 3> MoonPosition(double mjd);

// Geocentric Sun vector (km) at an MJD (UT): mean anomaly and longitude with the equation of centre,
// at the fixed distance 149597892.1111 km, rotated to the equator by the obliquity 23.439281 deg.
std::array<double, 3> SunPosition(double mjd);

// Illuminated fraction of the Moon (0 to 1) from the geocentric Moon and Sun vectors: (1 + cos i) / 2
// with i the angle at the Moon between the Earth and the Sun.
double IlluminatedFraction(const std::array<double, 3>& moon, const std::array<double, 3>& sun);

// Right ascension (0 to below 2*pi) and declination of a vector, radians.
RaDec VectorToRaDec(const std::array<double, 3>& v);

// Azimuth and altitude (degrees) of a place of hour angle hourAngleRad and declination decRad, seen
// from geodetic latitude latitudeRad; azimuth from the south, positive towards the west.
Horizontal HorizontalCoordinates(double hourAngleRad, double decRad, double latitudeRad);

// The Moon at the middle of an exposure: place, illuminated fraction, distance from the field centre
// (only when the frame is solved) and visibility (altitude plus 51' for refraction and the Moon's
// radius at least 0). Writes the lines "Moon ra,dec:" (radians) and "Moon az,h:" (degrees) to the log.
MoonValues ComputeMoon(const MoonCircumstances& circumstances, LogFile& log);
