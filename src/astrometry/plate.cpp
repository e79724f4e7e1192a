#include "astrometry/plate.h"

#include <algorithm>
#include <cmath>

#include "base/calendar.h"

namespace {

constexpr double kArcsecPerDegree = 3600.0;
// Largest accepted distance of the skew from 0 or from +-180 degrees, radians.
constexpr double kSkewToleranceRad = 5.0 * Pi / 180.0;
// Smallest accepted ratio of the smallest to the largest singular value of the design: below it the
// stars are taken as collinear.
constexpr double kCollinearRatio = 1e-10;

// |a| with the sign of b.
double Sign(double a, double b) {
  return b >= 0.0 ? std::fabs(a) : -std::fabs(a);
}

// sqrt(a^2 + b^2) without overflow or destructive underflow: the larger magnitude is taken outside.
double Hypotenuse(double a, double b) {
  const double absA = std::fabs(a), absB = std::fabs(b);
  if (absA > absB) return absA * std::sqrt(1.0 + (absB / absA) * (absB / absA));
  return absB == 0.0 ? 0.0 : absB * std::sqrt(1.0 + (absA / absB) * (absA / absB));
}

// Singular value decomposition A = U diag(w) V^T of an m x 3 matrix (m >= 3), U overwriting a:
// Householder reduction to bidiagonal form, then implicit-shift QR sweeps on each singular value from the
// last to the first, at most 30 per value (a value still unconverged keeps its current estimate).
constexpr int kColumns = 3;
using Row = std::array<double, kColumns>;
void DecomposeSingularValues(std::vector<Row>& a, Row& w, std::array<Row, kColumns>& v) {
  const int m = static_cast<int>(a.size());
  const int n = kColumns;
  Row rv1{};
  double g = 0.0, scale = 0.0, anorm = 0.0;
  int l = 0;
  for (int i = 0; i < n; ++i) {
    l = i + 1;
    rv1[i] = scale * g;
    g = 0.0;
    double s = 0.0;
    scale = 0.0;
    if (i < m) {
      for (int k = i; k < m; ++k) scale += std::fabs(a[k][i]);
      if (scale != 0.0) {
        for (int k = i; k < m; ++k) {
          a[k][i] /= scale;
          s += a[k][i] * a[k][i];
        }
        double f = a[i][i];
        g = -Sign(std::sqrt(s), f);
        const double h = f * g - s;
        a[i][i] = f - g;
        for (int j = l; j < n; ++j) {
          s = 0.0;
          for (int k = i; k < m; ++k) s += a[k][i] * a[k][j];
          f = s / h;
          for (int k = i; k < m; ++k) a[k][j] += f * a[k][i];
        }
        for (int k = i; k < m; ++k) a[k][i] *= scale;
      }
    }
    w[i] = scale * g;
    g = 0.0;
    s = 0.0;
    scale = 0.0;
    if (i < m && i != n - 1) {
      for (int k = l; k < n; ++k) scale += std::fabs(a[i][k]);
      if (scale != 0.0) {
        for (int k = l; k < n; ++k) {
          a[i][k] /= scale;
          s += a[i][k] * a[i][k];
        }
        const double f = a[i][l];
        g = -Sign(std::sqrt(s), f);
        const double h = f * g - s;
        a[i][l] = f - g;
        for (int k = l; k < n; ++k) rv1[k] = a[i][k] / h;
        for (int j = l; j < m; ++j) {
          s = 0.0;
          for (int k = l; k < n; ++k) s += a[j][k] * a[i][k];
          for (int k = l; k < n; ++k) a[j][k] += s * rv1[k];
        }
        for (int k = l; k < n; ++k) a[i][k] *= scale;
      }
    }
    anorm = std::max(anorm, std::fabs(w[i]) + std::fabs(rv1[i]));
  }
  // Right-hand transformations.
  for (int i = n - 1; i >= 0; --i) {
    if (i < n - 1) {
      if (g != 0.0) {
        for (int j = l; j < n; ++j) v[j][i] = (a[i][j] / a[i][l]) / g;  // two divisions avoid underflow
        for (int j = l; j < n; ++j) {
          double s = 0.0;
          for (int k = l; k < n; ++k) s += a[i][k] * v[k][j];
          for (int k = l; k < n; ++k) v[k][j] += s * v[k][i];
        }
      }
      for (int j = l; j < n; ++j) v[i][j] = v[j][i] = 0.0;
    }
    v[i][i] = 1.0;
    g = rv1[i];
    l = i;
  }
  // Left-hand transformations.
  for (int i = std::min(m, n) - 1; i >= 0; --i) {
    l = i + 1;
    g = w[i];
    for (int j = l; j < n; ++j) a[i][j] = 0.0;
    if (g != 0.0) {
      g = 1.0 / g;
      for (int j = l; j < n; ++j) {
        double s = 0.0;
        for (int k = l; k < m; ++k) s += a[k][i] * a[k][j];
        const double f = (s / a[i][i]) * g;
        for (int k = i; k < m; ++k) a[k][j] += f * a[k][i];
      }
      for (int j = i; j < m; ++j) a[j][i] *= g;
    } else {
      for (int j = i; j < m; ++j) a[j][i] = 0.0;
    }
    a[i][i] += 1.0;
  }
  // Diagonalisation of the bidiagonal form by implicit-shift QR.
  for (int k = n - 1; k >= 0; --k) {
    for (int its = 1; its <= 30; ++its) {
      bool split = true;
      int nm = 0;
      for (l = k; l >= 0; --l) {
        nm = l - 1;
        if (std::fabs(rv1[l]) + anorm == anorm) {  // rv1[0] is always zero
          split = false;
          break;
        }
        if (std::fabs(w[nm]) + anorm == anorm) break;
      }
      if (split) {
        double c = 0.0, s = 1.0;
        for (int i = l; i <= k; ++i) {
          const double f = s * rv1[i];
          rv1[i] = c * rv1[i];
          if (std::fabs(f) + anorm == anorm) break;
          g = w[i];
          double h = Hypotenuse(f, g);
          w[i] = h;
          h = 1.0 / h;
          c = g * h;
          s = -f * h;
          for (int j = 0; j < m; ++j) {
            const double y = a[j][nm], z = a[j][i];
            a[j][nm] = y * c + z * s;
            a[j][i] = z * c - y * s;
          }
        }
      }
      double z = w[k];
      if (l == k) {  // converged: make the singular value non-negative
        if (z < 0.0) {
          w[k] = -z;
          for (int j = 0; j < n; ++j) v[j][k] = -v[j][k];
        }
        break;
      }
      if (its == 30) break;  // keep the current estimate
      double x = w[l];
      nm = k - 1;
      double y = w[nm];
      g = rv1[nm];
      double h = rv1[k];
      double f = ((y - z) * (y + z) + (g - h) * (g + h)) / (2.0 * h * y);
      g = Hypotenuse(f, 1.0);
      f = ((x - z) * (x + z) + h * ((y / (f + Sign(g, f))) - h)) / x;
      double c = 1.0, s = 1.0;
      for (int j = l; j <= nm; ++j) {
        const int i = j + 1;
        g = rv1[i];
        y = w[i];
        h = s * g;
        g = c * g;
        z = Hypotenuse(f, h);
        rv1[j] = z;
        c = f / z;
        s = h / z;
        f = x * c + g * s;
        g = g * c - x * s;
        h = y * s;
        y *= c;
        for (int jj = 0; jj < n; ++jj) {
          x = v[jj][j];
          z = v[jj][i];
          v[jj][j] = x * c + z * s;
          v[jj][i] = z * c - x * s;
        }
        z = Hypotenuse(f, h);
        w[j] = z;
        if (z != 0.0) {
          z = 1.0 / z;
          c = f * z;
          s = h * z;
        }
        f = c * g + s * y;
        x = c * y - s * g;
        for (int jj = 0; jj < m; ++jj) {
          y = a[jj][j];
          z = a[jj][i];
          a[jj][j] = y * c + z * s;
          a[jj][i] = z * c - y * s;
        }
      }
      rv1[l] = 0.0;
      rv1[k] = f;
      w[k] = x;
    }
  }
}

bool AllFinite(const PlateConstants& p) {
  return std::isfinite(p.ra0) && std::isfinite(p.dec0) && std::isfinite(p.mx) && std::isfinite(p.my) &&
         std::isfinite(p.f) && std::isfinite(p.g) && std::isfinite(p.xo) && std::isfinite(p.yo);
}

// One least-squares fit of the six constants about the tangent point (ra0, dec0), with the skew test.
bool FitOnce(const std::vector<FitStar>& stars, double ra0, double dec0, PlateConstants& plate) {
  std::vector<std::array<double, 4>> xiRows, etaRows;
  xiRows.reserve(stars.size());
  etaRows.reserve(stars.size());
  for (const FitStar& s : stars) {
    const StandardCoordinates sc = SkyToStandard(s.ra, s.dec, ra0, dec0);
    if (!sc.valid) return false;
    xiRows.push_back({s.x, s.y, 1.0, sc.xi});
    etaRows.push_back({s.x, s.y, 1.0, sc.eta});
  }
  return FitStandardConstants(xiRows, etaRows, ra0, dec0, plate);
}

}  // namespace

