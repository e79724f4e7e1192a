#include "astrometry/plate.h"

#include <algorithm>
#include <cmath>

#include <Eigen/Dense>
#include <Eigen/SVD>

#include "sky/angles.h"

namespace {

constexpr double kArcsecPerDegree = 3600.0;
// Largest accepted distance of the skew from 0 or from +-180 degrees, radians.
constexpr double kSkewToleranceRad = 5.0 * Pi / 180.0;
// Smallest accepted ratio of the smallest to the largest singular value of the design matrix: below it the
// stars are taken as collinear.
constexpr double kCollinearRatio = 1e-10;

constexpr int kColumns = 3;
// Design matrices have three columns: at most three at compile time, so that the decomposition keeps its
// small blocks off the heap (the column count itself stays dynamic, as thin U and V require).
using DesignMatrix3 = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::ColMajor, Eigen::Dynamic, 3>;
using DesignSvd = Eigen::JacobiSVD<DesignMatrix3>;

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

// The design matrix [c1 c2 c3] of rows (padded with zero rows to three, which leave the solution
// unchanged); false for a non-finite entry.
bool DesignMatrix(const std::vector<std::array<double, 4>>& rows, DesignMatrix3& a) {
  const Eigen::Index m = static_cast<Eigen::Index>(std::max<std::size_t>(rows.size(), kColumns));
  a = DesignMatrix3::Zero(m, kColumns);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    for (int j = 0; j < 3; ++j) {
      if (!std::isfinite(rows[i][static_cast<std::size_t>(j)])) return false;
    }
    a.row(static_cast<Eigen::Index>(i)) << rows[i][0], rows[i][1], rows[i][2];
  }
  return true;
}

// x = V diag(1/w) U^T b from a decomposition of the design matrix, with 1/w = 0 for the singular values
// at or below 3 * w_max * 5e-16.
LeastSquaresResult SolveFromSvd(const DesignSvd& svd,
                                const std::vector<std::array<double, 4>>& rows) {
  LeastSquaresResult result;
  Eigen::VectorXd b = Eigen::VectorXd::Zero(svd.rows());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (!std::isfinite(rows[i][3])) return result;
    b(static_cast<Eigen::Index>(i)) = rows[i][3];
  }
  const auto& w = svd.singularValues();
  const double wMax = w.maxCoeff();
  const double threshold = 3.0 * wMax * 5e-16;
  double wMin = wMax;
  Eigen::Vector3d utb = svd.matrixU().transpose() * b;
  for (Eigen::Index j = 0; j < w.size(); ++j) {
    if (!(w(j) > threshold)) {
      wMin = 0.0;
      utb(j) = 0.0;
      continue;
    }
    ++result.rank;
    wMin = std::min(wMin, w(j));
    utb(j) /= w(j);
  }
  const Eigen::Vector3d x = svd.matrixV() * utb;
  for (int i = 0; i < kColumns; ++i) result.coefficients[static_cast<std::size_t>(i)] = x(i);
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

// True when two row lists share their design matrix (only the right-hand sides differ).
bool SameDesign(const std::vector<std::array<double, 4>>& p, const std::vector<std::array<double, 4>>& q) {
  if (p.size() != q.size()) return false;
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (p[i][0] != q[i][0] || p[i][1] != q[i][1] || p[i][2] != q[i][2]) return false;
  }
  return true;
}

}  // namespace

