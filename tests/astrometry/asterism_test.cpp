#include "astrometry/asterism.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <random>

#include "astrometry/catalogue.h"
#include "base/calendar.h"
#include "sky/angles.h"
#include "test_paths.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

constexpr double kDeg = 3.14159265358979 / 180.0;

// A catalogue record at RA, DEC in degrees.
CatalogueRecord Star(double raDeg, double decDeg, float mag) {
  return {static_cast<float>(raDeg * kDeg - 3.14159265358979), static_cast<float>(decDeg * kDeg), mag};
}

struct Vec {
  double x, y, z;
};
Vec Unit(double ra, double dec) {
  return {std::cos(dec) * std::cos(ra), std::cos(dec) * std::sin(ra), std::sin(dec)};
}
Vec Cross(Vec a, Vec b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(Vec a, Vec b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
double Norm(Vec a) {
  return std::sqrt(Dot(a, a));
}

// Vertex angle at p of the spherical triangle p, q, r, degrees: the angle between the great-circle planes.
double VertexAngleDeg(Vec p, Vec q, Vec r) {
  const Vec n1 = Cross(p, q), n2 = Cross(p, r);
  return std::acos(Dot(n1, n2) / (Norm(n1) * Norm(n2))) / kDeg;
}

std::vector<AsterismRecord> ReadAll(const std::filesystem::path& path) {
  const std::string bytes = ReadFile(path);
  std::vector<AsterismRecord> out;
  for (std::size_t p = 0; p + kAsterismRecordBytes <= bytes.size(); p += kAsterismRecordBytes) {
    out.push_back(DecodeAsterismRecord(reinterpret_cast<const unsigned char*>(bytes.data()) + p));
  }
  return out;
}

// Builds the asterism file of a catalogue in dir and returns its records.
std::vector<AsterismRecord> Build(const TempDir& dir, const std::vector<CatalogueRecord>& catalogue, bool& ok) {
  WriteFile(dir.path() / "bin8.dat", EncodeCatalogue(catalogue));
  SilentTask task;
  ok = BuildAsterismFile((dir.path() / "bin8.dat").string(), (dir.path() / "tri4t.dat").string(), task);
  return ReadAll(dir.path() / "tri4t.dat");
}

// A cluster of n stars of magnitude 2 spread over about 5 degrees around (raDeg, decDeg).
void AddCluster(std::vector<CatalogueRecord>& cat, double raDeg, double decDeg, int n) {
  for (int s = 0; s < n; ++s)
    cat.push_back(Star(raDeg + 0.7 * s * std::cos(s * 1.3), decDeg + 0.6 * s * std::sin(s), 2.0f));
}

}  // namespace

TEST(Asterism, TriangleAnglesAgreeWithAVectorComputationAndCarryTheirStars) {
  TempDir dir;
  // Faint and unlit stars in between must not take part; only stars 2, 4 and 5 are bright enough.
  const std::vector<CatalogueRecord> cat = {Star(10, 10, 6.0f), Star(10, 20, 3.0f), Star(40, 5, 4.5f),
                                            Star(30, 15, 4.0f), Star(20, 35, 1.0f)};
  bool ok = false;
  const auto records = Build(dir, cat, ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "tri4t.dat"), static_cast<std::uintmax_t>(kAsterismBlockBytes));
  ASSERT_EQ(records.size(), 1000u);
  for (std::size_t r = 1; r < records.size(); ++r) {
    EXPECT_EQ(records[r].star1, 0);
    EXPECT_EQ(records[r].angle3, 0);
  }
  const AsterismRecord& t = records[0];
  EXPECT_LE(t.angle1, t.angle2);
  EXPECT_LE(t.angle2, t.angle3);
  const Vec v2 = Unit(10 * kDeg, 20 * kDeg), v4 = Unit(30 * kDeg, 15 * kDeg), v5 = Unit(20 * kDeg, 35 * kDeg);
  auto expected = [&](int star) {
    if (star == 2) return VertexAngleDeg(v2, v4, v5);
    if (star == 4) return VertexAngleDeg(v4, v2, v5);
    return VertexAngleDeg(v5, v2, v4);
  };
  EXPECT_NEAR(t.angle1 / 100.0, expected(t.star1), 0.011);
  EXPECT_NEAR(t.angle2 / 100.0, expected(t.star2), 0.011);
  EXPECT_NEAR(t.angle3 / 100.0, expected(t.star3), 0.011);
  // A spherical triangle's angles exceed 180 degrees in sum.
  EXPECT_GT(t.angle1 + t.angle2 + t.angle3, 18000);
}

