#include "astrometry/sky_grid.h"

#include <algorithm>
#include <cmath>

#include "astrometry/identification_tuning.h"
#include "base/calendar.h"
#include "base/file_cache.h"
#include "sky/angles.h"
#include "sky/direction.h"
#include "sky/site.h"
#include "sky/vec3.h"

namespace {

// Declination strip height and the wanted cell width of the sky grid, degrees.
constexpr double kGridCellDeg = 1.0;
constexpr int kStripCount = 180;
// Coarse grid cells, degrees, and the circle radius from which counts use them.
constexpr double kCoarseCellDeg = kIdTuning.coarseCellDeg;
constexpr double kCoarseFromRadiusDeg = kIdTuning.coarseFromRadiusDeg;

int StripOf(double dec) {
  const int s = static_cast<int>(std::floor((RadToDeg(dec) + 90.0) / kGridCellDeg));
  return std::clamp(s, 0, kStripCount - 1);
}

// Calls visit(cell) for every cell that may hold a star within radius of (ra, dec).
template <typename Visit>
void ForCellsNear(const SkyCatalogue& c, double ra, double dec, double radius, Visit visit) {
  const int s0 = StripOf(dec - radius), s1 = StripOf(dec + radius);
  for (int s = s0; s <= s1; ++s) {
    const int n = c.stripCells[s];
    // The strip edge nearest to a pole, where a circle of the radius spans the widest right ascension.
    const double lo = DegToRad(-90.0 + s * kGridCellDeg), hi = lo + DegToRad(kGridCellDeg);
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

UnitVector UnitVectorOf(double ra, double dec) {
  const SkyVector<SkyFrame::J2000> v = ToVector(J2000Direction{ra, dec});
  return {v.x, v.y, v.z};
}

void BuildSkyCatalogue(const std::vector<CatalogueRecord>& records, SkyCatalogue& c) {
  c = SkyCatalogue();
  int cells = 0;
  for (int s = 0; s < kStripCount; ++s) {
    const double mid = DegToRad(-90.0 + (s + 0.5) * kGridCellDeg);
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
    const double mid = DegToRad(-90.0 + (s + 0.5) * kCoarseCellDeg);
    const int n = std::max(1, static_cast<int>(std::floor(360.0 * std::cos(mid) / kCoarseCellDeg)));
    coarseFirst.push_back(coarseCells);
    for (int k = 0; k < n; ++k) c.coarseCentre.push_back(UnitVectorOf((k + 0.5) * 2.0 * Pi / n, mid));
    coarseCells += n;
  }
  c.coarseCount.assign(static_cast<std::size_t>(coarseCells) * kCoarseMagnitudeSteps, 0);
  for (const GridStar& star : c.stars) {
    const int s =
        std::clamp(static_cast<int>(std::floor((RadToDeg(star.dec) + 90.0) / kCoarseCellDeg)), 0, coarseStrips - 1);
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
  static FileStampedCache<SkyCatalogue> cache;
  return cache.Get(catalogPath, [&]() -> std::shared_ptr<const SkyCatalogue> {
    std::vector<CatalogueRecord> records;
    if (!ReadCatalogueRecords(catalogPath, records)) return nullptr;
    auto catalogue = std::make_shared<SkyCatalogue>();
    BuildSkyCatalogue(records, *catalogue);
    return catalogue;
  });
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
  if (radius < DegToRad(kCoarseFromRadiusDeg) || c.coarseCentre.empty()) {
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
