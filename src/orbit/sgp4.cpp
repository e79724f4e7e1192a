#include "orbit/sgp4.h"

#include <cmath>

#include "sky/angles.h"

// Differences from the equations and choices of Spacetrack Report No. 3 (1980), and why:
// - Earth model: the WGS-84 radius, GM, J2, J3 and J4 (Wgs84Constants) instead of the report's WGS-72
//   values, for agreement with current element sets and reference implementations; the constant set
//   is a parameter, so the report's own values still reproduce its tables.
// - Near-Earth sets always get the full drag terms (D2, D3, D4 and the t^3..t^5 terms of the mean
//   longitude), also below 220 km perigee where the report switches to the simplified terms.
// - Deep space: sets of period 225 min or more follow the revised equations of Vallado et al. (2006):
//   lunar-solar secular and periodic terms, the 12-hour and 24-hour resonances and their integrator
//   (sgp4_deep.cpp), with the simplified drag terms, the semi-major axis from the recovered mean motion
//   and Kepler's equation solved in at most 10 steps to 1e-12 rad, all as there, so that they reproduce
//   its published verification results.
// - Guards of the revised equations: the drag terms that divide by the eccentricity (C3 and the mean
//   anomaly drag coefficient) are dropped for e0 <= 1e-4, so near-circular and circular sets propagate;
//   a mean eccentricity driven below 1e-6 by drag is clamped to 1e-6 (the report's reset to e0 made the
//   position jump by kilometres); the long-period coefficient's 1 / (1 + cos i) is bounded for
//   retrograde equatorial orbits; Newton steps of Kepler's equation are limited to 0.95 rad, which only
//   matters for high eccentricities.
// - Failures carry the revised equations' error codes (Sgp4Error) and are reported exactly where they
//   report them: mean eccentricity out of range, mean motion not positive, perturbed eccentricity out of
//   range, negative semi-latus rectum, radius below one Earth radius. A drag factor 1 - C1 t - ... through
//   zero (long before the epoch, say) is not a failure: its square stays a valid semi-major axis.
// - Near-Earth sets iterate Kepler's equation up to 100 times to 1e-8 rad (the report: 10 times to 1e-6).
// - Evaluation is split from initialisation (Sgp4Model) so that a track initialises an element set once.

