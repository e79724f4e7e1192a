// Names from a satellite situation report and names with magnitudes from a fixed-column list, in both
// orders, with their effect on the header lines and the element sets of the database files.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "base/calendar.h"
#include "base/numbers.h"
#include "satdb/satdb.h"
#include "satdb_test_support.h"
#include "test_paths.h"

using namespace satdb_testing;
using testing_support::ReadFile;
using testing_support::SharedDataDir;
using testing_support::TempDir;
using testing_support::TestDataDir;
using testing_support::WriteFile;

namespace {

// Line A of a report record: designator in columns 1-9, catalogue number right-aligned in 17-21.
std::string SsrLineA(const char* designator, int number) {
  char buffer[100];
  std::snprintf(buffer, sizeof buffer, "%-16s%5d   CIS        87.2    72.6      142        125     N/A", designator,
                number);
  return buffer;
}

// Line B of a report record: the name in columns 1-22.
std::string SsrLineB(const char* name) {
  char buffer[100];
  std::snprintf(buffer, sizeof buffer, "%-22s                 Launched (09/14/97)", name);
  return buffer;
}

std::vector<std::string> SsrHead() {
  return {"Satellite Situation Report",
          "-------------------------------------------------------------------------------",
          " INT-ID/Name  CATALOG#  SOURCE   PERIOD    INCL   APOGEE    PERIGEE         RCS",
          "-------------------------------------------------------------------------------"};
}

// A names-and-magnitudes line: number 1-5, name 7-20, sizes, magnitude right-aligned in 38-41.
std::string ListLine(int number, const char* name, const char* magnitude) {
  char buffer[100];
  std::snprintf(buffer, sizeof buffer, "%05d %-14s   0.2  0.0  0.0 %4s v 0.11", number, name, magnitude);
  return buffer;
}

class NamesImport : public ::testing::Test {
protected:
  void SetUp() override {
    for (int n : {5, 11, 25544}) {
      sets_[n] = {Line1(n, 26, 100.5), LeoLine2(n), Line1(n, 26, 90.5), LeoLine2(n)};
      WriteFile(SatelliteFilePath(dir_.appDir(), n), CrLf(Concat({"mName = TLE NAME", "Mag = 5.00"}, sets_[n])));
    }
  }
  static std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
  std::string Input(const std::string& bytes) {
    const auto path = dir_.path() / "list.txt";
    WriteFile(path, bytes);
    return path.string();
  }
  bool Ssr(const std::vector<std::string>& lines) { return ImportSsr(Input(CrLf(lines)), dir_.appDir(), task_).ok; }
  bool Mags(const std::vector<std::string>& lines) {
    return ImportMagnitudes(Input(CrLf(lines)), dir_.appDir(), task_).ok;
  }
  std::string Db(int number) { return ReadFile(SatelliteFilePath(dir_.appDir(), number)); }

  TempDir dir_;
  ScriptedTask task_;
  std::map<int, std::vector<std::string>> sets_;
};

}  // namespace

TEST_F(NamesImport, SsrNameReplacesEveryHeaderAndKeepsTheSets) {
  std::vector<std::string> report = SsrHead();
  report.insert(report.end(), {SsrLineA("1958-002B", 5), SsrLineB("VANGUARD 1"), SsrLineA("1997-051H", 24951),
                               SsrLineB("SL-12 R/B"), "", "Other text",
                               // a second block: only its header starts reading again
                               SsrLineA("1959-001A", 11), SsrLineB("NOT READ")});
  const std::vector<std::string> head = SsrHead();
  report.insert(report.end(), head.begin(), head.end());
  report.insert(report.end(), {SsrLineA("1998-067A", 25544), SsrLineB("ISS (ZARYA)")});
  ASSERT_TRUE(Ssr(report));
  EXPECT_EQ(Db(5), CrLf(Concat({"Name = VANGUARD 1            "}, sets_[5])));
  EXPECT_EQ(Db(25544), CrLf(Concat({"Name = ISS (ZARYA)           "}, sets_[25544])));
  EXPECT_EQ(Db(11), CrLf(Concat({"mName = TLE NAME", "Mag = 5.00"}, sets_[11])));
  EXPECT_FALSE(std::filesystem::exists(SatelliteFilePath(dir_.appDir(), 24951)));  // never creates files

  // A report cut off inside a record or a table head is a read error, as is a missing report.
  EXPECT_FALSE(Ssr({"Satellite Situation Report", "----"}));
  EXPECT_FALSE(Ssr(Concat(SsrHead(), {SsrLineA("1958-002B", 5)})));
  EXPECT_FALSE(ImportSsr((dir_.path() / "none.txt").string(), dir_.appDir(), task_));
}