bool FitStandardConstants(const std::vector<std::array<double, 4>>& xiRows,
                          const std::vector<std::array<double, 4>>& etaRows, double ra0, double dec0,
                          PlateConstants& plate) {
  const LeastSquaresResult xiFit = SolveLeastSquares(xiRows);
  const LeastSquaresResult etaFit = SolveLeastSquares(etaRows);
  if (xiFit.rank < 3 || xiFit.smallestRatio < kCollinearRatio || etaFit.rank < 3) return false;
  const double a1 = xiFit.coefficients[0], b1 = xiFit.coefficients[1], c1 = xiFit.coefficients[2];
  const double a2 = etaFit.coefficients[0], b2 = etaFit.coefficients[1], c2 = etaFit.coefficients[2];
  const double det = a1 * b2 - a2 * b1;
  PlateConstants p;
  p.ra0 = ra0;
  p.dec0 = dec0;
  p.mx = std::sqrt(a1 * a1 + a2 * a2);
  p.my = std::sqrt(b1 * b1 + b2 * b2);
  if (!(p.mx > 0.0 && p.my > 0.0) || !(std::fabs(det) > 1e-10 * p.mx * p.my)) return false;
  p.f = ArcTan2(b1, b2);
  p.g = -ArcTan2(a1 * b1 + a2 * b2, det);
  p.xo = (c2 * b1 - c1 * b2) / det;
  p.yo = (a2 * c1 - a1 * c2) / det;
  if (!AllFinite(p)) return false;
  const bool normal = std::fabs(p.g) < kSkewToleranceRad;
  const bool mirrored = std::fabs(p.g) > Pi - kSkewToleranceRad;
  if (!normal && !mirrored) return false;
  plate = p;
  return true;
}

