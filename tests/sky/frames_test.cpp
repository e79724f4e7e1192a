// The TEME -> J2000 rotation against published worked examples (precession of theta Persei to 2028,
// its nutation in right ascension and declination, the nutation of 1987 April 10), the precession
// against a second, independent decomposition (Lieske's psi_A, omega_A, chi_A), and the round trip.

#include "sky/frames.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr double kArcsec = kDeg / 3600.0;

double Arcsec(double rad) {
  return rad / kArcsec;
}

// Meeus, Astronomical Algorithms, examples 21.b and 23.a: theta Persei at 2028 November 13.19 TD
// (JD 2462088.69). The J2000 place has the proper motion to that date applied already.
constexpr double kPerseiMjd = 62088.19;
const J2000Direction kPerseiJ2000{41.054063 * kDeg, 49.227750 * kDeg};
const MeanOfDateDirection kPerseiMeanOfDate{41.547214 * kDeg, 49.348483 * kDeg};

TEST(SkyFrames, PrecessionMatchesPublishedExample) {
  const Rotation3 p = PrecessionMatrix(JulianCenturiesFromJ2000(kPerseiMjd));
  const SkyVector<SkyFrame::J2000> v = ToVector(kPerseiJ2000);
  const SkyVector<SkyFrame::MeanOfDate> w{p[0][0] * v.x + p[0][1] * v.y + p[0][2] * v.z,
                                          p[1][0] * v.x + p[1][1] * v.y + p[1][2] * v.z,
                                          p[2][0] * v.x + p[2][1] * v.y + p[2][2] * v.z};
  const MeanOfDateDirection d = ToDirection(w);
  // The published place is given to 0.000001 deg (0.004").
  EXPECT_NEAR(Arcsec(d.raRad - kPerseiMeanOfDate.raRad), 0.0, 0.01);
  EXPECT_NEAR(Arcsec(d.decRad - kPerseiMeanOfDate.decRad), 0.0, 0.01);
}

// Precession as the rotation of the equator on the fixed J2000 ecliptic and the planetary rotation of
// the ecliptic: R3(chi_A) R1(-omega_A) R3(-psi_A) R1(eps0) (Lieske 1977).
Rotation3 PrecessionByEcliptic(double t) {
  auto mul = [](const Rotation3& a, const Rotation3& b) {
    Rotation3 r{};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) r[i][j] += a[i][k] * b[k][j];
    return r;
  };
  auto r1 = [](double a) {
    return Rotation3{{{1, 0, 0}, {0, std::cos(a), std::sin(a)}, {0, -std::sin(a), std::cos(a)}}};
  };
  auto r3 = [](double a) {
    return Rotation3{{{std::cos(a), std::sin(a), 0}, {-std::sin(a), std::cos(a), 0}, {0, 0, 1}}};
  };
  const double eps0 = 84381.448;
  const double psiA = 5038.7784 * t - 1.07259 * t * t - 0.001147 * t * t * t;
  const double omegaA = eps0 + 0.05127 * t * t - 0.007726 * t * t * t;
  const double chiA = 10.5526 * t - 2.38064 * t * t - 0.001125 * t * t * t;
  return mul(r3(chiA * kArcsec), mul(r1(-omegaA * kArcsec), mul(r3(-psiA * kArcsec), r1(eps0 * kArcsec))));
}

TEST(SkyFrames, PrecessionAgreesWithEclipticDecomposition) {
  for (double t : {-1.0, -0.2, 0.26, 0.5, 1.0}) {
    const Rotation3 a = PrecessionMatrix(t), b = PrecessionByEcliptic(t);
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j) EXPECT_NEAR(Arcsec(a[i][j] - b[i][j]), 0.0, 0.002) << "t=" << t;
  }
}

TEST(SkyFrames, NutationMatchesPublishedValues) {
  // Meeus example 22.a, 1987 April 10.0 TD.
  const NutationAngles n = Nutation1980(JulianCenturiesFromJ2000(46895.0));
  EXPECT_NEAR(n.dpsiArcsec, -3.788, 0.002);
  EXPECT_NEAR(n.depsArcsec, 9.443, 0.002);
  EXPECT_NEAR(n.meanObliquityArcsec, 84387.407, 0.002);  // 23 deg 26' 27.407"
  // Meeus example 23.a, 2028 November 13.19 TD.
  const NutationAngles m = Nutation1980(JulianCenturiesFromJ2000(kPerseiMjd));
  EXPECT_NEAR(m.dpsiArcsec, 14.861, 0.002);
  EXPECT_NEAR(m.depsArcsec, 2.705, 0.002);
}

TEST(SkyFrames, TemePlaceOfStarMatchesPublishedNutationOfDate) {
  // Meeus 23.a gives the nutation of theta Persei's place: +15.843" in right ascension and +6.218" in
  // declination from the mean place of date to the true place. TEME keeps the true equator but the
  // mean equinox, so its right ascension is the true one less dpsi * cos(eps) = 14.861" * cos 23.44 deg.
  const double eqEquinoxes = 14.861 * std::cos(23.4407 * kDeg);
  const TemeDirection teme = J2000ToTeme(kPerseiJ2000, kPerseiMjd);
  EXPECT_NEAR(Arcsec(teme.raRad - kPerseiMeanOfDate.raRad), 15.843 - eqEquinoxes, 0.02);
  EXPECT_NEAR(Arcsec(teme.decRad - kPerseiMeanOfDate.decRad), 6.218, 0.02);
  // And back to the catalogue place.
  const J2000Direction back = TemeToJ2000(teme, kPerseiMjd);
  EXPECT_LT(Arcsec(Separation(back, kPerseiJ2000)), 1e-6);
}

TEST(SkyFrames, RoundTripAndSizeOfTheRotationIn2026) {
  const double mjd = 61100.8;  // 2026 March
  for (double ra : {0.0, 1.0, 3.0, 5.5}) {
    for (double dec : {-1.5, -0.4, 0.0, 0.7, 1.55}) {
      const TemeDirection teme{ra, dec};
      const J2000Direction j = TemeToJ2000(teme, mjd);
      const TemeDirection back = J2000ToTeme(j, mjd);
      EXPECT_LT(Arcsec(Separation(back, teme)), 1e-6);
      // Precession over 26 years moves the pole by about 26 * 20" and the equinox by 26 * 50".
      const SkyDirection<SkyFrame::Teme> asTeme{j.raRad, j.decRad};
      const double shiftDeg = Separation(asTeme, teme) / kDeg;
      EXPECT_GT(shiftDeg, 0.12);
      EXPECT_LT(shiftDeg, 0.37);
    }
  }
}

}  // namespace
