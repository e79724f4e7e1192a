#include "orbit/sgp4_deep.h"

#include <cmath>

#include "sky/angles.h"

// A faithful port of the deep-space routines of the revised SGP4 (Vallado et al. 2006): the names of the
// intermediate quantities are the published ones so that each line can be checked against the paper.
// Differences from it, each for a reason:
// - The epoch values of the lunar-solar periodics (peo, pinco, plo, pgho, pho) are zero in the revised
//   equations, so they are neither stored nor subtracted, and the call of dpper during the
//   initialisation (which then changes nothing) is left out.
// - The state of the resonance integrator (atime, xli, xni) is kept apart from the model, in a
//   DeepSpaceIntegrator the caller may keep between evaluations, so that an initialised model stays
//   constant and can be shared; without one the integration starts from the epoch. The steps lie on
//   the same 720-minute grid from the epoch either way, so the results are the same.
// - Only the improved operation mode is ported (the node is not forced into 0 to 2 pi in Lyddane's
//   modification), the mode the published verification results use.

namespace {

constexpr double kTwoPi = 2.0 * Pi;

// Lunar-solar constants of the theory.
constexpr double kZes = 0.01675;       // eccentricity of the Sun's apparent orbit
constexpr double kZel = 0.05490;       // eccentricity of the Moon's orbit
constexpr double kZns = 1.19459e-5;    // mean motion of the Sun, rad/min
constexpr double kZnl = 1.5835218e-4;  // mean motion of the Moon, rad/min
constexpr double kC1ss = 2.9864797e-6;
constexpr double kC1l = 4.7968065e-7;
constexpr double kZsinis = 0.39785416;  // sine and cosine of the obliquity of the ecliptic
constexpr double kZcosis = 0.91744867;
constexpr double kZcosgs = 0.1945905;
constexpr double kZsings = -0.98088458;
// Earth rotation rate, rad/min.
constexpr double kRptim = 4.37526908801129966e-3;

// Everything dscom computes that dsinit and dpper use.
struct DeepSpaceCommonTerms {
  double sinim = 0.0, cosim = 0.0, emsq = 0.0;
  double s1 = 0.0, s2 = 0.0, s3 = 0.0, s4 = 0.0, s5 = 0.0;
  double ss1 = 0.0, ss2 = 0.0, ss3 = 0.0, ss4 = 0.0, ss5 = 0.0;
  double sz1 = 0.0, sz3 = 0.0, sz11 = 0.0, sz13 = 0.0, sz21 = 0.0, sz23 = 0.0, sz31 = 0.0, sz33 = 0.0;
  double z1 = 0.0, z3 = 0.0, z11 = 0.0, z13 = 0.0, z21 = 0.0, z23 = 0.0, z31 = 0.0, z33 = 0.0;
  DeepSpacePeriodicTerms periodic;
};

// One body's (Sun's or Moon's) contribution in dscom.
struct BodyTerms {
  double s1, s2, s3, s4, s5, s6, s7;
  double z1, z2, z3, z11, z12, z13, z21, z22, z23, z31, z32, z33;
};

// The body's terms for an orbit of orientation (sinim, cosim, sinomm, cosomm) seen from a perturbing
// body whose orbit has the direction cosines zcosg..zsinh; cc is the body's strength constant.
BodyTerms BodyCoefficients(double zcosg, double zsing, double zcosi, double zsini, double zcosh, double zsinh,
                           double cc, double xnoi, double sinim, double cosim, double sinomm, double cosomm, double em,
                           double emsq, double betasq, double rtemsq) {
  const double a1 = zcosg * zcosh + zsing * zcosi * zsinh;
  const double a3 = -zsing * zcosh + zcosg * zcosi * zsinh;
  const double a7 = -zcosg * zsinh + zsing * zcosi * zcosh;
  const double a8 = zsing * zsini;
  const double a9 = zsing * zsinh + zcosg * zcosi * zcosh;
  const double a10 = zcosg * zsini;
  const double a2 = cosim * a7 + sinim * a8;
  const double a4 = cosim * a9 + sinim * a10;
  const double a5 = -sinim * a7 + cosim * a8;
  const double a6 = -sinim * a9 + cosim * a10;

  const double x1 = a1 * cosomm + a2 * sinomm;
  const double x2 = a3 * cosomm + a4 * sinomm;
  const double x3 = -a1 * sinomm + a2 * cosomm;
  const double x4 = -a3 * sinomm + a4 * cosomm;
  const double x5 = a5 * sinomm;
  const double x6 = a6 * sinomm;
  const double x7 = a5 * cosomm;
  const double x8 = a6 * cosomm;

  BodyTerms b;
  b.z31 = 12.0 * x1 * x1 - 3.0 * x3 * x3;
  b.z32 = 24.0 * x1 * x2 - 6.0 * x3 * x4;
  b.z33 = 12.0 * x2 * x2 - 3.0 * x4 * x4;
  b.z1 = 3.0 * (a1 * a1 + a2 * a2) + b.z31 * emsq;
  b.z2 = 6.0 * (a1 * a3 + a2 * a4) + b.z32 * emsq;
  b.z3 = 3.0 * (a3 * a3 + a4 * a4) + b.z33 * emsq;
  b.z11 = -6.0 * a1 * a5 + emsq * (-24.0 * x1 * x7 - 6.0 * x3 * x5);
  b.z12 = -6.0 * (a1 * a6 + a3 * a5) + emsq * (-24.0 * (x2 * x7 + x1 * x8) - 6.0 * (x3 * x6 + x4 * x5));
  b.z13 = -6.0 * a3 * a6 + emsq * (-24.0 * x2 * x8 - 6.0 * x4 * x6);
  b.z21 = 6.0 * a2 * a5 + emsq * (24.0 * x1 * x5 - 6.0 * x3 * x7);
  b.z22 = 6.0 * (a4 * a5 + a2 * a6) + emsq * (24.0 * (x2 * x5 + x1 * x6) - 6.0 * (x4 * x7 + x3 * x8));
  b.z23 = 6.0 * a4 * a6 + emsq * (24.0 * x2 * x6 - 6.0 * x4 * x8);
  b.z1 = b.z1 + b.z1 + betasq * b.z31;
  b.z2 = b.z2 + b.z2 + betasq * b.z32;
  b.z3 = b.z3 + b.z3 + betasq * b.z33;
  b.s3 = cc * xnoi;
  b.s2 = -0.5 * b.s3 / rtemsq;
  b.s4 = b.s3 * rtemsq;
  b.s1 = -15.0 * em * b.s4;
  b.s5 = x1 * x3 + x2 * x4;
  b.s6 = x2 * x3 + x1 * x4;
  b.s7 = x2 * x4 - x1 * x3;
  return b;
}

// dscom: lunar-solar terms common to the secular rates and the periodics, for an orbit of eccentricity
// ep, argument of perigee argpp, inclination inclp, node nodep and mean motion np at tc minutes after
// an epoch of epochDays1950.
DeepSpaceCommonTerms DeepSpaceCommon(double epochDays1950, double ep, double argpp, double tc, double inclp,
                                     double nodep, double np) {
  DeepSpaceCommonTerms c;
  const double nm = np;
  const double em = ep;
  const double snodm = std::sin(nodep);
  const double cnodm = std::cos(nodep);
  const double sinomm = std::sin(argpp);
  const double cosomm = std::cos(argpp);
  c.sinim = std::sin(inclp);
  c.cosim = std::cos(inclp);
  c.emsq = em * em;
  const double betasq = 1.0 - c.emsq;
  const double rtemsq = std::sqrt(betasq);

  // The Moon's node and orbit orientation at this time.
  const double day = epochDays1950 + 18261.5 + tc / 1440.0;
  const double xnodce = std::fmod(4.5236020 - 9.2422029e-4 * day, kTwoPi);
  const double stem = std::sin(xnodce);
  const double ctem = std::cos(xnodce);
  const double zcosil = 0.91375164 - 0.03568096 * ctem;
  const double zsinil = std::sqrt(1.0 - zcosil * zcosil);
  const double zsinhl = 0.089683511 * stem / zsinil;
  const double zcoshl = std::sqrt(1.0 - zsinhl * zsinhl);
  const double gam = 5.8351514 + 0.0019443680 * day;
  double zx = 0.39785416 * stem / zsinil;
  const double zy = zcoshl * ctem + 0.91744867 * zsinhl * stem;
  zx = std::atan2(zx, zy);
  zx = gam + zx - xnodce;
  const double zcosgl = std::cos(zx);
  const double zsingl = std::sin(zx);

  const double xnoi = 1.0 / nm;
  const BodyTerms sun = BodyCoefficients(kZcosgs, kZsings, kZcosis, kZsinis, cnodm, snodm, kC1ss, xnoi, c.sinim,
                                         c.cosim, sinomm, cosomm, em, c.emsq, betasq, rtemsq);
  const BodyTerms moon =
      BodyCoefficients(zcosgl, zsingl, zcosil, zsinil, zcoshl * cnodm + zsinhl * snodm, snodm * zcoshl - cnodm * zsinhl,
                       kC1l, xnoi, c.sinim, c.cosim, sinomm, cosomm, em, c.emsq, betasq, rtemsq);

  c.s1 = moon.s1, c.s2 = moon.s2, c.s3 = moon.s3, c.s4 = moon.s4, c.s5 = moon.s5;
  c.ss1 = sun.s1, c.ss2 = sun.s2, c.ss3 = sun.s3, c.ss4 = sun.s4, c.ss5 = sun.s5;
  c.sz1 = sun.z1, c.sz3 = sun.z3, c.sz11 = sun.z11, c.sz13 = sun.z13;
  c.sz21 = sun.z21, c.sz23 = sun.z23, c.sz31 = sun.z31, c.sz33 = sun.z33;
  c.z1 = moon.z1, c.z3 = moon.z3, c.z11 = moon.z11, c.z13 = moon.z13;
  c.z21 = moon.z21, c.z23 = moon.z23, c.z31 = moon.z31, c.z33 = moon.z33;

  DeepSpacePeriodicTerms& p = c.periodic;
  p.zmol = std::fmod(4.7199672 + 0.22997150 * day - gam, kTwoPi);
  p.zmos = std::fmod(6.2565837 + 0.017201977 * day, kTwoPi);

  // Solar terms.
  p.se2 = 2.0 * sun.s1 * sun.s6;
  p.se3 = 2.0 * sun.s1 * sun.s7;
  p.si2 = 2.0 * sun.s2 * sun.z12;
  p.si3 = 2.0 * sun.s2 * (sun.z13 - sun.z11);
  p.sl2 = -2.0 * sun.s3 * sun.z2;
  p.sl3 = -2.0 * sun.s3 * (sun.z3 - sun.z1);
  p.sl4 = -2.0 * sun.s3 * (-21.0 - 9.0 * c.emsq) * kZes;
  p.sgh2 = 2.0 * sun.s4 * sun.z32;
  p.sgh3 = 2.0 * sun.s4 * (sun.z33 - sun.z31);
  p.sgh4 = -18.0 * sun.s4 * kZes;
  p.sh2 = -2.0 * sun.s2 * sun.z22;
  p.sh3 = -2.0 * sun.s2 * (sun.z23 - sun.z21);

  // Lunar terms.
  p.ee2 = 2.0 * moon.s1 * moon.s6;
  p.e3 = 2.0 * moon.s1 * moon.s7;
  p.xi2 = 2.0 * moon.s2 * moon.z12;
  p.xi3 = 2.0 * moon.s2 * (moon.z13 - moon.z11);
  p.xl2 = -2.0 * moon.s3 * moon.z2;
  p.xl3 = -2.0 * moon.s3 * (moon.z3 - moon.z1);
  p.xl4 = -2.0 * moon.s3 * (-21.0 - 9.0 * c.emsq) * kZel;
  p.xgh2 = 2.0 * moon.s4 * moon.z32;
  p.xgh3 = 2.0 * moon.s4 * (moon.z33 - moon.z31);
  p.xgh4 = -18.0 * moon.s4 * kZel;
  p.xh2 = -2.0 * moon.s2 * moon.z22;
  p.xh3 = -2.0 * moon.s2 * (moon.z23 - moon.z21);
  return c;
}

// Coefficients of the 12-hour resonance (the half-day part of dsinit) for eccentricity em, its square
// emsq, inclination (sinim, cosim) and mean motion nm with aonv = (nm / ke)^(2/3).
void HalfDayResonance(double em, double emsq, double sinim, double cosim, double nm, double aonv,
                      DeepSpaceSecularTerms& s) {
  constexpr double root22 = 1.7891679e-6;
  constexpr double root32 = 3.7393792e-7;
  constexpr double root44 = 7.3636953e-9;
  constexpr double root52 = 1.1428639e-7;
  constexpr double root54 = 2.1765803e-9;
  const double cosisq = cosim * cosim;
  const double eoc = em * emsq;
  const double g201 = -0.306 - (em - 0.64) * 0.440;
  double g211, g310, g322, g410, g422, g520, g521, g532, g533;
  if (em <= 0.65) {
    g211 = 3.616 - 13.2470 * em + 16.2900 * emsq;
    g310 = -19.302 + 117.3900 * em - 228.4190 * emsq + 156.5910 * eoc;
    g322 = -18.9068 + 109.7927 * em - 214.6334 * emsq + 146.5816 * eoc;
    g410 = -41.122 + 242.6940 * em - 471.0940 * emsq + 313.9530 * eoc;
    g422 = -146.407 + 841.8800 * em - 1629.014 * emsq + 1083.4350 * eoc;
    g520 = -532.114 + 3017.977 * em - 5740.032 * emsq + 3708.2760 * eoc;
  } else {
    g211 = -72.099 + 331.819 * em - 508.738 * emsq + 266.724 * eoc;
    g310 = -346.844 + 1582.851 * em - 2415.925 * emsq + 1246.113 * eoc;
    g322 = -342.585 + 1554.908 * em - 2366.899 * emsq + 1215.972 * eoc;
    g410 = -1052.797 + 4758.686 * em - 7193.992 * emsq + 3651.957 * eoc;
    g422 = -3581.690 + 16178.110 * em - 24462.770 * emsq + 12422.520 * eoc;
    if (em > 0.715)
      g520 = -5149.66 + 29936.92 * em - 54087.36 * emsq + 31324.56 * eoc;
    else
      g520 = 1464.74 - 4664.75 * em + 3763.64 * emsq;
  }
  if (em < 0.7) {
    g533 = -919.22770 + 4988.6100 * em - 9064.7700 * emsq + 5542.21 * eoc;
    g521 = -822.71072 + 4568.6173 * em - 8491.4146 * emsq + 5337.524 * eoc;
    g532 = -853.66600 + 4690.2500 * em - 8624.7700 * emsq + 5341.4 * eoc;
  } else {
    g533 = -37995.780 + 161616.52 * em - 229838.20 * emsq + 109377.94 * eoc;
    g521 = -51752.104 + 218913.95 * em - 309468.16 * emsq + 146349.42 * eoc;
    g532 = -40023.880 + 170470.89 * em - 242699.48 * emsq + 115605.82 * eoc;
  }
  const double sini2 = sinim * sinim;
  const double f220 = 0.75 * (1.0 + 2.0 * cosim + cosisq);
  const double f221 = 1.5 * sini2;
  const double f321 = 1.875 * sinim * (1.0 - 2.0 * cosim - 3.0 * cosisq);
  const double f322 = -1.875 * sinim * (1.0 + 2.0 * cosim - 3.0 * cosisq);
  const double f441 = 35.0 * sini2 * f220;
  const double f442 = 39.3750 * sini2 * sini2;
  const double f522 =
      9.84375 * sinim * (sini2 * (1.0 - 2.0 * cosim - 5.0 * cosisq) + 0.33333333 * (-2.0 + 4.0 * cosim + 6.0 * cosisq));
  const double f523 = sinim * (4.92187512 * sini2 * (-2.0 - 4.0 * cosim + 10.0 * cosisq) +
                               6.56250012 * (1.0 + 2.0 * cosim - 3.0 * cosisq));
  const double f542 = 29.53125 * sinim * (2.0 - 8.0 * cosim + cosisq * (-12.0 + 8.0 * cosim + 10.0 * cosisq));
  const double f543 = 29.53125 * sinim * (-2.0 - 8.0 * cosim + cosisq * (12.0 + 8.0 * cosim - 10.0 * cosisq));
  const double xno2 = nm * nm;
  const double ainv2 = aonv * aonv;
  double temp1 = 3.0 * xno2 * ainv2;
  double temp = temp1 * root22;
  s.d2201 = temp * f220 * g201;
  s.d2211 = temp * f221 * g211;
  temp1 = temp1 * aonv;
  temp = temp1 * root32;
  s.d3210 = temp * f321 * g310;
  s.d3222 = temp * f322 * g322;
  temp1 = temp1 * aonv;
  temp = 2.0 * temp1 * root44;
  s.d4410 = temp * f441 * g410;
  s.d4422 = temp * f442 * g422;
  temp1 = temp1 * aonv;
  temp = temp1 * root52;
  s.d5220 = temp * f522 * g520;
  s.d5232 = temp * f523 * g532;
  temp = 2.0 * temp1 * root54;
  s.d5421 = temp * f542 * g521;
  s.d5433 = temp * f543 * g533;
}

// Coefficients of the 24-hour resonance (the synchronous part of dsinit).
void SynchronousResonance(double emsq, double sinim, double cosim, double nm, double aonv, DeepSpaceSecularTerms& s) {
  constexpr double q22 = 1.7891679e-6;
  constexpr double q31 = 2.1460748e-6;
  constexpr double q33 = 2.2123015e-7;
  const double g200 = 1.0 + emsq * (-2.5 + 0.8125 * emsq);
  const double g310 = 1.0 + 2.0 * emsq;
  const double g300 = 1.0 + emsq * (-6.0 + 6.60937 * emsq);
  const double f220 = 0.75 * (1.0 + cosim) * (1.0 + cosim);
  const double f311 = 0.9375 * sinim * sinim * (1.0 + 3.0 * cosim) - 0.75 * (1.0 + cosim);
  double f330 = 1.0 + cosim;
  f330 = 1.875 * f330 * f330 * f330;
  const double del1 = 3.0 * nm * nm * aonv * aonv;
  s.del2 = 2.0 * del1 * f220 * g200 * q22;
  s.del3 = 3.0 * del1 * f330 * g300 * q33 * aonv;
  s.del1 = del1 * f311 * g310 * q31 * aonv;
}

// Rates of the resonant longitude and mean motion (the "dot terms" of dspace) at resonant longitude
// xli, mean motion xni and argument of perigee xomi.
struct ResonanceRates {
  double xldot = 0.0, xndt = 0.0, xnddt = 0.0;
};

ResonanceRates ResonanceDerivatives(const DeepSpaceSecularTerms& s, double xli, double xni, double xomi) {
  constexpr double fasx2 = 0.13130908;
  constexpr double fasx4 = 2.8843198;
  constexpr double fasx6 = 0.37448087;
  constexpr double g22 = 5.7686396;
  constexpr double g32 = 0.95240898;
  constexpr double g44 = 1.8014998;
  constexpr double g52 = 1.0508330;
  constexpr double g54 = 4.4108898;
  ResonanceRates r;
  r.xldot = xni + s.xfact;
  if (s.resonance != DeepSpaceResonance::HalfDay) {
    r.xndt = s.del1 * std::sin(xli - fasx2) + s.del2 * std::sin(2.0 * (xli - fasx4)) +
             s.del3 * std::sin(3.0 * (xli - fasx6));
    r.xnddt = s.del1 * std::cos(xli - fasx2) + 2.0 * s.del2 * std::cos(2.0 * (xli - fasx4)) +
              3.0 * s.del3 * std::cos(3.0 * (xli - fasx6));
  } else {
    const double x2omi = xomi + xomi;
    const double x2li = xli + xli;
    r.xndt = s.d2201 * std::sin(x2omi + xli - g22) + s.d2211 * std::sin(xli - g22) +
             s.d3210 * std::sin(xomi + xli - g32) + s.d3222 * std::sin(-xomi + xli - g32) +
             s.d4410 * std::sin(x2omi + x2li - g44) + s.d4422 * std::sin(x2li - g44) +
             s.d5220 * std::sin(xomi + xli - g52) + s.d5232 * std::sin(-xomi + xli - g52) +
             s.d5421 * std::sin(xomi + x2li - g54) + s.d5433 * std::sin(-xomi + x2li - g54);
    r.xnddt = s.d2201 * std::cos(x2omi + xli - g22) + s.d2211 * std::cos(xli - g22) +
              s.d3210 * std::cos(xomi + xli - g32) + s.d3222 * std::cos(-xomi + xli - g32) +
              s.d5220 * std::cos(xomi + xli - g52) + s.d5232 * std::cos(-xomi + xli - g52) +
              2.0 * (s.d4410 * std::cos(x2omi + x2li - g44) + s.d4422 * std::cos(x2li - g44) +
                     s.d5421 * std::cos(xomi + x2li - g54) + s.d5433 * std::cos(-xomi + x2li - g54));
  }
  r.xnddt = r.xnddt * r.xldot;
  return r;
}

}  // namespace

