#include "sky/sun_moon.h"

#include <cmath>

#include "sky/angles.h"
#include "sky/frames.h"

namespace {

// One periodic term of the lunar theory: amplitude (degrees) times sin or cos of
// d*D + m*M + mp*M' + f*F, multiplied by e^|m| (the eccentricity factor for terms in the Sun's anomaly).
struct LunarTerm {
  double amplitude;
  int d, m, mp, f;
};

// Longitude terms down to 0.0005 deg (amplitudes rounded to four decimals).
constexpr LunarTerm kLongitudeTerms[] = {
    {6.2888, 0, 0, 1, 0},   {1.2740, 2, 0, -1, 0},  {0.6583, 2, 0, 0, 0},   {0.2136, 0, 0, 2, 0},
    {-0.1856, 0, 1, 0, 0},  {-0.1143, 0, 0, 0, 2},  {0.0588, 2, 0, -2, 0},  {0.0572, 2, -1, -1, 0},
    {0.0533, 2, 0, 1, 0},   {0.0459, 2, -1, 0, 0},  {0.0410, 0, -1, 1, 0},  {-0.0347, 1, 0, 0, 0},
    {-0.0305, 0, 1, 1, 0},  {0.0153, 2, 0, 0, -2},  {-0.0125, 0, 0, 1, 2},  {-0.0110, 0, 0, -1, 2},
    {0.0107, 4, 0, -1, 0},  {0.0100, 0, 0, 3, 0},   {0.0085, 4, 0, -2, 0},  {-0.0079, 2, 1, -1, 0},
    {-0.0068, 2, 1, 0, 0},  {0.0052, -1, 0, 1, 0},  {0.0050, 1, 1, 0, 0},   {0.0040, 2, -1, 1, 0},
    {0.0040, 2, 0, 2, 0},   {0.0039, 4, 0, 0, 0},   {0.0037, 2, 0, -3, 0},  {0.0027, 0, -1, 2, 0},
    {0.0026, -2, 0, 1, -2}, {0.0024, 2, -1, -2, 0}, {-0.0023, 1, 0, 1, 0},  {0.0022, 2, -2, 0, 0},
    {-0.0021, 0, 1, 2, 0},  {-0.0021, 0, 2, 0, 0},  {0.0021, 2, -2, -1, 0}, {-0.0018, 2, 0, 1, -2},
    {-0.0016, 2, 0, 0, 2},  {0.0012, 4, -1, -1, 0}, {-0.0011, 0, 0, 2, 2},  {0.0009, -3, 0, 1, 0},
    {-0.0008, 2, 1, 1, 0},  {0.0008, 4, -1, -2, 0}, {0.0007, 0, -2, 1, 0},  {0.0007, -2, -2, 1, 0},
    {0.0007, 2, 1, -2, 0},  {0.0006, 2, -1, 0, -2}, {0.0006, 4, 0, 1, 0},   {0.0005, 0, 0, 4, 0},
    {0.0005, 4, -1, 0, 0},  {0.0005, -1, 0, 2, 0},
};

// Latitude terms down to 0.001 deg (amplitudes rounded to three decimals).
constexpr LunarTerm kLatitudeTerms[] = {
    {5.128, 0, 0, 0, 1},   {0.281, 0, 0, 1, 1},    {0.278, 0, 0, 1, -1}, {0.173, 2, 0, 0, -1},  {0.055, 2, 0, -1, 1},
    {0.046, 2, 0, -1, -1}, {0.033, 2, 0, 0, 1},    {0.017, 0, 0, 2, 1},  {0.009, 2, 0, 1, -1},  {0.009, 0, 0, 2, -1},
    {0.008, 2, -1, 0, -1}, {0.004, 2, 0, -2, -1},  {0.004, 2, 0, 1, 1},  {0.003, -2, -1, 0, 1}, {0.002, 2, -1, -1, 1},
    {0.002, 2, -1, 0, 1},  {0.002, 2, -1, -1, -1}, {0.002, 0, -1, 1, 1}, {0.002, 4, 0, -1, -1}, {-0.002, 0, 1, 0, 1},
    {-0.002, 0, 0, 0, 3},  {0.002, 0, -1, 1, -1},  {-0.001, 1, 0, 0, 1}, {-0.001, 0, 1, 1, 1},  {0.001, 0, -1, -1, 1},
    {0.001, 0, -1, 0, 1},  {0.001, -1, 0, 0, 1},   {0.001, 0, 0, 3, 1},  {0.001, 4, 0, 0, -1},  {0.001, 4, 0, -1, 1},
    {0.001, 0, 0, 1, -3},  {0.001, 4, 0, -2, 1},   {0.001, 2, 0, 0, -3}, {0.001, 2, 0, 2, -1},
};

// Horizontal parallax series, cosine terms (six decimals), after the constant 0.950724 deg.
constexpr LunarTerm kParallaxTerms[] = {
    {0.051818, 0, 0, 1, 0},   {0.009531, 2, 0, -1, 0},  {0.007843, 2, 0, 0, 0},   {0.002824, 0, 0, 2, 0},
    {0.000857, 2, 0, 1, 0},   {0.000533, 2, -1, 0, 0},  {0.000401, 2, -1, -1, 0}, {0.000320, 0, -1, 1, 0},
    {-0.000271, 1, 0, 0, 0},  {-0.000264, 0, 1, 1, 0},  {-0.000198, 0, 0, -1, 2}, {0.000173, 0, 0, 3, 0},
    {0.000167, 4, 0, -1, 0},  {-0.000111, 0, 1, 0, 0},  {0.000103, 4, 0, -2, 0},  {-0.000084, -2, 0, 2, 0},
    {-0.000083, 2, 1, 0, 0},  {0.000079, 2, 0, 2, 0},   {0.000072, 4, 0, 0, 0},   {0.000064, 2, -1, 1, 0},
    {-0.000063, 2, 1, -1, 0}, {0.000041, 1, 1, 0, 0},   {0.000035, 0, -1, 2, 0},  {-0.000033, -2, 0, 3, 0},
    {-0.000030, 1, 0, 1, 0},  {-0.000029, -2, 0, 0, 2}, {-0.000029, 0, 1, 2, 0},  {0.000026, 2, -2, 0, 0},
    {-0.000023, -2, 0, 1, 2}, {0.000019, 4, -1, -1, 0},
};

// Fundamental arguments of the lunar theory, radians.
struct LunarArguments {
  double d, m, mp, f;
  double e;  // eccentricity factor of the Earth's orbit
};

template <size_t N>
double SumTerms(const LunarTerm (&terms)[N], const LunarArguments& a, bool cosine) {
  double sum = 0.0;
  for (const LunarTerm& t : terms) {
    const double argument = t.d * a.d + t.m * a.m + t.mp * a.mp + t.f * a.f;
    double term = t.amplitude * (cosine ? std::cos(argument) : std::sin(argument));
    for (int k = 0; k < std::abs(t.m); ++k) term *= a.e;
    sum += term;
  }
  return sum;
}

double SinDeg(double degrees) {
  return std::sin(DegToRad(degrees));
}
double CosDeg(double degrees) {
  return std::cos(DegToRad(degrees));
}

// A geocentric body vector of date (from MoonPosition or SunPosition at TT) seen from the site.
TopocentricPlace SeenFromSite(const Vec3& body, double mjdUt, double mjdTt, double longitudeRad, double latitudeRad,
                              double heightKm) {
  const double gmst = GreenwichSiderealTime(mjdUt);
  const Vec3 topo = Minus(body, GeodeticToGeocentric(latitudeRad, gmst + longitudeRad, heightKm));
  TopocentricPlace place;
  place.ofDate = DirectionOf<SkyFrame::MeanOfDate>(topo);
  place.horizon = HorizontalCoordinates(gmst + longitudeRad - place.ofDate.raRad, place.ofDate.decRad, latitudeRad);
  // Mean of date -> J2000 by the transposed precession matrix.
  place.j2000 =
      DirectionOf<SkyFrame::J2000>(Rotate(Transpose(PrecessionMatrix(JulianCenturiesFromJ2000(mjdTt))), topo));
  return place;
}

// Polynomial in t with the coefficients c0, c1, ... (Horner's scheme).
template <size_t N>
double Polynomial(double t, const double (&c)[N]) {
  double sum = 0.0;
  for (size_t i = N; i-- > 0;) sum = sum * t + c[i];
  return sum;
}

}  // namespace

