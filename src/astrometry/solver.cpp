#include "astrometry/solver.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <mutex>

#include "astrometry/identification_tuning.h"
#include "base/calendar.h"
#include "sky/angles.h"
#include "sky/vec3.h"

namespace {

constexpr const IdentificationTuning& kT = kIdTuning;

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
  Vec3 mean{};
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
  if (!(ratio < kT.maxScaleRatio && ratio > 1.0 / kT.maxScaleRatio)) return false;
  const double g = std::fabs(std::remainder(p.g, 2.0 * Pi));
  const double maxSkewRad = DegToRad(kT.maxSkewDeg);
  return g < maxSkewRad || Pi - g < maxSkewRad;
}

}  // namespace

bool PlateNearCentre(const PlateConstants& plate, int imageWidth, int imageHeight, double ra, double dec) {
  const double half = 0.5 * std::max(imageWidth * plate.mx, imageHeight * plate.my);
  const UnitVector a = UnitVectorOf(plate.ra0, plate.dec0), b = UnitVectorOf(ra, dec);
  const double cosine = Dot(a, b);
  return std::acos(std::clamp(cosine, -1.0, 1.0)) <= half;
}

namespace {

// Settings shared by both searches: the field range, the typed centre and the verification options.
struct SearchSetup {
  const PatternSolverInput* in = nullptr;
  const SkyCatalogue* catalogue = nullptr;
  int n = 0;  // marks used for hypotheses
  double dimension = 0.0;
  double cx = 0.0;
  double cy = 0.0;
  double minField = 0.0;  // frame width range, radians
  double maxField = 0.0;
  UnitVector typedCentre{};
};

// Judges the plates the searches propose: nearly a rotation, a width in range, enough of the other marks
// on stars at a quick count, then refinement and verification against every mark with every plate
// proposed so far (in both searches) as the number of trials.
class Judge {
public:
  explicit Judge(const SearchSetup& setup) : setup_(setup) {
    const PatternSolverInput& in = *setup.in;
    options_.imageWidth = in.imageWidth;
    options_.imageHeight = in.imageHeight;
    options_.maxLog10FalseAlarm = in.maxLog10FalseAlarm;
    const std::vector<StarMark>& marks = *in.marks;
    tolerance_.resize(marks.size());
    for (std::size_t m = 0; m < marks.size(); ++m) tolerance_[m] = MarkTolerancePx(marks[m], options_);
    for (const GridStar& star : setup.catalogue->stars) skyMagnitudes_.push_back(star.magnitude);
    std::sort(skyMagnitudes_.begin(), skyMagnitudes_.end());
    tested_ = static_cast<int>(marks.size()) - 3;
    needed_ = std::max(1, static_cast<int>(std::ceil(kT.quickNeededShare * tested_)));
  }

  // Counts one more hypothesis, whose faintest star has the given magnitude.
  void Tried(float faintest) {
    ++trials_;
    ++triedAtStep_[static_cast<std::size_t>(VerificationDepthStep(faintest))];
  }
  // Judges a hypothesis counted with Tried; true (and out filled) when it is accepted.
  bool Accept(PlateConstants plate, const std::array<int, 3>& tri, PatternSolution& out) {
    if (hold_.Due(trials_)) {
      out = hold_.Held();
      return true;
    }
    if (!NearlyRotation(plate)) return false;
    const double frameWidth = plate.mx * setup_.dimension;
    if (frameWidth < setup_.minField || frameWidth > setup_.maxField) return false;
    const std::vector<StarMark>& marks = *setup_.in->marks;
    const SkyCatalogue& catalogue = *setup_.catalogue;
    // Quick count over the other marks: a wrong plate puts few marks on stars, and three misses more than
    // hits end the count.
    if (!QuickCount(plate, tri, 0.0)) {
      // A wide lens bends the marks away from a plate of three stars beyond the inner part of the frame: a
      // wide plate gets a second count over the marks within reach of the centre, where the plate holds.
      if (!(frameWidth >= DegToRad(kT.polynomialFromFieldDeg)) || !QuickCount(plate, tri, kT.wideInnerShare)) return false;
    }
    options_.trials = static_cast<double>(trials_);
    options_.trialsAtDepth.assign(kVerificationDepths, 0.0);
    double below = 0.0;
    for (int step = 0; step < kVerificationDepths; ++step) {
      below += static_cast<double>(triedAtStep_[static_cast<std::size_t>(step)]);
      options_.trialsAtDepth[static_cast<std::size_t>(step)] = below;
    }
    options_.excluded.assign(marks.size(), false);
    for (int k : tri) options_.excluded[k] = true;
    // The plate goes to the verifier refitted to every mark it identifies; the evidence must hold on the
    // three stars' plate too.
    const PlateVerdict verdict = VerifyProposal(marks, {plate, plate, true}, catalogue, options_);
    if (!verdict.accepted) return false;
    const PatternSolverInput& in = *setup_.in;
    if (in.knownCentre && !PlateNearCentre(verdict.plate, in.imageWidth, in.imageHeight, in.centreRa, in.centreDec)) {
      return false;
    }
    PatternSolution found;
    found.solved = true;
    found.plate = verdict.plate;
    found.verification = verdict.verification;
    found.triangle = tri;
    found.trials = trials_;
    if (!hold_.Offer(std::move(found), verdict.Strength(), trials_)) return false;
    out = hold_.Held();
    return true;
  }

