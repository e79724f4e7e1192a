#include "base/ini.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "test_paths.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(IniGetValue, MatchesSectionsAndKeysWithoutCaseAndSurroundingBlanks) {
  const IniDocument doc = ParseIni(
      "Orphan=1\r\n"
      "  [ user INFO ]  \r\n"
      "Size y=480\r\n"
      "  DecUser \t=  -12.5  \n"
      "; a comment line\n"
      "Name=first\n"
      "name=second\n"
      "[Other]\n"
      "Orphan=2\n"
      "[User Info]\n"
      "Late=from a repeated section\n");
  EXPECT_EQ(IniGetValue(doc, "User Info", "Size Y", "?"), "480");
  EXPECT_EQ(IniGetValue(doc, "User Info", "DecUser ", "?"), "-12.5");
  // The first matching key and the first matching section win.
  EXPECT_EQ(IniGetValue(doc, "user info", "NAME", "?"), "first");
  EXPECT_EQ(IniGetValue(doc, "User Info", "Late", "?"), "?");
  // Keys belong to their own section only; a key before any section belongs to none.
  EXPECT_EQ(IniGetValue(doc, "User Info", "Orphan", "?"), "?");
  EXPECT_EQ(IniGetValue(doc, "Other", "Orphan", "?"), "2");
  EXPECT_EQ(IniGetValue(doc, "Missing", "Size y", "dflt"), "dflt");
  // A default too long for a short string's inline buffer comes back whole for a missing section or key
  // (it was once read from a freed copy: found by the information-file fuzzer).
  const std::string longDefault = "00:00:00.00 and a default longer than an inline buffer";
  EXPECT_EQ(IniGetValue(doc, "Missing", "UT", longDefault), longDefault);
  EXPECT_EQ(IniGetValue(doc, "User Info", "UT", longDefault), longDefault);
}

TEST(IniGetValue, CutsValuesTo254CharactersAndReadsEmptyValues) {
  const std::string longValue(300, 'x');
  const IniDocument doc = ParseIni("[S]\nLong=" + longValue + "\nEmpty=\nEquals=a=b\nDoubled=No\r\r\n");
  EXPECT_EQ(IniGetValue(doc, "S", "Long", ""), std::string(254, 'x'));
  EXPECT_EQ(IniGetValue(doc, "S", "Empty", "dflt"), "");
  EXPECT_EQ(IniGetValue(doc, "S", "Equals", ""), "a=b");
  // A doubled CR before the line feed is no part of the value (it once read as "No\r", was written back
  // as "No " and read as "No" only at the second rewrite: found by the information-file fuzzer).
  EXPECT_EQ(IniGetValue(doc, "S", "Doubled", ""), "No");
}

TEST(IniGetValue, IgnoresAByteOrderMarkBeforeTheFirstSection) {
  const IniDocument doc = ParseIni("\xEF\xBB\xBF[User Info]\r\nDate=24.04.2012\r\n");
  EXPECT_EQ(IniGetValue(doc, "User Info", "Date", ""), "24.04.2012");
  EXPECT_EQ(IniText(doc), "\xEF\xBB\xBF[User Info]\r\nDate=24.04.2012\r\n");
}

TEST(IniSetValue, ReplacesInPlaceAppendsToTheSectionAndKeepsEveryOtherLine) {
  IniDocument doc = ParseIni(
      "; written by hand\n"
      "[User Info]\n"
      "  size X = 100\n"
      "Unknown=kept\n"
      "\n"
      "[Program Info]\n"
      "RA=1\n");
  IniSetValue(doc, "USER INFO", "Size X", " 640");
  IniSetValue(doc, "User Info", "Size y", " 480");
  IniSetValue(doc, "Program Info", "RA", " 2");
  IniSetValue(doc, "Satellite Info", "Name", "ISS");
  IniSetValue(doc, "Satellite Info", "Norad", " 25544");
  EXPECT_EQ(IniText(doc),
            "; written by hand\r\n"
            "[User Info]\r\n"
            "  size X = 640\r\n"
            "Unknown=kept\r\n"
            "Size y= 480\r\n"
            "\r\n"
            "[Program Info]\r\n"
            "RA= 2\r\n"
            "[Satellite Info]\r\n"
            "Name=ISS\r\n"
            "Norad= 25544\r\n");
  EXPECT_EQ(IniGetValue(doc, "User Info", "Size X", ""), "640");
  EXPECT_EQ(IniGetValue(doc, "User Info", "Size Y", ""), "480");
}

TEST(IniSetValue, TurnsLineBreaksInAValueIntoBlanks) {
  IniDocument doc;
  IniSetValue(doc, "Satellite Info", "Name", "ISS\r\n(ZARYA)\nX");
  EXPECT_EQ(IniText(doc), "[Satellite Info]\r\nName=ISS  (ZARYA) X\r\n");
  // A second value for the same key still leaves exactly one line.
  IniSetValue(doc, "Satellite Info", "name", "A\rB");
  EXPECT_EQ(IniText(doc), "[Satellite Info]\r\nName=A B\r\n");
}

TEST(IniText, RewritesLfAndCrLfFilesWithCrLfAndKeepsEmptyLines) {
  EXPECT_EQ(IniText(ParseIni("a\n\nb\r\nc")), "a\r\n\r\nb\r\nc\r\n");
  EXPECT_EQ(IniText(ParseIni("")), "");
}

TEST(WriteIniFile, ReplacesTheFileWholeAndLeavesNoTemporaryFile) {
  TempDir dir;
  const std::filesystem::path path = dir.path() / "Info" / "frame.txt";
  IniDocument doc = ReadIniFile(path.string());
  EXPECT_TRUE(doc.lines.empty());
  IniSetValue(doc, "User Info", "Date", "24.04.2012");
  ASSERT_TRUE(WriteIniFile(path.string(), doc));  // creates the missing folder
  EXPECT_EQ(ReadFile(path), "[User Info]\r\nDate=24.04.2012\r\n");

  IniDocument again = ReadIniFile(path.string());
  IniSetValue(again, "User Info", "Date", "25.04.2012");
  ASSERT_TRUE(WriteIniFile(path.string(), again));
  EXPECT_EQ(ReadFile(path), "[User Info]\r\nDate=25.04.2012\r\n");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(path.parent_path())) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(WriteIniFile, ReportsFailureAndKeepsTheTargetWhenItCannotBeReplaced) {
  TempDir dir;
  // A folder stands where the file should go: nothing can be renamed over it.
  const std::filesystem::path blocked = dir.path() / "frame.txt";
  std::filesystem::create_directories(blocked / "inside");
  IniDocument doc;
  IniSetValue(doc, "S", "k", "v");
  EXPECT_FALSE(WriteIniFile(blocked.string(), doc));
  EXPECT_TRUE(std::filesystem::is_directory(blocked / "inside"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "frame.txt.tmp"));
  // A file stands where the folder should be.
  WriteFile(dir.path() / "plain", "x");
  EXPECT_FALSE(WriteIniFile((dir.path() / "plain" / "frame.txt").string(), doc));
  EXPECT_EQ(ReadFile(dir.path() / "plain"), "x");
  EXPECT_FALSE(WriteIniFile("", doc));
}

}  // namespace
