// Orbit Mean-Elements Messages: real sets written as CSV, XML and JSON messages give the same database
// as their three-line file; Alpha-5 and too-large numbers; messages with faults merge nothing.

#include "satdb/omm.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "satdb/satdb.h"
#include "satdb_test_support.h"
#include "test_paths.h"

namespace {

using satdb_testing::ScriptedTask;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TestDataDir;
using testing_support::WriteFile;

// Every database file of an application directory: name -> bytes.
std::vector<std::pair<std::string, std::string>> Database(const TempDir& dir) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const std::string& path : ListDatabaseFiles(dir.appDir()))
    files.emplace_back(std::filesystem::path(path).filename().string(), ReadFile(path));
  return files;
}

TleImportResult Import(const TempDir& dir, const std::filesystem::path& input) {
  ScriptedTask task;
  return ImportTleFiles({input.string()}, -1, dir.appDir(), task);
}

TEST(OmmTest, MessagesInEveryFormGiveTheDatabaseOfTheirTwoLineSets) {
  const std::filesystem::path data = TestDataDir() / "omm";
  TempDir reference;
  const TleImportResult fromTle = Import(reference, data / "three_sets.tle");
  ASSERT_EQ(fromTle.filesCreated, 3);
  const auto expected = Database(reference);
  ASSERT_EQ(expected.size(), 3u);
  for (const char* name : {"three_sets.csv", "three_sets.xml", "three_sets.json"}) {
    SCOPED_TRACE(name);
    // The form is told by the content, not by the name.
    TempDir dir;
    WriteFile(dir.path() / "elements.txt", ReadFile(data / name));
    const TleImportResult result = Import(dir, dir.path() / "elements.txt");
    EXPECT_TRUE(result.messages.empty());
    EXPECT_EQ(result.filesCreated, 3);
    EXPECT_EQ(Database(dir), expected);
    // Importing the two-line file over it finds every epoch already stored.
    EXPECT_EQ(Import(dir, data / "three_sets.tle").setsDuplicate, 3);
  }
}

TEST(OmmTest, NumbersBeyondFiveDigitsAreStoredAsAlphaFiveOrSkippedAndCounted) {
  TempDir dir;
  const std::string record =
      R"({"OBJECT_NAME":"NEW OBJECT","OBJECT_ID":"2026-150B","EPOCH":"2026-07-31T23:59:59.9999999",)"
      R"("MEAN_MOTION":15.1,"ECCENTRICITY":0.00012,"INCLINATION":97.5,"RA_OF_ASC_NODE":10,)"
      R"("ARG_OF_PERICENTER":90,"MEAN_ANOMALY":270,"BSTAR":-1.5e-5,"MEAN_MOTION_DOT":-1.2e-6,"NORAD_CAT_ID":)";
  WriteFile(dir.path() / "new.json", "[" + record + "123456}," + record + "340000}]");
  const TleImportResult result = Import(dir, dir.path() / "new.json");
  EXPECT_EQ(result.filesCreated, 1);
  EXPECT_EQ(result.setsNumberTooLarge, 1);
  ASSERT_EQ(result.messages.size(), 1u);
  EXPECT_NE(result.messages[0].find("339999"), std::string::npos);

  const SatelliteFile file = ParseSatelliteFile(ReadFile(SatelliteFilePath(dir.appDir(), 123456)));
  ASSERT_EQ(file.sets.size(), 1u);
  const std::string& line1 = file.sets[0].line1;
  const std::string& line2 = file.sets[0].line2;
  // The epoch rounds up into the next day; negative values keep their signs.
  EXPECT_EQ(line1, "1 C3456U 26150B   26213.00000000 -.00000120  00000+0 -15000-4 0  9990");
  EXPECT_EQ(line2, "2 C3456  97.5000  10.0000 0001200  90.0000 270.0000 15.10000000    00");
  EXPECT_EQ(CatalogNumberOfLine1(line1), 123456);
  TleRecord elements;
  ASSERT_TRUE(ParseElementSet(line1, line2, elements));
  EXPECT_NEAR(elements.bstar, -1.5e-5, 1e-12);
  EXPECT_EQ(file.mNameLine.value_or(""), "mName = NEW OBJECT");
}

TEST(OmmTest, MessagesWithUnknownOrMissingKeywordsMergeNothing) {
  const std::string csvHeader =
      "OBJECT_NAME,EPOCH,MEAN_MOTION,ECCENTRICITY,INCLINATION,RA_OF_ASC_NODE,"
      "ARG_OF_PERICENTER,MEAN_ANOMALY,NORAD_CAT_ID";
  const std::string csvGood = "A,2026-05-07T00:00:00,15,0.001,51,1,2,3,11111";
  const std::vector<std::pair<std::string, std::string>> faulty = {
      // BSTAR missing from the second record only: the first must not be merged either.
      {"missing.csv", csvHeader + ",BSTAR\n" + csvGood + ",0.0001\n" + csvGood + ",\n"},
      {"unknown.json", R"([{"NORAD_CAT_ID":1,"EPOCH":"2026-05-07T00:00:00","MEAN_MOTION":15,"ECCENTRICITY":0,)"
                       R"("INCLINATION":1,"RA_OF_ASC_NODE":1,"ARG_OF_PERICENTER":1,"MEAN_ANOMALY":1,"BSTAR":0,)"
                       R"("DECAYED":0}])"},
      {"theory.xml",
       "<ndm><omm><body><segment><metadata><MEAN_ELEMENT_THEORY>DSST</MEAN_ELEMENT_THEORY>"
       "</metadata><data><meanElements><EPOCH>2026-05-07T00:00:00</EPOCH><MEAN_MOTION>15"
       "</MEAN_MOTION><ECCENTRICITY>0</ECCENTRICITY><INCLINATION>1</INCLINATION><RA_OF_ASC_NODE>1"
       "</RA_OF_ASC_NODE><ARG_OF_PERICENTER>1</ARG_OF_PERICENTER><MEAN_ANOMALY>1</MEAN_ANOMALY>"
       "</meanElements><tleParameters><NORAD_CAT_ID>5</NORAD_CAT_ID><BSTAR>0</BSTAR>"
       "</tleParameters></data></segment></body></omm></ndm>"},
      {"broken.json", R"([{"NORAD_CAT_ID":1,)"},
      {"number.csv", csvHeader + ",BSTAR\n" + csvGood + ",x1\n"},
  };
  for (const auto& [name, text] : faulty) {
    SCOPED_TRACE(name);
    TempDir dir;
    WriteFile(dir.path() / name, text);
    const TleImportResult result = Import(dir, dir.path() / name);
    ASSERT_EQ(result.messages.size(), 1u);
    EXPECT_EQ(result.messages[0], "Ошибка в файле " + (dir.path() / name).string() + " . Проверьте формат.");
    EXPECT_TRUE(Database(dir).empty());
  }
  EXPECT_EQ(ElementInputFormOf("ISS (ZARYA), ZARYA\n1 25544U"), ElementInputForm::TwoLine);
}

}  // namespace