  // The quick count over the marks other than the triangle's; with innerShare > 0 only over the marks within
  // that share of the half-diagonal from the image centre.
  bool QuickCount(const PlateConstants& plate, const std::array<int, 3>& tri, double innerShare) const {
    const std::vector<StarMark>& marks = *setup_.in->marks;
    const SkyCatalogue& catalogue = *setup_.catalogue;
    int tested = tested_, needed = needed_;
    const double reach = innerShare * 0.5 * std::hypot(setup_.in->imageWidth, setup_.in->imageHeight);
    auto inner = [&](int m) { return std::hypot(marks[m].x - setup_.cx, marks[m].y - setup_.cy) <= reach; };
    if (innerShare > 0.0) {
      tested = 0;
      for (int m = 0; m < static_cast<int>(marks.size()); ++m) {
        if (m != tri[0] && m != tri[1] && m != tri[2] && inner(m)) ++tested;
      }
      needed = std::max(1, static_cast<int>(std::ceil(kT.quickNeededShare * tested)));
      if (tested < kT.wideInnerMarks) return false;
    }
    int hits = 0, misses = 0;
    const double mean = 0.5 * (plate.mx + plate.my);
    double chance = 0.0;  // hits expected by chance, from the whole sky's density of such stars
    const double density =
        static_cast<double>(std::upper_bound(skyMagnitudes_.begin(), skyMagnitudes_.end(), quickMagnitude_) -
                            skyMagnitudes_.begin()) /
        (4.0 * Pi);
    for (int m = 0;
         m < static_cast<int>(marks.size()) && misses <= tested - needed && misses < hits + kT.quickMissLead; ++m) {
      if (m == tri[0] || m == tri[1] || m == tri[2]) continue;
      if (innerShare > 0.0 && !inner(m)) continue;
      const double offCentre = std::hypot(marks[m].x - plate.xo, marks[m].y - plate.yo) * mean;
      const double radius = tolerance_[m] * mean / (1.0 + offCentre * offCentre);
      chance += density * Pi * radius * radius;
      const SkyPosition sky = PixelToSky(marks[m].x, marks[m].y, plate);
      if (NearestStarWithin(catalogue, UnitVectorOf(sky.ra, sky.dec), radius, quickMagnitude_) >= 0)
        ++hits;
      else
        ++misses;
    }
    return hits >= needed && Log10PoissonTail(hits, chance) <= kT.quickLog10Chance;
  }