double DeltaTSeconds(double mjdUt) {
  // Observed TT - UT at the start of every fifth year from 1950 to 2025, seconds.
  constexpr double kObserved[] = {29.15, 31.07, 33.15, 35.73, 40.18, 45.48, 50.54, 54.34,
                                  56.86, 60.78, 63.83, 64.69, 66.07, 67.64, 69.36, 69.20};
  constexpr int kCount = sizeof(kObserved) / sizeof(kObserved[0]);
  const double y = 2000.0 + (mjdUt - 51544.5) / 365.2425;
  if (!std::isfinite(y)) return 0.0;
  if (y >= 1950.0) {
    const double index = (y - 1950.0) / 5.0;
    if (index >= kCount - 1) return kObserved[kCount - 1];
    const int i = static_cast<int>(index);
    return kObserved[i] + (index - i) * (kObserved[i + 1] - kObserved[i]);
  }
  const double u = (y - 1820.0) / 100.0;
  if (y < 1900.0) return -20.0 + 32.0 * u * u;
  if (y < 1920.0) return Polynomial(y - 1900.0, {-2.79, 1.494119, -0.0598939, 0.0061966, -0.000197});
  if (y < 1941.0) return Polynomial(y - 1920.0, {21.20, 0.84493, -0.076100, 0.0020936});
  return Polynomial(y - 1950.0, {29.07, 0.407, -1.0 / 233.0, 1.0 / 2547.0});
}