void DeriveWorkingForm(PlateSolution& s) {
  const double toRad = Pi / 180.0;
  s.working.ra0 = s.ra0Deg * toRad;
  s.working.dec0 = s.dec0Deg * toRad;
  s.working.mx = s.mxArcsec / kArcsecPerDegree * toRad;
  s.working.my = s.myArcsec / kArcsecPerDegree * toRad;
  s.working.f = s.fDeg * toRad;
  s.working.g = s.gDeg * toRad;
  s.working.xo = s.xo;
  s.working.yo = s.yo;
}

void SetFromWorking(PlateSolution& s, const PlateConstants& c) {
  const double toDeg = 180.0 / Pi;
  s.ra0Deg = c.ra0 * toDeg;
  s.dec0Deg = c.dec0 * toDeg;
  s.mxArcsec = c.mx * toDeg * kArcsecPerDegree;
  s.myArcsec = c.my * toDeg * kArcsecPerDegree;
  s.fDeg = c.f * toDeg;
  s.gDeg = c.g * toDeg;
  s.xo = c.xo;
  s.yo = c.yo;
  DeriveWorkingForm(s);
}

StandardCoordinates SkyToStandard(double ra, double dec, double ra0, double dec0) {
  const double dra = ra - ra0;
  const double cosDec = std::cos(dec), sinDec = std::sin(dec);
  const double cosDec0 = std::cos(dec0), sinDec0 = std::sin(dec0);
  const double d = cosDec0 * cosDec * std::cos(dra) + sinDec0 * sinDec;
  StandardCoordinates out;
  if (!(d > 0.0)) return out;
  out.xi = -(cosDec * std::sin(dra) / d);
  out.eta = -((cosDec0 * sinDec - sinDec0 * cosDec * std::cos(dra)) / d);
  out.valid = std::isfinite(out.xi) && std::isfinite(out.eta);
  return out;
}

