#include "sky/angles.h"

#include <cmath>

namespace {

// Sign of a number: -1, 0 or +1.
double Sign(double x) {
  return x > 0.0 ? 1.0 : (x < 0.0 ? -1.0 : 0.0);
}

}  // namespace

double DegToRad(double degrees) {
  return degrees * Pi / 180.0;
}

double RadToDeg(double radians) {
  return radians * 180.0 / Pi;
}

double ArcCos(double x) {
  if (x > 1.0) x = 1.0;
  if (x < -1.0) x = -1.0;
  const double s = std::sqrt(1.0 - x * x);
  if (s >= 1e-70) return std::atan(-x / s) + 2.0 * std::atan(1.0);
  return std::atan(Sign(-x) * 1e70) + 2.0 * std::atan(1.0);
}

double ArcTan2(double y, double x) {
  if (std::fabs(x) > std::fabs(y) * 1e-70) {
    if (x >= 0.0) return std::atan(y / x);
    if (y == 0.0) return Pi;
    return std::atan(y / x) + Sign(y) * Pi;
  }
  return Sign(y) * Pi / 2.0;
}

double Normalize360(double degrees) {
  if (!std::isfinite(degrees)) return std::nan("");
  // Far-off values are first reduced by whole turns so that the loops below stay short.
  if (std::fabs(degrees) >= 360.0 * 1024.0) degrees = std::fmod(degrees, 360.0);
  while (degrees < 0.0) degrees += 360.0;
  while (degrees >= 360.0) degrees -= 360.0;
  return degrees;
}

double NormalizeTwoPi(double radians) {
  if (!std::isfinite(radians)) return std::nan("");
  double r = std::fmod(radians, 2.0 * Pi);
  if (r < 0.0) r += 2.0 * Pi;
  return r < 2.0 * Pi ? r : 0.0;
}

double AngularSeparation(double ra1, double dec1, double ra2, double dec2) {
  const double da = ra2 - ra1;
  const double sd1 = std::sin(dec1), cd1 = std::cos(dec1);
  const double sd2 = std::sin(dec2), cd2 = std::cos(dec2);
  const double cda = std::cos(da);
  const double a = cd2 * std::sin(da);
  const double b = cd1 * sd2 - sd1 * cd2 * cda;
  return std::atan2(std::hypot(a, b), sd1 * sd2 + cd1 * cd2 * cda);
}
