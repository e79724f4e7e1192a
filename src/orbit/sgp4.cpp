#include "orbit/sgp4.h"

#include <cmath>

#include "base/calendar.h"

namespace {

constexpr double kTwoPi = 2.0 * Pi;
constexpr double kTwoThirds = 2.0 / 3.0;
// Altitudes of the atmosphere model's density function, km: s = 78 km above the surface, q0 = 120 km.
constexpr double kDensityS = 78.0;
constexpr double kDensityQ0 = 120.0;

bool AllFinite(std::initializer_list<double> values) {
  for (double v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

// Angle brought into 0 to below 2*pi.
double ReduceTwoPi(double angle) {
  double r = std::fmod(angle, kTwoPi);
  return r < 0.0 ? r + kTwoPi : r;
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
  return e;
}

bool Sgp4Initialise(const Sgp4Elements& elements, const Sgp4Constants& k, Sgp4Model& m) {
  const double eo = elements.eccentricity;
  const double xincl = elements.inclinationRad;
  const double omegao = elements.argPerigeeRad;
  const double xmo = elements.meanAnomalyRad;
  const double bstar = elements.bstar;
  const double xno = elements.meanMotionRevPerDay * kTwoPi / 1440.0;  // rad/min
  if (!AllFinite({xno, eo, xincl, omegao, xmo, elements.raanRad, bstar})) return false;
  // e0 = 0 divides by zero in C3 and the mean-anomaly drag coefficient; n0 = 0 has no orbit.
  if (!(eo > 0.0 && eo < 1.0) || !(xno > 0.0)) return false;

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
  const double aodp = ao / (1.0 - delo);

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
  const double c3 = coef * tsi * a3ovk2 * xnodp * sinio / eo;
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
  m.xmcof = -kTwoThirds * coef * bstar / eeta;
  m.xnodcf = 3.5 * betao2 * xhdot1 * c1;
  m.t2cof = 1.5 * c1;
  m.xlcof = 0.125 * a3ovk2 * sinio * (3.0 + 5.0 * cosio) / (1.0 + cosio);
  m.aycof = 0.25 * a3ovk2 * sinio;
  m.delmo = std::pow(1.0 + eta * std::cos(xmo), 3);
  m.sinmo = std::sin(xmo);

  // The full drag terms, applied whatever the perigee height.
  const double c1sq = c1 * c1;
  m.d2 = 4.0 * aodp * tsi * c1sq;
  const double temp = m.d2 * tsi * c1 / 3.0;
  m.d3 = (17.0 * aodp + s4) * temp;
  m.d4 = 0.5 * temp * aodp * tsi * (221.0 * aodp + 31.0 * s4) * c1;
  m.t3cof = m.d2 + 2.0 * c1sq;
  m.t4cof = 0.25 * (3.0 * m.d3 + c1 * (12.0 * m.d2 + 10.0 * c1sq));
  m.t5cof = 0.2 * (3.0 * m.d4 + 12.0 * c1 * m.d3 + 6.0 * m.d2 * m.d2 + 15.0 * c1sq * (2.0 * m.d2 + c1sq));

  return AllFinite({m.xnodp,  m.aodp,  m.eta,   m.c1,    m.c4, m.c5, m.xmdot, m.omgdot, m.xnodot, m.omgcof, m.xmcof,
                    m.xnodcf, m.xlcof, m.aycof, m.delmo, m.d2, m.d3, m.d4,    m.t3cof,  m.t4cof,  m.t5cof}) &&
         m.aodp > 0.0;
}

bool Sgp4Evaluate(const Sgp4Model& m, double tsince, Sgp4State& state) {
  const Sgp4Constants& k = m.constants;
  const Sgp4Elements& el = m.elements;
  if (!std::isfinite(tsince)) return false;

  // Secular gravity and atmospheric drag.
  const double xmdf = el.meanAnomalyRad + m.xmdot * tsince;
  const double omgadf = el.argPerigeeRad + m.omgdot * tsince;
  const double xnoddf = el.raanRad + m.xnodot * tsince;
  const double tsq = tsince * tsince;
  const double xnode = xnoddf + m.xnodcf * tsq;
  const double delomg = m.omgcof * tsince;
  const double delm = m.xmcof * (std::pow(1.0 + m.eta * std::cos(xmdf), 3) - m.delmo);
  const double xmp = xmdf + delomg + delm;
  const double omega = omgadf - (delomg + delm);
  const double tcube = tsq * tsince;
  const double tfour = tsince * tcube;
  const double tempa = 1.0 - m.c1 * tsince - m.d2 * tsq - m.d3 * tcube - m.d4 * tfour;
  const double tempe = el.bstar * m.c4 * tsince + el.bstar * m.c5 * (std::sin(xmp) - m.sinmo);
  const double templ = m.t2cof * tsq + m.t3cof * tcube + tfour * (m.t4cof + tsince * m.t5cof);
  // Drag has taken the semi-major axis factor through zero: the model's orbit has decayed.
  if (!(tempa > 0.0)) return false;
  const double a = m.aodp * tempa * tempa;
  double e = el.eccentricity - tempe;
  // A drag update that drives the eccentricity out of range falls back to the epoch value.
  if (e > 0.99 || e < 0.0) e = el.eccentricity;
  const double xl = xmp + omega + xnode + m.xnodp * templ;
  const double beta = std::sqrt(1.0 - e * e);
  const double xn = k.xke / std::pow(a, 1.5);

  // Long-period periodics.
  const double axn = e * std::cos(omega);
  double temp = 1.0 / (a * beta * beta);
  const double xll = temp * m.xlcof * axn;
  const double aynl = temp * m.aycof;
  const double xlt = xl + xll;
  const double ayn = e * std::sin(omega) + aynl;

  // Kepler's equation for E + omega by Newton-Raphson iteration.
  const double capu = ReduceTwoPi(xlt - xnode);
  double temp2 = capu;
  double sinepw = 0.0, cosepw = 0.0, temp3 = 0.0, temp4 = 0.0, temp5 = 0.0, temp6 = 0.0;
  for (int i = 0; i < k.keplerMaxIterations; ++i) {
    sinepw = std::sin(temp2);
    cosepw = std::cos(temp2);
    temp3 = axn * sinepw;
    temp4 = ayn * cosepw;
    temp5 = axn * cosepw;
    temp6 = ayn * sinepw;
    const double epw = (capu - temp4 + temp3 - temp2) / (1.0 - temp5 - temp6) + temp2;
    if (std::fabs(epw - temp2) <= k.keplerTolerance) break;
    temp2 = epw;
  }

  // Short-period preliminary quantities.
  const double ecose = temp5 + temp6;
  const double esine = temp3 - temp4;
  const double elsq = axn * axn + ayn * ayn;
  temp = 1.0 - elsq;
  const double pl = a * temp;
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
  const double rk = r * (1.0 - 1.5 * temp2 * betal * m.x3thm1) + 0.5 * temp1 * m.x1mth2 * cos2u;
  const double uk = u - 0.25 * temp2 * m.x7thm1 * sin2u;
  const double xnodek = xnode + 1.5 * temp2 * m.cosio * sin2u;
  const double xinck = el.inclinationRad + 1.5 * temp2 * m.cosio * m.sinio * cos2u;
  const double rdotk = rdot - xn * temp1 * m.x1mth2 * sin2u;
  const double rfdotk = rfdot + xn * temp1 * (m.x1mth2 * cos2u + 1.5 * m.x3thm1);

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
    if (!std::isfinite(result.positionKm[i]) || !std::isfinite(result.velocityKmS[i])) return false;
  state = result;
  return true;
}

bool Propagate(const Sgp4Elements& elements, double tsinceMin, const Sgp4Constants& constants, Sgp4State& state) {
  Sgp4Model model;
  return Sgp4Initialise(elements, constants, model) && Sgp4Evaluate(model, tsinceMin, state);
}

bool Propagate(const Sgp4Elements& elements, double tsinceMin, Sgp4State& state) {
  static const Sgp4Constants wgs84 = Wgs84Constants();
  return Propagate(elements, tsinceMin, wgs84, state);
}