double DeepSpaceSiderealTime(double julianDate) {
  const double tut1 = (julianDate - 2451545.0) / 36525.0;
  double temp = -6.2e-6 * tut1 * tut1 * tut1 + 0.093104 * tut1 * tut1 + (876600.0 * 3600.0 + 8640184.812866) * tut1 +
                67310.54841;                              // seconds of time
  temp = std::fmod(temp * (Pi / 180.0) / 240.0, kTwoPi);  // 360 degrees per 86400 s
  if (temp < 0.0) temp += kTwoPi;
  return temp;
}

DeepSpaceModel DeepSpaceInitialise(const DeepSpaceEpoch& epoch) {
  // dscom at the epoch.
  const DeepSpaceCommonTerms c = DeepSpaceCommon(epoch.epochDays1950, epoch.eccentricity, epoch.argPerigee, 0.0,
                                                 epoch.inclination, epoch.node, epoch.meanMotion);
  DeepSpaceModel model;
  model.periodic = c.periodic;
  DeepSpaceSecularTerms& s = model.secular;
  s.gsto = DeepSpaceSiderealTime(epoch.epochDays1950 + 2433281.5);

  // dsinit: the resonance class from the mean motion and eccentricity.
  const double nm = epoch.meanMotion;
  const double em = epoch.eccentricity;
  const double inclm = epoch.inclination;
  if (nm < 0.0052359877 && nm > 0.0034906585) s.resonance = DeepSpaceResonance::Synchronous;
  if (nm >= 8.26e-3 && nm <= 9.24e-3 && em >= 0.5) s.resonance = DeepSpaceResonance::HalfDay;

  // Solar secular rates.
  const double ses = c.ss1 * kZns * c.ss5;
  const double sis = c.ss2 * kZns * (c.sz11 + c.sz13);
  const double sls = -kZns * c.ss3 * (c.sz1 + c.sz3 - 14.0 - 6.0 * c.emsq);
  const double sghs = c.ss4 * kZns * (c.sz31 + c.sz33 - 6.0);
  double shs = -kZns * c.ss2 * (c.sz21 + c.sz23);
  // Near-equatorial orbits (within 3 degrees of 0 or 180) get no nodal rate from the Sun or the Moon.
  const bool equatorial = inclm < 5.2359877e-2 || inclm > Pi - 5.2359877e-2;
  if (equatorial) shs = 0.0;
  if (c.sinim != 0.0) shs = shs / c.sinim;
  const double sgs = sghs - c.cosim * shs;

  // Lunar secular rates.
  s.dedt = ses + c.s1 * kZnl * c.s5;
  s.didt = sis + c.s2 * kZnl * (c.z11 + c.z13);
  s.dmdt = sls - kZnl * c.s3 * (c.z1 + c.z3 - 14.0 - 6.0 * c.emsq);
  const double sghl = c.s4 * kZnl * (c.z31 + c.z33 - 6.0);
  double shll = -kZnl * c.s2 * (c.z21 + c.z23);
  if (equatorial) shll = 0.0;
  s.domdt = sgs + sghl;
  s.dnodt = shs;
  if (c.sinim != 0.0) {
    s.domdt = s.domdt - c.cosim / c.sinim * shll;
    s.dnodt = s.dnodt + shll / c.sinim;
  }

  if (s.resonance == DeepSpaceResonance::None) return model;
  // The resonance terms at the epoch (the secular update of dsinit at t = 0 leaves the elements as
  // they are, theta is the sidereal time at the epoch).
  const double theta = std::fmod(s.gsto, kTwoPi);
  const double aonv = std::pow(nm / epoch.xke, 2.0 / 3.0);
  if (s.resonance == DeepSpaceResonance::HalfDay) {
    HalfDayResonance(em, c.emsq, c.sinim, c.cosim, nm, aonv, s);
    s.xlamo = std::fmod(epoch.meanAnomaly + epoch.node + epoch.node - theta - theta, kTwoPi);
    s.xfact = epoch.mdot + s.dmdt + 2.0 * (epoch.nodeDot + s.dnodt - kRptim) - epoch.meanMotion;
  } else {
    SynchronousResonance(c.emsq, c.sinim, c.cosim, nm, aonv, s);
    s.xlamo = std::fmod(epoch.meanAnomaly + epoch.node + epoch.argPerigee - theta, kTwoPi);
    s.xfact =
        epoch.mdot + (epoch.argPerigeeDot + epoch.nodeDot) - kRptim + s.dmdt + s.domdt + s.dnodt - epoch.meanMotion;
  }
  return model;
}