  // The plate held when the search ended without a sure one (solved false when none passed).
  const PatternSolution& Held() const { return hold_.Held(); }
  std::size_t Trials() const { return trials_; }
  // The faintest star the quick count takes a mark to be on.
  void SetQuickMagnitude(float magnitude) { quickMagnitude_ = magnitude; }

private:
  const SearchSetup& setup_;
  VerificationOptions options_;
  std::vector<double> tolerance_;
  int tested_ = 0;
  int needed_ = 0;
  std::size_t trials_ = 0;
  std::array<std::size_t, kVerificationDepths> triedAtStep_{};  // trials by their faintest star's depth step
  float quickMagnitude_ = 99.0f;
  NarrowPassHold<PatternSolution> hold_;  // the surest plate that passed so far
  std::vector<float> skyMagnitudes_;  // of the whole catalogue, sorted
};

// The index search: triangles of marks against the pattern index; true when a plate was accepted or the
// run was cancelled.
bool SearchIndex(const SearchSetup& setup, const PatternIndex& index, Judge& judge, PatternSolution& out,
                 TaskControl& task) {
  const PatternSolverInput& in = *setup.in;
  const std::vector<StarMark>& marks = *in.marks;
  const SkyCatalogue& catalogue = *setup.catalogue;
  const int n = setup.n;
  const double dimension = setup.dimension, cx = setup.cx, cy = setup.cy;
  const double minField = setup.minField, maxField = setup.maxField;
  const UnitVector& typedCentre = setup.typedCentre;
  std::size_t examined = 0;
  for (int c = 2; c < n; ++c) {
    for (int a = 0; a < c; ++a) {
      task.Yield();
      if (task.Cancelled()) return true;
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
        if (share < kT.shortestShare || share > kT.longestShare) continue;
        for (const PatternBand& band : index.bands) {
          const double bandField = DegToRad(band.fieldDeg);
          // Frame widths for which this triangle has the band's sizes.
          const double lo = std::max({band.minSide / share, bandField / kT.bandFieldSpan, minField});
          const double hi = std::min({band.maxSide / share, bandField * kT.bandFieldSpan, maxField});
          if (lo > hi) continue;
          const double scale = std::sqrt(lo * hi) / dimension;
          std::array<Vec3, 3> dirs{};
          for (int k = 0; k < 3; ++k) {
            const double xi = (px[k] - cx) * scale, eta = (py[k] - cy) * scale;
            const double norm = std::sqrt(1.0 + xi * xi + eta * eta);
            dirs[k] = {xi / norm, eta / norm, 1.0 / norm};
          }
          TriangleShape shape;
          if (!ShapeOfTriangle(dirs, shape)) continue;
          const double tol = kT.shapeNoisePx / longestPx + kT.shapeSlack;
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
                const std::size_t number = static_cast<std::size_t>(entry.stars[k]) + 1;
                const std::int32_t at = number < catalogue.indexOfNumber.size() ? catalogue.indexOfNumber[number] : -1;
                if (at < 0)
                  present = false;
                else
                  stars[k] = &catalogue.stars[at];
              }
              if (!present) continue;
              // The frame width this pair implies.
              const Vec3& p1 = stars[1]->direction;
              const Vec3& p2 = stars[2]->direction;
              const double chord = Length(Minus(p1, p2));
              const double width = 2.0 * std::asin(std::min(1.0, chord / 2.0)) / frameAngle * scale * dimension;
              if (width < minField * kT.indexWidthLow || width > maxField * kT.indexWidthHigh) continue;
              if (in.knownCentre) {
                const Vec3& d = stars[0]->direction;
                const double cosine = Dot(d, typedCentre);
                if (std::acos(std::clamp(cosine, -1.0, 1.0)) > kT.knownIndexReach * width + DegToRad(in.fieldDeg))
                  continue;
              }
              if (examined > (in.knownCentre ? kT.maxIndexTrials / kT.knownIndexTrialsDivisor : kT.maxIndexTrials))
                return false;
              for (int o = 0; o < orderCount; ++o) {
                ++examined;
                judge.Tried(std::max({stars[0]->magnitude, stars[1]->magnitude, stars[2]->magnitude}));
                std::array<double, 3> x{}, y{};
                for (int k = 0; k < 3; ++k) {
                  x[k] = px[orders[o][k]];
                  y[k] = py[orders[o][k]];
                }
                PlateConstants plate;
                if (!PlateFromThree(x, y, stars, cx, cy, plate)) continue;
                if (judge.Accept(plate, tri, out)) return true;
              }
            }
          }
        }
      }
    }
  }
  return false;
}

// The pair search: a pair of nearby marks is laid on every catalogue pair of stars as far apart at some
// scale in range, in both orders and both parities; the rotation that does so predicts where a third
// mark near the pair lies on the sky, and a star there makes a three-star plate for the judge. Marks are
// turned into directions with the scale the pair implies, about the image centre, so wide fields keep
// their shapes. Blind, the pairs are those of every star to magnitude 6 (observers mark stars they see,
// not the brightest of each patch); with a known centre, those of the brightest stars around it.

struct BrightPairs {
  std::vector<std::array<int, 2>> pair;  // indices into catalogue.stars
  std::vector<double> separation;        // radians, ascending
};

