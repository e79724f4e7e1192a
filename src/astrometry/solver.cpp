#include "astrometry/solver.h"

#include <algorithm>
#include <cmath>

#include "base/calendar.h"

namespace {

constexpr double kDegToRad = Pi / 180.0;
// A plate from three stars must be nearly a rotation: scales within 15 % and skew within 8 degrees of 0
// or 180 degrees.
constexpr double kMaxScaleRatio = 1.15;
constexpr double kMaxSkewRad = 8.0 * kDegToRad;
// Shape tolerance: pixel noise over the triangle's size plus a share for residual projection and lens
// distortion.
constexpr double kShapeNoisePx = 2.5;
constexpr double kShapeSlack = 0.006;
// Triangles longer than this share of the larger image dimension are not used (they reach the corners,
// where distortion is worst), nor shorter than the smaller share.
constexpr double kLongestShare = 0.95;
constexpr double kShortestShare = 0.06;
// Marks used for triangles.
constexpr int kTriangleMarks = 30;
// Index triangles tried before the search gives up.
constexpr std::size_t kMaxTrials = 500000;

using Vec = std::array<double, 3>;

// Solves [x y 1] c = rhs for three rows exactly (Cramer's rule); false for a singular system.
bool SolveThree(const std::array<double, 3>& x, const std::array<double, 3>& y, const std::array<double, 3>& rhs,
                std::array<double, 3>& c) {
  const double det = x[0] * (y[1] - y[2]) - y[0] * (x[1] - x[2]) + (x[1] * y[2] - x[2] * y[1]);
  if (!(std::fabs(det) > 1e-9)) return false;
  c[0] = (rhs[0] * (y[1] - y[2]) - y[0] * (rhs[1] - rhs[2]) + (rhs[1] * y[2] - rhs[2] * y[1])) / det;
  c[1] = (x[0] * (rhs[1] - rhs[2]) - rhs[0] * (x[1] - x[2]) + (x[1] * rhs[2] - x[2] * rhs[1])) / det;
  c[2] = (x[0] * (y[1] * rhs[2] - y[2] * rhs[1]) - y[0] * (x[1] * rhs[2] - x[2] * rhs[1]) +
          rhs[0] * (x[1] * y[2] - x[2] * y[1])) /
         det;
  return std::isfinite(c[0]) && std::isfinite(c[1]) && std::isfinite(c[2]);
}

// Plate constants from the six linear coefficients about a tangent point (the plate model's relations).
bool ConstantsFrom(const std::array<double, 3>& xi, const std::array<double, 3>& eta, double ra0, double dec0,
                   PlateConstants& p) {
  const double a1 = xi[0], b1 = xi[1], c1 = xi[2], a2 = eta[0], b2 = eta[1], c2 = eta[2];
  const double det = a1 * b2 - a2 * b1;
  if (!(std::fabs(det) > 1e-30)) return false;
  p.ra0 = ra0;
  p.dec0 = dec0;
  p.mx = std::hypot(a1, a2);
  p.my = std::hypot(b1, b2);
  p.f = std::atan2(b1, b2);
  p.g = -std::atan2(a1 * b1 + a2 * b2, a1 * b2 - a2 * b1);
  p.xo = (c2 * b1 - c1 * b2) / det;
  p.yo = (a2 * c1 - a1 * c2) / det;
  return std::isfinite(p.mx) && std::isfinite(p.my) && std::isfinite(p.xo) && std::isfinite(p.yo);
}

// The plate through three mark-star pairs, about the image centre: a first exact fit about the stars'
// mean direction places the centre on the sky, and a second one about the centre gives the constants.
bool PlateFromThree(const std::array<double, 3>& x, const std::array<double, 3>& y,
                    const std::array<const GridStar*, 3>& s, double centreX, double centreY, PlateConstants& plate) {
  Vec mean{};
  for (const GridStar* star : s) {
    for (int k = 0; k < 3; ++k) mean[k] += star->direction[k];
  }
  double ra0 = std::atan2(mean[1], mean[0]);
  double dec0 = std::atan2(mean[2], std::hypot(mean[0], mean[1]));
  if (ra0 < 0.0) ra0 += 2.0 * Pi;
  for (int pass = 0; pass < 2; ++pass) {
    std::array<double, 3> xi{}, eta{};
    for (int k = 0; k < 3; ++k) {
      const StandardCoordinates sc = SkyToStandard(s[k]->ra, s[k]->dec, ra0, dec0);
      if (!sc.valid) return false;
      xi[k] = sc.xi;
      eta[k] = sc.eta;
    }
    std::array<double, 3> cx{}, cy{};
    if (!SolveThree(x, y, xi, cx) || !SolveThree(x, y, eta, cy)) return false;
    if (!ConstantsFrom(cx, cy, ra0, dec0, plate)) return false;
    if (pass == 0) {
      const SkyPosition centre = PixelToSky(centreX, centreY, plate);
      if (!std::isfinite(centre.ra) || !std::isfinite(centre.dec)) return false;
      ra0 = centre.ra;
      dec0 = centre.dec;
    }
  }
  return true;
}

bool NearlyRotation(const PlateConstants& p) {
  const double ratio = p.mx / p.my;
  if (!(ratio < kMaxScaleRatio && ratio > 1.0 / kMaxScaleRatio)) return false;
  const double g = std::fabs(std::remainder(p.g, 2.0 * Pi));
  return g < kMaxSkewRad || Pi - g < kMaxSkewRad;
}

}  // namespace

