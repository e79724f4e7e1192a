// The Moon and Sun against an accurate ephemeris (geocentric, and the Moon as observers at sixty sites
// saw it) and the Moon's visibility rule at its 51' boundary.

#include "astrometry/moon_sun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/log.h"
#include "sky/angles.h"
#include "test_paths.h"

namespace {

using testing_support::TempDir;
using testing_support::TestDataDir;

struct EphemerisRow {
  double mjd = 0, moonRa = 0, moonDec = 0, moonDistanceKm = 0, sunRa = 0, sunDec = 0, illuminated = 0;
  double moonRaMean = 0, moonDecMean = 0, sunRaMean = 0, sunDecMean = 0, deltaT = 0;
};

std::vector<EphemerisRow> ReadEphemeris() {
  std::vector<EphemerisRow> rows;
  std::ifstream in(TestDataDir() / "moon" / "moon_sun_reference.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream f(line);
    EphemerisRow r;
    if (f >> r.mjd >> r.moonRa >> r.moonDec >> r.moonDistanceKm >> r.sunRa >> r.sunDec >> r.illuminated >>
        r.moonRaMean >> r.moonDecMean >> r.sunRaMean >> r.sunDecMean >> r.deltaT)
      rows.push_back(r);
  }
  return rows;
}

// Difference of two right ascensions in degrees, through the 0/360 seam.
double RaDifferenceDeg(double a, double b) {
  return std::fabs(std::remainder(a - b, 360.0));
}

double Length(const std::array<double, 3>& v) {
  return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

TEST(MoonSunTest, MoonAndSunAgreeWithAccurateEphemeris) {
  const auto rows = ReadEphemeris();
  ASSERT_EQ(rows.size(), 13u);
  double worstMoonDeg = 0, worstMoonKm = 0, worstSunDeg = 0, worstFraction = 0;
  for (const EphemerisRow& r : rows) {
    SCOPED_TRACE("MJD " + std::to_string(r.mjd));
    // The theories run on Terrestrial Time, as the ephemeris did.
    EXPECT_NEAR(DeltaTSeconds(r.mjd), r.deltaT, 7.0);
    const double mjdTt = r.mjd + r.deltaT / 86400.0;
    const auto moon = MoonPosition(mjdTt);
    const MeanOfDateDirection moonPlace = DirectionOf<SkyFrame::MeanOfDate>(moon);
    EXPECT_LT(RaDifferenceDeg(RadToDeg(moonPlace.raRad), r.moonRaMean), 0.05);
    EXPECT_NEAR(RadToDeg(moonPlace.decRad), r.moonDecMean, 0.05);
    EXPECT_NEAR(Length(moon), r.moonDistanceKm, 50.0);

    const auto sun = SunPosition(mjdTt);
    const MeanOfDateDirection sunPlace = DirectionOf<SkyFrame::MeanOfDate>(sun);
    EXPECT_LT(RaDifferenceDeg(RadToDeg(sunPlace.raRad), r.sunRaMean), 0.02);
    EXPECT_NEAR(RadToDeg(sunPlace.decRad), r.sunDecMean, 0.02);

    EXPECT_NEAR(IlluminatedFraction(moon, sun), r.illuminated, 0.01);
    worstMoonDeg = std::max({worstMoonDeg, RaDifferenceDeg(RadToDeg(moonPlace.raRad), r.moonRaMean),
                             std::fabs(RadToDeg(moonPlace.decRad) - r.moonDecMean)});
    worstMoonKm = std::max(worstMoonKm, std::fabs(Length(moon) - r.moonDistanceKm));
    worstSunDeg = std::max({worstSunDeg, RaDifferenceDeg(RadToDeg(sunPlace.raRad), r.sunRaMean),
                            std::fabs(RadToDeg(sunPlace.decRad) - r.sunDecMean)});
    worstFraction = std::max(worstFraction, std::fabs(IlluminatedFraction(moon, sun) - r.illuminated));
  }
  std::cout << "largest differences: Moon " << worstMoonDeg << " deg, " << worstMoonKm << " km; Sun " << worstSunDeg
            << " deg; fraction " << worstFraction << "\n";
  // The full moon of 2024 January 25 and the new moon of 2024 April 8.
  EXPECT_GT(IlluminatedFraction(MoonPosition(rows[1].mjd), SunPosition(rows[1].mjd)), 0.99);
  EXPECT_LT(IlluminatedFraction(MoonPosition(rows[2].mjd), SunPosition(rows[2].mjd)), 0.01);
}

// The Moon from sixty sites at height 0, 2000 to 2100: topocentric J2000 place and geometric altitude
// from an independent ephemeris, through the panel's own computation (the field centre is put on the
// tabulated place, so the panel's distance is the error of the place).
TEST(MoonSunTest, MoonAsObserversSawItAgreesWithAccurateEphemeris) {
  std::ifstream in(testing_support::TestDataDir() / "moon" / "moon_topocentric_j2000.txt");
  ASSERT_TRUE(in) << "tests/data/moon/moon_topocentric_j2000.txt missing";
  TempDir dir;
  LogFile log;
  ASSERT_TRUE(log.Open((dir.path() / "log.txt").string()));
  std::string line;
  int rows = 0;
  double worstPlaceDeg = 0, worstAltitudeDeg = 0;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream f(line);
    double mjd, lon, lat, ra, dec, alt;
    ASSERT_TRUE(f >> mjd >> lon >> lat >> ra >> dec >> alt) << line;
    SCOPED_TRACE(line);
    MoonCircumstances c;
    c.midMjd = mjd;
    c.longitudeRad = DegToRad(lon);
    c.latitudeRad = DegToRad(lat);
    c.plateSolved = true;
    c.tangentRaRad = DegToRad(ra);
    c.tangentDecRad = DegToRad(dec);
    const MoonValues v = ComputeMoon(c, log);
    ASSERT_TRUE(v.valid && v.distanceSet);
    const double altitude = v.horizon.altitudeDeg - 51.0 / 60.0;
    EXPECT_LT(v.distanceDeg, 0.02);
    EXPECT_NEAR(altitude, alt, 0.05);
    EXPECT_EQ(v.visibility, alt + 51.0 / 60.0 >= 0.0 ? "Yes" : "No");
    worstPlaceDeg = std::max(worstPlaceDeg, static_cast<double>(v.distanceDeg));
    worstAltitudeDeg = std::max(worstAltitudeDeg, std::fabs(altitude - alt));
    ++rows;
  }
  EXPECT_EQ(rows, 60);
  std::cout << "largest differences: place " << worstPlaceDeg << " deg, altitude " << worstAltitudeDeg << " deg\n";
}

// Circumstances that put the Moon's centre at a chosen topocentric altitude: the site latitude is fixed
// and the longitude is picked from the hour angle that the altitude calls for, the aim being corrected
// for the parallax until the topocentric altitude matches.
MoonCircumstances MoonAtAltitude(double mjd, double altitudeDeg) {
  const MeanOfDateDirection moon = DirectionOf<SkyFrame::MeanOfDate>(MoonPosition(mjd + DeltaTSeconds(mjd) / 86400.0));
  MoonCircumstances c;
  c.midMjd = mjd;
  c.latitudeRad = DegToRad(48.0);
  double aimDeg = altitudeDeg;
  for (int i = 0; i < 8; ++i) {
    const double cosH = (std::sin(DegToRad(aimDeg)) - std::sin(c.latitudeRad) * std::sin(moon.decRad)) /
                        (std::cos(c.latitudeRad) * std::cos(moon.decRad));
    const double hourAngle = std::acos(cosH);  // western sky, setting Moon
    c.longitudeRad = moon.raRad + hourAngle - GreenwichSiderealTime(mjd);
    aimDeg += altitudeDeg - MoonTopocentric(mjd, c.longitudeRad, c.latitudeRad).horizon.altitudeDeg;
  }
  return c;
}

TEST(MoonSunTest, VisibilityCountsTheMoonUpToFiftyOneArcminutesBelowTheHorizon) {
  TempDir dir;
  LogFile log;
  ASSERT_TRUE(log.Open((dir.path() / "log.txt").string()));
  const double mjd = 60334.746;
  const MoonValues low = ComputeMoon(MoonAtAltitude(mjd, -0.8), log);
  ASSERT_TRUE(low.valid);
  EXPECT_EQ(low.visibility, "Yes");
  EXPECT_NEAR(low.horizon.altitudeDeg, -0.8 + 0.85, 1e-5);
  const MoonValues lower = ComputeMoon(MoonAtAltitude(mjd, -0.9), log);
  EXPECT_EQ(lower.visibility, "No");
  EXPECT_EQ(ComputeMoon(MoonAtAltitude(mjd, 30.0), log).visibility, "Yes");
  EXPECT_NEAR(low.phase, 0.998, 0.01);
}

TEST(MoonSunTest, ComputeMoonGivesFieldDistanceOnlyForSolvedFramesAndLogsItsPlace) {
  TempDir dir;
  const auto path = dir.path() / "log.txt";
  MoonCircumstances c = MoonAtAltitude(48724.0, 20.0);
  MoonValues unsolved;
  MoonValues solved;
  {
    LogFile log;
    ASSERT_TRUE(log.Open(path.string()));
    unsolved = ComputeMoon(c, log);
    // A field centre 10 degrees north of the Moon, on the same hour circle.
    c.plateSolved = true;
    c.tangentRaRad = unsolved.moon.raRad;
    c.tangentDecRad = unsolved.moon.decRad + DegToRad(10.0);
    solved = ComputeMoon(c, log);
  }
  EXPECT_FALSE(unsolved.distanceSet);
  ASSERT_TRUE(solved.distanceSet);
  EXPECT_NEAR(solved.distanceDeg, 10.0, 1e-4);
  EXPECT_EQ(solved.visibility, "Yes");

  const std::string text = testing_support::ReadFile(path);
  const std::string firstLine =
      "Moon ra,dec:" + LogNumber(unsolved.moon.raRad) + LogNumber(unsolved.moon.decRad) + "\r\n";
  EXPECT_EQ(text.substr(0, firstLine.size()), firstLine);
  EXPECT_NE(text.find("\r\nMoon az,h:" + LogNumber(unsolved.horizon.azimuthDeg)), std::string::npos);
  EXPECT_NEAR(unsolved.horizon.altitudeDeg, 20.85, 1e-5);

  // Circumstances that are not numbers give no values and no log lines.
  c.midMjd = std::nan("");
  LogFile log;
  ASSERT_TRUE(log.Open(path.string()));
  EXPECT_FALSE(ComputeMoon(c, log).valid);
  log.Close();
  EXPECT_EQ(testing_support::ReadFile(path), "");
}

}  // namespace
