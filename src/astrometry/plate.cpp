#include "astrometry/plate.h"

#include <algorithm>
#include <cmath>

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

PixelToSkyTransform::PixelToSkyTransform(const PlateConstants& p)
    : xo_(p.xo),
      yo_(p.yo),
      ra0_(p.ra0),
      xiX_(p.mx * std::cos(p.f + p.g)),
      xiY_(p.my * std::sin(p.f)),
      etaX_(-p.mx * std::sin(p.f + p.g)),
      etaY_(p.my * std::cos(p.f)),
      sinDec0_(std::sin(p.dec0)),
      cosDec0_(std::cos(p.dec0)) {}

SkyPosition PixelToSkyTransform::operator()(double x, double y) const {
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