// Every pair of stars to kT.pairMagnitude at most maxSeparation apart, by separation; built once per
// catalogue.
std::shared_ptr<const BrightPairs> BrightPairsOf(const SkyCatalogue& catalogue, double maxSeparation) {
  static std::mutex guard;
  static std::vector<std::pair<std::array<double, 4>, std::shared_ptr<const BrightPairs>>> cache;
  const std::array<double, 4> key = {static_cast<double>(reinterpret_cast<std::uintptr_t>(&catalogue)),
                                     static_cast<double>(catalogue.stars.size()), catalogue.stars.front().ra,
                                     catalogue.stars.back().dec};
  std::lock_guard<std::mutex> lock(guard);
  for (const auto& entry : cache) {
    if (entry.first == key) return entry.second;
  }
  std::vector<int> bright;
  for (std::size_t i = 0; i < catalogue.stars.size(); ++i) {
    if (catalogue.stars[i].magnitude <= kT.pairMagnitude) bright.push_back(static_cast<int>(i));
  }
  std::sort(bright.begin(), bright.end(),
            [&](int a, int b) { return catalogue.stars[a].dec < catalogue.stars[b].dec; });
  const double cosMax = std::cos(maxSeparation);
  std::vector<std::pair<double, std::array<int, 2>>> found;
  for (std::size_t i = 0; i < bright.size(); ++i) {
    const GridStar& a = catalogue.stars[bright[i]];
    for (std::size_t j = i + 1; j < bright.size() && catalogue.stars[bright[j]].dec - a.dec <= maxSeparation; ++j) {
      const GridStar& b = catalogue.stars[bright[j]];
      const double dot = Dot(a.direction, b.direction);
      if (dot >= cosMax) found.push_back({std::acos(std::min(1.0, dot)), {bright[i], bright[j]}});
    }
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  auto pairs = std::make_shared<BrightPairs>();
  pairs->pair.reserve(found.size());
  pairs->separation.reserve(found.size());
  for (const auto& f : found) {
    pairs->separation.push_back(f.first);
    pairs->pair.push_back(f.second);
  }
  if (cache.size() > 4) cache.erase(cache.begin());
  cache.push_back({key, pairs});
  return pairs;
}

// Direction of an image offset (dx, dy from the centre, pixels) at scale s (radians per pixel).
Vec3 CameraDirection(double dx, double dy, double s) {
  const double xi = dx * s, eta = dy * s, norm = 1.0 / std::sqrt(1.0 + xi * xi + eta * eta);
  return {xi * norm, eta * norm, norm};
}

// An orthonormal frame from two directions: their bisector, their normal and the third axis.
bool FrameOf(const Vec3& u, const Vec3& w, std::array<Vec3, 3>& e) {
  Vec3 sum = Plus(u, w);
  Vec3 normal = Cross(u, w);
  const double a = Length(sum), b = Length(normal);
  if (!(a > 1e-12) || !(b > 1e-12)) return false;
  for (int k = 0; k < 3; ++k) {
    sum[k] /= a;
    normal[k] /= b;
  }
  e = {sum, normal, Cross(sum, normal)};
  return true;
}

// A pair of marks with a third one near it.
struct MarkBase {
  int a = 0;
  int b = 0;
  int c = 0;
};

// Bases in the order they are tried: each of the first marks with its nearest partners in range, the
// third mark the one nearest the pair's middle.
std::vector<MarkBase> MarkBases(const std::vector<StarMark>& marks, int n, double dimension, double maxShare) {
  std::vector<MarkBase> bases;
  const int firsts = std::min(n, kT.pairFirstMarks);
  for (int a = 0; a < firsts; ++a) {
    std::vector<std::pair<double, int>> near;
    for (int b = 0; b < n; ++b) {
      if (b == a) continue;
      const double d = std::hypot(marks[b].x - marks[a].x, marks[b].y - marks[a].y) / dimension;
      if (d >= kT.minPairShare && d <= maxShare) near.push_back({d, b});
    }
    std::sort(near.begin(), near.end());
    for (int k = 0; k < static_cast<int>(near.size()) && k < kT.pairPartners; ++k) {
      const int b = near[k].second;
      bool seen = false;
      for (const MarkBase& m : bases) seen = seen || (m.a == b && m.b == a);
      if (seen) continue;
      const double mx = 0.5 * (marks[a].x + marks[b].x), my = 0.5 * (marks[a].y + marks[b].y);
      int c = -1;
      double best = 0.0;
      for (int k2 = 0; k2 < n; ++k2) {
        if (k2 == a || k2 == b) continue;
        const double d = std::hypot(marks[k2].x - mx, marks[k2].y - my);
        if (c < 0 || d < best) c = k2, best = d;
      }
      if (c >= 0) bases.push_back({a, b, c});
    }
  }
  return bases;
}

// The pair search; true when a plate was accepted or the run was cancelled.
bool SearchPairs(const SearchSetup& setup, Judge& judge, PatternSolution& out, TaskControl& task) {
  const PatternSolverInput& in = *setup.in;
  const std::vector<StarMark>& marks = *in.marks;
  const SkyCatalogue& catalogue = *setup.catalogue;
  const bool known = in.knownCentre;
  double sLo = 0.0, sHi = 0.0;  // scale range, radians per pixel of the larger dimension
  if (known) {
    sLo = DegToRad(in.fieldDeg) / (1.0 + kT.knownScaleSlack) / setup.dimension;
    sHi = DegToRad(in.fieldDeg) * (1.0 + kT.knownScaleSlack) / setup.dimension;
  } else {
    sLo = std::max(setup.minField, DegToRad(kT.blindPairMinFieldDeg)) / setup.dimension;
    sHi = setup.maxField / setup.dimension;
  }
  if (!(sLo < sHi)) return false;
  const double maxShare = known ? kT.knownMaxPairShare : kT.blindMaxPairShare;
  const std::vector<MarkBase> bases = MarkBases(marks, setup.n, setup.dimension, maxShare);
  if (bases.empty()) return false;

  // Candidate stars: blind, every bright pair; known, the brightest stars within reach of the frame.
  std::shared_ptr<const BrightPairs> bright;
  std::vector<int> around;
  float checkMagnitude = kT.blindCheckMagnitude;
  const double reach =
      0.5 * std::hypot(in.imageWidth, in.imageHeight) * sHi + DegToRad(kT.knownCentreSlack * in.fieldDeg);
  if (known) {
    const double cosReach = std::cos(std::min(reach, Pi));
    std::vector<std::pair<float, int>> inReach;
    for (std::size_t i = 0; i < catalogue.stars.size(); ++i) {
      if (Dot(catalogue.stars[i].direction, setup.typedCentre) >= cosReach)
        inReach.push_back({catalogue.stars[i].magnitude, static_cast<int>(i)});
    }
    std::sort(inReach.begin(), inReach.end());
    std::size_t keep = kT.knownPairStars;
    while (keep < inReach.size() && inReach[keep].first <= kT.knownPairMagnitude) ++keep;
    if (inReach.size() > keep) inReach.resize(keep);
    for (const auto& s : inReach) around.push_back(s.second);
    checkMagnitude =
        inReach.empty() ? 0.0f : std::max(kT.blindCheckMagnitude, inReach.back().first + kT.knownCheckMargin);
  } else {
    bright = BrightPairsOf(catalogue, kT.blindMaxPairShare * kT.blindPairReach * setup.maxField);
  }

  judge.SetQuickMagnitude(checkMagnitude);
  const double cx = setup.cx, cy = setup.cy;
  std::size_t hypotheses = 0;
  const std::size_t budget = known ? kT.knownPairBudget : kT.blindPairBudget;
  for (const MarkBase& base : bases) {
    task.Yield();
    if (task.Cancelled()) return true;
    const StarMark& ma = marks[base.a];
    const StarMark& mb = marks[base.b];
    const StarMark& mc = marks[base.c];
    // The separation of the pair at each scale of the table (it grows with the scale).
    std::array<double, kT.scaleSteps> scaleOf{}, angleOf{};
    for (int k = 0; k < kT.scaleSteps; ++k) {
      scaleOf[k] = sLo * std::pow(sHi / sLo, k / (kT.scaleSteps - 1.0));
      const Vec3 a = CameraDirection(ma.x - cx, ma.y - cy, scaleOf[k]);
      const Vec3 b = CameraDirection(mb.x - cx, mb.y - cy, scaleOf[k]);
      angleOf[k] = std::acos(std::clamp(Dot(a, b), -1.0, 1.0));
    }
    const double abPx = std::max(1.0, static_cast<double>(std::hypot(ma.x - mb.x, ma.y - mb.y)));
    const double reachC = std::max(std::hypot(mc.x - ma.x, mc.y - ma.y), std::hypot(mc.x - mb.x, mc.y - mb.y));
    // Where the third mark may be: noise over the pair's lever, and a share of its distance for the
    // shear that lens distortion gives a patch of the frame.
    const double tolCPx = kT.thirdMarkNoisePx + kT.thirdMarkLever * reachC / abPx + kT.thirdMarkShear * reachC;
    const std::array<double, 3> spreadX = {cx + 0.25 * in.imageWidth, cx - 0.25 * in.imageWidth,
                                           cx - 0.125 * in.imageWidth};
    const std::array<double, 3> spreadY = {cy, cy + 0.25 * in.imageHeight, cy - 0.25 * in.imageHeight};
    const std::array<int, 3> tri = {base.a, base.b, base.c};

    // Tries star p for mark a and star q for mark b at their separation; true when the judge accepted.
    auto tryPair = [&](int p, int q, double separation) {
      if (separation < angleOf.front() || separation > angleOf.back()) return false;
      const int k = static_cast<int>(std::upper_bound(angleOf.begin(), angleOf.end(), separation) - angleOf.begin());
      const int k0 = std::clamp(k - 1, 0, kT.scaleSteps - 2);
      const double t = (separation - angleOf[k0]) / std::max(1e-15, angleOf[k0 + 1] - angleOf[k0]);
      const double s = scaleOf[k0] * std::pow(scaleOf[k0 + 1] / scaleOf[k0], std::clamp(t, 0.0, 1.0));
      const Vec3 a = CameraDirection(ma.x - cx, ma.y - cy, s), b = CameraDirection(mb.x - cx, mb.y - cy, s);
      const Vec3 c = CameraDirection(mc.x - cx, mc.y - cy, s);
      const GridStar& sp = catalogue.stars[p];
      const GridStar& sq = catalogue.stars[q];
      std::array<Vec3, 3> f{};
      if (!FrameOf(sp.direction, sq.direction, f)) return false;
      for (int parity = 0; parity < 2; ++parity) {
        ++hypotheses;
        const double flip = parity == 0 ? 1.0 : -1.0;
        const Vec3 am = {flip * a[0], a[1], a[2]}, bm = {flip * b[0], b[1], b[2]}, cm = {flip * c[0], c[1], c[2]};
        std::array<Vec3, 3> e{};
        if (!FrameOf(am, bm, e)) continue;
        if (known) {
          // The image centre on the sky must lie near the typed centre.
          Vec3 centre{};
          for (int r = 0; r < 3; ++r) centre[r] = f[0][r] * e[0][2] + f[1][r] * e[1][2] + f[2][r] * e[2][2];
          if (std::acos(std::clamp(Dot(centre, setup.typedCentre), -1.0, 1.0)) >
              DegToRad(kT.knownCentreSlack * in.fieldDeg))
            continue;
        }
        const double c0 = Dot(cm, e[0]), c1 = Dot(cm, e[1]), c2 = Dot(cm, e[2]);
        const UnitVector predicted = {f[0][0] * c0 + f[1][0] * c1 + f[2][0] * c2,
                                      f[0][1] * c0 + f[1][1] * c1 + f[2][1] * c2,
                                      f[0][2] * c0 + f[1][2] * c1 + f[2][2] * c2};
        const int hit = NearestStarWithin(catalogue, predicted, tolCPx * s, checkMagnitude);
        if (hit < 0 || hit == p || hit == q || catalogue.stars[hit].magnitude > checkMagnitude) continue;
        judge.Tried(std::max({catalogue.stars[p].magnitude, catalogue.stars[q].magnitude,
                              catalogue.stars[hit].magnitude}));
        // The hypothesis's own plate: the camera model (gnomonic about the image centre at scale s, turned
        // onto the sky) at three points spread over the frame. Three stars of a small patch would give a
        // plate that is poor away from the patch.
        std::array<GridStar, 3> anchor{};
        for (int k = 0; k < 3; ++k) {
          const Vec3 cam = CameraDirection(spreadX[k] - cx, spreadY[k] - cy, s);
          const Vec3 camm = {flip * cam[0], cam[1], cam[2]};
          const double k0 = Dot(camm, e[0]), k1 = Dot(camm, e[1]), k2 = Dot(camm, e[2]);
          for (int r = 0; r < 3; ++r) anchor[k].direction[r] = f[0][r] * k0 + f[1][r] * k1 + f[2][r] * k2;
          anchor[k].ra = std::atan2(anchor[k].direction[1], anchor[k].direction[0]);
          if (anchor[k].ra < 0.0) anchor[k].ra += 2.0 * Pi;
          anchor[k].dec = std::asin(std::clamp(anchor[k].direction[2], -1.0, 1.0));
        }
        PlateConstants plate;
        if (!PlateFromThree(spreadX, spreadY, {&anchor[0], &anchor[1], &anchor[2]}, cx, cy, plate)) continue;
        if (judge.Accept(plate, tri, out)) return true;
      }
      return false;
    };

    if (known) {
      // Stars that can be the pair's first and second mark: about as far from the typed centre as the marks
      // are from the image centre.
      const double slack = DegToRad(kT.knownCentreSlack * in.fieldDeg);
      auto candidatesFor = [&](const StarMark& m) {
        const double r = std::atan(std::hypot(m.x - cx, m.y - cy) * sLo),
                     rHi = std::atan(std::hypot(m.x - cx, m.y - cy) * sHi);
        std::vector<int> list;
        for (int i : around) {
          const double d = std::acos(std::clamp(Dot(catalogue.stars[i].direction, setup.typedCentre), -1.0, 1.0));
          if (d >= r - slack && d <= rHi + slack) list.push_back(i);
        }
        return list;
      };
      const std::vector<int> forA = candidatesFor(ma), forB = candidatesFor(mb);
      const double cosLo = std::cos(angleOf.front()), cosHi = std::cos(angleOf.back());
      for (int p : forA) {
        for (int q : forB) {
          if (p == q) continue;
          const double dot = Dot(catalogue.stars[p].direction, catalogue.stars[q].direction);
          if (dot > cosLo || dot < cosHi) continue;
          if (tryPair(p, q, std::acos(std::min(1.0, dot)))) return true;
        }
        if (hypotheses > budget) return false;
      }
    } else {
      const std::vector<double>& sep = bright->separation;
      const std::size_t from =
          static_cast<std::size_t>(std::lower_bound(sep.begin(), sep.end(), angleOf.front()) - sep.begin());
      for (std::size_t i = from; i < sep.size() && sep[i] <= angleOf.back(); ++i) {
        if ((i & 4095) == 0) {
          task.Yield();
          if (task.Cancelled()) return true;
        }
        const auto& pq = bright->pair[i];
        if (tryPair(pq[0], pq[1], sep[i]) || tryPair(pq[1], pq[0], sep[i])) return true;
        if (hypotheses > budget) return false;
      }
    }
  }
  return false;
}

}  // namespace

