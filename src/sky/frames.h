#pragma once
// Conversions between the equatorial frames of sky/direction.h: from the SGP4 propagator's TEME frame
// (true equator, mean equinox of the date) to the mean equator and equinox of J2000.0, in which the
// catalogue, the plate solution, the measured track ends and the IOD report are given.
//
// Method: TEME -> true of date by a rotation about the pole through the equation of the equinoxes;
// true of date -> mean of date by the IAU 1980 nutation; mean of date -> J2000 by the IAU 1976
// precession (Lieske's angles zeta_A, z_A, theta_A).
//
// Time: the argument is an MJD in UT (UTC). The theories want Terrestrial Time; TT - UT (about 69 s
// in 2026) is neglected: in 69 s the precession moves a direction by less than 0.0002" and the
// nutation by less than 0.00001".
//
// Accuracy: the nutation series keeps the 63 terms of the IAU 1980 theory whose amplitude reaches
// 0.0003"; each of the 43 omitted terms is smaller, so together they stay below 0.013" in longitude
// and in obliquity. The equation of the equinoxes is the classical
// dpsi * cos(eps) (the TEME convention; the later 0.003" terms in the Moon's node are not part of it).

#include <array>

#include "sky/direction.h"
#include "sky/vec3.h"

// Rotation matrix, row-major; applied to column vectors (v' = M v).
using Rotation3 = std::array<std::array<double, 3>, 3>;

// Product a b of two rotation matrices.
Rotation3 Multiply(const Rotation3& a, const Rotation3& b);
// Transposed (inverse) rotation.
Rotation3 Transpose(const Rotation3& a);
// A vector (any unit) in the rotated frame, m v.
Vec3 Rotate(const Rotation3& m, const Vec3& v);

// Nutation in longitude and obliquity and the mean obliquity of the ecliptic, arcseconds.
struct NutationAngles {
  double dpsiArcsec = 0.0;           // nutation in longitude
  double depsArcsec = 0.0;           // nutation in obliquity
  double meanObliquityArcsec = 0.0;  // mean obliquity of date (IAU 1980, Lieske)
};

// Julian centuries of 36525 days from J2000.0 (JD 2451545.0) to an MJD; TT - UT neglected.
double JulianCenturiesFromJ2000(double mjd);

// IAU 1976 precession matrix, J2000 mean equator and equinox -> mean equator and equinox of date, at
// t Julian centuries (TT) from J2000.0; applied to column vectors.
// Method: R3(-z_A) R2(theta_A) R3(-zeta_A) with the angles as cubic polynomials in t.
// Reference: J.H. Lieske et al., "Expressions for the precession quantities based upon the IAU (1976)
// system of astronomical constants", Astron. Astrophys. 58, 1-16 (1977); as the SOFA routine pmat76.
Rotation3 PrecessionMatrix(double t);

// IAU 1980 nutation in longitude and obliquity (arcseconds) and the mean obliquity of date
// (arcseconds) at t Julian centuries (TT) from J2000.0.
// Method: the series' 63 terms with amplitudes of 0.0003" and more, in the fundamental arguments D, M,
// M', F, Omega (degrees, cubic in t); the mean obliquity is Lieske's 84381.448" - 46.8150" t - ...
// Reference: P.K. Seidelmann, "1980 IAU Theory of Nutation: the final report of the IAU Working Group
// on Nutation", Celest. Mech. 27, 79-106 (1982); the SOFA routines nut80 (full series) and obl80.
NutationAngles Nutation1980(double t);

// Rotation TEME of the given date -> J2000 mean equator and equinox (mjdUtc: MJD, UT, used as TT).
// Method: R3(-ee) about the pole with the equation of the equinoxes ee = dpsi cos(eps0) (TEME ->
// true of date), the transposed nutation matrix R1(-eps) R3(-dpsi) R1(eps0) (-> mean of date), the
// transposed precession matrix (-> J2000).
// Reference: D.A. Vallado et al., "Revisiting Spacetrack Report #3", AIAA 2006-6753, on the TEME
// frame; the nutation and precession above.
Rotation3 TemeToJ2000Matrix(double mjdUtc);

// A TEME direction referred to the J2000 mean equator and equinox by a rotation of TemeToJ2000Matrix,
// computed once for a sample time that many directions share; the same result as the form below with
// that date.
J2000Direction TemeToJ2000(const TemeDirection& direction, const Rotation3& temeToJ2000);

// A TEME unit vector of the date mjdUtc (MJD, UT) rotated into the J2000 frame.
SkyVector<SkyFrame::J2000> TemeToJ2000(const SkyVector<SkyFrame::Teme>& v, double mjdUtc);

// A TEME direction of the date mjdUtc (MJD, UT) referred to the J2000 mean equator and equinox.
J2000Direction TemeToJ2000(const TemeDirection& direction, double mjdUtc);

// The inverse: a J2000 direction referred to the TEME frame of the date mjdUtc (MJD, UT).
TemeDirection J2000ToTeme(const J2000Direction& direction, double mjdUtc);