bool PlateNearCentre(const PlateConstants& plate, int imageWidth, int imageHeight, double ra, double dec) {
  const double half = 0.5 * std::max(imageWidth * plate.mx, imageHeight * plate.my);
  const UnitVector a = UnitVectorOf(plate.ra0, plate.dec0), b = UnitVectorOf(ra, dec);
  const double cosine = a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
  return std::acos(std::clamp(cosine, -1.0, 1.0)) <= half;
}

PatternSolution SolveWithPatterns(const PatternSolverInput& in, const PatternIndex& index,
                                  const SkyCatalogue& catalogue, TaskControl& task) {
  PatternSolution out;
  const std::vector<StarMark>& marks = *in.marks;
  const int n = std::min(static_cast<int>(marks.size()), kTriangleMarks);
  if (n < 3 || in.imageWidth <= 0 || in.imageHeight <= 0 || catalogue.Empty()) return out;
  const double dimension = std::max(in.imageWidth, in.imageHeight);
  const double cx = in.imageWidth / 2.0, cy = in.imageHeight / 2.0;
  double minField = in.minFieldDeg * kDegToRad, maxField = in.maxFieldDeg * kDegToRad;
  if (in.knownCentre) {
    minField = std::max(minField, in.fieldDeg / 2.5 * kDegToRad);
    maxField = std::min(maxField, in.fieldDeg * 2.5 * kDegToRad);
  }
  const UnitVector typedCentre = UnitVectorOf(in.centreRa, in.centreDec);
  VerificationOptions options;
  options.imageWidth = in.imageWidth;
  options.imageHeight = in.imageHeight;
  options.maxLog10FalseAlarm = in.maxLog10FalseAlarm;
  std::vector<double> tolerance(marks.size());
  for (std::size_t m = 0; m < marks.size(); ++m) tolerance[m] = MarkTolerancePx(marks[m], options);
  const int tested = static_cast<int>(marks.size()) - 3;
  const int needed = std::max(1, static_cast<int>(std::ceil(0.4 * tested)));

  std::size_t examined = 0;
  for (int c = 2; c < n; ++c) {
    for (int a = 0; a < c; ++a) {
      task.Yield();
      if (task.Cancelled()) return out;
      for (int b = a + 1; b < c; ++b) {
        const std::array<int, 3> tri = {a, b, c};
        std::array<double, 3> px{}, py{};
        for (int k = 0; k < 3; ++k) {
          px[k] = marks[tri[k]].x;
          py[k] = marks[tri[k]].y;
        }
        const double longestPx =
            std::max({std::hypot(px[0] - px[1], py[0] - py[1]), std::hypot(px[1] - px[2], py[1] - py[2]),
                      std::hypot(px[0] - px[2], py[0] - py[2])});
        const double share = longestPx / dimension;
        if (share < kShortestShare || share > kLongestShare) continue;
        for (const PatternBand& band : index.bands) {
          const double bandField = band.fieldDeg * kDegToRad;
          // Frame widths for which this triangle has the band's sizes.
          const double lo = std::max({band.minSide / share, bandField / 2.0, minField});
          const double hi = std::min({band.maxSide / share, bandField * 2.0, maxField});
          if (lo > hi) continue;
          const double scale = std::sqrt(lo * hi) / dimension;
          std::array<Vec, 3> dirs{};
          for (int k = 0; k < 3; ++k) {
            const double xi = (px[k] - cx) * scale, eta = (py[k] - cy) * scale;
            const double norm = std::sqrt(1.0 + xi * xi + eta * eta);
            dirs[k] = {xi / norm, eta / norm, 1.0 / norm};
          }
          TriangleShape shape;
          if (!ShapeOfTriangle(dirs, shape)) continue;
          const double tol = kShapeNoisePx / longestPx + kShapeSlack;
          // Frame vertex orders to try: the sorted one, and swaps where two sides are nearly equal.
          std::array<std::array<int, 3>, 3> orders{};
          int orderCount = 0;
          orders[orderCount++] = shape.order;
          if (shape.u > 1.0 - 2.0 * tol) orders[orderCount++] = {shape.order[1], shape.order[0], shape.order[2]};
          if (shape.v > shape.u - 2.0 * tol) orders[orderCount++] = {shape.order[0], shape.order[2], shape.order[1]};
          const int u0 = PatternCellU(shape.u - tol), u1 = PatternCellU(shape.u + tol);
          const int v0 = PatternCellV(shape.v - tol), v1 = PatternCellV(shape.v + tol);
          const double frameAngle = shape.longest;  // at the band's middle scale
          for (int ui = u0; ui <= u1; ++ui) {
            const std::uint32_t from = band.cellStart[static_cast<std::size_t>(ui) * kPatternGridV + v0];
            const std::uint32_t to = band.cellStart[static_cast<std::size_t>(ui) * kPatternGridV + v1 + 1];
            for (std::uint32_t e = from; e < to; ++e) {
              const PatternEntry& entry = band.entries[e];
              if (std::fabs(entry.u / 65535.0 - shape.u) > tol || std::fabs(entry.v / 65535.0 - shape.v) > tol)
                continue;
              std::array<const GridStar*, 3> stars{};
              bool present = true;
              for (int k = 0; k < 3; ++k) {
                const std::int32_t at = catalogue.indexOfNumber[entry.stars[k] + 1];
                if (at < 0)
                  present = false;
                else
                  stars[k] = &catalogue.stars[at];
              }
              if (!present) continue;
              // The frame width this pair implies.
              const Vec& p1 = stars[1]->direction;
              const Vec& p2 = stars[2]->direction;
              const double chord = std::sqrt((p1[0] - p2[0]) * (p1[0] - p2[0]) + (p1[1] - p2[1]) * (p1[1] - p2[1]) +
                                             (p1[2] - p2[2]) * (p1[2] - p2[2]));
              const double width = 2.0 * std::asin(std::min(1.0, chord / 2.0)) / frameAngle * scale * dimension;
              if (width < minField * 0.9 || width > maxField * 1.1) continue;
              if (in.knownCentre) {
                const Vec& d = stars[0]->direction;
                const double cosine = d[0] * typedCentre[0] + d[1] * typedCentre[1] + d[2] * typedCentre[2];
                if (std::acos(std::clamp(cosine, -1.0, 1.0)) > 1.25 * width + in.fieldDeg * kDegToRad) continue;
              }
              if (examined > kMaxTrials) {
                out.trials = examined;
                return out;
              }
              for (int o = 0; o < orderCount; ++o) {
                ++examined;
                std::array<double, 3> x{}, y{};
                for (int k = 0; k < 3; ++k) {
                  x[k] = px[orders[o][k]];
                  y[k] = py[orders[o][k]];
                }
                PlateConstants plate;
                if (!PlateFromThree(x, y, stars, cx, cy, plate) || !NearlyRotation(plate)) continue;
                const double frameWidth = plate.mx * dimension;
                if (frameWidth < minField || frameWidth > maxField) continue;
                // Quick count over the other marks, given up once too many have missed.
                int hits = 0, misses = 0;
                const double mean = 0.5 * (plate.mx + plate.my);
                // A wrong plate puts few marks on stars: three misses more than hits end the count.
                for (int m = 0; m < static_cast<int>(marks.size()) && misses <= tested - needed && misses < hits + 3;
                     ++m) {
                  if (m == a || m == b || m == c) continue;
                  const SkyPosition sky = PixelToSky(marks[m].x, marks[m].y, plate);
                  if (BrightestStarWithin(catalogue, UnitVectorOf(sky.ra, sky.dec), tolerance[m] * mean) >= 0)
                    ++hits;
                  else
                    ++misses;
                }
                if (hits < needed) continue;
                options.trials = static_cast<double>(examined);
                options.excluded.assign(marks.size(), false);
                for (int k : tri) options.excluded[k] = true;
                PlateVerification v = RefineAndVerify(marks, plate, catalogue, options);
                if (!v.accepted) continue;
                if (in.knownCentre &&
                    !PlateNearCentre(plate, in.imageWidth, in.imageHeight, in.centreRa, in.centreDec)) {
                  continue;
                }
                out.solved = true;
                out.plate = plate;
                out.verification = std::move(v);
                out.triangle = tri;
                out.trials = examined;
                return out;
              }
            }
          }
        }
      }
    }
  }
  out.trials = examined;
  return out;
}
