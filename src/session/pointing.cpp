#include "session/pointing.h"

#include <cmath>

#include "sky/frames.h"
#include "sky/site.h"

std::optional<J2000Direction> PointingCentre(const FrameInfo& info) {
  if (!info.pointingAltAz || !info.midTime.IsSet()) return std::nullopt;
  if (!std::isfinite(info.midMjd) || !std::isfinite(info.latitudeRad) || !std::isfinite(info.longitudeRad) ||
      !std::isfinite(info.pointingAlt) || !std::isfinite(info.pointingAz))
    return std::nullopt;
  // The hour angle is counted from the mean sidereal time, so the place is of the propagator's frame of
  // date; the rotation to J2000 is explicit.
  const double sidereal = GreenwichSiderealTime(info.midMjd) + info.longitudeRad;
  const TemeDirection ofDate = PointingDirection(info.pointingAlt, info.pointingAz, info.latitudeRad, sidereal);
  return TemeToJ2000(ofDate, info.midMjd);
}
