#include "sky/frames.h"

#include <cmath>

namespace {

// One term of the IAU 1980 nutation series: multipliers of the fundamental arguments D, M, M', F and
// Omega, and the coefficients of sin (longitude) and cos (obliquity) in units of 0.0001", each with its
// rate per Julian century.
struct NutationTerm {
  int d, m, mp, f, om;
  double psi, psiT, eps, epsT;
};

// The terms of the series whose amplitude reaches 0.0003", largest first. Source: the IAU 1980 theory of
// nutation (P.K. Seidelmann, "1980 IAU Theory of Nutation: the final report of the IAU Working Group on
// Nutation", Celestial Mechanics 27, 79-106 (1982), table of the 106 terms; as reprinted in the
// Explanatory Supplement to the Astronomical Almanac (1992), table 3.222.1).
constexpr NutationTerm kNutationTerms[] = {
    {0, 0, 0, 0, 1, -171996, -174.2, 92025, 8.9},
    {-2, 0, 0, 2, 2, -13187, -1.6, 5736, -3.1},
    {0, 0, 0, 2, 2, -2274, -0.2, 977, -0.5},
    {0, 0, 0, 0, 2, 2062, 0.2, -895, 0.5},
    {0, 1, 0, 0, 0, 1426, -3.4, 54, -0.1},
    {0, 0, 1, 0, 0, 712, 0.1, -7, 0},
    {-2, 1, 0, 2, 2, -517, 1.2, 224, -0.6},
    {0, 0, 0, 2, 1, -386, -0.4, 200, 0},
    {0, 0, 1, 2, 2, -301, 0, 129, -0.1},
    {-2, -1, 0, 2, 2, 217, -0.5, -95, 0.3},
    {-2, 0, 1, 0, 0, -158, 0, 0, 0},
    {-2, 0, 0, 2, 1, 129, 0.1, -70, 0},
    {0, 0, -1, 2, 2, 123, 0, -53, 0},
    {2, 0, 0, 0, 0, 63, 0, 0, 0},
    {0, 0, 1, 0, 1, 63, 0.1, -33, 0},
    {2, 0, -1, 2, 2, -59, 0, 26, 0},
    {0, 0, -1, 0, 1, -58, -0.1, 32, 0},
    {0, 0, 1, 2, 1, -51, 0, 27, 0},
    {-2, 0, 2, 0, 0, 48, 0, 0, 0},
    {0, 0, -2, 2, 1, 46, 0, -24, 0},
    {2, 0, 0, 2, 2, -38, 0, 16, 0},
    {0, 0, 2, 2, 2, -31, 0, 13, 0},
    {0, 0, 2, 0, 0, 29, 0, 0, 0},
    {-2, 0, 1, 2, 2, 29, 0, -12, 0},
    {0, 0, 0, 2, 0, 26, 0, 0, 0},
    {-2, 0, 0, 2, 0, -22, 0, 0, 0},
    {0, 0, -1, 2, 1, 21, 0, -10, 0},
    {0, 2, 0, 0, 0, 17, -0.1, 0, 0},
    {2, 0, -1, 0, 1, 16, 0, -8, 0},
    {-2, 2, 0, 2, 2, -16, 0.1, 7, 0},
    {0, 1, 0, 0, 1, -15, 0, 9, 0},
    {-2, 0, 1, 0, 1, -13, 0, 7, 0},
    {0, -1, 0, 0, 1, -12, 0, 6, 0},
    {0, 0, 2, -2, 0, 11, 0, 0, 0},
    {2, 0, -1, 2, 1, -10, 0, 5, 0},
    {2, 0, 1, 2, 2, -8, 0, 3, 0},
    {0, 1, 0, 2, 2, 7, 0, -3, 0},
    {-2, 1, 1, 0, 0, -7, 0, 0, 0},
    {0, -1, 0, 2, 2, -7, 0, 3, 0},
    {2, 0, 0, 2, 1, -7, 0, 3, 0},
    {2, 0, 1, 0, 0, 6, 0, 0, 0},
    {-2, 0, 2, 2, 2, 6, 0, -3, 0},
    {-2, 0, 1, 2, 1, 6, 0, -3, 0},
    {2, 0, -2, 0, 1, -6, 0, 3, 0},
    {2, 0, 0, 0, 1, -6, 0, 3, 0},
    {0, -1, 1, 0, 0, 5, 0, 0, 0},
    {-2, -1, 0, 2, 1, -5, 0, 3, 0},
    {-2, 0, 0, 0, 1, -5, 0, 3, 0},
    {0, 0, 2, 2, 1, -5, 0, 3, 0},
    {-2, 0, 2, 0, 1, 4, 0, 0, 0},
    {-2, 1, 0, 2, 1, 4, 0, 0, 0},
    {0, 0, 1, -2, 0, 4, 0, 0, 0},
    {-1, 0, 1, 0, 0, -4, 0, 0, 0},
    {-2, 1, 0, 0, 0, -4, 0, 0, 0},
    {1, 0, 0, 0, 0, -4, 0, 0, 0},
    {0, 0, 1, 2, 0, 3, 0, 0, 0},
    {0, 0, -2, 2, 2, -3, 0, 0, 0},
    {-1, -1, 1, 0, 0, -3, 0, 0, 0},
    {0, 1, 1, 0, 0, -3, 0, 0, 0},
    {0, -1, 1, 2, 2, -3, 0, 0, 0},
    {2, -1, -1, 2, 2, -3, 0, 0, 0},
    {0, 0, 3, 2, 2, -3, 0, 0, 0},
    {2, -1, 0, 2, 2, -3, 0, 0, 0},
};

// Frame rotation about the x axis by angle a (radians): the coordinates of a fixed vector in axes
// turned by +a.
Rotation3 RotX(double a) {
  const double c = std::cos(a), s = std::sin(a);
  return {{{1, 0, 0}, {0, c, s}, {0, -s, c}}};
}

// Frame rotation about the y axis by angle a (radians).
Rotation3 RotY(double a) {
  const double c = std::cos(a), s = std::sin(a);
  return {{{c, 0, -s}, {0, 1, 0}, {s, 0, c}}};
}

// Frame rotation about the z axis by angle a (radians).
Rotation3 RotZ(double a) {
  const double c = std::cos(a), s = std::sin(a);
  return {{{c, s, 0}, {-s, c, 0}, {0, 0, 1}}};
}

template <SkyFrame To, SkyFrame From>
SkyVector<To> Apply(const Rotation3& m, const SkyVector<From>& v) {
  const Vec3 r = Rotate(m, Vec3{v.x, v.y, v.z});
  return {r[0], r[1], r[2]};
}

}  // namespace

