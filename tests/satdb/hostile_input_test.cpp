// Hostile element-set input: names with line breaks, messages nested tens of thousands deep, sets whose
// fields are shifted, glued to text, of two satellites or outside their physical ranges, a missing line 2,
// and files with nothing to import. Each must be refused or skipped with its file, line and field.

#include <gtest/gtest.h>

#include <filesystem>

#include "satdb/omm.h"
#include "satdb/satdb.h"
#include "satdb_test_support.h"
#include "test_paths.h"

using namespace satdb_testing;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// The ISS set of 2026-08-08 (CelesTrak).
const std::string kIss1 = "1 25544U 98067A   26220.50000000  .00012345  00000-0  22345-3 0  9990";

// The line with columns 1-68 kept and the checksum made anew.
std::string Summed(std::string line) {
  line.resize(68);
  return line + static_cast<char>('0' + ElementLineChecksum(line));
}

// The line with columns first..(first + text size - 1) replaced, checksum made anew.
std::string WithColumns(const std::string& line, std::size_t first, const std::string& text) {
  return Summed(line.substr(0, first - 1) + text + line.substr(first - 1 + text.size()));
}

class HostileInput : public ::testing::Test {
protected:
  std::string Input(const std::string& name, const std::string& bytes) {
    WriteFile(dir_.path() / "in" / name, bytes);
    return (dir_.path() / "in" / name).string();
  }
  TleImportResult Import(const std::vector<std::string>& paths) {
    return ImportTleFiles(paths, -1, dir_.appDir(), task_);
  }
  std::string Db(int number) { return ReadFile(SatelliteFilePath(dir_.appDir(), number)); }

  TempDir dir_;
  ScriptedTask task_;
  const std::string iss1_ = Summed(kIss1);
  const std::string iss2_ = kLeoLine2;
};

TEST_F(HostileInput, LineBreaksInNamesNeverReachTheDatabase) {
  // An OMM name holding CR LF (JSON) or a line feed (XML) used to become a line of its own beginning
  // with "1", which read as a set and made the file foreign to every later import.
  const std::string fields =
      R"("OBJECT_ID":"1998-067A","EPOCH":"2026-08-08T12:00:00","MEAN_MOTION":15.49383195,"ECCENTRICITY":0.000735,)"
      R"("INCLINATION":51.6324,"RA_OF_ASC_NODE":42.7701,"ARG_OF_PERICENTER":24.6056,"MEAN_ANOMALY":335.5282,)"
      R"("NORAD_CAT_ID":25544,"BSTAR":0.00022345)";
  const std::string json = Input("iss.json", R"([{"OBJECT_NAME":"ISS\r\n1998-067A\tZARYA",)" + fields + "}]");
  TleImportResult r = Import({json});
  ASSERT_EQ(r.filesCreated, 1);
  EXPECT_EQ(Db(25544).substr(0, Db(25544).find("\r\n1 ")), "mName = ISS  1998-067A ZARYA");
  const std::string xml = Input(
      "iss.xml",
      "<ndm><omm><body><segment><metadata><OBJECT_NAME>MIR&#10;1986-017A</OBJECT_NAME><OBJECT_ID>1986-017A"
      "</OBJECT_ID></metadata><data><meanElements><EPOCH>2026-08-09T00:00:00</EPOCH><MEAN_MOTION>15.5</MEAN_MOTION>"
      "<ECCENTRICITY>0.001</ECCENTRICITY><INCLINATION>51.6</INCLINATION><RA_OF_ASC_NODE>40</RA_OF_ASC_NODE>"
      "<ARG_OF_PERICENTER>20</ARG_OF_PERICENTER><MEAN_ANOMALY>300</MEAN_ANOMALY></meanElements><tleParameters>"
      "<NORAD_CAT_ID>16609</NORAD_CAT_ID><BSTAR>0.0001</BSTAR></tleParameters></data></segment></body></omm></ndm>");
  r = Import({xml});
  ASSERT_EQ(r.filesCreated, 1);
  EXPECT_EQ(Db(16609).substr(0, 22), "mName = MIR 1986-017A\r");

  // A file damaged that way before still reads: the stray line stays a line, the sets are found, and the
  // next import merges into it instead of calling it foreign.
  const std::string damaged = "mName = ISS\r\n1998-067A\r\n" + CrLf({iss1_, iss2_});
  WriteFile(SatelliteFilePath(dir_.appDir(), 25544), damaged);
  TleRecord record;
  ASSERT_TRUE(ReadBestSet(SatelliteFilePath(dir_.appDir(), 25544), 61260.0, record));
  EXPECT_NEAR(record.ageDays, 0.5, 1e-6);  // epoch 26220.5 is MJD 61260.5
  EXPECT_DOUBLE_EQ(record.inclinationDeg, 51.6324);
  r = Import({Input("newer.txt", CrLf({WithColumns(iss1_, 19, "26221.50000000"), iss2_}))});
  EXPECT_EQ(r.setsMerged, 1);
  EXPECT_TRUE(r.foreignFiles.empty());
  EXPECT_EQ(Db(25544), CrLf({"mName = ISS", WithColumns(iss1_, 19, "26221.50000000"), iss2_, iss1_, iss2_, "1998-067A"}));
  // Stray lines beginning with "1" are written last, so a rewrite reads back the same (none of them is
  // then followed by a line beginning with "2").
  const SatelliteFile file = ParseSatelliteFile("1x\r\n" + CrLf({iss1_, iss2_}) + "2 note\r\n1y\r\n");
  EXPECT_EQ(SatelliteFileText(file), CrLf({iss1_, iss2_, "2 note", "1x", "1y"}));
  EXPECT_EQ(SatelliteFileText(ParseSatelliteFile(SatelliteFileText(file))), SatelliteFileText(file));
}