void DeepSpaceSecular(const DeepSpaceSecularTerms& s, const DeepSpaceEpoch& epoch, double t, DeepSpaceElements& el,
                      DeepSpaceIntegrator* integrator) {
  constexpr double stepp = 720.0;
  constexpr double stepn = -720.0;
  constexpr double step2 = 259200.0;  // stepp^2 / 2

  const double theta = std::fmod(s.gsto + t * kRptim, kTwoPi);
  el.eccentricity += s.dedt * t;
  el.inclination += s.didt * t;
  el.argPerigee += s.domdt * t;
  el.node += s.dnodt * t;
  el.meanAnomaly += s.dmdt * t;
  if (s.resonance == DeepSpaceResonance::None) return;

  // Euler-Maclaurin integration of the resonant longitude and mean motion in steps of 720 min from the
  // epoch (or from where the integrator stopped, when t lies beyond it), then a Taylor step over the rest.
  DeepSpaceIntegrator fromEpoch;
  DeepSpaceIntegrator& in = integrator != nullptr ? *integrator : fromEpoch;
  if (in.atime == 0.0 || t * in.atime <= 0.0 || std::fabs(t) < std::fabs(in.atime)) {
    in.atime = 0.0;
    in.xni = epoch.meanMotion;
    in.xli = s.xlamo;
  }
  double& atime = in.atime;
  double& xni = in.xni;
  double& xli = in.xli;
  const double delt = t > 0.0 ? stepp : stepn;
  ResonanceRates r;
  double ft = 0.0;
  for (;;) {
    r = ResonanceDerivatives(s, xli, xni, epoch.argPerigee + epoch.argPerigeeDot * atime);
    if (!(std::fabs(t - atime) >= stepp)) {
      ft = t - atime;
      break;
    }
    xli = xli + r.xldot * delt + r.xndt * step2;
    xni = xni + r.xndt * delt + r.xnddt * step2;
    atime = atime + delt;
  }
  const double nm = xni + r.xndt * ft + r.xnddt * ft * ft * 0.5;
  const double xl = xli + r.xldot * ft + r.xndt * ft * ft * 0.5;
  if (s.resonance == DeepSpaceResonance::Synchronous)
    el.meanAnomaly = xl - el.node - el.argPerigee + theta;
  else
    el.meanAnomaly = xl - 2.0 * el.node + 2.0 * theta;
  el.meanMotion = epoch.meanMotion + (nm - epoch.meanMotion);
}