TEST(Asterism, SmallCataloguesAndDegenerateTriangles) {
  {
    TempDir dir;
    bool ok = false;
    const auto records = Build(dir, {Star(0, 0, 1.0f), Star(5, 5, 2.0f), Star(6, 1, 5.0f)}, ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "tri4t.dat"));
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "tri4t.dat"), 0u);
  }
  {
    // Two records at the same place never make a triangle; the third star alone does not either.
    TempDir dir;
    bool ok = false;
    const auto records = Build(dir, {Star(10, 10, 1.0f), Star(10, 10, 1.0f), Star(15, 12, 1.0f)}, ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(records.empty());
  }
  {
    // Equal angles keep the catalogue order of their stars: an equilateral triangle about the pole.
    TempDir dir;
    bool ok = false;
    const auto records = Build(dir, {Star(0, 80, 1.0f), Star(120, 80, 1.0f), Star(240, 80, 1.0f)}, ok);
    ASSERT_TRUE(ok);
    ASSERT_FALSE(records.empty());
    EXPECT_EQ(records[0].angle1, records[0].angle3);
    EXPECT_EQ(records[0].star1, 1);
    EXPECT_EQ(records[0].star2, 2);
    EXPECT_EQ(records[0].star3, 3);
  }
  {
    // The reach is measured from the first vertex only: star 3 just inside 60 degrees of star 1 counts,
    // star 4 just beyond does not, however close it is to star 2.
    TempDir dir;
    bool ok = false;
    const auto records =
        Build(dir, {Star(0, 0, 1.0f), Star(50, 0, 1.0f), Star(59.99, 0.5, 1.0f), Star(60.01, -0.5, 1.0f)}, ok);
    ASSERT_TRUE(ok);
    int withFour = 0, total = 0;
    for (const auto& r : records) {
      if (r.star1 == 0) continue;
      ++total;
      if (r.star1 == 4 || r.star2 == 4 || r.star3 == 4) ++withFour;
    }
    EXPECT_EQ(total, 2);     // (1, 2, 3) and (2, 3, 4)
    EXPECT_EQ(withFour, 1);  // only with star 2 as first vertex
  }
}

// The table-driven rounding of the vertex angles must give the very records the arccosine gives, on
// triangles from a few arcminutes to tens of degrees, slivers and near-isosceles ones included.
TEST(Asterism, RecordsFromSidesEqualThoseFromTheArccosineOfEveryAngle) {
  std::mt19937 random(20261207);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  int compared = 0;
  for (int t = 0; t < 300000; ++t) {
    const double size = std::pow(10.0, -2.7 + 3.0 * unit(random));  // radians, about 0.1 to 100 degrees
    const double dec0 = (unit(random) - 0.5) * 3.0, ra0 = unit(random) * 6.28;
    std::array<SkyPoint, 3> p;
    for (int v = 0; v < 3; ++v) p[v] = {ra0 + size * unit(random), dec0 + size * (unit(random) - 0.5)};
    if (t % 3 == 0) p[2] = {(p[0].ra + p[1].ra) / 2 + size * 1e-3 * unit(random), (p[0].dec + p[1].dec) / 2};
    if (t % 3 == 1) p[2] = {p[0].ra + (p[1].dec - p[0].dec), p[0].dec + (p[1].ra - p[0].ra) * (1 + 1e-6 * unit(random))};
    const TriangleSide a = SideBetween(p[1], p[2]), b = SideBetween(p[0], p[2]), c = SideBetween(p[0], p[1]);
    AsterismRecord fast, slow;
    const bool madeFast = TriangleRecordFromSides(a, b, c, {1, 2, 3}, fast);
    bool madeSlow = false;
    if (a.arc > kAsterismMinSideRad && b.arc > kAsterismMinSideRad && c.arc > kAsterismMinSideRad) {
      const double toDeg = 180.0 / Pi;
      madeSlow = MakeTriangleRecord(
          {ArcCos((a.cosine - b.cosine * c.cosine) / (b.sine * c.sine)) * toDeg,
           ArcCos((b.cosine - a.cosine * c.cosine) / (a.sine * c.sine)) * toDeg,
           ArcCos((c.cosine - a.cosine * b.cosine) / (a.sine * b.sine)) * toDeg},
          {1, 2, 3}, slow);
    }
    ASSERT_EQ(madeFast, madeSlow) << t;
    if (!madeFast) continue;
    ++compared;
    ASSERT_EQ(fast.angle1, slow.angle1) << t;
    ASSERT_EQ(fast.angle2, slow.angle2) << t;
    ASSERT_EQ(fast.angle3, slow.angle3) << t;
    ASSERT_EQ(fast.star1, slow.star1) << t;
    ASSERT_EQ(fast.star2, slow.star2) << t;
    ASSERT_EQ(fast.star3, slow.star3) << t;
  }
  EXPECT_GT(compared, 250000);
}

