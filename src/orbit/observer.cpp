#include "orbit/observer.h"

#include <cmath>

#include "astrometry/moon_sun.h"
#include "base/calendar.h"
#include "orbit/sgp4.h"

namespace {

using Vec3 = std::array<double, 3>;

constexpr double kSiteEquatorialRadiusKm = 6378.155;
constexpr double kOneMinusFlattening = 0.9966472205458325;    // 1 - f, f = 1/298.26
constexpr double kSiteEccentricitySq = 0.006694317778266723;  // e^2 = 2f - f^2
constexpr double kEarthRotationRadPerDay = 6.30038736;
constexpr double kShadowRadiusKm = 6378.135;

double Dot(const Vec3& a, const Vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
double Length(const Vec3& a) {
  return std::sqrt(Dot(a, a));
}
Vec3 Minus(const Vec3& a, const Vec3& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

// Propagator and sidereal time set up once per track.
struct TrackSetup {
  Sgp4Model model;
  DeepSpaceIntegrator integrator;  // resonance integration carried from sample to sample
  double epochMjd = 0.0;
  double firstMjd = 0.0;
  double firstSiderealRad = 0.0;  // local sidereal time at the first sample
  double latitudeRad = 0.0;
};

// One sample: satellite and observer positions (km) and the topocentric place.
struct SkySample {
  Vec3 satellite{};
  Vec3 site{};
  double siderealRad = 0.0;
  double raRad = 0.0;
  double decRad = 0.0;
};

bool BeginTrack(const TleRecord& tle, double firstMjd, double latitudeRad, double longitudeRad, TrackSetup& setup) {
  if (!std::isfinite(firstMjd) || !std::isfinite(latitudeRad) || !std::isfinite(longitudeRad)) return false;
  static const Sgp4Constants wgs84 = Wgs84Constants();
  if (Sgp4Initialise(ElementsFromTle(tle), wgs84, setup.model) != Sgp4Error::None) return false;
  setup.epochMjd = tle.epochMjd;
  setup.firstMjd = firstMjd;
  setup.firstSiderealRad = GreenwichSiderealTime(firstMjd) + longitudeRad;
  setup.latitudeRad = latitudeRad;
  return true;
}

bool SampleAt(TrackSetup& setup, double mjd, SkySample& sample) {
  Sgp4State state;
  if (Sgp4Evaluate(setup.model, (mjd - setup.epochMjd) * 1440.0, state, setup.integrator) != Sgp4Error::None)
    return false;
  sample.satellite = state.positionKm;
  sample.siderealRad = setup.firstSiderealRad + (mjd - setup.firstMjd) * kEarthRotationRadPerDay;
  sample.site = SiteVector(setup.latitudeRad, sample.siderealRad);
  const Vec3 rho = Minus(sample.satellite, sample.site);
  sample.raRad = ArcTan2(rho[1], rho[0]);
  if (sample.raRad < 0.0) sample.raRad += 2.0 * Pi;
  sample.decRad = ArcTan2(rho[2], std::sqrt(rho[0] * rho[0] + rho[1] * rho[1]));
  return std::isfinite(sample.raRad) && std::isfinite(sample.decRad) && std::isfinite(sample.siderealRad);
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

std::array<double, 3> SiteVector(double latitudeRad, double siderealRad) {
  const double sinPhi = std::sin(latitudeRad);
  const double c = 1.0 / std::sqrt(1.0 - kSiteEccentricitySq * sinPhi * sinPhi);
  const double s = kOneMinusFlattening * kOneMinusFlattening * c;
  const double rCosPhi = kSiteEquatorialRadiusKm * c * std::cos(latitudeRad);
  return {rCosPhi * std::cos(siderealRad), rCosPhi * std::sin(siderealRad), kSiteEquatorialRadiusKm * s * sinPhi};
}

int16_t SunlitTest(const std::array<double, 3>& satelliteKm, const std::array<double, 3>& sunKm) {
  const Vec3 toSun = Minus(sunKm, satelliteKm);
  const double toSunLength = Length(toSun);
  const double satelliteLength = Length(satelliteKm);
  // Cosine of the angle at the satellite between the Sun and the Earth's centre.
  const double c = -Dot(toSun, satelliteKm) / (toSunLength * satelliteLength);
  if (!(c > 0.0)) return -1;
  // Point of the line satellite -> Sun nearest the Earth's centre, a fraction t of the way to the Sun.
  const double t = c * satelliteLength / toSunLength;
  const Vec3 nearest{satelliteKm[0] + t * toSun[0], satelliteKm[1] + t * toSun[1], satelliteKm[2] + t * toSun[2]};
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
              std::vector<TemeDirection>& directions) {
  directions.assign(timesMjd.size(), TemeDirection{});
  if (timesMjd.empty()) return true;
  TrackSetup setup;
  if (!BeginTrack(tle, timesMjd[0], latitudeRad, longitudeRad, setup)) return false;
  for (size_t k = 0; k < timesMjd.size(); ++k) {
    SkySample sample;
    if (!SampleAt(setup, timesMjd[k], sample)) return false;
    directions[k] = {sample.raRad, sample.decRad};
  }
  return true;
}

bool TrajectoryTrack(const TleRecord& tle, std::vector<TrajectoryPoint>& points, double latitudeRad,
                     double longitudeRad) {
  if (points.empty()) return true;
  TrackSetup setup;
  if (!BeginTrack(tle, points[0].time, latitudeRad, longitudeRad, setup)) return false;
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