Vec3 MoonPosition(double mjd) {
  const double t = (mjd - 15019.5) / 36525.0;
  const double t2 = t * t;
  double lp = 270.4342 + 481267.8831 * t - 0.0011 * t2;
  double m = 358.4758 + 35999.0498 * t - 0.0002 * t2;
  double mp = 296.1046 + 477198.8491 * t + 0.0092 * t2;
  double d = 350.7375 + 445267.1142 * t - 0.0014 * t2;
  double f = 11.2509 + 483202.0251 * t - 0.0032 * t2;
  const double omega = Normalize360(259.1833 - 1934.142 * t + 0.0021 * t2);

  // Additive corrections: the long-period terms of Venus (51.2 + 20.2 T) and the great term of
  // Venus-Earth (346.56 + 132.87 T), and the terms in the Moon's node.
  const double venus = SinDeg(51.2 + 20.2 * t);
  const double greatTerm = 0.0040 * SinDeg(346.56 + 132.87 * t);
  const double sinOmega = SinDeg(omega);
  lp += 0.0002 * venus + greatTerm + 0.0020 * sinOmega;
  m += -0.0018 * venus;
  mp += 0.0008 * venus + greatTerm + 0.0025 * sinOmega;
  d += 0.0020 * venus + greatTerm + 0.0020 * sinOmega;
  f += greatTerm - 0.0247 * sinOmega - 0.0043 * SinDeg(omega + 275.05 - 2.3 * t);

  LunarArguments args;
  args.d = DegToRad(Normalize360(d));
  args.m = DegToRad(Normalize360(m));
  args.mp = DegToRad(Normalize360(mp));
  args.f = DegToRad(Normalize360(f));
  args.e = 1.0 - 0.002495 * t - 7.5e-6 * t2;

  const double lambda = DegToRad(Normalize360(lp) + SumTerms(kLongitudeTerms, args, false));
  const double nodeFactor = 1.0 - 0.0004664 * CosDeg(omega) - 7.54e-5 * CosDeg(omega + 275.05 - 2.3 * t);
  const double beta = DegToRad(SumTerms(kLatitudeTerms, args, false) * nodeFactor);
  const double parallax = DegToRad(0.950724 + SumTerms(kParallaxTerms, args, true));

  const double r = 6378.14 / std::sin(parallax);
  const double eps = DegToRad((84428.26 - 46.845 * t) / 3600.0);
  // Ecliptic to equatorial, written without tan(beta): y = r (cos b cos e sin l - sin b sin e).
  const double cb = std::cos(beta), sb = std::sin(beta);
  const double sl = std::sin(lambda), cl = std::cos(lambda);
  const double ce = std::cos(eps), se = std::sin(eps);
  return {r * cb * cl, r * (cb * ce * sl - sb * se), r * (cb * se * sl + sb * ce)};
}

Vec3 SunPosition(double mjd) {
  const double day = std::floor(mjd);
  const double hours = (mjd - day) * 24.0;
  const double t = (day - 51544.5) / 36525.0;
  const double m = DegToRad(357.528 + 35999.05 * t + 0.04107 * hours);
  const double l = 280.46 + 36000.772 * t + 0.04107 * hours;
  const double lambda = DegToRad(l + (1.915 - 0.0048 * t) * std::sin(m) + 0.02 * std::sin(2.0 * m));
  constexpr double distanceKm = 149597892.1111;
  const double eps = DegToRad(23.439281);
  const double x = distanceKm * std::cos(lambda);
  const double y = distanceKm * std::sin(lambda);
  return {x, y * std::cos(eps), y * std::sin(eps)};
}

double IlluminatedFraction(const Vec3& moon, const Vec3& sun) {
  const Vec3 toEarth{-moon[0], -moon[1], -moon[2]};
  const Vec3 toSun = Minus(sun, moon);
  const double cosI = Dot(toEarth, toSun) / std::sqrt(Dot(toEarth, toEarth) * Dot(toSun, toSun));
  return (1.0 + cosI) / 2.0;
}

TopocentricPlace MoonTopocentric(double mjdUt, double longitudeRad, double latitudeRad, double heightKm) {
  const double mjdTt = mjdUt + DeltaTSeconds(mjdUt) / 86400.0;
  return SeenFromSite(MoonPosition(mjdTt), mjdUt, mjdTt, longitudeRad, latitudeRad, heightKm);
}

TopocentricPlace SunTopocentric(double mjdUt, double longitudeRad, double latitudeRad, double heightKm) {
  const double mjdTt = mjdUt + DeltaTSeconds(mjdUt) / 86400.0;
  return SeenFromSite(SunPosition(mjdTt), mjdUt, mjdTt, longitudeRad, latitudeRad, heightKm);
}