TEST(Asterism, FilesAreWrittenInZeroPaddedBlocksOfAThousand) {
  // Clusters 90 degrees apart cannot share triangles: C(18,3) + C(10,3) + C(8,3) + 2 * C(4,3) = 1000.
  std::vector<CatalogueRecord> cat;
  AddCluster(cat, 0, 0, 18);
  AddCluster(cat, 90, 0, 10);
  AddCluster(cat, 180, 0, 8);
  AddCluster(cat, 270, 0, 4);
  AddCluster(cat, 45, 85, 4);
  {
    TempDir dir;
    bool ok = false;
    const auto records = Build(dir, cat, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(records.size(), 1000u);
    EXPECT_NE(records.back().star1, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tri4t.dat.tmp"));
  }
  AddCluster(cat, 45, -85, 3);
  {
    TempDir dir;
    bool ok = false;
    const auto records = Build(dir, cat, ok);
    ASSERT_TRUE(ok);
    ASSERT_EQ(records.size(), 2000u);
    EXPECT_NE(records[1000].star1, 0);
    for (std::size_t r = 1001; r < records.size(); ++r) ASSERT_EQ(records[r].star1, 0) << r;
  }
  {
    TempDir dir;
    SilentTask task;
    EXPECT_FALSE(BuildAsterismFile((dir.path() / "missing.dat").string(), (dir.path() / "tri4t.dat").string(), task));
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "tri4t.dat"));
  }
}

TEST(Asterism, LoadingKeepsMappedTrianglesInTheirBinsAndSurvivesDamagedFiles) {
  EXPECT_EQ(AsterismBin(150), 0);  // 0.5 rounds to even
  EXPECT_EQ(AsterismBin(450), 2);  // 1.5 rounds to even
  EXPECT_EQ(AsterismBin(451), 2);
  EXPECT_EQ(AsterismBin(18000), 60);
  for (int h = -400; h <= 18300; ++h) ASSERT_EQ(AsterismBin(h), std::lrint(h / 300.0)) << h;

  std::vector<AsterismRecord> records = {
      {1000, 6000, 11000, 1, 2, 3},      // all mapped
      {450, 5000, 12550, 2, 3, 4},       // star 4 unmapped
      {150, 900, 17000, 1, 3, 2},        // all mapped
      {1000, 6000, 11000, -7, 2, 3},     // negative star number
      {1000, 6000, 11000, 1, 2, 99999},  // beyond the map
      {0, 0, 0, 0, 0, 0},                // padding
  };
  std::string bytes = EncodeAsterismRecords(records);
  bytes += std::string(11, '\x01');  // not a whole record, let alone a whole block
  TempDir dir;
  WriteFile(dir.path() / "tri4t.dat", bytes);
  const std::vector<std::int32_t> map = {0, 1, 2, 3, 0};
  AsterismTable table;
  SilentTask task;
  ASSERT_TRUE(LoadAsterismTable((dir.path() / "tri4t.dat").string(), map, table, task));
  EXPECT_EQ(table.recordCount, 2u);
  ASSERT_EQ(table.Cell(3, 20, 37).size(), 1u);
  EXPECT_EQ(table.Cell(3, 20, 37)[0].star3, 3);
  ASSERT_EQ(table.Cell(0, 3, 57).size(), 1u);
  EXPECT_EQ(table.Cell(0, 3, 57)[0].star2, 3);

  EXPECT_FALSE(LoadAsterismTable((dir.path() / "none.dat").string(), map, table, task));
}