Rotation3 Multiply(const Rotation3& a, const Rotation3& b) {
  Rotation3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
  return r;
}

Rotation3 Transpose(const Rotation3& a) {
  Rotation3 r{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r[i][j] = a[j][i];
  return r;
}

Vec3 Rotate(const Rotation3& m, const Vec3& v) {
  return {m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2], m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
          m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2]};
}

double JulianCenturiesFromJ2000(double mjd) {
  return (mjd - 51544.5) / 36525.0;
}

Rotation3 PrecessionMatrix(double t) {
  const double t2 = t * t, t3 = t2 * t;
  const double zeta = (2306.2181 * t + 0.30188 * t2 + 0.017998 * t3) * ArcsecToRad;
  const double z = (2306.2181 * t + 1.09468 * t2 + 0.018203 * t3) * ArcsecToRad;
  const double theta = (2004.3109 * t - 0.42665 * t2 - 0.041833 * t3) * ArcsecToRad;
  return Multiply(RotZ(-z), Multiply(RotY(theta), RotZ(-zeta)));
}

NutationAngles Nutation1980(double t) {
  const double t2 = t * t, t3 = t2 * t;
  // Fundamental arguments, degrees: mean elongation of the Moon from the Sun, mean anomalies of the Sun
  // and the Moon, the Moon's argument of latitude, longitude of its ascending node.
  const double d = 297.85036 + 445267.111480 * t - 0.0019142 * t2 + t3 / 189474.0;
  const double m = 357.52772 + 35999.050340 * t - 0.0001603 * t2 - t3 / 300000.0;
  const double mp = 134.96298 + 477198.867398 * t + 0.0086972 * t2 + t3 / 56250.0;
  const double f = 93.27191 + 483202.017538 * t - 0.0036825 * t2 + t3 / 327270.0;
  const double om = 125.04452 - 1934.136261 * t + 0.0020708 * t2 + t3 / 450000.0;
  NutationAngles n;
  for (const NutationTerm& k : kNutationTerms) {
    const double arg = DegToRad(k.d * d + k.m * m + k.mp * mp + k.f * f + k.om * om);
    n.dpsiArcsec += (k.psi + k.psiT * t) * std::sin(arg);
    n.depsArcsec += (k.eps + k.epsT * t) * std::cos(arg);
  }
  n.dpsiArcsec *= 1e-4;
  n.depsArcsec *= 1e-4;
  n.meanObliquityArcsec = 84381.448 - 46.8150 * t - 0.00059 * t2 + 0.001813 * t3;
  return n;
}

Rotation3 TemeToJ2000Matrix(double mjdUtc) {
  const double t = JulianCenturiesFromJ2000(mjdUtc);
  const NutationAngles n = Nutation1980(t);
  const double eps0 = n.meanObliquityArcsec * ArcsecToRad;
  const double dpsi = n.dpsiArcsec * ArcsecToRad;
  const double eps = eps0 + n.depsArcsec * ArcsecToRad;
  // Mean of date -> true of date: R1(-eps) R3(-dpsi) R1(eps0).
  const Rotation3 nutation = Multiply(RotX(-eps), Multiply(RotZ(-dpsi), RotX(eps0)));
  // TEME -> true of date: the true equinox lies the equation of the equinoxes west of the mean one,
  // so right ascensions grow by it.
  const Rotation3 temeToTrue = RotZ(-dpsi * std::cos(eps0));
  // TEME -> true of date -> mean of date -> J2000.
  return Multiply(Transpose(PrecessionMatrix(t)), Multiply(Transpose(nutation), temeToTrue));
}

SkyVector<SkyFrame::J2000> TemeToJ2000(const SkyVector<SkyFrame::Teme>& v, double mjdUtc) {
  return Apply<SkyFrame::J2000>(TemeToJ2000Matrix(mjdUtc), v);
}

J2000Direction TemeToJ2000(const TemeDirection& direction, const Rotation3& temeToJ2000) {
  return ToDirection(Apply<SkyFrame::J2000>(temeToJ2000, ToVector(direction)));
}

J2000Direction TemeToJ2000(const TemeDirection& direction, double mjdUtc) {
  return TemeToJ2000(direction, TemeToJ2000Matrix(mjdUtc));
}

TemeDirection J2000ToTeme(const J2000Direction& direction, double mjdUtc) {
  return ToDirection(Apply<SkyFrame::Teme>(Transpose(TemeToJ2000Matrix(mjdUtc)), ToVector(direction)));
}
