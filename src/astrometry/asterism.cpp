#include "astrometry/asterism.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <vector>

#include "astrometry/catalogue.h"
#include "base/calendar.h"
#include "base/file_cache.h"
#include "base/file_utils.h"
#include "base/numbers.h"
#include "sky/angles.h"

namespace {

void AppendLe(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint32_t ReadLe(const unsigned char* p, int bytes) {
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
  return v;
}

// True when a star number maps to a working-list position.
bool InWorkingList(std::int32_t star, const std::vector<std::int32_t>& starMap) {
  return star > 0 && static_cast<std::size_t>(star) < starMap.size() && starMap[star] != 0;
}

}  // namespace

void SortTriangleVertices(std::array<double, 3>& angles, std::array<std::int32_t, 3>& vertices) {
  for (int pass = 1; pass < 3; ++pass) {
    for (int j = 2; j >= pass; --j) {
      if (angles[j] < angles[j - 1]) {
        std::swap(angles[j], angles[j - 1]);
        std::swap(vertices[j], vertices[j - 1]);
      }
    }
  }
}

namespace {

// A record from angles already rounded to hundredths of a degree, sorted with their vertices the way
// SortTriangleVertices sorts (adjacent pairs swapped only on strictly smaller angles: 2-3, 1-2, 2-3),
// here without branches.
inline void RecordFromHundredths(std::array<int, 3> h, std::array<std::int32_t, 3> v, AsterismRecord& record) {
  auto order = [&](int p, int q) {
    const bool swap = h[q] < h[p];
    const int lo = swap ? h[q] : h[p], hi = swap ? h[p] : h[q];
    const std::int32_t vLo = swap ? v[q] : v[p], vHi = swap ? v[p] : v[q];
    h[p] = lo;
    h[q] = hi;
    v[p] = vLo;
    v[q] = vHi;
  };
  order(1, 2);
  order(0, 1);
  order(1, 2);
  record.angle1 = static_cast<std::int16_t>(h[0]);
  record.angle2 = static_cast<std::int16_t>(h[1]);
  record.angle3 = static_cast<std::int16_t>(h[2]);
  record.star1 = v[0];
  record.star2 = v[1];
  record.star3 = v[2];
}

constexpr int kHundredthsInHalfTurn = 18000;

// cos((b + 0.5) / 100 degrees) for b = 0 .. 17999, the cosines at which the angle rounded to hundredths
// of a degree steps from b to b + 1, at index b + 2; two entries of +2 before them and two of -2 after.
const std::vector<double>& RoundingCosines() {
  static const std::vector<double> table = [] {
    std::vector<double> t(kHundredthsInHalfTurn + 4, 2.0);
    for (int b = 0; b < kHundredthsInHalfTurn; ++b) t[b + 2] = std::cos((b + 0.5) / 100.0 * Pi / 180.0);
    t[kHundredthsInHalfTurn + 2] = t[kHundredthsInHalfTurn + 3] = -2.0;
    return t;
  }();
  return table;
}

[[gnu::noinline]] int HundredthsByArcTangent(double x) {
  return RoundToInt(ArcCos(x) * (180.0 / Pi) * 100.0);
}

// RoundToInt(ArcCos(x) * 180 / Pi * 100) for -1 < x < 1 without the arctangent, or -1 where this way
// cannot be sure: a polynomial arccosine (within 0.004 degrees) gives a first guess h at most one
// hundredth off, and the rounding cosines around it (t = RoundingCosines().data() + 2) the exact
// hundredth. Where x lies within 1e-12 of a rounding cosine (where the two computations could round
// apart) the answer is -1 and the arctangent has to decide. No branches, so that many of these run
// side by side.
inline int TabledHundredthsOfArcCos(double x, const double* t) {
  const double toDeg = 180.0 / Pi;
  // A cosine out of range (or not a number, from a side of no length) is worked on as 1 so that the guess
  // stays a number; its answer is not used.
  const double a = std::fabs(x) < 1.0 ? std::fabs(x) : 1.0;
  // Abramowitz and Stegun 4.4.45.
  const double half = std::sqrt(1.0 - a) *
                      (1.5707288 + a * (-0.2121144 + a * (0.0742610 - 0.0187293 * a)));
  const double angle = x < 0.0 ? Pi - half : half;
  const int h = std::clamp(static_cast<int>(angle * toDeg * 100.0 + 0.5), 0, kHundredthsInHalfTurn);
  // The answer r has t[r - 1] >= x > t[r].
  const int r = h - static_cast<int>(x > t[h - 1]) + static_cast<int>(x <= t[h]);
  constexpr double kMargin = 1e-12;
  const bool sure = (t[r - 1] - x >= kMargin) & (x - t[r] >= kMargin);
  return sure ? r : -1;
}

inline int BinOf(int hundredths) {
  if (hundredths < 0) return RoundToInt(static_cast<double>(hundredths) / kAsterismBinWidth);
  // In whole numbers: the nearest bin, a half going to the even one.
  const int shifted = hundredths + kAsterismBinWidth / 2;
  const int bin = shifted / kAsterismBinWidth;
  return shifted % kAsterismBinWidth == 0 && bin % 2 == 1 ? bin - 1 : bin;
}

inline int CellOfRecord(const AsterismRecord& record) {
  const int i = BinOf(record.angle1), j = BinOf(record.angle2), k = BinOf(record.angle3);
  if (i < 0 || j < 0 || k < 0 || i >= kAsterismBinCount || j >= kAsterismBinCount || k >= kAsterismBinCount) return -1;
  return (i * kAsterismBinCount + j) * kAsterismBinCount + k;
}

// Triangles worked out together: enough for the arithmetic of one to overlap that of the next.
constexpr int kTriangleBatch = 32;

}  // namespace

void AppendTriangleRow(const TriangleSide* aSides, const TriangleSide* bSides, const TriangleSide& c, std::int32_t i,
                       std::int32_t j, std::int32_t firstK, int count, std::vector<AsterismRecord>& out) {
  const double* t = RoundingCosines().data() + 2;
  const double cc = c.cosine, sc = c.sine;
  const bool cLong = c.arc > kAsterismMinSideRad;
  for (int start = 0; start < count; start += kTriangleBatch) {
    const int n = std::min(kTriangleBatch, count - start);
    const TriangleSide* as = aSides + start;
    const TriangleSide* bs = bSides + start;
    double cosines[3 * kTriangleBatch];
    int hundredths[3 * kTriangleBatch];
    for (int m = 0; m < n; ++m) {
      // Spherical law of cosines for the angle opposite each side.
      const double ca = as[m].cosine, cb = bs[m].cosine, sa = as[m].sine, sb = bs[m].sine;
      cosines[3 * m] = (ca - cb * cc) / (sb * sc);
      cosines[3 * m + 1] = (cb - ca * cc) / (sa * sc);
      cosines[3 * m + 2] = (cc - ca * cb) / (sa * sb);
    }
    for (int v = 0; v < 3 * n; ++v) hundredths[v] = TabledHundredthsOfArcCos(cosines[v], t);
    for (int m = 0; m < n; ++m) {
      if (!(cLong && as[m].arc > kAsterismMinSideRad && bs[m].arc > kAsterismMinSideRad)) continue;
      const std::array<std::int32_t, 3> vertices = {i, j, firstK + start + m};
      const double* x = cosines + 3 * m;
      auto inside = [](double value) { return value > -1.0 && value < 1.0; };
      AsterismRecord record;
      if (!(inside(x[0]) && inside(x[1]) && inside(x[2]))) {
        const double toDeg = 180.0 / Pi;
        if (!MakeTriangleRecord({ArcCos(x[0]) * toDeg, ArcCos(x[1]) * toDeg, ArcCos(x[2]) * toDeg}, vertices, record)) {
          continue;
        }
      } else {
        std::array<int, 3> rounded{};
        for (int v = 0; v < 3; ++v) {
          const int h = hundredths[3 * m + v];
          rounded[static_cast<std::size_t>(v)] = h >= 0 ? h : HundredthsByArcTangent(x[v]);
        }
        RecordFromHundredths(rounded, vertices, record);
      }
      out.push_back(record);
    }
  }
}

bool MakeTriangleRecord(std::array<double, 3> anglesDeg, std::array<std::int32_t, 3> vertices, AsterismRecord& record) {
  // Rounded to hundredths before sorting, so that angles equal in the stored form keep their vertex order.
  std::array<int, 3> hundredths{};
  for (int v = 0; v < 3; ++v) {
    if (!std::isfinite(anglesDeg[v]) || anglesDeg[v] < 0.0 || anglesDeg[v] > 180.0) return false;
    hundredths[v] = RoundToInt(anglesDeg[v] * 100.0);
  }
  RecordFromHundredths(hundredths, vertices, record);
  return true;
}

TriangleSide SideBetween(const SkyPoint& p, const SkyPoint& q) {
  const double arc = AngularSeparation(p.ra, p.dec, q.ra, q.dec);
  return {arc, std::cos(arc), std::sin(arc)};
}

bool TriangleRecordFromSides(const TriangleSide& a, const TriangleSide& b, const TriangleSide& c,
                             const std::array<std::int32_t, 3>& vertices, AsterismRecord& record) {
  std::vector<AsterismRecord> one;
  AppendTriangleRow(&a, &b, c, vertices[0], vertices[1], vertices[2], 1, one);
  if (one.empty()) return false;
  record = one.front();
  return true;
}

bool SphericalTriangleRecord(const std::array<SkyPoint, 3>& points, const std::array<std::int32_t, 3>& vertices,
                             AsterismRecord& record) {
  return TriangleRecordFromSides(SideBetween(points[1], points[2]), SideBetween(points[0], points[2]),
                                 SideBetween(points[0], points[1]), vertices, record);
}

int AsterismBin(int hundredths) {
  return BinOf(hundredths);
}

int AsterismCellOf(const AsterismRecord& record) {
  return CellOfRecord(record);
}

void FillAsterismTable(AsterismTable& table, const std::vector<AsterismRecord>& records) {
  table = AsterismTable();
  // Counts at cell + 2, summed: entry cell + 1 is then where the cell's records go, and after they are
  // placed it has moved on to the cell's end, which leaves the array holding every cell's first record.
  std::vector<std::uint32_t> start(AsterismTable::kCells + 2, 0);
  for (const AsterismRecord& r : records) {
    const int cell = CellOfRecord(r);
    if (cell >= 0) ++start[static_cast<std::size_t>(cell) + 2];
  }
  for (std::size_t cell = 2; cell < start.size(); ++cell) start[cell] += start[cell - 1];
  table.records.resize(start.back());
  for (const AsterismRecord& r : records) {
    const int cell = CellOfRecord(r);
    if (cell >= 0) table.records[start[static_cast<std::size_t>(cell) + 1]++] = r;
  }
  start.pop_back();
  table.cellStart = std::move(start);
  table.recordCount = table.records.size();
}

std::string EncodeAsterismRecords(const std::vector<AsterismRecord>& records) {
  std::string out;
  out.reserve(records.size() * kAsterismRecordBytes);
  for (const AsterismRecord& r : records) {
    AppendLe(out, static_cast<std::uint16_t>(r.angle1), 2);
    AppendLe(out, static_cast<std::uint16_t>(r.angle2), 2);
    AppendLe(out, static_cast<std::uint16_t>(r.angle3), 2);
    AppendLe(out, static_cast<std::uint32_t>(r.star1), 4);
    AppendLe(out, static_cast<std::uint32_t>(r.star2), 4);
    AppendLe(out, static_cast<std::uint32_t>(r.star3), 4);
  }
  return out;
}

AsterismRecord DecodeAsterismRecord(const unsigned char* p) {
  AsterismRecord r;
  r.angle1 = static_cast<std::int16_t>(ReadLe(p, 2));
  r.angle2 = static_cast<std::int16_t>(ReadLe(p + 2, 2));
  r.angle3 = static_cast<std::int16_t>(ReadLe(p + 4, 2));
  r.star1 = static_cast<std::int32_t>(ReadLe(p + 6, 4));
  r.star2 = static_cast<std::int32_t>(ReadLe(p + 10, 4));
  r.star3 = static_cast<std::int32_t>(ReadLe(p + 14, 4));
  return r;
}

bool BuildAsterismFile(const std::string& catalogPath, const std::string& asterismPath, TaskControl& task) {
  std::vector<CatalogStar> stars;
  if (!ReadCatalogue(catalogPath, stars)) return false;

  const std::filesystem::path target(asterismPath);
  const std::filesystem::path temp = TemporaryPathFor(asterismPath);
  bool ok = true;
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    std::vector<AsterismRecord> block;
    block.reserve(kAsterismBlockRecords);
    auto flush = [&]() {
      block.resize(kAsterismBlockRecords);  // the unfilled rest stays all-zero
      const std::string bytes = EncodeAsterismRecords(block);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
      block.clear();
    };

    // Only stars of magnitude <= 4.0 take part; the list keeps file order, so the enumeration below
    // visits the triples (i, j, k), i < j < k, in the same order as a loop over the whole catalogue.
    std::vector<int> bright;
    for (int s = 0; s < static_cast<int>(stars.size()); ++s) {
      if (stars[s].magnitude <= kAsterismMagnitudeLimit) bright.push_back(s);
    }
    std::vector<SkyPoint> points(stars.size());
    for (std::size_t s = 0; s < stars.size(); ++s) points[s] = {stars[s].ra, stars[s].dec};
    const int n = static_cast<int>(stars.size());
    std::size_t nextBright = 0;
    std::vector<int> near;  // bright stars after i within 60 degrees of i
    for (int i = 0; i < n - 2; ++i) {
      if (nextBright < bright.size() && bright[nextBright] == i) {
        ++nextBright;
        near.clear();
        for (std::size_t b = nextBright; b < bright.size(); ++b) {
          const SkyPoint& q = points[bright[b]];
          if (RadToDeg(AngularSeparation(points[i].ra, points[i].dec, q.ra, q.dec)) <= kAsterismMaxSeparationDeg) {
            near.push_back(bright[b]);
          }
        }
        for (std::size_t p = 0; p + 1 < near.size(); ++p) {
          for (std::size_t q = p + 1; q < near.size(); ++q) {
            const int j = near[p], k = near[q];
            AsterismRecord record;
            if (!SphericalTriangleRecord({points[i], points[j], points[k]}, {i + 1, j + 1, k + 1}, record)) continue;
            block.push_back(record);
            if (static_cast<int>(block.size()) == kAsterismBlockRecords) flush();
          }
        }
      }
      task.SetLabel("В процессе...");
      task.Yield();
      if (task.Cancelled()) {
        ok = false;
        break;
      }
    }
    if (ok && !block.empty()) flush();
    out.flush();
    ok = ok && static_cast<bool>(out);
  }
  std::error_code ec;
  if (ok) std::filesystem::rename(temp, target, ec);
  if (!ok || ec) {
    std::filesystem::remove(temp, ec);
    return false;
  }
  return true;
}

