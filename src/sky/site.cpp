#include "sky/site.h"

#include <algorithm>
#include <cmath>

#include "sky/angles.h"

double GreenwichSiderealTime(double mjd) {
  // Mean sidereal time at 0h UT plus the sidereal advance since midnight.
  const double d0 = std::floor(mjd);
  const double t = (d0 - 51544.5) / 36525.0;
  const double s0 = 24110.54841 + 8640184.812 * t + 0.093104 * t * t - 6.2e-6 * t * t * t;
  const double s = s0 + 1.0027379093508 * (mjd - d0) * 86400.0;
  return DegToRad(Normalize360(s / 3600.0 * 15.0));
}

Vec3 GeodeticToGeocentric(double latitudeRad, double siderealRad, double heightKm) {
  constexpr double a = kWgs84EquatorialRadiusKm;
  constexpr double oneMinusF = 1.0 - kWgs84Flattening;
  const double sinPhi = std::sin(latitudeRad), cosPhi = std::cos(latitudeRad);
  const double c = 1.0 / std::sqrt(cosPhi * cosPhi + oneMinusF * oneMinusF * sinPhi * sinPhi);
  const double s = oneMinusF * oneMinusF * c;
  const double rCosPhi = (a * c + heightKm) * cosPhi;
  return {rCosPhi * std::cos(siderealRad), rCosPhi * std::sin(siderealRad), (a * s + heightKm) * sinPhi};
}

Horizontal HorizontalCoordinates(double hourAngleRad, double decRad, double latitudeRad) {
  const double sinPhi = std::sin(latitudeRad), cosPhi = std::cos(latitudeRad);
  const double sinDec = std::sin(decRad), cosDec = std::cos(decRad);
  const double altitude = Pi / 2.0 - ArcCos(sinPhi * sinDec + cosPhi * cosDec * std::cos(hourAngleRad));
  // sin A cos h = sin H cos d and cos A cos h cos phi = sin h sin phi - sin d; the common positive
  // factor cos h cos phi is left out of the arc tangent so that the zenith gives no division by zero.
  const double y = std::sin(hourAngleRad) * cosDec * cosPhi;
  const double x = std::sin(altitude) * sinPhi - sinDec;
  Horizontal result;
  result.azimuthDeg = RadToDeg(ArcTan2(y, x));
  if (result.azimuthDeg < 0.0) result.azimuthDeg += 360.0;
  result.altitudeDeg = RadToDeg(altitude);
  return result;
}

TemeDirection PointingDirection(double altitudeDeg, double azimuthDeg, double latitudeRad, double siderealRad) {
  const double h = DegToRad(altitudeDeg), a = DegToRad(azimuthDeg);
  const double sinPhi = std::sin(latitudeRad), cosPhi = std::cos(latitudeRad);
  const double sinDec = sinPhi * std::sin(h) + cosPhi * std::cos(h) * std::cos(a);
  const double hourAngle =
      ArcTan2(-std::sin(a) * std::cos(h), cosPhi * std::sin(h) - sinPhi * std::cos(h) * std::cos(a));
  double ra = std::fmod(siderealRad - hourAngle, 2.0 * Pi);
  if (ra < 0.0) ra += 2.0 * Pi;
  return {ra, std::asin(std::clamp(sinDec, -1.0, 1.0))};
}