SkyPosition PixelToSky(double x, double y, const PlateConstants& p) {
  const double dx = x - p.xo, dy = y - p.yo;
  const double xiN = p.mx * std::cos(p.f + p.g) * dx + p.my * std::sin(p.f) * dy;
  const double etaN = -p.mx * std::sin(p.f + p.g) * dx + p.my * std::cos(p.f) * dy;
  const double xi = -xiN, eta = -etaN;
  const double s = (std::sin(p.dec0) + eta * std::cos(p.dec0)) / std::sqrt(1.0 + xi * xi + eta * eta);
  const double c = std::sqrt(std::max(0.0, 1.0 - s * s));
  SkyPosition out;
  out.dec = c < 1e-70 ? std::atan(s >= 0.0 ? 1e70 : -1e70) : std::atan(s / c);
  double ra = ArcTan2(xi, std::cos(p.dec0) - eta * std::sin(p.dec0)) + p.ra0;
  const double fullCircle = 2.0 * Pi;
  if (ra < 0.0) ra += fullCircle;
  if (ra >= fullCircle) ra -= fullCircle;
  if (!(ra >= 0.0 && ra < fullCircle)) ra = 0.0;  // rounding at the seam, or non-finite input
  out.ra = ra;
  return out;
}

PixelPosition SkyToPixel(double ra, double dec, const PlateConstants& p) {
  PixelPosition out;
  const StandardCoordinates sc = SkyToStandard(ra, dec, p.ra0, p.dec0);
  const double dx = p.mx * std::cos(p.g), dy = p.my * std::cos(p.g);
  if (!sc.valid || dx == 0.0 || dy == 0.0) return out;
  const double x = p.xo + (sc.xi * std::cos(p.f) - sc.eta * std::sin(p.f)) / dx;
  const double y = p.yo + (sc.xi * std::sin(p.f + p.g) + sc.eta * std::cos(p.f + p.g)) / dy;
  if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 1e30 || std::fabs(y) > 1e30) return out;
  out.x = static_cast<float>(x);
  out.y = static_cast<float>(y);
  out.valid = true;
  return out;
}

bool FitPlate(const std::vector<FitStar>& stars, double ra0, double dec0, double centreX, double centreY,
              PlateConstants& plate) {
  if (stars.size() < 3) return false;
  PlateConstants first;
  if (!FitOnce(stars, ra0, dec0, first)) return false;
  const SkyPosition centre = PixelToSky(centreX, centreY, first);
  PlateConstants second;
  if (!FitOnce(stars, centre.ra, centre.dec, second)) return false;
  plate = second;
  return true;
}

LeastSquaresResult SolveLeastSquares(const std::vector<std::array<double, 4>>& rows) {
  LeastSquaresResult result;
  std::vector<Row> u;
  u.reserve(std::max<std::size_t>(rows.size(), kColumns));
  for (const auto& r : rows) u.push_back({r[0], r[1], r[2]});
  while (u.size() < kColumns) u.push_back({0.0, 0.0, 0.0});  // zero rows leave the solution unchanged
  for (const Row& r : u) {
    for (double value : r) {
      if (!std::isfinite(value)) return result;
    }
  }
  Row w{};
  std::array<Row, kColumns> v{};
  DecomposeSingularValues(u, w, v);
  double wMax = 0.0;
  for (double value : w) wMax = std::max(wMax, value);
  const double threshold = 3.0 * wMax * 5e-16;
  double wMin = wMax;
  // x = V diag(1/w) U^T b, with 1/w = 0 for the values at or below the threshold.
  Row utb{};
  for (int j = 0; j < kColumns; ++j) {
    if (!(w[j] > threshold)) {
      wMin = 0.0;
      continue;
    }
    ++result.rank;
    wMin = std::min(wMin, w[j]);
    double s = 0.0;
    for (std::size_t i = 0; i < rows.size(); ++i) s += u[i][j] * rows[i][3];
    utb[j] = s / w[j];
  }
  for (int i = 0; i < kColumns; ++i) {
    double s = 0.0;
    for (int j = 0; j < kColumns; ++j) s += v[i][j] * utb[j];
    result.coefficients[i] = s;
  }
  result.smallestRatio = wMax > 0.0 ? wMin / wMax : 0.0;
  for (double c : result.coefficients) {
    if (!std::isfinite(c)) {
      result.coefficients = {};
      result.rank = 0;
      result.smallestRatio = 0.0;
    }
  }
  return result;
}

MeanDeviation MeanAndDeviation(const std::vector<double>& values, std::size_t first, std::size_t last) {
  MeanDeviation out;
  if (first > last || last >= values.size()) return out;
  const double count = static_cast<double>(last - first + 1);
  double sum = 0.0;
  for (std::size_t i = first; i <= last; ++i) sum += values[i];
  out.mean = sum / count;
  if (last == first) return out;  // one value has no spread
  double squares = 0.0;
  for (std::size_t i = first; i <= last; ++i) squares += (values[i] - out.mean) * (values[i] - out.mean);
  out.deviation = std::sqrt(squares / (count - 1.0));
  return out;
}