bool LoadAsterismTable(const std::string& asterismPath, const std::vector<std::int32_t>& starMap, AsterismTable& table,
                       TaskControl& task) {
  table = AsterismTable();
  std::ifstream in(asterismPath, std::ios::binary);
  if (!in) return false;
  std::vector<unsigned char> block(kAsterismBlockBytes);
  std::vector<AsterismRecord> kept;
  for (;;) {
    if (task.Cancelled()) return false;
    in.read(reinterpret_cast<char*>(block.data()), kAsterismBlockBytes);
    // A short last block (a damaged file) still yields its complete records.
    const std::size_t records = static_cast<std::size_t>(in.gcount()) / kAsterismRecordBytes;
    for (std::size_t r = 0; r < records; ++r) {
      const AsterismRecord record = DecodeAsterismRecord(block.data() + r * kAsterismRecordBytes);
      if (InWorkingList(record.star1, starMap) && InWorkingList(record.star2, starMap) &&
          InWorkingList(record.star3, starMap)) {
        kept.push_back(record);
      }
    }
    task.Yield();
    if (records < static_cast<std::size_t>(kAsterismBlockRecords)) break;
  }
  FillAsterismTable(table, kept);
  return true;
}

std::shared_ptr<const AsterismTable> CachedAsterismTable(const std::string& asterismPath,
                                                         const std::vector<std::int32_t>& starMap, TaskControl& task) {
  static FileStampedCache<AsterismTable, std::vector<std::int32_t>> cache(1);  // one table: tens of megabytes
  return cache.Get(asterismPath, starMap, [&]() -> std::shared_ptr<const AsterismTable> {
    auto table = std::make_shared<AsterismTable>();
    if (!LoadAsterismTable(asterismPath, starMap, *table, task) || task.Cancelled()) return nullptr;
    return table;
  });
}