TEST_F(HostileInput, DeeplyNestedMessagesAreRefusedWithoutRecursion) {
  const int depth = 70000;
  const std::string json = Input("deep.json", std::string(depth, '[') + std::string(depth, ']'));
  std::string xml = "<ndm><omm>";
  for (int i = 0; i < depth; ++i) xml += "<a>";
  for (int i = 0; i < depth; ++i) xml += "</a>";
  xml += "</omm></ndm>";
  const std::string xmlPath = Input("deep.xml", xml);
  const TleImportResult r = Import({json, xmlPath});
  ASSERT_EQ(r.messages.size(), 2u);
  EXPECT_EQ(r.messages[0], "Ошибка в файле " + json + " . Проверьте формат.");
  EXPECT_NE(r.causes[0].find("вложенность JSON больше 64"), std::string::npos) << r.causes[0];
  EXPECT_NE(r.causes[1].find("вложенность элементов XML больше 64"), std::string::npos) << r.causes[1];
  EXPECT_EQ(r.causes[1].find("Файл " + xmlPath), 0u);
  // Nesting within the limit still reads (and is refused for what it holds, not for its depth).
  std::vector<OmmSet> sets;
  std::string cause;
  EXPECT_FALSE(ReadOmmText(std::string(10, '[') + std::string(10, ']'), ElementInputForm::OmmJson, sets, &cause));
  EXPECT_EQ(cause.find("вложенность"), std::string::npos) << cause;
}

