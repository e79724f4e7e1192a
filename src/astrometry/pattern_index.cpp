#include "astrometry/pattern_index.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "astrometry/identification_tuning.h"
#include "astrometry/sky_grid.h"
#include "base/calendar.h"
#include "base/file_cache.h"
#include "base/file_utils.h"
#include "sky/angles.h"
#include "sky/vec3.h"

namespace {

constexpr char kMagic[8] = {'O', 'R', 'V', 'P', 'A', 'T', '0', '1'};
constexpr std::uint32_t kByteOrderMark = 0x01020304u;
// Bands, their sky cells and their triangles' sizes: see the pattern index section of the tuning record.
constexpr int kBandCount = kIdTuning.bandCount;
static_assert(kIdTuning.bandStarsPerCell.size() == static_cast<std::size_t>(kBandCount));

static_assert(sizeof(PatternEntry) == 10, "pattern entries are stored packed");

double Chord(const Vec3& a, const Vec3& b) {
  return Length(Minus(a, b));
}

// The brightest stars per sky cell of the given size (degrees): declination strips of that height, cut
// into cells of about that width. Returns catalogue indices, brightest first within each cell.
std::vector<int> BrightestPerCell(const std::vector<CatalogueRecord>& records, const std::vector<int>& valid,
                                  double cellDeg, int perCell) {
  const int strips = std::max(1, static_cast<int>(std::ceil(180.0 / cellDeg)));
  std::vector<int> firstCell(strips + 1, 0);
  for (int s = 0; s < strips; ++s) {
    const double mid = -90.0 + (s + 0.5) * 180.0 / strips;
    firstCell[s + 1] =
        firstCell[s] + std::max(1, static_cast<int>(std::floor(360.0 * std::cos(DegToRad(mid)) / cellDeg)));
  }
  std::vector<std::pair<int, int>> keyed;  // cell, catalogue index
  keyed.reserve(valid.size());
  for (int j : valid) {
    const double ra = static_cast<double>(records[j].raOffset) + Pi;
    const double dec = RadToDeg(records[j].dec);
    const int s = std::clamp(static_cast<int>(std::floor((dec + 90.0) / 180.0 * strips)), 0, strips - 1);
    const int n = firstCell[s + 1] - firstCell[s];
    const double raTurns = ra / (2.0 * Pi) - std::floor(ra / (2.0 * Pi));
    keyed.push_back({firstCell[s] + std::min(n - 1, static_cast<int>(raTurns * n)), j});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first < b.first;
    return records[a.second].magnitude < records[b.second].magnitude;
  });
  std::vector<int> chosen;
  for (std::size_t i = 0; i < keyed.size();) {
    std::size_t end = i;
    while (end < keyed.size() && keyed[end].first == keyed[i].first) ++end;
    for (std::size_t k = i; k < end && k < i + static_cast<std::size_t>(perCell); ++k)
      chosen.push_back(keyed[k].second);
    i = end;
  }
  return chosen;
}

template <typename T>
void Append(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof(T));
}

}  // namespace

int PatternCellU(double u) {
  return std::clamp(static_cast<int>(std::floor((u - 0.5) * 2.0 * kPatternGridU)), 0, kPatternGridU - 1);
}

int PatternCellV(double v) {
  return std::clamp(static_cast<int>(std::floor(v * kPatternGridV)), 0, kPatternGridV - 1);
}

bool ShapeOfTriangle(const std::array<std::array<double, 3>, 3>& p, TriangleShape& shape) {
  // Side i lies opposite vertex i.
  std::array<double, 3> side = {Chord(p[1], p[2]), Chord(p[0], p[2]), Chord(p[0], p[1])};
  std::array<int, 3> order = {0, 1, 2};
  std::sort(order.begin(), order.end(),
            [&](int a, int b) { return side[a] > side[b] || (side[a] == side[b] && a < b); });
  const double d1 = side[order[0]];
  if (!(d1 > 1e-9) || !(side[order[2]] > 1e-6 * d1)) return false;
  shape.u = side[order[1]] / d1;
  shape.v = side[order[2]] / d1;
  shape.longest = 2.0 * std::asin(std::min(1.0, d1 / 2.0));
  shape.order = order;
  return std::isfinite(shape.u) && std::isfinite(shape.v);
}

