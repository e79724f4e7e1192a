// Database cleanup: the cutoff key, deletion by perigee radius and age, pruning of old sets, cancel.

#include <gtest/gtest.h>

#include <filesystem>

#include "base/calendar.h"
#include "satdb/satdb.h"
#include "satdb_test_support.h"
#include "test_paths.h"

using namespace satdb_testing;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TestDataDir;
using testing_support::WriteFile;

namespace {

// 2026-08-08 12:00 UT.
const double kNow = MjdFromDate(2026, 8, 8, 12.0);

class Cleanup : public ::testing::Test {
protected:
  // A file with sets the given numbers of days before now, newest first, on the given orbit.
  std::vector<std::string> Store(int number, const std::vector<double>& agesDays, const std::string& line2,
                                 std::vector<std::string> headers = {}) {
    for (double age : agesDays) headers.insert(headers.end(), {Line1AtMjd(number, kNow - age), line2});
    WriteFile(SatelliteFilePath(dir_.appDir(), number), CrLf(headers));
    return headers;
  }
  bool Exists(int number) { return std::filesystem::exists(SatelliteFilePath(dir_.appDir(), number)); }
  std::string Db(int number) { return ReadFile(SatelliteFilePath(dir_.appDir(), number)); }
  std::string WriteInput(const std::string& name, const std::string& bytes) {
    WriteFile(dir_.path() / "in" / name, bytes);
    return (dir_.path() / "in" / name).string();
  }
  CleanupResult Clean(std::optional<double> perigee, std::optional<double> age) {
    return CleanDatabase(dir_.appDir(), {perigee, age}, kNow, task_);
  }

  TempDir dir_;
  ScriptedTask task_;
};

}  // namespace

TEST(CutoffKey, IsTheDayOfYearOfNowMinusTheAgeOnTheEpochScale) {
  // 100 days before 2026-08-08 12h is 2026-04-30 12h, day 120.5 of 2026.
  EXPECT_DOUBLE_EQ(CutoffKey(kNow, 100), 2026120.5);
  // Into the previous year: 2025-12-31 0h is day 365.0 of 2025; and 1999-07-02 6h is day 183.25.
  EXPECT_DOUBLE_EQ(CutoffKey(MjdFromDate(2026, 1, 1, 0), 1), 2025365.0);
  EXPECT_DOUBLE_EQ(CutoffKey(MjdFromDate(1999, 7, 2, 6), 0), 1999183.25);
  // Rounded to 0.01 day.
  EXPECT_DOUBLE_EQ(CutoffKey(MjdFromDate(2026, 1, 10, 0) + 0.123456, 0), 2026010.12);
  // Ages reaching before 1900 or beyond 2099 keep or prune everything.
  EXPECT_DOUBLE_EQ(CutoffKey(kNow, 60000), 0.0);
  EXPECT_GT(CutoffKey(kNow, -40000), EpochKey(Line1(1, 60, 366.9)));
}

TEST_F(Cleanup, DefaultsDeleteHighOrbitsAndStaleSatellitesAndPruneOldSets) {
  Store(41866, {1}, GeoLine2(1));
  Store(1001, {150, 300}, LeoLine2(1));
  const auto kept = Store(25544, {10, 50, 200}, LeoLine2(1), {"Name = ISS", "mName = ISS (ZARYA)", "Mag = -1.30"});
  const CleanupResult r = Clean(20000, 100);
  EXPECT_FALSE(Exists(41866));
  EXPECT_FALSE(Exists(1001));
  EXPECT_EQ(Db(25544), CrLf(std::vector<std::string>(kept.begin(), kept.end() - 2)));
  EXPECT_EQ(r.filesDeleted, 2);
  EXPECT_EQ(r.filesPruned, 1);
  EXPECT_EQ(r.setsRemoved, 1);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(task_.texts.size(), 3u);
  EXPECT_EQ(std::filesystem::path(task_.texts[0]).filename(), "01001.tle");
}

TEST_F(Cleanup, OnlyTheChosenRulesApply) {
  Store(41866, {1}, GeoLine2(1));
  Store(25544, {10, 200}, LeoLine2(1));
  Clean(std::nullopt, 100);  // age only: the geostationary file stays
  EXPECT_TRUE(Exists(41866));
  EXPECT_EQ(ParseSatelliteFile(Db(25544)).sets.size(), 1u);

  const auto all = Store(25544, {10, 200}, LeoLine2(1));
  Clean(20000, std::nullopt);  // perigee only: no set is pruned
  EXPECT_FALSE(Exists(41866));
  EXPECT_EQ(Db(25544), CrLf(all));
}