TEST_F(HostileInput, SetsOutsideTheFormatOrTheirRangesAreSkippedNamingLineAndField) {
  struct Case {
    std::string line1, line2;
    SetFault fault;
    int faultLine;
    std::string reasonPart;
  };
  const std::string shifted = Summed(iss2_.substr(0, 7) + iss2_.substr(8));  // a blank lost: fields one column left
  const Case cases[] = {
      {iss1_, shifted, SetFault::BadField, 2, "в столбце 26 между полями"},
      {iss1_, WithColumns(iss2_, 9, " 51.6 24"), SetFault::BadField, 2, "«наклонение» = «51.6 24»"},
      {iss1_, LeoLine2(7530), SetFault::NumberMismatch, 2, "(07530) не совпадает с номером в строке 1 (25544)"},
      {iss1_, iss2_ + std::string(10000, 'x'), SetFault::TooLong, 2, "длиннее 69 знаков"},
      {WithColumns(iss1_, 19, "26400.00000000"), iss2_, SetFault::OutOfRange, 1, "«эпоха» = 26400.00000000"},
      {WithColumns(iss1_, 19, "26000.50000000"), iss2_, SetFault::OutOfRange, 1, "1..366.99999999"},
      {iss1_, WithColumns(iss2_, 9, "999.9990"), SetFault::OutOfRange, 2, "«наклонение» = 999.9990 вне пределов 0..180"},
      {iss1_, WithColumns(iss2_, 18, "360.5000"), SetFault::OutOfRange, 2, "«долгота восходящего узла»"},
      {iss1_, WithColumns(iss2_, 53, " 0.00000000"), SetFault::OutOfRange, 2, "«среднее движение»"},
      {iss1_, WithColumns(iss2_, 53, "25.00000000"), SetFault::OutOfRange, 2, "«среднее движение»"},
      // e 0.99 in a low orbit: the perigee 68 km from the Earth's centre.
      {iss1_, WithColumns(iss2_, 27, "9900000"), SetFault::OutOfRange, 2, "перигей под поверхностью Земли (радиус "
                                                                          "перигея 68 км при эксцентриситете 9900000)"},
  };
  std::vector<std::string> lines;
  for (const Case& c : cases) {
    const SetCheck check = ExamineElementSet(c.line1, c.line2);
    EXPECT_EQ(check.fault, c.fault) << c.line2;
    EXPECT_EQ(check.line, c.faultLine) << c.line2;
    EXPECT_NE(check.reason.find(c.reasonPart), std::string::npos) << check.reason;
    lines.push_back(c.line1);
    lines.push_back(c.line2);
  }
  EXPECT_EQ(ExamineElementSet(iss1_, iss2_).fault, SetFault::None);
  // Trailing blanks after column 69 are no text: such a set is stored cut to its 69 columns.
  lines.push_back(WithColumns(iss1_, 19, "26221.00000000"));
  lines.push_back(iss2_ + "   ");
  const std::string path = Input("bad.txt", CrLf(lines));
  const TleImportResult r = Import({path});
  EXPECT_EQ(r.setsBadField, 2);
  EXPECT_EQ(r.setsNumberMismatch, 1);
  EXPECT_EQ(r.setsTooLong, 1);
  EXPECT_EQ(r.setsOutOfRange, 7);
  EXPECT_EQ(r.filesCreated, 1);
  EXPECT_EQ(Db(25544), CrLf({WithColumns(iss1_, 19, "26221.00000000"), iss2_}));
  ASSERT_EQ(r.problems.size(), 11u);
  EXPECT_EQ(r.problems[0].find("Файл " + path + ", строка 2: в столбце 26"), 0u) << r.problems[0];
  EXPECT_EQ(r.problems[4].find("Файл " + path + ", строка 9: поле «эпоха»"), 0u) << r.problems[4];
  ASSERT_EQ(r.messages.size(), r.causes.size());
  EXPECT_EQ(r.messages[3], "Пропущено наборов TLE со значениями вне допустимых пределов: 7.");
  EXPECT_EQ(r.causes[3], "Первый из них: " + r.problems[4]);
}

TEST_F(HostileInput, AMissingLine2LosesOnlyItsOwnSet) {
  const std::string path =
      Input("gap.txt", CrLf({"ISS", iss1_, "VANGUARD 1", Line1(5, 26, 100.5), LeoLine2(5), Line1(11, 26, 100.5),
                             Line1(12, 26, 100.5), LeoLine2(12)}));
  const TleImportResult r = Import({path});
  EXPECT_EQ(r.filesCreated, 2);
  EXPECT_EQ(Db(5).substr(0, 20), "mName = VANGUARD 1\r\n");
  EXPECT_FALSE(Db(12).empty());
  EXPECT_EQ(r.setsNoLine2, 2);
  ASSERT_EQ(r.problems.size(), 2u);
  EXPECT_EQ(r.problems[0], "Файл " + path + ", строка 2: за строкой 1 нет строки 2.");
  EXPECT_EQ(r.problems[1], "Файл " + path + ", строка 6: за строкой 1 нет строки 2.");
}

TEST_F(HostileInput, RefusedFilesSayWhyAndWhere) {
  const std::string empty = Input("notes.txt", "Список на завтра\r\nМКС, Тяньгун\r\n");
  const std::string cut = Input("cut.txt", CrLf({iss1_, iss2_, "ISS", Line1(5, 26, 1.0)}));
  const std::string omm = Input("omm.csv", "OBJECT_NAME,EPOCH,NORAD_CAT_ID\r\nISS,2026-08-08T12:00:00,25544\r\n");
  const std::string sign = Input("sign.txt", CrLf({WithColumns(iss1_, 60, "/"), iss2_}));
  const TleImportResult r = Import({empty, cut, omm, sign});
  ASSERT_EQ(r.messages.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(r.messages[i].rfind("Ошибка в файле ", 0), 0u);
  EXPECT_EQ(r.causes[0], "Файл " + empty + ": в файле нет ни одного набора TLE (строки «1 »).");
  EXPECT_EQ(r.causes[1], "Файл " + cut + ", строка 4: за строкой 1 нет строки 2 (файл оборван).");
  EXPECT_EQ(r.causes[2], "Файл " + omm +
                             ": сообщение OMM не читается: запись 1: нет обязательного ключевого слова «MEAN_MOTION».");
  EXPECT_EQ(r.causes[3], "Файл " + sign + ", строка 1: поле «знак порядка B*» = «/»: не число.");
  EXPECT_EQ(r.problems, r.causes);
  EXPECT_FALSE(std::filesystem::exists(SatelliteFilePath(dir_.appDir(), 25544)));
}

}  // namespace
