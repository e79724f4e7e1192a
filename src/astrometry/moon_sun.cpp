#include "astrometry/moon_sun.h"

#include <cmath>

#include "base/log.h"
#include "sky/angles.h"

MoonValues ComputeMoon(const MoonCircumstances& c, LogFile& log) {
  MoonValues values;
  if (!std::isfinite(c.midMjd) || !std::isfinite(c.longitudeRad) || !std::isfinite(c.latitudeRad) ||
      !std::isfinite(c.heightKm))
    return values;

  const double mjdTt = c.midMjd + DeltaTSeconds(c.midMjd) / 86400.0;
  values.phase = static_cast<float>(IlluminatedFraction(MoonPosition(mjdTt), SunPosition(mjdTt)));

  const TopocentricPlace seen = MoonTopocentric(c.midMjd, c.longitudeRad, c.latitudeRad, c.heightKm);
  values.moon = seen.j2000;
  if (c.plateSolved && std::isfinite(c.tangentRaRad) && std::isfinite(c.tangentDecRad)) {
    values.distanceDeg =
        static_cast<float>(RadToDeg(Separation(J2000Direction{c.tangentRaRad, c.tangentDecRad}, seen.j2000)));
    values.distanceSet = true;
  }

  values.horizon = seen.horizon;
  values.horizon.altitudeDeg += 51.0 / 60.0;
  values.visibility = values.horizon.altitudeDeg >= 0.0 ? "Yes" : "No";
  values.valid = true;

  log.Text("Moon ra,dec:").Number(values.moon.raRad).Number(values.moon.decRad).EndLine();
  log.Text("Moon az,h:").Number(values.horizon.azimuthDeg).Number(values.horizon.altitudeDeg).EndLine();
  return values;
}