bool FitStandardConstants(const std::vector<std::array<double, 4>>& xiRows,
                          const std::vector<std::array<double, 4>>& etaRows, double ra0, double dec0,
                          PlateConstants& plate) {
  // Both coordinates are fitted on the same design matrix, so one decomposition serves both.
  LeastSquaresResult xiFit, etaFit;
  DesignMatrix3 a;
  if (SameDesign(xiRows, etaRows) && DesignMatrix(xiRows, a)) {
    const DesignSvd svd(a, Eigen::ComputeThinU | Eigen::ComputeThinV);
    xiFit = SolveFromSvd(svd, xiRows);
    etaFit = SolveFromSvd(svd, etaRows);
  } else {
    xiFit = SolveLeastSquares(xiRows);
    etaFit = SolveLeastSquares(etaRows);
  }
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
  s.working.distortion = s.distortion;
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
  s.distortion = c.distortion;
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

PixelToSkyTransform::PixelToSkyTransform(const PlateConstants& p)
    : xo_(p.xo),
      yo_(p.yo),
      ra0_(p.ra0),
      xiX_(p.mx * std::cos(p.f + p.g)),
      xiY_(p.my * std::sin(p.f)),
      etaX_(-p.mx * std::sin(p.f + p.g)),
      etaY_(p.my * std::cos(p.f)),
      sinDec0_(std::sin(p.dec0)),
      cosDec0_(std::cos(p.dec0)),
      distortion_(p.distortion) {}

SkyPosition PixelToSkyTransform::operator()(double x, double y) const {
  if (distortion_.Present()) UndistortPixel(distortion_, x, y, x, y);
  const double dx = x - xo_, dy = y - yo_;
  const double xiN = xiX_ * dx + xiY_ * dy;
  const double etaN = etaX_ * dx + etaY_ * dy;
  const double xi = -xiN, eta = -etaN;
  const double s = (sinDec0_ + eta * cosDec0_) / std::sqrt(1.0 + xi * xi + eta * eta);
  const double c = std::sqrt(std::max(0.0, 1.0 - s * s));
  SkyPosition out;
  out.dec = c < 1e-70 ? std::atan(s >= 0.0 ? 1e70 : -1e70) : std::atan(s / c);
  double ra = ArcTan2(xi, cosDec0_ - eta * sinDec0_) + ra0_;
  const double fullCircle = 2.0 * Pi;
  if (ra < 0.0) ra += fullCircle;
  if (ra >= fullCircle) ra -= fullCircle;
  if (!(ra >= 0.0 && ra < fullCircle)) ra = 0.0;  // rounding at the seam, or non-finite input
  out.ra = ra;
  return out;
}

SkyPosition PixelToSky(double x, double y, const PlateConstants& p) {
  return PixelToSkyTransform(p)(x, y);
}

PixelPosition SkyToPixel(double ra, double dec, const PlateConstants& p) {
  PixelPosition out;
  const StandardCoordinates sc = SkyToStandard(ra, dec, p.ra0, p.dec0);
  const double dx = p.mx * std::cos(p.g), dy = p.my * std::cos(p.g);
  if (!sc.valid || dx == 0.0 || dy == 0.0) return out;
  double x = p.xo + (sc.xi * std::cos(p.f) - sc.eta * std::sin(p.f)) / dx;
  double y = p.yo + (sc.xi * std::sin(p.f + p.g) + sc.eta * std::cos(p.f + p.g)) / dy;
  if (p.distortion.Present() && !DistortPixel(p.distortion, x, y, x, y)) return out;
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
  DesignMatrix3 a;
  if (!DesignMatrix(rows, a)) return LeastSquaresResult();
  // A = U diag(w) V^T by Eigen's two-sided Jacobi SVD (thin U and V).
  const DesignSvd svd(a, Eigen::ComputeThinU | Eigen::ComputeThinV);
  return SolveFromSvd(svd, rows);
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

// ----- Lens distortion -----

namespace {

// The terms u^i v^j of degree 2 to order (u^d first) and, when wanted, their derivatives in u and v.
void DistortionTerms(int order, double u, double v, double* t, double* tu = nullptr, double* tv = nullptr) {
  std::array<double, kMaxDistortionOrder + 1> up{}, vp{};
  up[0] = vp[0] = 1.0;
  for (int k = 1; k <= kMaxDistortionOrder; ++k) {
    up[static_cast<std::size_t>(k)] = up[static_cast<std::size_t>(k - 1)] * u;
    vp[static_cast<std::size_t>(k)] = vp[static_cast<std::size_t>(k - 1)] * v;
  }
  int n = 0;
  for (int d = 2; d <= order; ++d) {
    for (int j = 0; j <= d; ++j, ++n) {
      const auto i = static_cast<std::size_t>(d - j), jj = static_cast<std::size_t>(j);
      t[n] = up[i] * vp[jj];
      if (tu) tu[n] = i > 0 ? static_cast<double>(i) * up[i - 1] * vp[jj] : 0.0;
      if (tv) tv[n] = jj > 0 ? static_cast<double>(jj) * up[i] * vp[jj - 1] : 0.0;
    }
  }
}

}  // namespace

void UndistortPixel(const PlateDistortion& d, double x, double y, double& ix, double& iy) {
  const int n = DistortionTermCount(d.order);
  std::array<double, kDistortionTerms> t{};
  DistortionTerms(d.order, (x - d.cx) / d.r, (y - d.cy) / d.r, t.data());
  double sx = 0.0, sy = 0.0;
  for (int k = 0; k < n; ++k) {
    sx += d.a[static_cast<std::size_t>(k)] * t[static_cast<std::size_t>(k)];
    sy += d.b[static_cast<std::size_t>(k)] * t[static_cast<std::size_t>(k)];
  }
  ix = x + sx;
  iy = y + sy;
}

bool DistortPixel(const PlateDistortion& d, double ix, double iy, double& x, double& y) {
  const int n = DistortionTermCount(d.order);
  std::array<double, kDistortionTerms> t{}, tu{}, tv{};
  double px = ix, py = iy;
  for (int iteration = 0; iteration < 20; ++iteration) {
    DistortionTerms(d.order, (px - d.cx) / d.r, (py - d.cy) / d.r, t.data(), tu.data(), tv.data());
    double fx = px - ix, fy = py - iy;
    double jxx = 1.0, jxy = 0.0, jyx = 0.0, jyy = 1.0;
    for (int k = 0; k < n; ++k) {
      const auto kk = static_cast<std::size_t>(k);
      fx += d.a[kk] * t[kk];
      fy += d.b[kk] * t[kk];
      jxx += d.a[kk] * tu[kk] / d.r;
      jxy += d.a[kk] * tv[kk] / d.r;
      jyx += d.b[kk] * tu[kk] / d.r;
      jyy += d.b[kk] * tv[kk] / d.r;
    }
    const double det = jxx * jyy - jxy * jyx;
    // A fold of the polynomial (far outside the fitted frame) has no single answer.
    if (!(det > 0.05)) return false;
    const double stepX = (jyy * fx - jxy * fy) / det, stepY = (jxx * fy - jyx * fx) / det;
    px -= stepX;
    py -= stepY;
    if (!std::isfinite(px) || !std::isfinite(py)) return false;
    if (std::fabs(stepX) + std::fabs(stepY) < 1e-9) {
      x = px;
      y = py;
      return true;
    }
  }
  return false;
}

int DistortionOrderFor(std::size_t stars) {
  int order = 0;
  for (int o = 2; o <= kMaxDistortionOrder; ++o) {
    const std::size_t unknowns = static_cast<std::size_t>(3 + DistortionTermCount(o));
    if (stars >= 2 * unknowns + 2) order = o;
  }
  return order;
}

double PlateRmsPx(const std::vector<FitStar>& stars, const PlateConstants& plate) {
  double squares = 0.0;
  for (const FitStar& s : stars) {
    const PixelPosition p = SkyToPixel(s.ra, s.dec, plate);
    const double off = p.valid ? std::hypot(p.x - s.x, p.y - s.y) : 1e6;
    squares += off * off;
  }
  return stars.empty() ? 0.0 : std::sqrt(squares / static_cast<double>(stars.size()));
}

namespace {

// One joint fit of the six constants and the polynomial about (ra0, dec0) to the stars with use[i] set.
// The columns are the centred, normalised pixel offsets, so the system stays well conditioned.
bool FitDistortedOnce(const std::vector<FitStar>& stars, const std::vector<bool>& use, double ra0, double dec0,
                      const PlateDistortion& frame, PlateConstants& plate) {
  const int n = DistortionTermCount(frame.order);
  const int columns = 3 + n;
  std::vector<std::size_t> rows;
  for (std::size_t i = 0; i < stars.size(); ++i) {
    if (use[i]) rows.push_back(i);
  }
  if (rows.size() < static_cast<std::size_t>(columns)) return false;
  Eigen::MatrixXd a(static_cast<Eigen::Index>(rows.size()), columns);
  Eigen::MatrixXd rhs(static_cast<Eigen::Index>(rows.size()), 2);
  std::array<double, kDistortionTerms> t{};
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const FitStar& s = stars[rows[k]];
    const StandardCoordinates sc = SkyToStandard(s.ra, s.dec, ra0, dec0);
    if (!sc.valid) return false;
    const double u = (s.x - frame.cx) / frame.r, v = (s.y - frame.cy) / frame.r;
    DistortionTerms(frame.order, u, v, t.data());
    const auto row = static_cast<Eigen::Index>(k);
    a(row, 0) = u;
    a(row, 1) = v;
    a(row, 2) = 1.0;
    for (int j = 0; j < n; ++j) a(row, 3 + j) = t[static_cast<std::size_t>(j)];
    rhs(row, 0) = sc.xi;
    rhs(row, 1) = sc.eta;
  }
  const Eigen::ColPivHouseholderQR<Eigen::MatrixXd> qr(a);
  if (qr.rank() < columns) return false;
  const Eigen::MatrixXd x = qr.solve(rhs);
  if (!x.allFinite()) return false;
  // Back to pixels: xi' = a1 x + b1 y + c1 + Qxi(u, v), the same for eta'.
  const double a1 = x(0, 0) / frame.r, b1 = x(1, 0) / frame.r, a2 = x(0, 1) / frame.r, b2 = x(1, 1) / frame.r;
  const double c1 = x(2, 0) - a1 * frame.cx - b1 * frame.cy, c2 = x(2, 1) - a2 * frame.cx - b2 * frame.cy;
  std::vector<std::array<double, 4>> xiRows, etaRows;
  // The six constants go through the linear fit's checks on three exact rows.
  for (const auto& p : {std::array<double, 2>{0.0, 0.0}, std::array<double, 2>{1.0, 0.0}, std::array<double, 2>{0.0, 1.0}}) {
    xiRows.push_back({p[0], p[1], 1.0, a1 * p[0] + b1 * p[1] + c1});
    etaRows.push_back({p[0], p[1], 1.0, a2 * p[0] + b2 * p[1] + c2});
  }
  PlateConstants linear;
  if (!FitStandardConstants(xiRows, etaRows, ra0, dec0, linear)) return false;
  // The polynomial in standard coordinates becomes one in pixels through the inverse of the linear part.
  const double det = a1 * b2 - a2 * b1;
  PlateDistortion d = frame;
  for (int j = 0; j < n; ++j) {
    const double qxi = x(3 + j, 0), qeta = x(3 + j, 1);
    d.a[static_cast<std::size_t>(j)] = (b2 * qxi - b1 * qeta) / det;
    d.b[static_cast<std::size_t>(j)] = (a1 * qeta - a2 * qxi) / det;
  }
  linear.distortion = d;
  plate = linear;
  return true;
}

}  // namespace

bool FitDistortedPlate(const std::vector<FitStar>& stars, double ra0, double dec0, int imageWidth, int imageHeight,
                       int order, PlateConstants& plate, double& rmsPx, std::vector<bool>* kept) {
  if (order < 2 || order > kMaxDistortionOrder || imageWidth <= 0 || imageHeight <= 0) return false;
  PlateDistortion frame;
  frame.order = order;
  frame.cx = imageWidth / 2.0;
  frame.cy = imageHeight / 2.0;
  frame.r = 0.5 * std::hypot(imageWidth, imageHeight);
  const std::size_t least = static_cast<std::size_t>(2 * (3 + DistortionTermCount(order)) + 2);
  std::vector<bool> use(stars.size(), true);
  PlateConstants fitted;
  double centreRa = ra0, centreDec = dec0;
  bool any = false;
  for (int round = 0; round < 6; ++round) {
    if (static_cast<std::size_t>(std::count(use.begin(), use.end(), true)) < least) break;
    PlateConstants p;
    bool ok = FitDistortedOnce(stars, use, centreRa, centreDec, frame, p);
    // Re-centred on the image centre: twice, since on wide fields one step leaves a fraction of a pixel.
    for (int again = 0; ok && again < 2; ++again) {
      const SkyPosition c = PixelToSky(frame.cx, frame.cy, p);
      ok = FitDistortedOnce(stars, use, c.ra, c.dec, frame, p);
    }
    if (!ok) break;
    centreRa = p.ra0;
    centreDec = p.dec0;
    fitted = p;
    any = true;
    // Offsets of every star; the fit leaves out those far beyond the typical one.
    std::vector<double> off(stars.size(), 1e6), keptOff;
    for (std::size_t i = 0; i < stars.size(); ++i) {
      const PixelPosition q = SkyToPixel(stars[i].ra, stars[i].dec, p);
      if (q.valid) off[i] = std::hypot(q.x - stars[i].x, q.y - stars[i].y);
      if (use[i]) keptOff.push_back(off[i]);
    }
    std::nth_element(keptOff.begin(), keptOff.begin() + static_cast<std::ptrdiff_t>(keptOff.size() / 2), keptOff.end());
    const double limit = std::max(1.0, 3.5 * keptOff[keptOff.size() / 2]);
    std::vector<bool> next(stars.size());
    for (std::size_t i = 0; i < stars.size(); ++i) next[i] = off[i] <= limit;
    if (next == use) break;
    use = std::move(next);
  }
  if (!any) return false;
  std::vector<FitStar> used;
  for (std::size_t i = 0; i < stars.size(); ++i) {
    if (use[i]) used.push_back(stars[i]);
  }
  if (used.size() < least) return false;
  rmsPx = PlateRmsPx(used, fitted);
  if (kept) *kept = use;
  plate = fitted;
  return true;
}

bool AdoptDistortion(const std::vector<FitStar>& stars, int imageWidth, int imageHeight, PlateConstants& plate) {
  const int highest = DistortionOrderFor(stars.size());
  if (highest < 2) return false;
  std::array<PlateConstants, kMaxDistortionOrder + 1> fits{};
  std::array<double, kMaxDistortionOrder + 1> rms{};
  std::array<double, kMaxDistortionOrder + 1> linearRms{};
  int best = 0;
  for (int order = 2; order <= highest; ++order) {
    const auto o = static_cast<std::size_t>(order);
    std::vector<bool> kept;
    if (!FitDistortedPlate(stars, plate.ra0, plate.dec0, imageWidth, imageHeight, order, fits[o], rms[o], &kept))
      continue;
    // The linear plate over the same stars: a wrong mark left out by the fit does not count against it.
    std::vector<FitStar> same;
    for (std::size_t i = 0; i < stars.size(); ++i) {
      if (kept[i]) same.push_back(stars[i]);
    }
    linearRms[o] = PlateRmsPx(same, plate);
    if (best == 0 || rms[o] < rms[static_cast<std::size_t>(best)]) best = order;
  }
  if (best == 0) return false;
  int chosen = best;
  for (int order = best - 1; order >= 2; --order) {
    const auto o = static_cast<std::size_t>(order);
    if (rms[o] > 0.0 && rms[o] <= 1.1 * rms[static_cast<std::size_t>(best)]) chosen = order;
  }
  const auto c = static_cast<std::size_t>(chosen);
  if (!(linearRms[c] > 1.0) || !(rms[c] < 0.8 * linearRms[c])) return false;
  plate = fits[c];
  return true;
}