PatternSolution SolveWithPatterns(const PatternSolverInput& in, const PatternIndex& index,
                                  const SkyCatalogue& catalogue, TaskControl& task) {
  PatternSolution out;
  SearchSetup setup;
  setup.in = &in;
  setup.catalogue = &catalogue;
  setup.n = std::min(static_cast<int>(in.marks ? in.marks->size() : 0), kT.triangleMarks);
  if (setup.n < 3 || in.imageWidth <= 0 || in.imageHeight <= 0 || catalogue.Empty()) return out;
  setup.dimension = std::max(in.imageWidth, in.imageHeight);
  setup.cx = in.imageWidth / 2.0;
  setup.cy = in.imageHeight / 2.0;
  setup.minField = DegToRad(in.minFieldDeg);
  setup.maxField = DegToRad(in.maxFieldDeg);
  if (in.knownCentre) {
    setup.minField = std::max(setup.minField, DegToRad(in.fieldDeg / kT.knownFieldFactor));
    setup.maxField = std::min(setup.maxField, DegToRad(in.fieldDeg * kT.knownFieldFactor));
  }
  setup.typedCentre = UnitVectorOf(in.centreRa, in.centreDec);
  Judge judge(setup);
  // With a known centre the pair search is quick and sure, so it goes first; blind, the index answers
  // most frames at a fraction of the pair search's cost.
  auto byIndex = [&] {
    judge.SetQuickMagnitude(99.0f);
    return SearchIndex(setup, index, judge, out, task);
  };
  auto byPairs = [&] { return SearchPairs(setup, judge, out, task); };
  if (in.knownCentre) {
    if (!byPairs()) byIndex();
  } else {
    if (!byIndex()) byPairs();
  }
  if (!out.solved) out = judge.Held();
  out.trials = judge.Trials();
  if (task.Cancelled()) out.solved = false;
  return out;
}
