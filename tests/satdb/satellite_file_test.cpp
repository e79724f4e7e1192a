// Element-set columns, epoch keys, perigee radius, the database file format and the best-set reader.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "base/calendar.h"
#include "satdb/satdb.h"
#include "satdb_test_support.h"
#include "test_paths.h"

using namespace satdb_testing;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

const std::string kIssLine1 = "1 25544U 98067A   26220.18240180  .00005236  00000+0  10178-3 0  9991";

}  // namespace

TEST(CatalogNumber, ReadsPaddedAndAlpha5FormsAndRejectsOthers) {
  EXPECT_EQ(CatalogNumberOfLine1(kIssLine1), 25544);
  EXPECT_EQ(CatalogNumberOfLine1("1 00005U 58002B   23282.1"), 5);
  EXPECT_EQ(CatalogNumberOfLine1("1   107U 61015H   23281.5"), 107);  // blank-padded, as some catalogues write
  // Alpha-5: A = 10 ... H = 17, J = 18 (I unused), P = 23 (O unused), T = 27, Z = 33.
  EXPECT_EQ(CatalogNumberOfLine1("1 A0001U"), 100001);
  EXPECT_EQ(CatalogNumberOfLine1("1 H9999U"), 179999);
  EXPECT_EQ(CatalogNumberOfLine1("1 J0000U"), 180000);
  EXPECT_EQ(CatalogNumberOfLine1("1 P0000U"), 230000);
  EXPECT_EQ(CatalogNumberOfLine1("1 T0288U          23278.8"), 270288);
  EXPECT_EQ(CatalogNumberOfLine1("1 Z9999U"), 339999);
  for (const char* bad :
       {"1 AAAAAU 00  0  0 BBBBB", "1 I0001U", "1 O0001U", "1 12A45U", "1      U", "1 123", "1 a0001U", "1 -1234U"}) {
    EXPECT_FALSE(CatalogNumberOfLine1(bad).has_value()) << bad;
  }
}

TEST(EpochKey, ReadsAsYearAndDayAcrossTheCenturyBoundary) {
  EXPECT_DOUBLE_EQ(EpochKey(kIssLine1), 2026220.18240180);
  const double year1961 = EpochKey(Line1(1, 61, 1.5));
  const double year2060 = EpochKey(Line1(1, 60, 365.5));
  const double year1999 = EpochKey(Line1(1, 99, 200.0));
  const double year2000 = EpochKey(Line1(1, 0, 1.0));
  EXPECT_DOUBLE_EQ(year1961, 1961001.5);
  EXPECT_DOUBLE_EQ(year2060, 2060365.5);
  EXPECT_LT(year1961, year1999);
  EXPECT_LT(year1999, year2000);
  EXPECT_LT(year2000, year2060);
}

TEST(ElementSet, ReadsEveryColumnOfARealSet) {
  TleRecord r;
  ASSERT_TRUE(ParseElementSet(kIssLine1, LeoLine2(1), r));
  EXPECT_EQ(r.catalogNumber, 25544);
  EXPECT_EQ(r.designator, "98067A  ");
  // 2026-01-01 is MJD 61041, so day 220.1824018 of 2026 is MJD 61040 + 220.1824018.
  EXPECT_NEAR(r.epochMjd, 61260.1824018, 1e-8);
  EXPECT_DOUBLE_EQ(r.inclinationDeg, 51.6324);
  EXPECT_DOUBLE_EQ(r.raanDeg, 42.7701);
  EXPECT_DOUBLE_EQ(r.eccentricity, 0.000735);
  EXPECT_DOUBLE_EQ(r.argPerigeeDeg, 24.6056);
  EXPECT_DOUBLE_EQ(r.meanAnomalyDeg, 335.5282);
  EXPECT_DOUBLE_EQ(r.meanMotion, 15.49383195);
  EXPECT_NEAR(r.bstar, 0.10178e-3, 1e-15);
}