TEST_F(NamesImport, ListSetsMNameAndMagnitudeAndKeepsName) {
  ASSERT_TRUE(Ssr(Concat(SsrHead(), {SsrLineA("1958-002B", 5), SsrLineB("VANGUARD 1")})));
  const std::string exactly40 = ListLine(11, "Vanguard 2", "9.0").substr(0, 40);
  ASSERT_TRUE(Mags({ListLine(5, "Vanguard 1", "11.0"), ListLine(11, "Vanguard 2", "-0.5"), exactly40,
                    " 0012 Vanguard 2 r     1.2  0.5  0.0  8.0 v 0.53", ListLine(24951, "SL-12 R/B", "6.0")}));
  // Name from the report first, then the list's name (columns 7-21 as they stand) and magnitude.
  EXPECT_EQ(Db(5), CrLf(Concat({"Name = VANGUARD 1            ", "mName = Vanguard 1     ", "Mag = 11.00"}, sets_[5])));
  // No Name line: no empty first line.
  EXPECT_EQ(Db(11), CrLf(Concat({"mName = Vanguard 2     ", "Mag = -0.50"}, sets_[11])));

  // Twice, with new values: still one mName and one Mag line, with the latest values.
  ASSERT_TRUE(Mags({ListLine(11, "Vanguard II", "8.5")}));
  EXPECT_EQ(Db(11), CrLf(Concat({"mName = Vanguard II    ", "Mag = 8.50"}, sets_[11])));

  // The report afterwards drops mName and Mag again.
  ASSERT_TRUE(Ssr(Concat(SsrHead(), {SsrLineA("1959-001A", 11), SsrLineB("VANGUARD 2")})));
  EXPECT_EQ(Db(11), CrLf(Concat({"Name = VANGUARD 2            "}, sets_[11])));
}

TEST_F(NamesImport, BlankMagnitudeKeepsTheStoredOne) {
  // Some list lines carry a size value but no magnitude; that is not a magnitude of 0.
  std::string line = "25544 ISS";
  line.resize(41, ' ');
  ASSERT_TRUE(Mags({line + "12"}));
  EXPECT_EQ(Db(25544), CrLf(Concat({"mName = ISS            ", "Mag = 5.00"}, sets_[25544])));
}

TEST_F(NamesImport, CountsRewritesEvery200AndStopsOnCancel) {
  std::vector<std::string> list;
  for (int n = 1000; n < 1450; ++n) {
    WriteFile(SatelliteFilePath(dir_.appDir(), n), CrLf({Line1(n, 26, 1.0), LeoLine2(n)}));
    list.push_back(ListLine(n, "Object", "7.0"));
  }
  list.push_back(ListLine(99999, "No file", "7.0"));
  ASSERT_TRUE(Mags(list));
  EXPECT_EQ(task_.labels, (std::vector<std::string>{"200", "400"}));

  task_.questions = 0;
  task_.cancelAfterQuestions = 10;
  list.assign({ListLine(5, "First", "1.0")});
  for (int n = 1000; n < 1450; ++n) list.push_back(ListLine(n, "Renamed", "7.0"));
  ASSERT_TRUE(Mags(list));  // a cancelled import still succeeds
  EXPECT_NE(Db(5).find("mName = First"), std::string::npos);
  EXPECT_NE(Db(1008).find("mName = Renamed"), std::string::npos);
  EXPECT_EQ(Db(1009).find("mName = Renamed"), std::string::npos);
}

