#include "orbit/observer.h"

#include <cmath>

#include "orbit/sgp4.h"
#include "sky/angles.h"
#include "sky/site.h"
#include "sky/sun_moon.h"
#include "sky/vec3.h"

namespace {

constexpr double kEarthRotationRadPerDay = 6.30038736;
constexpr double kShadowRadiusKm = 6378.135;

// Propagator and sidereal time set up once per track.
struct TrackSetup {
  Sgp4Model model;
  DeepSpaceIntegrator integrator;  // resonance integration carried from sample to sample
  double epochMjd = 0.0;
  double firstMjd = 0.0;
  double firstSiderealRad = 0.0;  // local sidereal time at the first sample
  double latitudeRad = 0.0;
  double heightKm = 0.0;  // site height above the ellipsoid
};

// One sample: satellite and observer positions (km) and the topocentric place.
struct SkySample {
  Vec3 satellite{};
  Vec3 site{};
  double siderealRad = 0.0;
  double raRad = 0.0;
  double decRad = 0.0;
};

bool BeginTrack(const TleRecord& tle, double firstMjd, double latitudeRad, double longitudeRad, double heightKm,
                TrackSetup& setup) {
  if (!std::isfinite(firstMjd) || !std::isfinite(latitudeRad) || !std::isfinite(longitudeRad) ||
      !std::isfinite(heightKm))
    return false;
  static const Sgp4Constants wgs84 = Wgs84Constants();
  if (Sgp4Initialise(ElementsFromTle(tle), wgs84, setup.model) != Sgp4Error::None) return false;
  setup.epochMjd = tle.epochMjd;
  setup.firstMjd = firstMjd;
  setup.firstSiderealRad = GreenwichSiderealTime(firstMjd) + longitudeRad;
  setup.latitudeRad = latitudeRad;
  setup.heightKm = heightKm;
  return true;
}

// Local sidereal time at a sample, carried from the first sample at the Earth's rate.
double SiderealAt(const TrackSetup& setup, double mjd) {
  return setup.firstSiderealRad + (mjd - setup.firstMjd) * kEarthRotationRadPerDay;
}

// The satellite at a sample seen from a site whose sidereal time and vector are given.
bool SampleAt(TrackSetup& setup, double mjd, double siderealRad, const Vec3& site, SkySample& sample) {
  Sgp4State state;
  if (Sgp4Evaluate(setup.model, (mjd - setup.epochMjd) * 1440.0, state, setup.integrator) != Sgp4Error::None)
    return false;
  sample.satellite = state.positionKm;
  sample.siderealRad = siderealRad;
  sample.site = site;
  const TemeDirection seen = DirectionOf<SkyFrame::Teme>(Minus(sample.satellite, sample.site));
  sample.raRad = seen.raRad;
  sample.decRad = seen.decRad;
  return std::isfinite(sample.raRad) && std::isfinite(sample.decRad) && std::isfinite(sample.siderealRad);
}

bool SampleAt(TrackSetup& setup, double mjd, SkySample& sample) {
  const double sidereal = SiderealAt(setup, mjd);
  return SampleAt(setup, mjd, sidereal, GeodeticToGeocentric(setup.latitudeRad, sidereal, setup.heightKm), sample);
}

// Range, phase angle and sunlit flag of a sample above the horizon; false when not finite.
bool FillVisibility(const SkySample& s, TrajectoryPoint& point) {
  const Vec3 sun = SunPosition(point.time);
  const Vec3 toObserver = Minus(s.site, s.satellite);
  const Vec3 toSun = Minus(sun, s.satellite);
  const double range = Length(toObserver);
  const double phaseDeg = RadToDeg(ArcCos(Dot(toObserver, toSun) / (range * Length(toSun))));
  if (!std::isfinite(range) || !std::isfinite(phaseDeg)) return false;
  point.range = range;
  point.phase = static_cast<float>(phaseDeg);
  point.sunlit = SunlitTest(s.satellite, sun);
  return true;
}

}  // namespace

int16_t SunlitTest(const Vec3& satelliteKm, const Vec3& sunKm) {
  const Vec3 toSun = Minus(sunKm, satelliteKm);
  const double toSunLength = Length(toSun);
  const double satelliteLength = Length(satelliteKm);
  // Cosine of the angle at the satellite between the Sun and the Earth's centre.
  const double c = -Dot(toSun, satelliteKm) / (toSunLength * satelliteLength);
  if (!(c > 0.0)) return -1;
  // Point of the line satellite -> Sun nearest the Earth's centre, a fraction t of the way to the Sun.
  const double t = c * satelliteLength / toSunLength;
  const Vec3 nearest = Plus(satelliteKm, Scaled(toSun, t));
  return Length(nearest) < kShadowRadiusKm ? 0 : -1;
}