bool BuildPatternIndex(const std::vector<CatalogueRecord>& records, PatternIndex& index, TaskControl& task) {
  index = PatternIndex();
  if (records.size() > 65535) return false;
  index.catalogueCount = static_cast<std::uint32_t>(records.size());
  std::vector<int> valid;
  std::vector<Vec3> directions(records.size());
  for (std::size_t j = 0; j < records.size(); ++j) {
    const CatalogueRecord& r = records[j];
    if (r.raOffset == 0.0f && r.dec == 0.0f) continue;
    if (!std::isfinite(r.raOffset) || !std::isfinite(r.dec) || !std::isfinite(r.magnitude)) continue;
    const double ra = static_cast<double>(r.raOffset) + Pi, dec = r.dec;
    directions[j] = UnitVectorOf(ra, dec);
    valid.push_back(static_cast<int>(j));
  }
  const std::size_t cells = static_cast<std::size_t>(kPatternGridU) * kPatternGridV;
  for (int b = 0; b < kBandCount; ++b) {
    PatternBand band;
    band.fieldDeg = kIdTuning.narrowestBandDeg * std::pow(kIdTuning.bandRatio, b);
    // The sides are stored in the file: they keep their historic arithmetic (times Pi / 180 in one factor,
    // not DegToRad's times Pi then over 180), which gives different last bits for some bands, so that a
    // rebuilt index stays byte for byte the same.
    const double radPerDeg = Pi / 180.0;
    band.minSide = kIdTuning.bandMinSideShare * band.fieldDeg * radPerDeg;
    band.maxSide = kIdTuning.bandMaxSideShare * band.fieldDeg * radPerDeg;
    const double minChord = 2.0 * std::sin(band.minSide / 2.0), maxChord = 2.0 * std::sin(band.maxSide / 2.0);
    std::vector<int> stars = BrightestPerCell(records, valid, kIdTuning.bandCellShare * band.fieldDeg,
                                              kIdTuning.bandStarsPerCell[static_cast<std::size_t>(b)]);
    // Sorted by declination so that the neighbours of a star lie in a short run of the list.
    std::sort(stars.begin(), stars.end(), [&](int a, int c) { return directions[a][2] < directions[c][2]; });
    std::vector<double> z(stars.size());
    for (std::size_t i = 0; i < stars.size(); ++i) z[i] = directions[stars[i]][2];
    std::vector<PatternEntry> entries;
    std::vector<std::size_t> near;
    for (std::size_t i = 0; i < stars.size(); ++i) {
      if (i % 1024 == 0) {
        task.Yield();
        if (task.Cancelled()) return false;
      }
      const Vec3& a = directions[stars[i]];
      const double decA = std::asin(std::clamp(a[2], -1.0, 1.0));
      const double zLo = std::sin(std::max(-Pi / 2.0, decA - band.maxSide));
      const double zHi = std::sin(std::min(Pi / 2.0, decA + band.maxSide));
      near.clear();
      const std::size_t from = static_cast<std::size_t>(std::lower_bound(z.begin(), z.end(), zLo) - z.begin());
      for (std::size_t j = from; j < stars.size() && z[j] <= zHi; ++j) {
        if (stars[j] <= stars[i]) continue;  // each triangle once: its smallest catalogue index first
        if (Chord(a, directions[stars[j]]) <= maxChord) near.push_back(j);
      }
      for (std::size_t p = 0; p < near.size(); ++p) {
        for (std::size_t q = p + 1; q < near.size(); ++q) {
          const int s1 = stars[i], s2 = stars[near[p]], s3 = stars[near[q]];
          const double c23 = Chord(directions[s2], directions[s3]);
          if (c23 > maxChord) continue;
          const double longest = std::max({c23, Chord(a, directions[s2]), Chord(a, directions[s3])});
          if (longest < minChord) continue;
          TriangleShape shape;
          if (!ShapeOfTriangle({directions[s1], directions[s2], directions[s3]}, shape)) continue;
          const std::array<int, 3> vertex = {s1, s2, s3};
          PatternEntry e;
          for (int k = 0; k < 3; ++k) e.stars[k] = static_cast<std::uint16_t>(vertex[shape.order[k]]);
          e.u = static_cast<std::uint16_t>(std::lround(std::clamp(shape.u, 0.0, 1.0) * 65535.0));
          e.v = static_cast<std::uint16_t>(std::lround(std::clamp(shape.v, 0.0, 1.0) * 65535.0));
          entries.push_back(e);
        }
      }
    }
    // Counting sort into the shape grid.
    auto cellOf = [](const PatternEntry& e) {
      return static_cast<std::size_t>(PatternCellU(e.u / 65535.0)) * kPatternGridV + PatternCellV(e.v / 65535.0);
    };
    band.cellStart.assign(cells + 1, 0);
    for (const PatternEntry& e : entries) ++band.cellStart[cellOf(e) + 1];
    for (std::size_t c = 0; c < cells; ++c) band.cellStart[c + 1] += band.cellStart[c];
    band.entries.resize(entries.size());
    std::vector<std::uint32_t> fill(band.cellStart.begin(), band.cellStart.end() - 1);
    for (const PatternEntry& e : entries) band.entries[fill[cellOf(e)]++] = e;
    index.bands.push_back(std::move(band));
  }
  return true;
}