TEST(ElementSet, DragTermTakesSignMantissaAndSignedExponent) {
  const std::string base = "1 25544U 98067A   26220.18240180  .00005236  00000+0 ";
  const auto bstar = [&](const std::string& field) {
    TleRecord r;
    EXPECT_TRUE(ParseElementSet(base + field + " 0  9991", LeoLine2(1), r));
    return r.bstar;
  };
  EXPECT_NEAR(bstar("-11606-4"), -0.11606e-4, 1e-18);
  EXPECT_NEAR(bstar("+85672-4"), 0.85672e-4, 1e-18);
  // Satellites raising their orbits: a positive exponent is a power of ten, not of a tenth.
  EXPECT_NEAR(bstar("-35880+1"), -3.5880, 1e-14);
  EXPECT_NEAR(bstar(" 12345+2"), 12.345, 1e-13);
  EXPECT_NEAR(bstar(" 12345 1"), 1.2345, 1e-14);  // a blank sign counts as "+"
  EXPECT_EQ(bstar(" 00000+0"), 0.0);
  // Any other sign character in the exponent of B* (column 60) or of the second derivative of the mean
  // motion (column 51) makes the set unreadable.
  TleRecord r;
  EXPECT_FALSE(ParseElementSet(base + " 12345*1 0  9991", LeoLine2(1), r));
  EXPECT_FALSE(ParseElementSet("1 25544U 98067A   26220.18240180  .00005236  00000x0  10178-3 0  9991", LeoLine2(1), r));
  // Years 00-60 are 2000-2060 and 61-99 are 1961-1999.
  ASSERT_TRUE(ParseElementSet(Line1(1, 61, 1.0), LeoLine2(1), r));
  EXPECT_DOUBLE_EQ(r.epochMjd, MjdFromDate(1961, 1, 1, 0));
  ASSERT_TRUE(ParseElementSet(Line1(1, 60, 1.0), LeoLine2(1), r));
  EXPECT_DOUBLE_EQ(r.epochMjd, MjdFromDate(2060, 1, 1, 0));
}

TEST(PerigeeRadius, MatchesKeplersThirdLaw) {
  // Geostationary radius from GM = 398600.5 km^3/s^2 and one sidereal day: 42164.2 km.
  EXPECT_NEAR(PerigeeRadius(86400 / 86164.0905, 0), 42164.2, 0.2);
  // The space station: mean altitude about 415 km above the 6378 km equatorial radius.
  const double iss = PerigeeRadius(15.49383195, 0.000735);
  EXPECT_GT(iss, 6378 + 380);
  EXPECT_LT(iss, 6378 + 440);
  // Eccentricity scales the semi-major axis by 1 - e.
  EXPECT_NEAR(PerigeeRadius(2.0, 0.5) / PerigeeRadius(2.0, 0), 0.5, 1e-12);
  EXPECT_FALSE(std::isfinite(PerigeeRadius(0, 0)));
}

TEST(SatelliteFileFormat, SplitsCrLfAndLfAndWritesHeadersInOrder) {
  const auto lines = SplitLines("a\r\nb\n\nc");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "a");
  EXPECT_EQ(lines[1], "b");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "c");
  EXPECT_TRUE(SplitLines("").empty());

  // Headers in a wrong order, repeated, and a stray line: rewritten as Name, mName, Mag with the last of each,
  // the stray line kept after the sets.
  const std::string l1a = Line1(7530, 26, 200.5), l1b = Line1(7530, 26, 100.5);
  const std::string text = "Mag = 1.00\nmName = OLD\nName = AO-07\nmName = NEW\nstray\n" + l1a + "\n" + LeoLine2(7530) +
                           "\n" + l1b + "\n" + LeoLine2(7530) + "\n" + Line1(7530, 26, 50.0);
  const SatelliteFile file = ParseSatelliteFile(text);
  ASSERT_EQ(file.sets.size(), 2u);  // the final line 1 without its line 2 is not a set, but a line kept last
  EXPECT_DOUBLE_EQ(file.sets[1].epochKey, 2026100.5);
  EXPECT_EQ(SatelliteFileText(file), CrLf({"Name = AO-07", "mName = NEW", "Mag = 1.00", l1a, LeoLine2(7530), l1b,
                                           LeoLine2(7530), "stray", Line1(7530, 26, 50.0)}));

  // Files joined one after another: a byte-order mark opening a line belongs to no line, so the set after
  // it is read and a rewrite is stable (found by the satellite-file fuzzer: a mark kept as a stray line
  // became the rewritten file's start and was dropped by the next reading).
  const std::string bom = "\xEF\xBB\xBF";
  const SatelliteFile joined = ParseSatelliteFile("\n" + bom + "\n*\n" + bom + l1a + "\n" + LeoLine2(7530) + "\n");
  ASSERT_EQ(joined.sets.size(), 1u);
  EXPECT_EQ(joined.sets[0].line1, l1a);
  EXPECT_EQ(SatelliteFileText(joined), CrLf({l1a, LeoLine2(7530), "*"}));
}