std::optional<double> MagnitudeEstimate(double standardMagnitude, double rangeKm, double phaseDeg) {
  if (standardMagnitude == 99.0 || !(rangeKm > 0.0)) return std::nullopt;
  const double fraction = (1.0 + std::cos(DegToRad(phaseDeg))) / 2.0;
  if (!(fraction > 0.0)) return std::nullopt;
  const double magnitude = standardMagnitude - 15.75 + 2.5 * std::log10(rangeKm * rangeKm / fraction);
  if (!std::isfinite(magnitude)) return std::nullopt;
  return magnitude;
}

bool SkyTrack(const TleRecord& tle, std::span<const double> timesMjd, double latitudeRad, double longitudeRad,
              std::vector<TemeDirection>& directions, double heightKm) {
  directions.assign(timesMjd.size(), TemeDirection{});
  if (timesMjd.empty()) return true;
  TrackSetup setup;
  if (!BeginTrack(tle, timesMjd[0], latitudeRad, longitudeRad, heightKm, setup)) return false;
  for (size_t k = 0; k < timesMjd.size(); ++k) {
    SkySample sample;
    if (!SampleAt(setup, timesMjd[k], sample)) return false;
    directions[k] = {sample.raRad, sample.decRad};
  }
  return true;
}

ObserverSamples ObserveFrom(std::span<const double> timesMjd, double latitudeRad, double longitudeRad,
                            double heightKm) {
  ObserverSamples samples;
  if (timesMjd.empty() || !std::isfinite(timesMjd[0]) || !std::isfinite(latitudeRad) ||
      !std::isfinite(longitudeRad) || !std::isfinite(heightKm))
    return samples;
  TrackSetup site;
  site.firstMjd = timesMjd[0];
  site.firstSiderealRad = GreenwichSiderealTime(timesMjd[0]) + longitudeRad;
  site.latitudeRad = latitudeRad;
  site.heightKm = heightKm;
  samples.timesMjd.assign(timesMjd.begin(), timesMjd.end());
  for (const double mjd : timesMjd) {
    const double sidereal = SiderealAt(site, mjd);
    samples.siderealRad.push_back(sidereal);
    samples.siteKm.push_back(GeodeticToGeocentric(latitudeRad, sidereal, heightKm));
    samples.temeToJ2000.push_back(TemeToJ2000Matrix(mjd));
  }
  return samples;
}

bool SkyPath(const TleRecord& tle, const ObserverSamples& samples, std::vector<J2000Direction>& path) {
  const std::vector<double>& times = samples.timesMjd;
  path.assign(times.size(), J2000Direction{});
  if (times.empty()) return false;
  static const Sgp4Constants wgs84 = Wgs84Constants();
  TrackSetup setup;
  if (Sgp4Initialise(ElementsFromTle(tle), wgs84, setup.model) != Sgp4Error::None) return false;
  setup.epochMjd = tle.epochMjd;
  for (size_t k = 0; k < times.size(); ++k) {
    SkySample sample;
    if (!SampleAt(setup, times[k], samples.siderealRad[k], samples.siteKm[k], sample)) return false;
    path[k] = TemeToJ2000(TemeDirection{sample.raRad, sample.decRad}, samples.temeToJ2000[k]);
  }
  return true;
}

bool TrajectoryTrack(const TleRecord& tle, std::vector<TrajectoryPoint>& points, double latitudeRad,
                     double longitudeRad, double heightKm) {
  if (points.empty()) return true;
  TrackSetup setup;
  if (!BeginTrack(tle, points[0].time, latitudeRad, longitudeRad, heightKm, setup)) return false;
  for (TrajectoryPoint& point : points) {
    SkySample sample;
    if (!SampleAt(setup, point.time, sample)) return false;
    point.sky = {sample.raRad, sample.decRad};
    point.range = -1.0;
    point.phase = 0.0f;
    point.sunlit = 0;
    const Horizontal horizon = HorizontalCoordinates(sample.siderealRad - sample.raRad, sample.decRad, latitudeRad);
    if (horizon.altitudeDeg >= 0.0 && !FillVisibility(sample, point)) return false;
  }
  return true;
}