std::string EncodePatternIndex(const PatternIndex& index) {
  std::string out(kMagic, sizeof(kMagic));
  Append(out, kByteOrderMark);
  Append(out, index.catalogueCount);
  Append(out, static_cast<std::uint32_t>(index.bands.size()));
  for (const PatternBand& band : index.bands) {
    Append(out, band.fieldDeg);
    Append(out, band.minSide);
    Append(out, band.maxSide);
    Append(out, static_cast<std::uint32_t>(band.entries.size()));
    out.append(reinterpret_cast<const char*>(band.cellStart.data()), band.cellStart.size() * sizeof(std::uint32_t));
    out.append(reinterpret_cast<const char*>(band.entries.data()), band.entries.size() * sizeof(PatternEntry));
  }
  return out;
}

namespace {

// Reads a value at an offset of a byte range; false when the range is too short.
template <typename T>
bool TakeAt(const char* data, std::size_t size, std::size_t& at, T& value) {
  if (at > size || size - at < sizeof(T)) return false;
  std::memcpy(&value, data + at, sizeof(T));
  at += sizeof(T);
  return true;
}

}  // namespace

bool DecodePatternIndex(const char* data, std::size_t size, PatternIndex& index) {
  index = PatternIndex();
  if (size < sizeof(kMagic) || std::memcmp(data, kMagic, sizeof(kMagic)) != 0) return false;
  std::size_t at = sizeof(kMagic);
  std::uint32_t mark = 0, bandCount = 0;
  if (!TakeAt(data, size, at, mark) || mark != kByteOrderMark) return false;
  if (!TakeAt(data, size, at, index.catalogueCount) || !TakeAt(data, size, at, bandCount) || bandCount > 64) {
    return false;
  }
  const std::size_t cells = static_cast<std::size_t>(kPatternGridU) * kPatternGridV;
  for (std::uint32_t b = 0; b < bandCount; ++b) {
    PatternBand band;
    std::uint32_t count = 0;
    if (!TakeAt(data, size, at, band.fieldDeg) || !TakeAt(data, size, at, band.minSide) ||
        !TakeAt(data, size, at, band.maxSide) || !TakeAt(data, size, at, count)) {
      return false;
    }
    const std::size_t cellBytes = (cells + 1) * sizeof(std::uint32_t);
    const std::size_t entryBytes = static_cast<std::size_t>(count) * sizeof(PatternEntry);
    if (size - at < cellBytes || size - at - cellBytes < entryBytes) return false;
    band.cellStart.resize(cells + 1);
    std::memcpy(band.cellStart.data(), data + at, cellBytes);
    at += cellBytes;
    band.entries.resize(count);
    std::memcpy(band.entries.data(), data + at, entryBytes);
    at += entryBytes;
    // Offsets must rise to the entry count. (Star numbers are checked where they are used: the solver
    // skips entries whose stars the catalogue does not have.)
    if (band.cellStart.front() != 0 || band.cellStart.back() != count) return false;
    for (std::size_t c = 0; c < cells; ++c) {
      if (band.cellStart[c] > band.cellStart[c + 1]) return false;
    }
    index.bands.push_back(std::move(band));
  }
  return at == size;
}

bool DecodePatternIndex(const std::string& bytes, PatternIndex& index) {
  return DecodePatternIndex(bytes.data(), bytes.size(), index);
}

bool BuildPatternIndexFile(const std::string& catalogPath, const std::string& indexPath, TaskControl& task) {
  std::vector<CatalogueRecord> records;
  if (!ReadCatalogueRecords(catalogPath, records) || records.empty()) return false;
  PatternIndex index;
  if (!BuildPatternIndex(records, index, task)) return false;
  return WriteFileAtomically(indexPath, EncodePatternIndex(index)).ok;
}

std::shared_ptr<PatternIndex> LoadPatternIndex(const std::string& indexPath) {
  // The file is mapped rather than read: its bytes are copied straight into the index.
  const int fd = ::open(indexPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= 0) {
    ::close(fd);
    return nullptr;
  }
  const std::size_t size = static_cast<std::size_t>(st.st_size);
  void* mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (mapped == MAP_FAILED) return nullptr;
  auto index = std::make_shared<PatternIndex>();
  const bool decoded = DecodePatternIndex(static_cast<const char*>(mapped), size, *index);
  ::munmap(mapped, size);
  if (!decoded) return nullptr;
  return index;
}

std::shared_ptr<const PatternIndex> CachedPatternIndex(const std::string& indexPath) {
  static FileStampedCache<PatternIndex> cache;
  return cache.Get(indexPath, [&]() -> std::shared_ptr<const PatternIndex> { return LoadPatternIndex(indexPath); });
}

std::string PatternIndexPathBeside(const std::string& asterismPath) {
  return (std::filesystem::path(asterismPath).parent_path() / kPatternIndexFileName).string();
}