TEST_F(NamesImport, FailedRewriteKeepsTheFileAndReportsFailure) {
  const std::string before = Db(5);
  {
    testing_support::FileSizeLimit full(100);  // the rewritten file is longer: writing it fails
    const NamesImportResult r = ImportMagnitudes(Input(CrLf({ListLine(5, "Vanguard 1", "11.0")})), dir_.appDir(), task_);
    EXPECT_FALSE(r);
    EXPECT_NE(r.message.find(SatelliteFilePath(dir_.appDir(), 5) + ": " + std::generic_category().message(EFBIG)),
              std::string::npos)
        << r.message;
  }
  EXPECT_EQ(Db(5), before);
}

TEST_F(NamesImport, ReadsTheRealNamesList) {
  const auto list = SharedDataDir() / "names" / "mcnames_mccants_2020-04.txt";
  ORVIA_REQUIRE_SHARED_FILE(list);
  ASSERT_TRUE(ImportMagnitudes(list.string(), dir_.appDir(), task_));
  // "00005 Vanguard 1       0.2  0.0  0.0 11.0 v 0.11" and "00011 Vanguard 2       0.5  0.0  0.0  9.0 v 0.39".
  EXPECT_EQ(Db(5), CrLf(Concat({"mName = Vanguard 1     ", "Mag = 11.00"}, sets_[5])));
  EXPECT_EQ(Db(11), CrLf(Concat({"mName = Vanguard 2     ", "Mag = 9.00"}, sets_[11])));
  EXPECT_NE(Db(25544).find("Mag = "), std::string::npos);
}

TEST_F(NamesImport, MagnitudeIsWrittenWithAPointWhateverTheLocale) {
  // The file is read back with "." as the only decimal point, so a "," locale must not reach it.
  SetDecimalSeparator(',');
  const bool imported = Mags({ListLine(5, "Vanguard 1", "11.5")});
  const double cutoff = CutoffKey(MjdFromDate(2026, 4, 30, 12.0), 0);
  SetDecimalSeparator('.');
  ASSERT_TRUE(imported);
  EXPECT_NE(Db(5).find("\r\nMag = 11.50\r\n"), std::string::npos);
  EXPECT_DOUBLE_EQ(cutoff, 2026120.5);
}

TEST_F(NamesImport, ListsInAnotherLayoutAreRefusedAndChangeNothing) {
  const auto hostile = TestDataDir() / "hostile";
  const std::string before5 = Db(5), before11 = Db(11);
  // A list with the designator where the names stand and sizes where the magnitudes stand.
  const std::string other = (hostile / "vislist_other_layout.txt").string();
  const NamesImportResult list = ImportMagnitudes(other, dir_.appDir(), task_);
  EXPECT_FALSE(list);
  EXPECT_EQ(list.message.rfind("Файл " + other + " не похож на список имён и звёздных величин", 0), 0u) << list.message;
  // A magnitude list given as a situation report.
  const std::string names = (hostile / "not_ssr.txt").string();
  const NamesImportResult ssr = ImportSsr(names, dir_.appDir(), task_);
  EXPECT_FALSE(ssr);
  EXPECT_EQ(ssr.message.rfind("Файл " + names + " не похож на ssr-файл", 0), 0u) << ssr.message;
  EXPECT_EQ(Db(5), before5);
  EXPECT_EQ(Db(11), before11);
  // The same list is what the magnitude import takes.
  EXPECT_TRUE(ImportMagnitudes(names, dir_.appDir(), task_));
  EXPECT_NE(Db(5).find("mName = Vanguard 1     \r\nMag = 11.00\r\n"), std::string::npos) << Db(5);
}
