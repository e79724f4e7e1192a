#include "astrometry/verify.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>

#include "base/calendar.h"
#include "sky/angles.h"

namespace {

constexpr double kDegToRad = Pi / 180.0;
// Declination strip height and the wanted cell width of the sky grid, degrees.
constexpr double kGridCellDeg = 1.0;
constexpr int kStripCount = 180;
// Coarse grid cells, degrees, and the circle radius from which counts use them.
constexpr double kCoarseCellDeg = 5.0;
constexpr double kCoarseFromRadiusDeg = 10.0;
// Depths the verification may choose from: 2.0 to 8.5 magnitudes in steps of a half.
constexpr double kShallowestDepth = 2.0;
constexpr double kDeepestDepth = 8.5;
// The precision of a mark, pixels: no hit counts as nearer than this.
constexpr double kPrecisionPx = 1.0;
// Of two marks claiming one star, the nearer keeps it when within this share of the other's distance.
constexpr double kClearlyNearer = 0.25;
constexpr double kDepthChoices = kVerificationDepths;
static_assert((kDeepestDepth - kShallowestDepth) / 0.5 + 1.0 == kVerificationDepths);

// Hypotheses a plate of the given depth competes with.
double TrialsAt(const VerificationOptions& o, double depth) {
  if (o.trialsAtDepth.size() != static_cast<std::size_t>(kVerificationDepths)) return std::max(o.trials, 1.0);
  return std::max(o.trialsAtDepth[static_cast<std::size_t>(VerificationDepthStep(depth))], 1.0);
}
// Sky radius of a frame about its tangent point: the farthest corner, radians (at least half a degree).
double FieldRadius(const PlateConstants& plate, int width, int height) {
  double radius = 0.0;
  const auto axis = std::array<double, 3>{std::cos(plate.dec0) * std::cos(plate.ra0),
                                          std::cos(plate.dec0) * std::sin(plate.ra0), std::sin(plate.dec0)};
  for (const auto& corner :
       {std::array<double, 2>{0.0, 0.0}, std::array<double, 2>{1.0 * width, 0.0},
        std::array<double, 2>{0.0, 1.0 * height}, std::array<double, 2>{1.0 * width, 1.0 * height}}) {
    const SkyPosition sky = PixelToSky(corner[0], corner[1], plate);
    const double c = std::cos(sky.dec);
    const double dot = axis[0] * c * std::cos(sky.ra) + axis[1] * c * std::sin(sky.ra) + axis[2] * std::sin(sky.dec);
    radius = std::max(radius, std::acos(std::clamp(dot, -1.0, 1.0)));
  }
  return std::clamp(radius, 0.5 * Pi / 180.0, Pi);
}

// Rounds of fit and re-decision in a refinement.
constexpr int kRefineRounds = 4;

int StripOf(double dec) {
  const int s = static_cast<int>(std::floor((dec / kDegToRad + 90.0) / kGridCellDeg));
  return std::clamp(s, 0, kStripCount - 1);
}

double Dot(const UnitVector& a, const UnitVector& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// Calls visit(cell) for every cell that may hold a star within radius of (ra, dec).
template <typename Visit>
void ForCellsNear(const SkyCatalogue& c, double ra, double dec, double radius, Visit visit) {
  const int s0 = StripOf(dec - radius), s1 = StripOf(dec + radius);
  for (int s = s0; s <= s1; ++s) {
    const int n = c.stripCells[s];
    // The strip edge nearest to a pole, where a circle of the radius spans the widest right ascension.
    const double lo = (-90.0 + s * kGridCellDeg) * kDegToRad, hi = lo + kGridCellDeg * kDegToRad;
    const double edge =
        std::max(std::fabs(std::clamp(dec - radius, lo, hi)), std::fabs(std::clamp(dec + radius, lo, hi)));
    const double cosEdge = std::cos(edge);
    const double width = 2.0 * Pi / n;
    int first = 0, last = n - 1;
    if (cosEdge > 1e-9 && radius / cosEdge < Pi * 0.9) {
      const double spread = std::asin(std::min(1.0, std::sin(radius) / cosEdge)) + 1e-9;
      first = static_cast<int>(std::floor((ra - spread) / width));
      last = static_cast<int>(std::floor((ra + spread) / width));
      if (last - first + 1 >= n) first = 0, last = n - 1;
    }
    for (int k = first; k <= last; ++k) {
      const int cell = ((k % n) + n) % n;
      visit(c.stripFirstCell[s] + cell);
    }
  }
}

}  // namespace

double Log10PoissonTail(int k, double lambda) {
  if (k <= 0) return 0.0;
  if (!(lambda > 0.0)) return -300.0;
  // Terms in log space from k upwards; the first term dominates when lambda is small.
  double maxLog = -1e300;
  std::vector<double> logs;
  for (int i = k; i < k + 200; ++i) {
    const double l = -lambda + i * std::log(lambda) - std::lgamma(i + 1.0);
    logs.push_back(l);
    maxLog = std::max(maxLog, l);
    if (l < maxLog - 40.0) break;
  }
  double sum = 0.0;
  for (double l : logs) sum += std::exp(l - maxLog);
  return std::min(0.0, (maxLog + std::log(sum)) / std::log(10.0));
}

UnitVector UnitVectorOf(double ra, double dec) {
  return {std::cos(dec) * std::cos(ra), std::cos(dec) * std::sin(ra), std::sin(dec)};
}

void BuildSkyCatalogue(const std::vector<CatalogueRecord>& records, SkyCatalogue& c) {
  c = SkyCatalogue();
  int cells = 0;
  for (int s = 0; s < kStripCount; ++s) {
    const double mid = (-90.0 + (s + 0.5) * kGridCellDeg) * kDegToRad;
    const int n = std::max(1, static_cast<int>(std::floor(360.0 * std::cos(mid) / kGridCellDeg)));
    c.stripFirstCell.push_back(cells);
    c.stripCells.push_back(n);
    cells += n;
  }
  std::vector<std::pair<int, GridStar>> keyed;
  keyed.reserve(records.size());
  for (std::size_t j = 0; j < records.size(); ++j) {
    const CatalogueRecord& r = records[j];
    if (r.raOffset == 0.0f && r.dec == 0.0f) continue;
    GridStar star;
    star.ra = static_cast<double>(r.raOffset) + Pi;
    star.dec = r.dec;
    if (!std::isfinite(star.ra) || !std::isfinite(star.dec) || !std::isfinite(r.magnitude)) continue;
    star.ra -= 2.0 * Pi * std::floor(star.ra / (2.0 * Pi));
    star.direction = UnitVectorOf(star.ra, star.dec);
    star.magnitude = r.magnitude;
    star.number = static_cast<std::int32_t>(j + 1);
    const int s = StripOf(star.dec);
    const int n = c.stripCells[s];
    const int cell = std::min(n - 1, static_cast<int>(std::floor(star.ra / (2.0 * Pi / n))));
    keyed.push_back({c.stripFirstCell[s] + cell, star});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  c.cellStart.assign(static_cast<std::size_t>(cells) + 1, 0);
  c.indexOfNumber.assign(records.size() + 1, -1);
  for (const auto& k : keyed) {
    c.indexOfNumber[k.second.number] = static_cast<std::int32_t>(c.stars.size());
    c.stars.push_back(k.second);
    ++c.cellStart[k.first + 1];
  }
  for (int i = 0; i < cells; ++i) c.cellStart[i + 1] += c.cellStart[i];

  // The coarse grid: strips of kCoarseCellDeg, cells of about that width.
  std::vector<int> coarseFirst;
  int coarseCells = 0;
  const int coarseStrips = static_cast<int>(180.0 / kCoarseCellDeg);
  for (int s = 0; s < coarseStrips; ++s) {
    const double mid = (-90.0 + (s + 0.5) * kCoarseCellDeg) * kDegToRad;
    const int n = std::max(1, static_cast<int>(std::floor(360.0 * std::cos(mid) / kCoarseCellDeg)));
    coarseFirst.push_back(coarseCells);
    for (int k = 0; k < n; ++k) c.coarseCentre.push_back(UnitVectorOf((k + 0.5) * 2.0 * Pi / n, mid));
    coarseCells += n;
  }
  c.coarseCount.assign(static_cast<std::size_t>(coarseCells) * kCoarseMagnitudeSteps, 0);
  for (const GridStar& star : c.stars) {
    const int s =
        std::clamp(static_cast<int>(std::floor((star.dec / kDegToRad + 90.0) / kCoarseCellDeg)), 0, coarseStrips - 1);
    const int n = (s + 1 < coarseStrips ? coarseFirst[s + 1] : coarseCells) - coarseFirst[s];
    const int cell = coarseFirst[s] + std::min(n - 1, static_cast<int>(std::floor(star.ra / (2.0 * Pi / n))));
    const int step = std::clamp(static_cast<int>(std::ceil((star.magnitude - kCoarseFirstMagnitude) * 10.0 - 1e-6)), 0,
                                kCoarseMagnitudeSteps - 1);
    ++c.coarseCount[static_cast<std::size_t>(cell) * kCoarseMagnitudeSteps + step];
  }
  for (int cell = 0; cell < coarseCells; ++cell) {
    std::uint32_t* row = &c.coarseCount[static_cast<std::size_t>(cell) * kCoarseMagnitudeSteps];
    for (int k = 1; k < kCoarseMagnitudeSteps; ++k) row[k] += row[k - 1];
  }
}

std::shared_ptr<const SkyCatalogue> CachedSkyCatalogue(const std::string& catalogPath) {
  static std::mutex guard;
  static std::map<std::string, std::pair<std::filesystem::file_time_type, std::shared_ptr<const SkyCatalogue>>> cache;
  std::lock_guard<std::mutex> lock(guard);
  std::error_code ec;
  const auto stamp = std::filesystem::last_write_time(catalogPath, ec);
  if (ec) return nullptr;
  auto found = cache.find(catalogPath);
  if (found != cache.end() && found->second.first == stamp) return found->second.second;
  std::vector<CatalogueRecord> records;
  if (!ReadCatalogueRecords(catalogPath, records)) return nullptr;
  auto catalogue = std::make_shared<SkyCatalogue>();
  BuildSkyCatalogue(records, *catalogue);
  cache[catalogPath] = {stamp, catalogue};
  return catalogue;
}

int BrightestStarWithin(const SkyCatalogue& c, const UnitVector& direction, double radius) {
  if (c.Empty()) return -1;
  const double ra = std::atan2(direction[1], direction[0]);
  const double dec = std::asin(std::clamp(direction[2], -1.0, 1.0));
  const double cosRadius = std::cos(radius);
  int best = -1;
  double bestDot = -2.0;
  ForCellsNear(c, ra < 0.0 ? ra + 2.0 * Pi : ra, dec, radius, [&](int cell) {
    for (std::uint32_t i = c.cellStart[cell]; i < c.cellStart[cell + 1]; ++i) {
      const double d = Dot(c.stars[i].direction, direction);
      if (d < cosRadius) continue;
      if (best < 0 || c.stars[i].magnitude < c.stars[best].magnitude ||
          (c.stars[i].magnitude == c.stars[best].magnitude && d > bestDot)) {
        best = static_cast<int>(i);
        bestDot = d;
      }
    }
  });
  return best;
}

int NearestStarWithin(const SkyCatalogue& c, const UnitVector& direction, double radius, float magnitudeLimit) {
  if (c.Empty()) return -1;
  const double ra = std::atan2(direction[1], direction[0]);
  const double dec = std::asin(std::clamp(direction[2], -1.0, 1.0));
  double bestDot = std::cos(radius);
  int best = -1;
  ForCellsNear(c, ra < 0.0 ? ra + 2.0 * Pi : ra, dec, radius, [&](int cell) {
    for (std::uint32_t i = c.cellStart[cell]; i < c.cellStart[cell + 1]; ++i) {
      if (c.stars[i].magnitude > magnitudeLimit) continue;
      const double d = Dot(c.stars[i].direction, direction);
      if (d >= bestDot) best = static_cast<int>(i), bestDot = d;
    }
  });
  return best;
}

std::size_t StarsWithin(const SkyCatalogue& c, const UnitVector& direction, double radius, float magnitudeLimit) {
  if (c.Empty()) return 0;
  const double ra = std::atan2(direction[1], direction[0]);
  const double dec = std::asin(std::clamp(direction[2], -1.0, 1.0));
  const double cosRadius = std::cos(radius);
  std::size_t count = 0;
  ForCellsNear(c, ra < 0.0 ? ra + 2.0 * Pi : ra, dec, radius, [&](int cell) {
    for (std::uint32_t i = c.cellStart[cell]; i < c.cellStart[cell + 1]; ++i) {
      if (c.stars[i].magnitude <= magnitudeLimit && Dot(c.stars[i].direction, direction) >= cosRadius) ++count;
    }
  });
  return count;
}

double FieldStarCount(const SkyCatalogue& c, const UnitVector& direction, double radius, float magnitudeLimit) {
  if (radius < kCoarseFromRadiusDeg * kDegToRad || c.coarseCentre.empty()) {
    return static_cast<double>(StarsWithin(c, direction, radius, magnitudeLimit));
  }
  const int step = static_cast<int>(std::floor((magnitudeLimit - kCoarseFirstMagnitude) * 10.0 + 1e-6));
  if (step < 0) return 0.0;
  const int column = std::min(step, kCoarseMagnitudeSteps - 1);
  const double cosRadius = std::cos(radius);
  double count = 0.0;
  for (std::size_t cell = 0; cell < c.coarseCentre.size(); ++cell) {
    if (Dot(c.coarseCentre[cell], direction) >= cosRadius)
      count += c.coarseCount[cell * kCoarseMagnitudeSteps + column];
  }
  return count;
}

int VerificationDepthStep(double magnitude) {
  if (!(magnitude > kShallowestDepth)) return 0;
  return static_cast<int>(std::min<double>(kVerificationDepths - 1, std::ceil((magnitude - kShallowestDepth) * 2.0 - 1e-9)));
}

double MarkTolerancePx(const StarMark& mark, const VerificationOptions& o) {
  const double dx = mark.x - o.imageWidth / 2.0, dy = mark.y - o.imageHeight / 2.0;
  return o.tolerancePx + o.radialTolerance * std::sqrt(dx * dx + dy * dy);
}

PlateVerification VerifyPlate(const std::vector<StarMark>& marks, const PlateConstants& plate,
                              const SkyCatalogue& catalogue, const VerificationOptions& o) {
  PlateVerification v;
  v.numbers.assign(marks.size(), 0);
  v.log10FalseAlarm = 0.0;
  const double scale = 0.5 * (plate.mx + plate.my);
  if (!(scale > 0.0) || catalogue.Empty() || !std::isfinite(scale)) return v;
  std::vector<int> star(marks.size(), -1);
  std::vector<double> distance(marks.size(), 0.0), toleranceRad(marks.size(), 0.0);
  for (std::size_t m = 0; m < marks.size(); ++m) {
    // Pixels away from the centre cover less sky (by cos^2 of the distance from the tangent point, along
    // the radius), so the tolerance on the sky shrinks with them.
    const double offCentre = std::hypot(marks[m].x - plate.xo, marks[m].y - plate.yo) * scale;
    toleranceRad[m] = MarkTolerancePx(marks[m], o) * scale / (1.0 + offCentre * offCentre);
    const SkyPosition sky = PixelToSky(marks[m].x, marks[m].y, plate);
    if (!std::isfinite(sky.ra) || !std::isfinite(sky.dec)) continue;
    const UnitVector d = UnitVectorOf(sky.ra, sky.dec);
    star[m] = BrightestStarWithin(catalogue, d, toleranceRad[m]);
    const double fromCentre = std::hypot(marks[m].x - o.imageWidth / 2.0, marks[m].y - o.imageHeight / 2.0);
    const double rivalPx = o.rivalTolerancePx + o.rivalRadialTolerance * fromCentre;
    if (star[m] >= 0 && rivalPx > MarkTolerancePx(marks[m], o)) {
      const int rival = BrightestStarWithin(catalogue, d, rivalPx * scale / (1.0 + offCentre * offCentre));
      if (rival >= 0 && rival != star[m] && catalogue.stars[rival].magnitude < catalogue.stars[star[m]].magnitude) {
        star[m] = -1;
      }
    }
    if (star[m] >= 0) distance[m] = std::acos(std::clamp(Dot(d, catalogue.stars[star[m]].direction), -1.0, 1.0));
  }
  // A star claimed by two marks stays with the one clearly nearer to it; when neither is (two noisy marks
  // beside one bright star), which of them it belongs to is undecided and neither keeps it.
  const std::vector<int> claimed = star;
  for (std::size_t m = 0; m < marks.size(); ++m) {
    for (std::size_t k = m + 1; k < marks.size(); ++k) {
      if (claimed[m] < 0 || claimed[m] != claimed[k]) continue;
      const bool kNearer = distance[k] < distance[m];
      const double nearer = kNearer ? distance[k] : distance[m], farther = kNearer ? distance[m] : distance[k];
      if (nearer > kClearlyNearer * farther) {
        star[m] = star[k] = -1;
      } else {
        star[kNearer ? m : k] = -1;
      }
    }
  }
  double maxMagnitude = kShallowestDepth;
  double squares = 0.0;
  for (std::size_t m = 0; m < marks.size(); ++m) {
    const bool excluded = m < o.excluded.size() && o.excluded[m];
    if (!excluded) ++v.tested;
    if (star[m] < 0) continue;
    const GridStar& s = catalogue.stars[star[m]];
    v.numbers[m] = s.number;
    ++v.identified;
    if (!excluded) ++v.confirmed;
    maxMagnitude = std::max(maxMagnitude, static_cast<double>(s.magnitude));
    squares += std::pow(distance[m] / scale, 2);
  }
  v.rmsPx = v.identified > 0 ? std::sqrt(squares / v.identified) : 0.0;
  v.depth = std::min(kDeepestDepth, std::ceil(maxMagnitude * 2.0 - 1e-9) / 2.0);
  // Density of stars as bright as the depth over the frame's circle.
  const UnitVector axis = UnitVectorOf(plate.ra0, plate.dec0);
  const double radius = FieldRadius(plate, o.imageWidth, o.imageHeight);
  const double area = 2.0 * Pi * (1.0 - std::cos(radius));
  const double inField = FieldStarCount(catalogue, axis, radius, static_cast<float>(v.depth)) + 1.0;
  const double density = inField / area;
  double lambda = 0.0;
  for (std::size_t m = 0; m < marks.size(); ++m) {
    if (m < o.excluded.size() && o.excluded[m]) continue;
    lambda += 1.0 - std::exp(-density * Pi * toleranceRad[m] * toleranceRad[m]);
  }
  v.log10FalseAlarm = std::log10(TrialsAt(o, v.depth) * kDepthChoices) + Log10PoissonTail(v.confirmed, lambda);
  if (v.confirmed == 0) v.log10FalseAlarm = std::max(v.log10FalseAlarm, 0.0);
  v.accepted = v.identified >= 4 && v.confirmed >= 1 && v.log10FalseAlarm <= o.maxLog10FalseAlarm;
  return v;
}

namespace {

// The star a mark is identified with (by catalogue number).
const GridStar& StarNumbered(const SkyCatalogue& catalogue, std::int32_t number) {
  return catalogue.stars[catalogue.indexOfNumber[number]];
}

// Pixel distance between a mark and where a plate puts a star; huge when the star cannot be projected.
double OffsetPx(const StarMark& mark, const GridStar& star, const PlateConstants& plate) {
  const PixelPosition p = SkyToPixel(star.ra, star.dec, plate);
  return p.valid ? std::hypot(p.x - mark.x, p.y - mark.y) : 1e9;
}

// The identified marks with their stars as fit input, leaving out the marks for which skip(m) holds.
template <typename Skip>
std::vector<FitStar> FitStarsOf(const std::vector<StarMark>& marks, const std::vector<std::int32_t>& numbers,
                                const SkyCatalogue& catalogue, Skip skip) {
  std::vector<FitStar> fit;
  for (std::size_t m = 0; m < marks.size() && m < numbers.size(); ++m) {
    if (numbers[m] == 0 || skip(m)) continue;
    const GridStar& s = StarNumbered(catalogue, numbers[m]);
    fit.push_back({marks[m].x, marks[m].y, s.ra, s.dec});
  }
  return fit;
}

// Radial lens distortion about the image centre: a mark lies at c + (p - c)(1 + k (r / R)^2), p where the
// linear plate puts its star, r = |p - c| and R the half-diagonal. Fitted to the identified marks when
// there are enough of them; identities are then decided on the marks with the distortion taken out.
constexpr int kMinMarksForDistortion = 8;
// Identified marks from which the fit may leave out the ones far off.
constexpr int kMinMarksForRobustFit = 6;
// How many times more field stars as bright as its star a mark may have than the marks' count and the
// other identified marks' stars, when few are identified.
constexpr double kFaintOutlierRatio = 10.0;
// With many identified, how many times more than the other identified marks' stars alone (plus the marks'
// count): their magnitudes then show how deep the marking went.
constexpr double kFaintOutlierRatioMany = 5.0;
constexpr double kMaxDistortion = 0.05;

double HalfDiagonal(const VerificationOptions& o) {
  return std::max(1.0, 0.5 * std::hypot(o.imageWidth, o.imageHeight));
}

// The distortion coefficient that best explains the identified marks' radial offsets under a plate fitted
// to the undistorted marks; 0 with too few marks.
double FitDistortion(const std::vector<StarMark>& marks, const PlateConstants& plate, const SkyCatalogue& catalogue,
                     const std::vector<std::int32_t>& numbers, const VerificationOptions& o) {
  const double cx = o.imageWidth / 2.0, cy = o.imageHeight / 2.0, big = HalfDiagonal(o);
  double num = 0.0, den = 0.0;
  int used = 0;
  for (std::size_t m = 0; m < marks.size() && m < numbers.size(); ++m) {
    if (numbers[m] == 0) continue;
    const GridStar& s = catalogue.stars[catalogue.indexOfNumber[numbers[m]]];
    const PixelPosition p = SkyToPixel(s.ra, s.dec, plate);
    if (!p.valid) continue;
    const double qx = p.x - cx, qy = p.y - cy, rho2 = (qx * qx + qy * qy) / (big * big);
    num += ((marks[m].x - p.x) * qx + (marks[m].y - p.y) * qy) * rho2;
    den += (qx * qx + qy * qy) * rho2 * rho2;
    ++used;
  }
  if (used < kMinMarksForDistortion || !(den > 0.0)) return 0.0;
  return std::clamp(num / den, -kMaxDistortion, kMaxDistortion);
}

// The marks with a radial distortion k taken out.
std::vector<StarMark> Undistorted(const std::vector<StarMark>& marks, double k, const VerificationOptions& o) {
  std::vector<StarMark> out = marks;
  if (k == 0.0) return out;
  const double cx = o.imageWidth / 2.0, cy = o.imageHeight / 2.0, big = HalfDiagonal(o);
  for (StarMark& m : out) {
    const double dx = m.x - cx, dy = m.y - cy;
    // Inverts r' = r (1 + k r^2 / R^2) by two fixed-point steps.
    double factor = 1.0;
    for (int i = 0; i < 3; ++i) {
      const double r2 = (dx * dx + dy * dy) / (factor * factor) / (big * big);
      factor = 1.0 + k * r2;
    }
    m.x = static_cast<float>(cx + dx / factor);
    m.y = static_cast<float>(cy + dy / factor);
  }
  return out;
}

// Fits and re-decides until the identities settle (at most kRefineRounds rounds), fitting the lens
// distortion k as it goes (starting from the k given); plate is then the plate of the marks with the
// distortion taken out.
PlateVerification Refine(const std::vector<StarMark>& marks, PlateConstants& plate, const SkyCatalogue& catalogue,
                         const VerificationOptions& o, double& k) {
  std::vector<StarMark> work = Undistorted(marks, k, o);
  PlateVerification v = VerifyPlate(work, plate, catalogue, o);
  for (int round = 0; round < kRefineRounds; ++round) {
    // The fit leaves out marks far off the current plate compared with the others (a wrong identity pulls
    // the whole fit towards it, and the mark beside it then loses its star).
    std::vector<double> offPx(work.size(), 0.0);
    std::vector<double> offs;
    for (std::size_t m = 0; m < work.size(); ++m) {
      if (v.numbers[m] == 0) continue;
      offPx[m] = OffsetPx(work[m], StarNumbered(catalogue, v.numbers[m]), plate);
      offs.push_back(offPx[m]);
    }
    double keepPx = 1e300;
    if (offs.size() >= static_cast<std::size_t>(kMinMarksForRobustFit)) {
      // Three times the lower third of the offsets: the good marks' scatter, which a wrong one can't raise.
      const std::size_t third = offs.size() / 3;
      std::nth_element(offs.begin(), offs.begin() + static_cast<std::ptrdiff_t>(third), offs.end());
      keepPx = std::max(1.0, 3.0 * offs[third]);
    }
    const std::vector<FitStar> fit =
        FitStarsOf(work, v.numbers, catalogue, [&](std::size_t m) { return offPx[m] > keepPx; });
    PlateConstants next;
    if (fit.size() < 3 || !FitPlate(fit, plate.ra0, plate.dec0, o.imageWidth / 2.0, o.imageHeight / 2.0, next)) break;
    // A second fit about the re-centred tangent point: on wide fields one re-centring leaves pixels of error.
    PlateConstants settled;
    if (FitPlate(fit, next.ra0, next.dec0, o.imageWidth / 2.0, o.imageHeight / 2.0, settled)) next = settled;
    const double nextK = FitDistortion(marks, next, catalogue, v.numbers, o);
    const bool distortionMoved = std::fabs(nextK - k) > 1e-4;
    if (distortionMoved) {
      k = nextK;
      work = Undistorted(marks, k, o);
    }
    PlateVerification again = VerifyPlate(work, next, catalogue, o);
    const bool same = again.numbers == v.numbers;
    plate = next;
    v = std::move(again);
    if (same && !distortionMoved) break;
  }
  v.distortion = k;
  return v;
}

// The linear plate of the raw marks with the given identities (the form the rest of the program uses);
// plate is kept when the fit fails.
void FitRawPlate(const std::vector<StarMark>& marks, const std::vector<std::int32_t>& numbers,
                 const SkyCatalogue& catalogue, const VerificationOptions& o, PlateConstants& plate) {
  const std::vector<FitStar> fit = FitStarsOf(marks, numbers, catalogue, [](std::size_t) { return false; });
  PlateConstants raw;
  if (fit.size() >= 3 && FitPlate(fit, plate.ra0, plate.dec0, o.imageWidth / 2.0, o.imageHeight / 2.0, raw))
    plate = raw;
}

// A quantile (share 0.5: the median) of the pixel distances between the identified marks and their stars
// under a plate.
double ResidualQuantilePx(const std::vector<StarMark>& marks, const PlateConstants& plate,
                          const SkyCatalogue& catalogue, const std::vector<std::int32_t>& numbers, double share) {
  std::vector<double> residuals;
  for (std::size_t m = 0; m < marks.size(); ++m) {
    if (numbers[m] == 0) continue;
    const GridStar& s = catalogue.stars[catalogue.indexOfNumber[numbers[m]]];
    const PixelPosition p = SkyToPixel(s.ra, s.dec, plate);
    if (p.valid) residuals.push_back(std::hypot(p.x - marks[m].x, p.y - marks[m].y));
  }
  if (residuals.empty()) return 0.0;
  const std::size_t at = std::min(residuals.size() - 1, static_cast<std::size_t>(share * residuals.size()));
  std::nth_element(residuals.begin(), residuals.begin() + static_cast<std::ptrdiff_t>(at), residuals.end());
  return residuals[at];
}

// The identified mark whose star lies farthest off the plate fitted to the other identified marks, when
// that is more than 2 px and three times the lower third of such offsets; -1 otherwise or with fewer
// than six.
int LeastVouchedMark(const std::vector<StarMark>& marks, const PlateConstants& plate, const SkyCatalogue& catalogue,
                     const std::vector<std::int32_t>& numbers, const VerificationOptions& o) {
  std::vector<int> identified;
  for (std::size_t m = 0; m < marks.size() && m < numbers.size(); ++m) {
    if (numbers[m] != 0) identified.push_back(static_cast<int>(m));
  }
  if (identified.size() < static_cast<std::size_t>(kMinMarksForRobustFit)) return -1;
  std::vector<double> offs;
  int worst = -1;
  double worstOff = 0.0;
  for (int left : identified) {
    const std::vector<FitStar> fit =
        FitStarsOf(marks, numbers, catalogue, [&](std::size_t m) { return static_cast<int>(m) == left; });
    PlateConstants without;
    if (!FitPlate(fit, plate.ra0, plate.dec0, o.imageWidth / 2.0, o.imageHeight / 2.0, without)) return -1;
    const double off = OffsetPx(marks[left], StarNumbered(catalogue, numbers[left]), without);
    offs.push_back(off);
    if (off > worstOff) worst = left, worstOff = off;
  }
  // The typical offset from the lower third: every other mark's fit holds the wrong one too.
  const std::size_t third = offs.size() / 3;
  std::nth_element(offs.begin(), offs.begin() + static_cast<std::ptrdiff_t>(third), offs.end());
  return worstOff > std::max(2.0, 3.0 * offs[third]) ? worst : -1;
}

}  // namespace

int ClearChanceIdentities(const std::vector<StarMark>& marks, const PlateConstants& plate,
                          const SkyCatalogue& catalogue, const VerificationOptions& o, double maxChance,
                          PlateVerification& v) {
  const double radius = FieldRadius(plate, o.imageWidth, o.imageHeight);
  const UnitVector axis = UnitVectorOf(plate.ra0, plate.dec0);
  const double area = 2.0 * Pi * (1.0 - std::cos(radius));
  const double scale = 0.5 * (plate.mx + plate.my);
  // Per identified mark, the field's stars as bright as its star.
  std::vector<double> asBright(marks.size(), 0.0);
  for (std::size_t m = 0; m < marks.size() && m < v.numbers.size(); ++m) {
    if (v.numbers[m] != 0)
      asBright[m] = FieldStarCount(catalogue, axis, radius, StarNumbered(catalogue, v.numbers[m]).magnitude);
  }
  const bool fewMarks = v.identified < kMinMarksForDistortion;
  int cleared = 0;
  // Over the identities as they stood on entry (asBright is 0 for the others), whatever is cleared here.
  auto othersAsBright = [&](std::size_t m) {
    double others = 0.0;
    for (std::size_t j = 0; j < marks.size(); ++j) {
      if (j != m) others = std::max(others, asBright[j]);
    }
    return others;
  };
  for (std::size_t m = 0; m < marks.size() && m < v.numbers.size(); ++m) {
    if (v.numbers[m] == 0) continue;
    const GridStar& star = StarNumbered(catalogue, v.numbers[m]);
    const double density = (asBright[m] + 1.0) / area;
    // The chance that a random point lands as close to a star as bright: from the mark's own distance to
    // its star (at least half a pixel), capped by its tolerance.
    const double offPx = OffsetPx(marks[m], star, plate);
    const double distance = std::clamp(offPx, 0.5, MarkTolerancePx(marks[m], o)) * scale;
    bool keep = density * Pi * distance * distance <= maxChance;
    const double markCount = static_cast<double>(marks.size());
    if (keep && fewMarks) {
      // A plate fitted to few marks bends onto whatever star lies near each of them: a mark among bright
      // ones whose star is one of hundreds as faint (a planet, or a mark whose own star the plate puts
      // pixels off) is not trusted with it.
      keep = asBright[m] <= kFaintOutlierRatio * (othersAsBright(m) + markCount);
    } else if (keep) {
      // Among many marks on bright stars, a mark whose star is one of a hundred as faint is a hot pixel or
      // a planet that chance put near a faint star, not one more star of the same marking.
      keep = asBright[m] <= kFaintOutlierRatioMany * othersAsBright(m) + markCount;
    }
    if (keep) continue;
    v.numbers[m] = 0;
    --v.identified;
    ++cleared;
  }
  return cleared;
}

PlateVerification RefineAndVerify(const std::vector<StarMark>& marks, PlateConstants& plate,
                                  const SkyCatalogue& catalogue, const VerificationOptions& options) {
  double k = 0.0;
  PlateVerification v = Refine(marks, plate, catalogue, options, k);
  if (v.identified < 5) {
    const int cleared =
        ClearChanceIdentities(Undistorted(marks, k, options), plate, catalogue, options, options.maxMarkChance, v);
    if (k != 0.0 || cleared > 0) FitRawPlate(marks, v.numbers, catalogue, options, plate);
    v.accepted = v.accepted && v.identified >= 4;
    return v;
  }
  // The tolerance the marks themselves call for: a few times their typical residual (distortion taken
  // out), with the radial share kept only as far as the residuals show more. A mark far off the fitted
  // plate (a planet beside a star, a brighter neighbour that won under the wide tolerance) then stays
  // unidentified or goes to its own star, and the verification weighs the tighter tolerance. The first
  // round takes the lower third of the residuals, since a wrong identity pulls the whole fit; the second
  // the median of the refitted plate.
  VerificationOptions used = options;
  for (int round = 0; round < 2; ++round) {
    const double typical =
        ResidualQuantilePx(Undistorted(marks, k, options), plate, catalogue, v.numbers, round == 0 ? 1.0 / 3.0 : 0.5);
    VerificationOptions tight = options;
    tight.tolerancePx = std::clamp(4.0 * typical + 0.5, 1.5, options.tolerancePx);
    tight.radialTolerance = options.radialTolerance * std::clamp((typical - 0.5) / 3.0, 0.1, 1.0);
    tight.rivalTolerancePx = options.tolerancePx;
    tight.rivalRadialTolerance = options.radialTolerance;
    PlateConstants refined = plate;
    double tightK = k;
    PlateVerification again = Refine(marks, refined, catalogue, tight, tightK);
    if (!(again.identified >= 4 && again.log10FalseAlarm <= v.log10FalseAlarm + 1.0)) {
      // A right plate keeps its marks on their stars at their own scatter; one whose first tightening
      // loses them owed them to the wide tolerance.
      if (round == 0) v.accepted = false;
      break;
    }
    plate = refined;
    k = tightK;
    v = std::move(again);
    used = tight;
  }
  if (v.accepted) {
    // A mark the others do not vouch for: fitted without it, the plate puts its star far off (a wrong
    // identity at a vertex of the hypothesis is fitted exactly and pulls the plate by pixels). Its
    // identity is dropped and the identities re-decided about the plate of the others.
    const std::vector<StarMark> work = Undistorted(marks, k, options);
    const int outlier = LeastVouchedMark(work, plate, catalogue, v.numbers, options);
    if (outlier >= 0) {
      std::vector<std::int32_t> others = v.numbers;
      others[outlier] = 0;
      PlateConstants cleaner = plate;
      FitRawPlate(work, others, catalogue, options, cleaner);
      double cleanerK = k;
      PlateVerification again = Refine(marks, cleaner, catalogue, used, cleanerK);
      if (again.accepted && again.identified >= 4) {
        plate = cleaner;
        k = cleanerK;
        v = std::move(again);
      }
    }
  }
  const int cleared =
      ClearChanceIdentities(Undistorted(marks, k, options), plate, catalogue, used, options.maxMarkChance, v);
  // The plate of the identities that stay: a cleared one no longer pulls it.
  if (k != 0.0 || cleared > 0) FitRawPlate(marks, v.numbers, catalogue, options, plate);
  v.accepted = v.accepted && v.identified >= 4;
  return v;
}

double HypothesisLog10FalseAlarm(const std::vector<StarMark>& marks, const PlateConstants& hypothesis,
                                 const SkyCatalogue& catalogue, const PlateVerification& v,
                                 const VerificationOptions& o) {
  const double scale = 0.5 * (hypothesis.mx + hypothesis.my);
  if (!(scale > 0.0) || !std::isfinite(scale) || catalogue.Empty()) return 0.0;
  const double radius = FieldRadius(hypothesis, o.imageWidth, o.imageHeight);
  const UnitVector axis = UnitVectorOf(hypothesis.ra0, hypothesis.dec0);
  const double area = 2.0 * Pi * (1.0 - std::cos(radius));
  const double density = (FieldStarCount(catalogue, axis, radius, static_cast<float>(v.depth)) + 1.0) / area;
  // The sky radius of a circle of r pixels about a mark (pixels off the centre cover less sky).
  auto onSky = [&](const StarMark& mark, double r) {
    const double offCentre = std::hypot(mark.x - hypothesis.xo, mark.y - hypothesis.yo) * scale;
    return r * scale / (1.0 + offCentre * offCentre);
  };
  int confirmed = 0, missed = 0;
  double lambda = 0.0;
  std::vector<double> offsets;
  for (std::size_t m = 0; m < marks.size() && m < v.numbers.size(); ++m) {
    if (m < o.excluded.size() && o.excluded[m]) continue;
    if (v.numbers[m] == 0) {
      ++missed;
      continue;
    }
    const double off = std::max(OffsetPx(marks[m], StarNumbered(catalogue, v.numbers[m]), hypothesis), kPrecisionPx);
    const double r = onSky(marks[m], std::min(off, MarkTolerancePx(marks[m], o)));
    lambda += 1.0 - std::exp(-density * Pi * r * r);
    offsets.push_back(off);
    ++confirmed;
  }
  if (confirmed == 0) return std::log10(TrialsAt(o, v.depth) * kDepthChoices);
  // A mark that found no star could have done so within the typical offset of those that did.
  std::nth_element(offsets.begin(), offsets.begin() + static_cast<std::ptrdiff_t>(offsets.size() / 2), offsets.end());
  const double typical = offsets[offsets.size() / 2];
  for (std::size_t m = 0; m < marks.size() && m < v.numbers.size() && missed > 0; ++m) {
    if ((m < o.excluded.size() && o.excluded[m]) || v.numbers[m] != 0) continue;
    const double r = onSky(marks[m], std::min(typical, MarkTolerancePx(marks[m], o)));
    lambda += 1.0 - std::exp(-density * Pi * r * r);
  }
  return std::log10(TrialsAt(o, v.depth) * kDepthChoices) + Log10PoissonTail(confirmed, lambda);
}