TEST_F(Cleanup, SetExactlyAtTheCutoffIsRemoved) {
  // Sets keyed exactly at the cutoff 2026120.50 and 0.01 day after it; the newest is recent.
  const std::vector<std::string> lines = {Line1(7, 26, 200.0), LeoLine2(7),           Line1(7, 26, 120.51),
                                          LeoLine2(7),           Line1(7, 26, 120.5), LeoLine2(7)};
  WriteFile(SatelliteFilePath(dir_.appDir(), 7), CrLf(lines));
  Clean(std::nullopt, 100);
  EXPECT_EQ(Db(7), CrLf({lines[0], lines[1], lines[2], lines[3]}));
}

TEST_F(Cleanup, FileWithNoSetLeftIsDeleted) {
  // A set exactly 100 days old passes the age test (not older than the limit) but sits at the cutoff,
  // so pruning removes it and with it the file.
  Store(9, {100.0}, LeoLine2(7));
  Store(10, {99.0}, LeoLine2(7));
  Clean(std::nullopt, 100);
  EXPECT_FALSE(Exists(9));
  EXPECT_TRUE(Exists(10));
}

TEST_F(Cleanup, EmptyDatabaseSaysSoAndCancelStopsBeforeTheNextFile) {
  EXPECT_EQ(Clean(20000, 100).messages, (std::vector<std::string>{"Нет TLE."}));
  Store(1, {500}, LeoLine2(7));
  Store(2, {500}, LeoLine2(7));
  Store(3, {500}, LeoLine2(7));
  task_.cancelAfterQuestions = 1;
  const CleanupResult r = Clean(20000, 100);
  EXPECT_TRUE(r.cancelled);
  EXPECT_FALSE(Exists(1));
  EXPECT_TRUE(Exists(2));
  EXPECT_TRUE(Exists(3));
}

TEST_F(Cleanup, FailedPruneLeavesTheFileWhole) {
  const auto all = Store(25544, {10, 200}, LeoLine2(7));
  CleanupResult r;
  {
    testing_support::FileSizeLimit full(100);  // the pruned file is longer: its rewrite fails
    r = Clean(20000, 100);
  }
  EXPECT_EQ(Db(25544), CrLf(all));
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0], "Не удалось изменить файлов базы данных: 1 (" + std::generic_category().message(EFBIG) +
                               "). Эти файлы оставлены без изменений.");
}

TEST_F(Cleanup, FilesThatAreNotSatelliteFilesStayAndRewritesKeepUnrecognisedLines) {
  const auto hostile = TestDataDir() / "hostile";
  const std::string notes = ReadFile(hostile / "notes.tle");
  const std::string annotated = ReadFile(hostile / "satellite_with_notes.tle");  // ISS, epoch 2026-07-28
  const std::filesystem::path db = DatabaseDir(dir_.appDir());
  WriteFile(db / "notes.tle", notes);
  WriteFile(db / "07530.tle", notes);  // a user's file under a satellite's name
  WriteFile(db / "25544.tle", annotated);
  Store(5, {400}, LeoLine2(7));  // an ordinary satellite without a recent set
  // Twelve days keep the ISS set of 11 days ago; satellite 5 goes; the two user files stay as they are.
  CleanupResult r = Clean(std::nullopt, 12);
  EXPECT_FALSE(Exists(5));
  EXPECT_EQ(ReadFile(db / "notes.tle"), notes);
  EXPECT_EQ(ReadFile(db / "07530.tle"), notes);
  EXPECT_EQ(ReadFile(db / "25544.tle"), annotated);
  ASSERT_EQ(r.foreignFiles.size(), 2u);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_NE(r.messages[0].find((db / "notes.tle").string()), std::string::npos) << r.messages[0];

  // An import merges into the annotated file and keeps the note after the sets; the user's file under
  // a satellite's name takes nothing and is listed.
  TleImportResult imported = ImportTleFiles({(TestDataDir() / "tle" / "iss_four_epochs.txt").string(),
                                             WriteInput("7530.txt", CrLf({Line1(7530, 26, 100.5), LeoLine2(7530)}))},
                                            -1, dir_.appDir(), task_);
  EXPECT_EQ(imported.setsMerged, 3);
  EXPECT_EQ(imported.setsForeignFile, 1);
  EXPECT_EQ(imported.foreignFiles, std::vector<std::string>{(db / "07530.tle").string()});
  EXPECT_EQ(ReadFile(db / "07530.tle"), notes);
  const std::string merged = Db(25544);
  EXPECT_EQ(ParseSatelliteFile(merged).sets.size(), 4u);
  const std::string note = "# сверено с журналом 25.07\r\n";
  EXPECT_EQ(merged.substr(merged.size() - note.size()), note);
}
