// Angles, sidereal time, the site on the WGS-84 ellipsoid and the horizon transform against published
// values: the astronomical handbook's worked examples and the test values of the IAU SOFA library.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "base/calendar.h"
#include "sky/angles.h"
#include "sky/site.h"

namespace {

TEST(SkyAnglesTest, SiderealTimeMatchesPublishedValues) {
  const double arcsec = 1.0 / 3600.0;
  // J2000.0: 280.46061837 degrees.
  EXPECT_NEAR(RadToDeg(GreenwichSiderealTime(51544.5)), 280.46061837, 0.01 * arcsec);
  // 1987 April 10, 0h UT: 13h10m46.3668s; 19h21m UT: 8h34m57.0896s (Meeus, examples 12.a and 12.b).
  const double mjd0 = MjdFromDate(1987, 4, 10, 0.0);
  EXPECT_NEAR(RadToDeg(GreenwichSiderealTime(mjd0)) / 15.0, 13.0 + 10.0 / 60.0 + 46.3668 / 3600.0, 3e-4 / 3600.0);
  const double mjd1 = MjdFromDate(1987, 4, 10, 19.0 + 21.0 / 60.0);
  EXPECT_NEAR(RadToDeg(GreenwichSiderealTime(mjd1)) / 15.0, 8.0 + 34.0 / 60.0 + 57.0896 / 3600.0, 2e-3 / 3600.0);

  // Random instants against the expression in days from J2000.0 (Meeus 12.4), within 0.05 arcsecond.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> mjdDist(45000.0, 65000.0);
  for (int i = 0; i < 1000; ++i) {
    const double mjd = mjdDist(rng);
    const double gmst = GreenwichSiderealTime(mjd);
    ASSERT_GE(gmst, 0.0);
    ASSERT_LT(gmst, 2.0 * Pi);
    const double t = (mjd - 51544.5) / 36525.0;
    const double reference = std::fmod(
        280.46061837 + 360.98564736629 * (mjd - 51544.5) + 0.000387933 * t * t - t * t * t / 38710000.0, 360.0);
    double diff = RadToDeg(gmst) - (reference < 0.0 ? reference + 360.0 : reference);
    if (diff > 180.0) diff -= 360.0;
    if (diff < -180.0) diff += 360.0;
    ASSERT_LT(std::fabs(diff), 0.05 * arcsec) << mjd;
  }
}

TEST(SkyAnglesTest, InverseTrigonometryAgreesWithLibraryAndHandlesEdges) {
  for (double x = -1.0; x <= 1.0; x += 0.03125) EXPECT_NEAR(ArcCos(x), std::acos(x), 1e-14) << x;
  EXPECT_EQ(ArcCos(1.0 + 1e-12), 0.0);
  EXPECT_NEAR(ArcCos(-1.0), M_PI, 1e-15);
  EXPECT_NEAR(ArcCos(-7.0), M_PI, 1e-15);

  for (int i = 0; i < 360; i += 7) {
    const double a = i * M_PI / 180.0;
    const double y = 3.0 * std::sin(a);
    const double x = 3.0 * std::cos(a);
    EXPECT_NEAR(ArcTan2(y, x), std::atan2(y, x), 1e-13) << i;
  }
  EXPECT_EQ(ArcTan2(0.0, -1.0), Pi);
  EXPECT_EQ(ArcTan2(1.0, 0.0), Pi / 2.0);
  EXPECT_EQ(ArcTan2(-1.0, 0.0), -Pi / 2.0);
  EXPECT_EQ(ArcTan2(0.0, 0.0), 0.0);
}

TEST(SkyAnglesTest, AngleConversionsAndNormalisation) {
  EXPECT_EQ(DegToRad(180.0), Pi);
  EXPECT_DOUBLE_EQ(RadToDeg(DegToRad(123.456)), 123.456);
  EXPECT_DOUBLE_EQ(Normalize360(-30.0), 330.0);
  EXPECT_DOUBLE_EQ(Normalize360(720.0), 0.0);
  EXPECT_DOUBLE_EQ(Normalize360(359.5), 359.5);
  EXPECT_DOUBLE_EQ(Normalize360(-1080.25), 359.75);
  EXPECT_NEAR(Normalize360(1e12 + 30.0), std::fmod(1e12 + 30.0, 360.0), 1e-3);
  // No angle exists for infinity; it must not loop forever.
  EXPECT_TRUE(std::isnan(Normalize360(INFINITY)));
}

// The separation test value of the SOFA library (eraSeps/iauSeps: 1.0, 0.1 and 0.2, -3.0 radians), and
// separations far below the rounding of a cosine and close to pi.
TEST(SkyAnglesTest, SeparationIsExactFromTinyToNearlyOpposite) {
  EXPECT_NEAR(AngularSeparation(1.0, 0.1, 0.2, -3.0), 2.346722016996998842, 1e-14);
  EXPECT_NEAR(AngularSeparation(1.0, 0.3, 1.0 + 1e-9 / std::cos(0.3), 0.3), 1e-9, 1e-15);
  EXPECT_NEAR(AngularSeparation(2.0, 0.5, 2.0, 0.5 + 2e-10), 2e-10, 1e-16);
  EXPECT_NEAR(AngularSeparation(0.4, 0.2, 0.4 + std::acos(-1.0), -0.2 + 3e-9), std::acos(-1.0) - 3e-9, 1e-14);
  EXPECT_EQ(AngularSeparation(5.0, -1.2, 5.0, -1.2), 0.0);
}

// The geodetic-to-geocentric test value of the SOFA library (gd2gc, WGS-84: east longitude 3.1 rad,
// latitude -0.5 rad, height 2500 m), the x axis at longitude 0; and the poles and the equator.
TEST(SkySiteTest, SiteVectorMatchesPublishedWgs84Values) {
  const Vec3 v = GeodeticToGeocentric(-0.5, 3.1, 2.5);
  EXPECT_NEAR(v[0] * 1000.0, -5599000.5577049947, 1e-6);
  EXPECT_NEAR(v[1] * 1000.0, 233011.67223479695, 1e-6);
  EXPECT_NEAR(v[2] * 1000.0, -3040909.4706983363, 1e-6);
  const Vec3 equator = GeodeticToGeocentric(0.0, 0.0);
  EXPECT_NEAR(equator[0], 6378.137, 1e-9);
  const Vec3 pole = GeodeticToGeocentric(std::acos(-1.0) / 2.0, 1.0, 0.1);
  EXPECT_NEAR(pole[2], 6356.7523142 + 0.1, 1e-6);  // polar radius b = a (1 - f)
}

// A published worked example: Venus seen from Washington (latitude 38.921389 deg), hour angle
// 64.352133 deg, declination -6.719892 deg: azimuth 68.0337 deg from the south, altitude 15.1249 deg.
TEST(SkySiteTest, HorizontalCoordinatesMatchPublishedExample) {
  const Horizontal h = HorizontalCoordinates(DegToRad(64.352133), DegToRad(-6.719892), DegToRad(38.921389));
  EXPECT_NEAR(h.azimuthDeg, 68.0337, 2e-4);
  EXPECT_NEAR(h.altitudeDeg, 15.1249, 2e-4);
  // East of the meridian the azimuth runs from 180 to 360; a star at the zenith gives finite values.
  const Horizontal east = HorizontalCoordinates(DegToRad(-64.352133), DegToRad(-6.719892), DegToRad(38.921389));
  EXPECT_NEAR(east.azimuthDeg, 360.0 - 68.0337, 2e-4);
  const Horizontal zenith = HorizontalCoordinates(0.0, DegToRad(50.0), DegToRad(50.0));
  EXPECT_NEAR(zenith.altitudeDeg, 90.0, 1e-6);
  EXPECT_TRUE(std::isfinite(zenith.azimuthDeg));
  EXPECT_GE(zenith.azimuthDeg, 0.0);
  EXPECT_LT(zenith.azimuthDeg, 360.0);
}

}  // namespace
