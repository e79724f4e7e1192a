// Observer geometry against independent computations: a geodetic construction of the point straight
// below a satellite, an Earth-fixed topocentric reduction, a cylinder shadow model and the worked
// magnitude example.

#include "orbit/observer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "orbit/sgp4.h"
#include "sky/angles.h"
#include "sky/frames.h"
#include "sky/site.h"
#include "sky/sun_moon.h"
#include "test_paths.h"
#include "tle_text_support.h"

namespace {

using Vec3 = std::array<double, 3>;

// WGS-84, the Earth model of the site.
constexpr double kEquatorKm = 6378.137;
constexpr double kFlattening = 1.0 / 298.257223563;

TleRecord Iss() {
  const auto sets = tle_text::ReadFile((testing_support::TestDataDir() / "sgp4" / "iss_2026-08-08.tle").string());
  EXPECT_EQ(sets.size(), 1u);
  return sets.empty() ? TleRecord{} : sets[0];
}

Vec3 SatelliteAt(const TleRecord& tle, double mjd) {
  Sgp4State state;
  EXPECT_EQ(Propagate(ElementsFromTle(tle), (mjd - tle.epochMjd) * 1440.0, state), Sgp4Error::None);
  return state.positionKm;
}

double Norm(const Vec3& v) {
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}
double DotP(const Vec3& a, const Vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Geodetic latitude and height of a point given in cylindrical coordinates (p from the axis, z),
// by the classical fixed-point iteration on the prime-vertical radius.
void GeodeticFromCylindrical(double p, double z, double& latitude, double& heightKm) {
  const double e2 = kFlattening * (2.0 - kFlattening);
  latitude = std::atan2(z, p * (1.0 - e2));
  for (int i = 0; i < 50; ++i) {
    const double n = kEquatorKm / std::sqrt(1.0 - e2 * std::sin(latitude) * std::sin(latitude));
    heightKm = p / std::cos(latitude) - n;
    latitude = std::atan2(z, p * (1.0 - e2 * n / (n + heightKm)));
  }
}

// Observer on the ellipsoid and its local vertical in the Earth-fixed frame (x towards longitude 0).
void SiteEarthFixed(double latitude, double longitude, Vec3& site, Vec3& up) {
  const double e2 = kFlattening * (2.0 - kFlattening);
  const double n = kEquatorKm / std::sqrt(1.0 - e2 * std::sin(latitude) * std::sin(latitude));
  up = {std::cos(latitude) * std::cos(longitude), std::cos(latitude) * std::sin(longitude), std::sin(latitude)};
  site = {n * up[0], n * up[1], n * (1.0 - e2) * up[2]};
}

// Independent topocentric reduction: the satellite is turned into the Earth-fixed frame with the
// sidereal angle of its own instant, the site is subtracted there and the vector turned back.
struct Topocentric {
  double raDeg, decDeg, altitudeDeg, rangeKm;
};
Topocentric IndependentTopocentric(const Vec3& satellite, double mjd, double latitude, double longitude) {
  const double gmst = GreenwichSiderealTime(mjd);
  const double c = std::cos(gmst), s = std::sin(gmst);
  const Vec3 fixed{c * satellite[0] + s * satellite[1], -s * satellite[0] + c * satellite[1], satellite[2]};
  Vec3 site, up;
  SiteEarthFixed(latitude, longitude, site, up);
  const Vec3 rho{fixed[0] - site[0], fixed[1] - site[1], fixed[2] - site[2]};
  const Vec3 inertial{c * rho[0] - s * rho[1], s * rho[0] + c * rho[1], rho[2]};
  Topocentric t;
  t.rangeKm = Norm(rho);
  t.altitudeDeg = std::asin(DotP(rho, up) / t.rangeKm) * 180.0 / std::acos(-1.0);
  t.raDeg = std::atan2(inertial[1], inertial[0]) * 180.0 / std::acos(-1.0);
  if (t.raDeg < 0.0) t.raDeg += 360.0;
  t.decDeg = std::asin(inertial[2] / t.rangeKm) * 180.0 / std::acos(-1.0);
  return t;
}

TrajectoryPoint TrackOne(const TleRecord& tle, double mjd, double latitude, double longitude, double heightKm = 0.0) {
  std::vector<TrajectoryPoint> points(1);
  points[0].time = mjd;
  EXPECT_TRUE(TrajectoryTrack(tle, points, latitude, longitude, heightKm));
  return points[0];
}

TEST(ObserverTest, SatelliteStraightOverheadIsAtTheZenithAtItsHeight) {
  const TleRecord iss = Iss();
  const double mjd = iss.epochMjd + 0.3;
  const Vec3 r = SatelliteAt(iss, mjd);
  double latitude = 0.0, height = 0.0;
  GeodeticFromCylindrical(std::hypot(r[0], r[1]), r[2], latitude, height);
  const double longitude = std::atan2(r[1], r[0]) - GreenwichSiderealTime(mjd);
  ASSERT_GT(height, 350.0);

  const TrajectoryPoint p = TrackOne(iss, mjd, latitude, longitude);
  EXPECT_NEAR(p.range, height, 1e-3);
  const double sidereal = GreenwichSiderealTime(mjd) + longitude;
  EXPECT_NEAR(HorizontalCoordinates(sidereal - p.sky.raRad, p.sky.decRad, latitude).altitudeDeg, 90.0, 1e-4);
  // A site 2.5 km up the same vertical is 2.5 km nearer.
  const TrajectoryPoint high = TrackOne(iss, mjd, latitude, longitude, 2.5);
  EXPECT_NEAR(high.range, height - 2.5, 1e-3);
  EXPECT_NEAR(HorizontalCoordinates(sidereal - high.sky.raRad, high.sky.decRad, latitude).altitudeDeg, 90.0, 1e-4);
}

TEST(ObserverTest, HorizonDecidesWhetherVisibilityIsComputed) {
  const TleRecord iss = Iss();
  const double mjd = iss.epochMjd + 0.3;
  const Vec3 r = SatelliteAt(iss, mjd);
  double latitude = 0.0, height = 0.0;
  GeodeticFromCylindrical(std::hypot(r[0], r[1]), r[2], latitude, height);
  const double below = std::atan2(r[1], r[0]) - GreenwichSiderealTime(mjd);
  // Move the site west along its parallel until the independent altitude is the wanted one.
  auto longitudeForAltitude = [&](double altitudeDeg) {
    double near = 0.0, far = DegToRad(40.0);
    for (int i = 0; i < 60; ++i) {
      const double mid = 0.5 * (near + far);
      const double alt = IndependentTopocentric(r, mjd, latitude, below - mid).altitudeDeg;
      (alt > altitudeDeg ? near : far) = mid;
    }
    return below - 0.5 * (near + far);
  };
  const double lowLongitude = longitudeForAltitude(-1.0);
  ASSERT_NEAR(IndependentTopocentric(r, mjd, latitude, lowLongitude).altitudeDeg, -1.0, 1e-6);
  const TrajectoryPoint low = TrackOne(iss, mjd, latitude, lowLongitude);
  EXPECT_EQ(low.range, -1.0);
  EXPECT_EQ(low.phase, 0.0f);
  EXPECT_EQ(low.sunlit, 0);
  EXPECT_GT(low.sky.raRad, 0.0);

  const double highLongitude = longitudeForAltitude(1.0);
  const TrajectoryPoint high = TrackOne(iss, mjd, latitude, highLongitude);
  EXPECT_NEAR(high.range, IndependentTopocentric(r, mjd, latitude, highLongitude).rangeKm, 1e-3);
  EXPECT_GT(high.range, 1500.0);
  EXPECT_GT(high.phase, 0.0f);
}

// RA and DEC over a real pass of the ISS above a site at latitude 50 N, longitude 30 E, every 20 s,
// against the Earth-fixed reduction; the phase angle against a second computation from the angle
// between the two directions seen from the satellite.
TEST(ObserverTest, TopocentricPlaceOfARealPassMatchesIndependentReduction) {
  const TleRecord iss = Iss();
  const double latitude = DegToRad(50.0), longitude = DegToRad(30.0);
  // Find the first pass higher than 30 degrees within two days of the epoch.
  double start = 0.0;
  for (double mjd = iss.epochMjd; mjd < iss.epochMjd + 2.0 && start == 0.0; mjd += 30.0 / 86400.0) {
    if (IndependentTopocentric(SatelliteAt(iss, mjd), mjd, latitude, longitude).altitudeDeg > 30.0)
      start = mjd - 5.0 / 1440.0;
  }
  ASSERT_GT(start, 0.0);
  std::vector<double> times;
  std::vector<TrajectoryPoint> points;
  for (int k = 0; k < 30; ++k) {
    times.push_back(start + k * 20.0 / 86400.0);
    points.push_back(TrajectoryPoint{});
    points.back().time = times.back();
  }
  std::vector<TemeDirection> sky;
  ASSERT_TRUE(SkyTrack(iss, times, latitude, longitude, sky));
  ASSERT_TRUE(TrajectoryTrack(iss, points, latitude, longitude));
  int above = 0;
  for (size_t k = 0; k < times.size(); ++k) {
    const Vec3 r = SatelliteAt(iss, times[k]);
    const Topocentric t = IndependentTopocentric(r, times[k], latitude, longitude);
    EXPECT_LT(std::fabs(std::remainder(RadToDeg(sky[k].raRad) - t.raDeg, 360.0)), 0.01) << k;
    EXPECT_NEAR(RadToDeg(sky[k].decRad), t.decDeg, 0.01) << k;
    EXPECT_EQ(points[k].sky.raRad, sky[k].raRad);
    EXPECT_EQ(points[k].sky.decRad, sky[k].decRad);
    if (t.altitudeDeg < -0.01) {
      EXPECT_EQ(points[k].range, -1.0) << k;
    }
    if (t.altitudeDeg > 0.01) {
      ++above;
      EXPECT_NEAR(points[k].range, t.rangeKm, 0.5) << k;
      // Phase angle from atan2 of the cross and dot products of the two directions.
      Vec3 site, up;
      SiteEarthFixed(latitude, longitude, site, up);
      const Vec3 sun = SunPosition(times[k]);
      const Vec3 toSun{sun[0] - r[0], sun[1] - r[1], sun[2] - r[2]};
      const double g = GreenwichSiderealTime(times[k]);
      const Vec3 siteInertial{std::cos(g) * site[0] - std::sin(g) * site[1],
                              std::sin(g) * site[0] + std::cos(g) * site[1], site[2]};
      const Vec3 toSite{siteInertial[0] - r[0], siteInertial[1] - r[1], siteInertial[2] - r[2]};
      const Vec3 cross{toSite[1] * toSun[2] - toSite[2] * toSun[1], toSite[2] * toSun[0] - toSite[0] * toSun[2],
                       toSite[0] * toSun[1] - toSite[1] * toSun[0]};
      const double phase = std::atan2(Norm(cross), DotP(toSite, toSun)) * 180.0 / std::acos(-1.0);
      EXPECT_NEAR(points[k].phase, phase, 0.01) << k;
    }
  }
  EXPECT_GT(above, 15);
}

// Cylinder shadow of radius 6378.135 km along the Sun direction: the satellite is dark when it is
// behind the Earth's centre and within that radius of the axis.
bool InCylinderShadow(const Vec3& r, const Vec3& sun) {
  const double n = Norm(sun);
  const Vec3 s{sun[0] / n, sun[1] / n, sun[2] / n};
  const double along = DotP(r, s);
  const Vec3 off{r[0] - along * s[0], r[1] - along * s[1], r[2] - along * s[2]};
  return along < 0.0 && Norm(off) < 6378.135;
}

// Times (MJD) at which a test changes its answer over a day, refined by bisection to a millisecond.
std::vector<double> Transitions(const TleRecord& tle, const std::function<bool(double)>& dark) {
  std::vector<double> found;
  const double step = 30.0 / 86400.0;
  bool previous = dark(tle.epochMjd);
  for (double t = tle.epochMjd + step; t < tle.epochMjd + 1.0; t += step) {
    const bool now = dark(t);
    if (now != previous) {
      double a = t - step, b = t;
      while (b - a > 1e-3 / 86400.0) {
        const double mid = 0.5 * (a + b);
        (dark(mid) == previous ? a : b) = mid;
      }
      found.push_back(0.5 * (a + b));
    }
    previous = now;
  }
  return found;
}

TEST(ObserverTest, ShadowEntriesAndExitsMatchCylinderShadow) {
  const TleRecord iss = Iss();
  const auto sunlitTest = [&](double mjd) { return SunlitTest(SatelliteAt(iss, mjd), SunPosition(mjd)) == 0; };
  const auto cylinder = [&](double mjd) { return InCylinderShadow(SatelliteAt(iss, mjd), SunPosition(mjd)); };
  const std::vector<double> ours = Transitions(iss, sunlitTest);
  const std::vector<double> reference = Transitions(iss, cylinder);
  ASSERT_GE(reference.size(), 20u);  // about 15.5 orbits, an entry and an exit on each
  ASSERT_EQ(ours.size(), reference.size());
  for (size_t i = 0; i < ours.size(); ++i) EXPECT_NEAR(ours[i], reference[i], 1.0 / 86400.0) << i;

  // Constructed cases with the Sun on the +x axis: behind the Earth, above the terminator, and the
  // day side.
  const Vec3 sun{149597892.0, 0.0, 0.0};
  EXPECT_EQ(SunlitTest({-7000.0, 0.0, 0.0}, sun), 0);
  EXPECT_EQ(SunlitTest({-7000.0, 6300.0, 0.0}, sun), 0);
  EXPECT_EQ(SunlitTest({-7000.0, 6500.0, 0.0}, sun), -1);
  EXPECT_EQ(SunlitTest({0.0, 7000.0, 0.0}, sun), -1);
  EXPECT_EQ(SunlitTest({7000.0, 0.0, 0.0}, sun), -1);
}

TEST(ObserverTest, MagnitudeEstimateFollowsRangeAndPhase) {
  // Standard magnitude 4.0 at 1000 km, fully lit: 4.0 - 15.75 + 2.5 log10(10^6) = 3.25.
  ASSERT_TRUE(MagnitudeEstimate(4.0, 1000.0, 0.0).has_value());
  EXPECT_NEAR(*MagnitudeEstimate(4.0, 1000.0, 0.0), 3.25, 1e-12);
  // Half lit at 1000 km is the standard magnitude itself (to 0.0026 mag: 15.75 rounds 2.5 log10(2) + 15).
  EXPECT_NEAR(*MagnitudeEstimate(4.0, 1000.0, 90.0), 4.0, 0.003);
  // Twice the range: 1.505 mag fainter.
  EXPECT_NEAR(*MagnitudeEstimate(4.0, 2000.0, 0.0) - 3.25, 5.0 * std::log10(2.0), 1e-12);
  EXPECT_FALSE(MagnitudeEstimate(99.0, 1000.0, 0.0).has_value());
  EXPECT_FALSE(MagnitudeEstimate(4.0, 1000.0, 180.0).has_value());
  EXPECT_FALSE(MagnitudeEstimate(4.0, -1.0, 0.0).has_value());
}

TEST(ObserverTest, FailingSamplesEndTheTrackAndKeepEarlierOnes) {
  const TleRecord iss = Iss();
  std::vector<double> times{iss.epochMjd, iss.epochMjd + 0.01, std::numeric_limits<double>::quiet_NaN(),
                            iss.epochMjd + 0.03};
  std::vector<TemeDirection> sky;
  EXPECT_FALSE(SkyTrack(iss, times, 0.8, 0.5, sky));
  ASSERT_EQ(sky.size(), 4u);
  EXPECT_GT(sky[1].raRad, 0.0);
  EXPECT_EQ(sky[3].raRad, 0.0);

  TleRecord parabolic = iss;  // an element set the propagator refuses
  parabolic.eccentricity = 1.0;
  EXPECT_FALSE(SkyTrack(parabolic, std::vector<double>{iss.epochMjd}, 0.8, 0.5, sky));
  std::vector<TrajectoryPoint> points(2);
  points[0].time = points[1].time = iss.epochMjd;
  EXPECT_FALSE(TrajectoryTrack(parabolic, points, 0.8, 0.5));
  EXPECT_TRUE(SkyTrack(iss, std::vector<double>{}, 0.8, 0.5, sky));
  EXPECT_TRUE(sky.empty());
}

// The site's samples shared between satellites give bit for bit the figures of a track computed on its
// own and rotated sample by sample, also up to a failing sample.
TEST(ObserverTest, SharedSamplesGiveTheFiguresOfATrackOfItsOwn) {
  const TleRecord iss = Iss();
  std::vector<double> times;
  for (int k = 0; k < 40; ++k) times.push_back(iss.epochMjd + 0.3 + k * 37.0 / 86400.0);
  for (const bool failing : {false, true}) {
    if (failing) times[25] = std::numeric_limits<double>::quiet_NaN();
    std::vector<TemeDirection> teme;
    std::vector<J2000Direction> path;
    const bool own = SkyTrack(iss, times, 0.81, -1.2, teme, 0.25);
    EXPECT_EQ(SkyPath(iss, ObserveFrom(times, 0.81, -1.2, 0.25), path), own);
    EXPECT_EQ(own, !failing);
    ASSERT_EQ(path.size(), times.size());
    for (size_t k = 0; k < (failing ? 25u : times.size()); ++k) {
      const J2000Direction rotated = TemeToJ2000(teme[k], times[k]);
      EXPECT_EQ(std::memcmp(&path[k], &rotated, sizeof rotated), 0) << k;
    }
  }
  std::vector<J2000Direction> path;
  EXPECT_FALSE(SkyPath(iss, ObserveFrom(std::vector<double>{}, 0.8, 0.5), path));
  EXPECT_FALSE(SkyPath(iss, ObserveFrom(times, std::numeric_limits<double>::quiet_NaN(), 0.5), path));
}

}  // namespace