void DeepSpacePeriodics(const DeepSpacePeriodicTerms& p, double t, DeepSpaceElements& el) {
  // Solar terms at the Sun's mean anomaly, then lunar terms at the Moon's.
  double zm = p.zmos + kZns * t;
  double zf = zm + 2.0 * kZes * std::sin(zm);
  double sinzf = std::sin(zf);
  double f2 = 0.5 * sinzf * sinzf - 0.25;
  double f3 = -0.5 * sinzf * std::cos(zf);
  const double ses = p.se2 * f2 + p.se3 * f3;
  const double sis = p.si2 * f2 + p.si3 * f3;
  const double sls = p.sl2 * f2 + p.sl3 * f3 + p.sl4 * sinzf;
  const double sghs = p.sgh2 * f2 + p.sgh3 * f3 + p.sgh4 * sinzf;
  const double shs = p.sh2 * f2 + p.sh3 * f3;
  zm = p.zmol + kZnl * t;
  zf = zm + 2.0 * kZel * std::sin(zm);
  sinzf = std::sin(zf);
  f2 = 0.5 * sinzf * sinzf - 0.25;
  f3 = -0.5 * sinzf * std::cos(zf);
  const double sel = p.ee2 * f2 + p.e3 * f3;
  const double sil = p.xi2 * f2 + p.xi3 * f3;
  const double sll = p.xl2 * f2 + p.xl3 * f3 + p.xl4 * sinzf;
  const double sghl = p.xgh2 * f2 + p.xgh3 * f3 + p.xgh4 * sinzf;
  const double shll = p.xh2 * f2 + p.xh3 * f3;
  const double pe = ses + sel;
  const double pinc = sis + sil;
  const double pl = sls + sll;
  double pgh = sghs + sghl;
  double ph = shs + shll;

  el.inclination += pinc;
  el.eccentricity += pe;
  const double sinip = std::sin(el.inclination);
  const double cosip = std::cos(el.inclination);
  if (el.inclination >= 0.2) {
    // Apply the periodics directly.
    ph = ph / sinip;
    pgh = pgh - cosip * ph;
    el.argPerigee += pgh;
    el.node += ph;
    el.meanAnomaly += pl;
  } else {
    // Lyddane's modification: perturb the node through the components of the orbit normal.
    const double sinop = std::sin(el.node);
    const double cosop = std::cos(el.node);
    double alfdp = sinip * sinop;
    double betdp = sinip * cosop;
    const double dalf = ph * cosop + pinc * cosip * sinop;
    const double dbet = -ph * sinop + pinc * cosip * cosop;
    alfdp = alfdp + dalf;
    betdp = betdp + dbet;
    el.node = std::fmod(el.node, kTwoPi);
    double xls = el.meanAnomaly + el.argPerigee + cosip * el.node;
    const double dls = pl + pgh - pinc * el.node * sinip;
    xls = xls + dls;
    const double xnoh = el.node;
    el.node = std::atan2(alfdp, betdp);
    if (std::fabs(xnoh - el.node) > Pi) el.node += el.node < xnoh ? kTwoPi : -kTwoPi;
    el.meanAnomaly += pl;
    el.argPerigee = xls - el.meanAnomaly - cosip * el.node;
  }
}
