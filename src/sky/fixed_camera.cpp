#include "sky/fixed_camera.h"

#include <cmath>

#include "sky/angles.h"
#include "sky/frames.h"

namespace {

constexpr double kSiderealRadPerDay = 6.30038736;

// A TEME direction of the date mjd turned about its pole by angle (radians), referred to J2000.
J2000Direction TurnedToJ2000(TemeDirection seen, double angle, double mjd) {
  seen.raRad = NormalizeTwoPi(seen.raRad + angle);
  return TemeToJ2000(seen, mjd);
}

}  // namespace

double SiderealTurn(double fromMjd, double toMjd) {
  return (toMjd - fromMjd) * kSiderealRadPerDay;
}

J2000Direction CameraView::SkyAt(const J2000Direction& plate, double mjd) const {
  if (!fixed) return plate;
  return TurnedToJ2000(J2000ToTeme(plate, mjd), SiderealTurn(plateMjd, mjd), mjd);
}

J2000Direction CameraView::PlateOf(const J2000Direction& sky, double mjd) const {
  if (!fixed) return sky;
  return TurnedToJ2000(J2000ToTeme(sky, mjd), -SiderealTurn(plateMjd, mjd), mjd);
}

J2000Direction CameraView::PlateOf(const TemeDirection& seen, double mjd) const {
  if (!fixed) return TemeToJ2000(seen, mjd);
  return TurnedToJ2000(seen, -SiderealTurn(plateMjd, mjd), mjd);
}