TEST(SatelliteFileFormat, FailedRewriteLeavesTheOldFileWhole) {
  TempDir dir;
  const auto path = dir.path() / "07530.tle";
  WriteFile(path, "old content\r\n");
  {
    // A full disk: the temporary file cannot take the new bytes, and the old file is never touched.
    testing_support::FileSizeLimit full(4);
    const WriteResult failed = WriteFileAtomically(path.string(), "new content\r\n");
    EXPECT_FALSE(failed);
    EXPECT_EQ(failed.reason, std::generic_category().message(EFBIG));
  }
  EXPECT_EQ(ReadFile(path), "old content\r\n");
  EXPECT_TRUE(WriteFileAtomically(path.string(), "new content\r\n"));
  EXPECT_EQ(ReadFile(path), "new content\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);  // no temporary file left
}

TEST(DatabasePaths, NameFilesByAtLeastFiveDigitsAndListOnlyTleFiles) {
  TempDir dir;
  const std::filesystem::path tle = dir.path() / "TLE";
  EXPECT_EQ(std::filesystem::path(SatelliteFilePath(dir.appDir(), 7530)), tle / "07530.tle");
  EXPECT_EQ(std::filesystem::path(SatelliteFilePath(dir.appDir(), 100001)), tle / "100001.tle");
  WriteFile(tle / "25544.tle", "");
  WriteFile(tle / "100001.tle", "");
  WriteFile(tle / "00005.tle", "");
  WriteFile(tle / "00006.tle.tmp", "");
  WriteFile(tle / "notes.txt", "");
  const auto files = ListDatabaseFiles(dir.appDir());
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(std::filesystem::path(files[0]).filename(), "00005.tle");
  EXPECT_EQ(std::filesystem::path(files[1]).filename(), "25544.tle");
  EXPECT_EQ(std::filesystem::path(files[2]).filename(), "100001.tle");
}

class BestSet : public ::testing::Test {
protected:
  // Sets at days 215, 211, 209 and 207 of 2026, newest first, with headers.
  void SetUp() override {
    for (double day : {215.25, 211.25, 209.25, 207.25}) lines_.insert(lines_.end(), {Line1(25544, 26, day), LeoLine2(25544)});
  }
  TleRecord Read(const std::vector<std::string>& headers, double mjd, bool* ok = nullptr) {
    std::vector<std::string> all = headers;
    all.insert(all.end(), lines_.begin(), lines_.end());
    WriteFile(path_, CrLf(all));
    TleRecord r;
    const bool read = ReadBestSet(path_.string(), mjd, r);
    if (ok) *ok = read;
    return r;
  }
  static double Day(double day) { return MjdFromDate(2026, 1, 0, 0) + day; }

  TempDir dir_;
  std::filesystem::path path_ = dir_.path() / "25544.tle";
  std::vector<std::string> lines_;
};

TEST_F(BestSet, TakesTheNearestEpochWithItsAge) {
  TleRecord r = Read({}, Day(220.25));
  EXPECT_NEAR(r.ageDays, 5.0, 1e-9);  // the newest set, five days older than the time
  EXPECT_NEAR(r.epochMjd, Day(215.25), 1e-9);
  EXPECT_DOUBLE_EQ(r.meanMotion, 15.49383195);
  r = Read({}, Day(210.0));
  EXPECT_NEAR(r.epochMjd, Day(209.25), 1e-9);
  EXPECT_NEAR(r.ageDays, 0.75, 1e-9);
  r = Read({}, Day(100.0));  // older than every set: the oldest one
  EXPECT_NEAR(r.epochMjd, Day(207.25), 1e-9);
  EXPECT_NEAR(r.ageDays, 107.25, 1e-9);
  // A cut-off file ending in a line 1 nearer the time: that half set is no candidate, the last whole one is.
  lines_.push_back(Line1(25544, 26, 200.25));
  r = Read({}, Day(200.0));
  EXPECT_NEAR(r.epochMjd, Day(207.25), 1e-9);
  EXPECT_NEAR(r.ageDays, 7.25, 1e-9);
  EXPECT_DOUBLE_EQ(r.meanMotion, 15.49383195);
}

TEST_F(BestSet, ReadsHeadersAndReportsMissingFiles) {
  TleRecord r = Read({"Name = ISS (ZARYA)          ", "mName = ISS", "Mag = -1.30"}, Day(215.25));
  EXPECT_EQ(r.name, "ISS (ZARYA)          ");
  EXPECT_EQ(r.mName, "ISS");
  EXPECT_FLOAT_EQ(r.standardMagnitude, -1.3f);
  EXPECT_EQ(r.catalogNumber, 25544);
  EXPECT_EQ(Read({}, Day(215.25)).standardMagnitude, 99.0f);

  bool ok = true;
  lines_.clear();
  r = Read({"mName = EMPTY"}, Day(215.25), &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(r.ageDays, 10000.0);
  EXPECT_EQ(r.meanMotion, 0.0);
  EXPECT_FALSE(ReadBestSet((dir_.path() / "99999.tle").string(), Day(1), r));
}