namespace {

constexpr double kTwoPi = 2.0 * Pi;
// Near-circular orbits: below this eccentricity the drag terms that divide by it are dropped.
constexpr double kNearCircular = 1.0e-4;
// Lower bound of the mean eccentricity after the drag update.
constexpr double kMinEccentricity = 1.0e-6;
// Kepler's equation of deep-space sets is solved as the revised equations solve it: at most 10 Newton
// steps, stopping below 1e-12 rad.
constexpr int kDeepKeplerIterations = 10;
constexpr double kDeepKeplerTolerance = 1.0e-12;
// Deep-space sets: period at or above this many minutes.
constexpr double kDeepSpacePeriodMin = 225.0;
constexpr double kTwoThirds = 2.0 / 3.0;
// Altitudes of the atmosphere model's density function, km: s = 78 km above the surface, q0 = 120 km.
constexpr double kDensityS = 78.0;
constexpr double kDensityQ0 = 120.0;

bool AllFinite(std::initializer_list<double> values) {
  for (double v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

// Long-period coefficients of the mean longitude (xlcof) and of a_yN (aycof) for inclination (sinI, cosI);
// 1 + cos i is bounded away from 0 for retrograde equatorial orbits as in the revised equations.
void LongPeriodCoefficients(double sinI, double cosI, double a3ovk2, double& xlcof, double& aycof) {
  const double onePlusCos = std::fabs(cosI + 1.0) > 1.5e-12 ? 1.0 + cosI : 1.5e-12;
  xlcof = 0.125 * a3ovk2 * sinI * (3.0 + 5.0 * cosI) / onePlusCos;
  aycof = 0.25 * a3ovk2 * sinI;
}

}  // namespace

Sgp4Constants Wgs84Constants() {
  constexpr double xkmper = 6378.137;
  constexpr double mu = 398600.5;
  Sgp4Constants c;
  c.xkmper = xkmper;
  c.xke = 60.0 * std::sqrt(mu / (xkmper * xkmper * xkmper));
  c.ck2 = 0.000541314994525;
  c.j3 = -2.53215306e-6;
  c.ck4 = 6.0412035375e-7;
  c.keplerMaxIterations = 100;
  c.keplerTolerance = 1e-8;
  return c;
}

Sgp4Elements ElementsFromTle(const TleRecord& tle) {
  Sgp4Elements e;
  e.meanMotionRevPerDay = tle.meanMotion;
  e.eccentricity = tle.eccentricity;
  e.inclinationRad = DegToRad(tle.inclinationDeg);
  e.bstar = tle.bstar;
  e.argPerigeeRad = DegToRad(tle.argPerigeeDeg);
  e.meanAnomalyRad = DegToRad(tle.meanAnomalyDeg);
  e.raanRad = DegToRad(tle.raanDeg);
  e.epochMjd = tle.epochMjd;
  return e;
}

Sgp4Error Sgp4Initialise(const Sgp4Elements& elements, const Sgp4Constants& k, Sgp4Model& m) {
  const double eo = elements.eccentricity;
  const double xincl = elements.inclinationRad;
  const double omegao = elements.argPerigeeRad;
  const double xmo = elements.meanAnomalyRad;
  const double bstar = elements.bstar;
  const double xno = elements.meanMotionRevPerDay * kTwoPi / 1440.0;  // rad/min
  if (!AllFinite({xno, eo, xincl, omegao, xmo, elements.raanRad, bstar, elements.epochMjd}))
    return Sgp4Error::NonFinite;
  if (!(eo >= 0.0 && eo < 1.0)) return Sgp4Error::MeanEccentricity;
  if (!(xno > 0.0)) return Sgp4Error::MeanMotion;

  m = Sgp4Model{};
  m.constants = k;
  m.elements = elements;

  // Recover the original mean motion and semi-major axis from the Kozai mean motion.
  const double a1 = std::pow(k.xke / xno, kTwoThirds);
  const double cosio = std::cos(xincl);
  const double theta2 = cosio * cosio;
  const double x3thm1 = 3.0 * theta2 - 1.0;
  const double eosq = eo * eo;
  const double betao2 = 1.0 - eosq;
  const double betao = std::sqrt(betao2);
  const double del1 = 1.5 * k.ck2 * x3thm1 / (a1 * a1 * betao * betao2);
  const double ao = a1 * (1.0 - del1 * (0.5 * kTwoThirds + del1 * (1.0 + 134.0 / 81.0 * del1)));
  const double delo = 1.5 * k.ck2 * x3thm1 / (ao * ao * betao * betao2);
  const double xnodp = xno / (1.0 + delo);
  m.deepSpace = kTwoPi / xnodp >= kDeepSpacePeriodMin;
  // The revised equations take the semi-major axis from the recovered mean motion by Kepler's third law;
  // the report's ao / (1 - delo) agrees with it to the third order in delo, which only shows at
  // eccentricities near 1. Deep-space sets follow the revised equations, near-Earth sets the report.
  const double aodp = m.deepSpace ? std::pow(k.xke / xnodp, kTwoThirds) : ao / (1.0 - delo);

  // Density-function parameters s and (q0 - s)^4; below 156 km perigee s follows the perigee height.
  double s4 = 1.0 + kDensityS / k.xkmper;
  double qoms24 = std::pow((kDensityQ0 - kDensityS) / k.xkmper, 4);
  const double perige = (aodp * (1.0 - eo) - 1.0) * k.xkmper;
  if (perige < 156.0) {
    double s4km = perige - kDensityS;
    if (perige <= 98.0) s4km = 20.0;
    qoms24 = std::pow((kDensityQ0 - s4km) / k.xkmper, 4);
    s4 = s4km / k.xkmper + 1.0;
  }

  const double pinvsq = 1.0 / (aodp * aodp * betao2 * betao2);
  const double tsi = 1.0 / (aodp - s4);
  const double eta = aodp * eo * tsi;
  const double etasq = eta * eta;
  const double eeta = eo * eta;
  const double psisq = std::fabs(1.0 - etasq);
  const double coef = qoms24 * std::pow(tsi, 4);
  const double coef1 = coef / std::pow(psisq, 3.5);
  const double c2 = coef1 * xnodp *
                    (aodp * (1.0 + 1.5 * etasq + eeta * (4.0 + etasq)) +
                     0.75 * k.ck2 * tsi / psisq * x3thm1 * (8.0 + 3.0 * etasq * (8.0 + etasq)));
  const double c1 = bstar * c2;
  const double sinio = std::sin(xincl);
  const double a3ovk2 = -k.j3 / k.ck2;
  // C3 and the mean-anomaly drag coefficient divide by e0: dropped for near-circular orbits.
  const bool nearCircular = eo <= kNearCircular;
  const double c3 = nearCircular ? 0.0 : coef * tsi * a3ovk2 * xnodp * sinio / eo;
  const double x1mth2 = 1.0 - theta2;
  const double c4 = 2.0 * xnodp * coef1 * aodp * betao2 *
                    (eta * (2.0 + 0.5 * etasq) + eo * (0.5 + 2.0 * etasq) -
                     2.0 * k.ck2 * tsi / (aodp * psisq) *
                         (-3.0 * x3thm1 * (1.0 - 2.0 * eeta + etasq * (1.5 - 0.5 * eeta)) +
                          0.75 * x1mth2 * (2.0 * etasq - eeta * (1.0 + etasq)) * std::cos(2.0 * omegao)));
  const double c5 = 2.0 * coef1 * aodp * betao2 * (1.0 + 2.75 * (etasq + eeta) + eeta * etasq);
  const double theta4 = theta2 * theta2;
  const double temp1 = 3.0 * k.ck2 * pinvsq * xnodp;
  const double temp2 = temp1 * k.ck2 * pinvsq;
  const double temp3 = 1.25 * k.ck4 * pinvsq * pinvsq * xnodp;
  const double x1m5th = 1.0 - 5.0 * theta2;
  const double xhdot1 = -temp1 * cosio;

  m.xnodp = xnodp;
  m.aodp = aodp;
  m.cosio = cosio;
  m.sinio = sinio;
  m.x3thm1 = x3thm1;
  m.x1mth2 = x1mth2;
  m.x7thm1 = 7.0 * theta2 - 1.0;
  m.eta = eta;
  m.c1 = c1;
  m.c4 = c4;
  m.c5 = c5;
  m.xmdot = xnodp + 0.5 * temp1 * betao * x3thm1 + 0.0625 * temp2 * betao * (13.0 - 78.0 * theta2 + 137.0 * theta4);
  m.omgdot = -0.5 * temp1 * x1m5th + 0.0625 * temp2 * (7.0 - 114.0 * theta2 + 395.0 * theta4) +
             temp3 * (3.0 - 36.0 * theta2 + 49.0 * theta4);
  m.xnodot = xhdot1 + (0.5 * temp2 * (4.0 - 19.0 * theta2) + 2.0 * temp3 * (3.0 - 7.0 * theta2)) * cosio;
  m.omgcof = bstar * c3 * std::cos(omegao);
  m.xmcof = nearCircular ? 0.0 : -kTwoThirds * coef * bstar / eeta;
  m.xnodcf = 3.5 * betao2 * xhdot1 * c1;
  m.t2cof = 1.5 * c1;
  LongPeriodCoefficients(sinio, cosio, a3ovk2, m.xlcof, m.aycof);
  m.delmo = std::pow(1.0 + eta * std::cos(xmo), 3);
  m.sinmo = std::sin(xmo);

  if (m.deepSpace) {
    // Lunar-solar and resonance terms; deep-space sets keep the simplified drag terms (D2 to D4 stay 0).
    DeepSpaceEpoch& d = m.deepEpoch;
    d.epochDays1950 = elements.epochMjd - 33281.0;  // MJD 33281 = 1949 December 31, 0 h
    d.eccentricity = eo;
    d.inclination = xincl;
    d.argPerigee = omegao;
    d.node = elements.raanRad;
    d.meanAnomaly = xmo;
    d.meanMotion = xnodp;
    d.xke = k.xke;
    d.mdot = m.xmdot;
    d.argPerigeeDot = m.omgdot;
    d.nodeDot = m.xnodot;
    m.deep = DeepSpaceInitialise(d);
  } else {
    // The full drag terms, applied to every near-Earth set whatever its perigee height.
    const double c1sq = c1 * c1;
    m.d2 = 4.0 * aodp * tsi * c1sq;
    const double temp = m.d2 * tsi * c1 / 3.0;
    m.d3 = (17.0 * aodp + s4) * temp;
    m.d4 = 0.5 * temp * aodp * tsi * (221.0 * aodp + 31.0 * s4) * c1;
    m.t3cof = m.d2 + 2.0 * c1sq;
    m.t4cof = 0.25 * (3.0 * m.d3 + c1 * (12.0 * m.d2 + 10.0 * c1sq));
    m.t5cof = 0.2 * (3.0 * m.d4 + 12.0 * c1 * m.d3 + 6.0 * m.d2 * m.d2 + 15.0 * c1sq * (2.0 * m.d2 + c1sq));
  }

  const bool finite =
      AllFinite({m.xnodp,  m.aodp,  m.eta,   m.c1,    m.c4, m.c5, m.xmdot, m.omgdot, m.xnodot, m.omgcof, m.xmcof,
                 m.xnodcf, m.xlcof, m.aycof, m.delmo, m.d2, m.d3, m.d4,    m.t3cof,  m.t4cof,  m.t5cof});
  return finite && m.aodp > 0.0 ? Sgp4Error::None : Sgp4Error::NonFinite;
}

namespace {

// Mean elements after the secular and long-period updates, ready for Kepler's equation and the
// short-period periodics.
struct MeanElements {
  double a = 0.0;  // semi-major axis, Earth radii
  double n = 0.0;  // mean motion, rad/min
  double e = 0.0;  // eccentricity
  double inclination = 0.0;
  double argPerigee = 0.0;
  double node = 0.0;
  double meanAnomaly = 0.0;
  // Inclination functions (those of the epoch for near-Earth sets, of the perturbed inclination for
  // deep-space sets) and the long-period coefficients built on them.
  double sinI = 0.0, cosI = 0.0, x3thm1 = 0.0, x1mth2 = 0.0, x7thm1 = 0.0, xlcof = 0.0, aycof = 0.0;
};

// Long-period periodics, Kepler's equation and short-period periodics of mean elements, giving the
// position (km) and velocity (km/s).
Sgp4Error PositionAndVelocity(const Sgp4Constants& k, int keplerMaxIterations, double keplerTolerance,
                              const MeanElements& el, Sgp4State& state) {
  const double a = el.a;
  const double e = el.e;
  const double beta = std::sqrt(1.0 - e * e);

  // Long-period periodics.
  const double axn = e * std::cos(el.argPerigee);
  double temp = 1.0 / (a * beta * beta);
  const double xll = temp * el.xlcof * axn;
  const double aynl = temp * el.aycof;
  const double xlt = el.meanAnomaly + el.argPerigee + el.node + xll;
  const double ayn = e * std::sin(el.argPerigee) + aynl;

  // Kepler's equation for E + omega by Newton-Raphson iteration; steps are limited to 0.95 rad.
  const double capu = NormalizeTwoPi(xlt - el.node);
  double temp2 = capu;
  double sinepw = 0.0, cosepw = 0.0, temp3 = 0.0, temp4 = 0.0, temp5 = 0.0, temp6 = 0.0;
  for (int i = 0; i < keplerMaxIterations; ++i) {
    sinepw = std::sin(temp2);
    cosepw = std::cos(temp2);
    temp3 = axn * sinepw;
    temp4 = ayn * cosepw;
    temp5 = axn * cosepw;
    temp6 = ayn * sinepw;
    double step = (capu - temp4 + temp3 - temp2) / (1.0 - temp5 - temp6);
    if (std::fabs(step) >= 0.95) step = step > 0.0 ? 0.95 : -0.95;
    const double epw = step + temp2;
    if (std::fabs(epw - temp2) <= keplerTolerance) break;
    temp2 = epw;
  }

  // Short-period preliminary quantities.
  const double ecose = temp5 + temp6;
  const double esine = temp3 - temp4;
  const double elsq = axn * axn + ayn * ayn;
  temp = 1.0 - elsq;
  const double pl = a * temp;
  if (pl < 0.0) return Sgp4Error::SemiLatusRectum;
  const double r = a * (1.0 - ecose);
  double temp1 = 1.0 / r;
  const double rdot = k.xke * std::sqrt(a) * esine * temp1;
  const double rfdot = k.xke * std::sqrt(pl) * temp1;
  temp2 = a * temp1;
  const double betal = std::sqrt(temp);
  temp3 = 1.0 / (1.0 + betal);
  const double cosu = temp2 * (cosepw - axn + ayn * esine * temp3);
  const double sinu = temp2 * (sinepw - ayn - axn * esine * temp3);
  const double u = std::atan2(sinu, cosu);
  const double sin2u = 2.0 * sinu * cosu;
  const double cos2u = 2.0 * cosu * cosu - 1.0;
  temp = 1.0 / pl;
  temp1 = k.ck2 * temp;
  temp2 = temp1 * temp;

  // Short-period periodics.
  const double rk = r * (1.0 - 1.5 * temp2 * betal * el.x3thm1) + 0.5 * temp1 * el.x1mth2 * cos2u;
  const double uk = u - 0.25 * temp2 * el.x7thm1 * sin2u;
  const double xnodek = el.node + 1.5 * temp2 * el.cosI * sin2u;
  const double xinck = el.inclination + 1.5 * temp2 * el.cosI * el.sinI * cos2u;
  const double rdotk = rdot - el.n * temp1 * el.x1mth2 * sin2u;
  const double rfdotk = rfdot + el.n * temp1 * (el.x1mth2 * cos2u + 1.5 * el.x3thm1);
  // Below one Earth radius the satellite has decayed.
  if (rk < 1.0) return std::isfinite(rk) ? Sgp4Error::Decayed : Sgp4Error::NonFinite;

  // Orientation vectors U (towards the satellite) and V (along its motion).
  const double sinuk = std::sin(uk), cosuk = std::cos(uk);
  const double sinik = std::sin(xinck), cosik = std::cos(xinck);
  const double sinnok = std::sin(xnodek), cosnok = std::cos(xnodek);
  const double xmx = -sinnok * cosik;
  const double xmy = cosnok * cosik;
  const double ux = xmx * sinuk + cosnok * cosuk;
  const double uy = xmy * sinuk + sinnok * cosuk;
  const double uz = sinik * sinuk;
  const double vx = xmx * cosuk - cosnok * sinuk;
  const double vy = xmy * cosuk - sinnok * sinuk;
  const double vz = sinik * cosuk;

  const double toKm = k.xkmper;
  const double toKmS = k.xkmper / 60.0;
  const Sgp4State result{
      {rk * ux * toKm, rk * uy * toKm, rk * uz * toKm},
      {(rdotk * ux + rfdotk * vx) * toKmS, (rdotk * uy + rfdotk * vy) * toKmS, (rdotk * uz + rfdotk * vz) * toKmS}};
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(result.positionKm[i]) || !std::isfinite(result.velocityKmS[i])) return Sgp4Error::NonFinite;
  state = result;
  return Sgp4Error::None;
}

// Lunar-solar periodics of a deep-space set applied to the mean elements (which the revised equations
// reduce to 0..2 pi first), and the inclination functions of the perturbed inclination.
Sgp4Error ApplyDeepSpacePeriodics(const Sgp4Model& m, double tsince, MeanElements& el) {
  const double xlm = std::fmod(el.meanAnomaly + el.argPerigee + el.node, kTwoPi);
  DeepSpaceElements p;
  p.eccentricity = el.e;
  p.inclination = el.inclination;
  p.node = std::fmod(el.node, kTwoPi);
  p.argPerigee = std::fmod(el.argPerigee, kTwoPi);
  p.meanAnomaly = std::fmod(xlm - p.argPerigee - p.node, kTwoPi);
  DeepSpacePeriodics(m.deep.periodic, tsince, p);
  if (p.inclination < 0.0) {
    p.inclination = -p.inclination;
    p.node += Pi;
    p.argPerigee -= Pi;
  }
  if (p.eccentricity < 0.0 || p.eccentricity > 1.0) return Sgp4Error::PerturbedEccentricity;
  el.e = p.eccentricity;
  el.inclination = p.inclination;
  el.node = p.node;
  el.argPerigee = p.argPerigee;
  el.meanAnomaly = p.meanAnomaly;
  el.sinI = std::sin(el.inclination);
  el.cosI = std::cos(el.inclination);
  const double cosisq = el.cosI * el.cosI;
  el.x3thm1 = 3.0 * cosisq - 1.0;
  el.x1mth2 = 1.0 - cosisq;
  el.x7thm1 = 7.0 * cosisq - 1.0;
  LongPeriodCoefficients(el.sinI, el.cosI, -m.constants.j3 / m.constants.ck2, el.xlcof, el.aycof);
  return Sgp4Error::None;
}

// Sgp4Evaluate with an optional resonance integrator state.
Sgp4Error EvaluateModel(const Sgp4Model& m, double tsince, Sgp4State& state, DeepSpaceIntegrator* integrator) {
  const Sgp4Constants& k = m.constants;
  const Sgp4Elements& el = m.elements;
  if (!std::isfinite(tsince)) return Sgp4Error::NonFinite;

  // Secular gravity and atmospheric drag.
  const double xmdf = el.meanAnomalyRad + m.xmdot * tsince;
  const double omgadf = el.argPerigeeRad + m.omgdot * tsince;
  const double xnoddf = el.raanRad + m.xnodot * tsince;
  const double tsq = tsince * tsince;
  MeanElements mean;
  mean.node = xnoddf + m.xnodcf * tsq;
  mean.meanAnomaly = xmdf;
  mean.argPerigee = omgadf;
  double tempa = 1.0 - m.c1 * tsince;
  double tempe = el.bstar * m.c4 * tsince;
  double templ = m.t2cof * tsq;
  if (!m.deepSpace) {
    const double delomg = m.omgcof * tsince;
    const double delmtemp = 1.0 + m.eta * std::cos(xmdf);
    const double delm = m.xmcof * (delmtemp * delmtemp * delmtemp - m.delmo);
    mean.meanAnomaly = xmdf + delomg + delm;
    mean.argPerigee = omgadf - (delomg + delm);
    const double tcube = tsq * tsince;
    const double tfour = tsince * tcube;
    tempa -= m.d2 * tsq + m.d3 * tcube + m.d4 * tfour;
    tempe += el.bstar * m.c5 * (std::sin(mean.meanAnomaly) - m.sinmo);
    templ += m.t3cof * tcube + tfour * (m.t4cof + tsince * m.t5cof);
  }
  mean.e = el.eccentricity;
  mean.inclination = el.inclinationRad;
  if (m.deepSpace) {
    DeepSpaceElements d{mean.e, mean.inclination, mean.argPerigee, mean.node, mean.meanAnomaly, m.xnodp};
    DeepSpaceSecular(m.deep.secular, m.deepEpoch, tsince, d, integrator);
    if (!(d.meanMotion > 0.0)) return std::isnan(d.meanMotion) ? Sgp4Error::NonFinite : Sgp4Error::MeanMotion;
    mean.e = d.eccentricity;
    mean.inclination = d.inclination;
    mean.argPerigee = d.argPerigee;
    mean.node = d.node;
    mean.meanAnomaly = d.meanAnomaly;
    mean.a = std::pow(k.xke / d.meanMotion, kTwoThirds) * tempa * tempa;
  } else {
    mean.a = m.aodp * tempa * tempa;
  }
  mean.n = k.xke / (mean.a * std::sqrt(mean.a));
  mean.e -= tempe;
  if (!std::isfinite(mean.e)) return Sgp4Error::NonFinite;
  if (mean.e >= 1.0 || mean.e < -0.001) return Sgp4Error::MeanEccentricity;
  // Drag that drives the eccentricity below its bound leaves it at the bound (continuous in time).
  if (mean.e < kMinEccentricity) mean.e = kMinEccentricity;
  mean.meanAnomaly += m.xnodp * templ;

  if (m.deepSpace) {
    const Sgp4Error error = ApplyDeepSpacePeriodics(m, tsince, mean);
    if (error != Sgp4Error::None) return error;
    return PositionAndVelocity(k, kDeepKeplerIterations, kDeepKeplerTolerance, mean, state);
  }
  mean.sinI = m.sinio;
  mean.cosI = m.cosio;
  mean.x3thm1 = m.x3thm1;
  mean.x1mth2 = m.x1mth2;
  mean.x7thm1 = m.x7thm1;
  mean.xlcof = m.xlcof;
  mean.aycof = m.aycof;
  return PositionAndVelocity(k, k.keplerMaxIterations, k.keplerTolerance, mean, state);
}

}  // namespace

Sgp4Error Sgp4Evaluate(const Sgp4Model& model, double tsinceMin, Sgp4State& state) {
  return EvaluateModel(model, tsinceMin, state, nullptr);
}

Sgp4Error Sgp4Evaluate(const Sgp4Model& model, double tsinceMin, Sgp4State& state, DeepSpaceIntegrator& integrator) {
  return EvaluateModel(model, tsinceMin, state, &integrator);
}

Sgp4Error Propagate(const Sgp4Elements& elements, double tsinceMin, const Sgp4Constants& constants, Sgp4State& state) {
  Sgp4Model model;
  const Sgp4Error error = Sgp4Initialise(elements, constants, model);
  return error != Sgp4Error::None ? error : Sgp4Evaluate(model, tsinceMin, state);
}

Sgp4Error Propagate(const Sgp4Elements& elements, double tsinceMin, Sgp4State& state) {
  static const Sgp4Constants wgs84 = Wgs84Constants();
  return Propagate(elements, tsinceMin, wgs84, state);
}
