// TLE import: new files, merging in newest-first order, duplicates, headers, the perigee limit,
// malformed input files, cancel and failed rewrites; hostile input (names with line breaks, messages
// nested tens of thousands deep, sets shifted, glued to text, of two satellites or outside their ranges,
// a missing line 2), refused or skipped with its file, line and field.

#include <gtest/gtest.h>

#include <filesystem>

#include "satdb/satdb.h"
#include "satdb_test_support.h"
#include "test_paths.h"

using namespace satdb_testing;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::TestDataDir;
using testing_support::WriteFile;

namespace {

class TleImport : public ::testing::Test {
protected:
  TleImportResult Import(const std::vector<std::string>& paths, double limit = -1) {
    return ImportTleFiles(paths, limit, dir_.appDir(), task_);
  }
  // Writes an input file into the temporary folder and returns its path.
  std::string Input(const std::string& name, const std::string& bytes) {
    WriteFile(dir_.path() / "in" / name, bytes);
    return (dir_.path() / "in" / name).string();
  }
  std::string Db(int number) { return ReadFile(SatelliteFilePath(dir_.appDir(), number)); }
  bool Exists(int number) { return std::filesystem::exists(SatelliteFilePath(dir_.appDir(), number)); }
  std::vector<std::string> EpochsOf(int number) {
    std::vector<std::string> epochs;
    for (const StoredSet& s : ParseSatelliteFile(Db(number)).sets) epochs.push_back(EpochField(s.line1));
    return epochs;
  }

  TempDir dir_;
  ScriptedTask task_;
  const std::string stations_ = (TestDataDir() / "tle" / "stations_3line.txt").string();
  const std::string iss_ = (TestDataDir() / "tle" / "iss_four_epochs.txt").string();
};

}  // namespace

TEST_F(TleImport, ThreeLineFileCreatesNamedFilesAndTwoLineFileDoesNot) {
  const TleImportResult r = Import({stations_});
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(r.filesCreated, 7);
  EXPECT_EQ(Db(25544),
            CrLf({"mName = ISS (ZARYA)", "1 25544U 98067A   26220.18240180  .00005236  00000+0  10178-3 0  9991",
                  "2 25544  51.6324  42.7701 0007350  24.6056 335.5282 15.49383195579818"}));
  EXPECT_EQ(Db(41866).substr(0, 18), "mName = GOES 16\r\n1");
  EXPECT_EQ(task_.texts.front(), "Вводятся TLE из файла " + stations_);
  EXPECT_EQ(task_.labels.back(), "100.0%");
  EXPECT_EQ(task_.labels.front(), "14.3%");  // 1 of 7

  // LF line ends, no names, no final line end.
  const std::string l1 = Line1(7530, 26, 100.5);
  const std::string twoLine = Input("two.tle", l1 + "\n" + LeoLine2(7530));
  EXPECT_TRUE(Import({twoLine}).messages.empty());
  EXPECT_EQ(Db(7530), CrLf({l1, LeoLine2(7530)}));
}

TEST_F(TleImport, SecondImportOfTheSameFileChangesNothing) {
  Import({stations_, iss_});
  std::vector<std::string> before;
  for (int n : {25544, 36086, 48274, 49044, 49271, 53239, 41866}) before.push_back(Db(n));
  const TleImportResult again = Import({stations_, iss_});
  EXPECT_EQ(again.filesCreated, 0);
  EXPECT_EQ(again.setsMerged, 0);
  EXPECT_EQ(again.setsDuplicate, 11);
  int i = 0;
  for (int n : {25544, 36086, 48274, 49044, 49271, 53239, 41866}) EXPECT_EQ(Db(n), before[i++]) << n;
}

TEST_F(TleImport, MergesNewestFirstAndAppendsOlderSets) {
  Import({iss_});  // epochs in the file: 209, 207, 215, 211
  EXPECT_EQ(EpochsOf(25544),
            (std::vector<std::string>{"26215.08686962", "26211.15218593", "26209.15252568", "26207.41084145"}));
  Import({stations_});                                                                  // newer than all: goes first
  Import({Input("old.txt", CrLf({"ISS", Line1(25544, 25, 300.0), LeoLine2(25544)}))});  // older than all: goes last
  const std::vector<std::string> epochs = EpochsOf(25544);
  ASSERT_EQ(epochs.size(), 6u);
  EXPECT_EQ(epochs.front(), "26220.18240180");
  EXPECT_EQ(epochs.back(), "25300.00000000");
  EXPECT_EQ(Db(25544).substr(0, 21), "mName = ISS (ZARYA)\r\n");  // the first name stays
}

TEST_F(TleImport, OrdersSetsAcrossThe1961And2060Boundary) {
  const std::string in = Input("century.txt", CrLf({Line1(5, 61, 10.0), LeoLine2(5), Line1(5, 60, 10.0), LeoLine2(5),
                                                    Line1(5, 99, 10.0), LeoLine2(5), Line1(5, 0, 10.0), LeoLine2(5)}));
  Import({in});
  EXPECT_EQ(EpochsOf(5),
            (std::vector<std::string>{"60010.00000000", "00010.00000000", "99010.00000000", "61010.00000000"}));
}

TEST_F(TleImport, HeadersSurviveAndAnMNameIsNeverReplacedByATleName) {
  const std::string l1 = Line1(25544, 26, 1.0);
  WriteFile(SatelliteFilePath(dir_.appDir(), 25544),
            CrLf({"Name = ISS (ZARYA)          ", "mName = ISS", "Mag = -1.30", l1, LeoLine2(25544)}));
  Import({stations_});
  EXPECT_EQ(Db(25544), CrLf({"Name = ISS (ZARYA)          ", "mName = ISS", "Mag = -1.30",
                             "1 25544U 98067A   26220.18240180  .00005236  00000+0  10178-3 0  9991", LeoLine2(25544),
                             l1, LeoLine2(25544)}));
  // A file without mName gets one from a three-line file, even when the set itself is already stored.
  const std::string poisk = Line1(36086, 26, 1.0);
  WriteFile(SatelliteFilePath(dir_.appDir(), 36086), CrLf({"Name = POISK", poisk, LeoLine2(36086)}));
  Import({Input("poisk.txt", CrLf({"  POISK MODULE  ", poisk, LeoLine2(36086)}))});
  EXPECT_EQ(Db(36086), CrLf({"Name = POISK", "mName = POISK MODULE", poisk, LeoLine2(36086)}));
}

TEST_F(TleImport, PerigeeLimitKeepsHighOrbitsOut) {
  // GOES 16 (about 42164 km) and the eccentric FREGAT DEB (perigee about 7250 km) against the station (6800 km).
  TleImportResult r = Import({stations_}, 20000);
  EXPECT_EQ(r.setsAboveLimit, 1);
  EXPECT_FALSE(Exists(41866));
  EXPECT_TRUE(Exists(25544));
  EXPECT_TRUE(Exists(49271));
  r = Import({stations_}, 7000);
  EXPECT_EQ(r.setsAboveLimit, 2);
  r = Import({stations_}, -1);
  EXPECT_EQ(r.setsAboveLimit, 0);
  EXPECT_TRUE(Exists(41866));
}

TEST_F(TleImport, MalformedFilesStoreNothingAndSayWhich) {
  const std::string truncated =
      Input("cut.txt", CrLf({"A", Line1(11, 26, 1.0), LeoLine2(11), "B", Line1(12, 26, 1.0)}));
  static const char kPng[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\n1 2";
  const std::string binary = Input("image.tle", std::string(kPng, sizeof kPng - 1));
  const std::string good = Input("good.txt", CrLf({"C", Line1(13, 26, 1.0), LeoLine2(13)}));
  const std::string missing = (dir_.path() / "in" / "none.txt").string();
  const TleImportResult r = Import({truncated, binary, missing, good});
  ASSERT_EQ(r.messages.size(), 3u);
  EXPECT_EQ(r.messages[0], "Ошибка в файле " + truncated + " . Проверьте формат.");
  EXPECT_EQ(r.messages[1], "Ошибка в файле " + binary + " . Проверьте формат.");
  EXPECT_EQ(r.messages[2], "Ошибка в файле " + missing + " . Проверьте формат.");
  EXPECT_FALSE(Exists(11));
  EXPECT_TRUE(Exists(13));
}

TEST_F(TleImport, ExponentSignOtherThanPlusMinusOrBlankRefusesTheFile) {
  const std::string badSign = "1 00021U 26001A   26001.00000000  .00000000  00000+0  12345/1 0  9990";
  const std::string bad = Input("bad.txt", CrLf({Line1(20, 26, 1.0), LeoLine2(20), badSign, LeoLine2(21)}));
  const std::string raising = Input("raising.txt", CrLf({"1 00022U 26001A   26001.00000000  .00000000  00000+0 "
                                                         "-35880+1 0  9996",
                                                         LeoLine2(22)}));
  const TleImportResult r = Import({bad, raising});
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0], "Ошибка в файле " + bad + " . Проверьте формат.");
  EXPECT_FALSE(Exists(20));
  EXPECT_FALSE(Exists(21));
  EXPECT_TRUE(Exists(22));
}

TEST_F(TleImport, ReadsBlankLinesSpaceTrackNamesAndOddNumbers) {
  const std::string in = Input(
      "mixed.txt", "header text\n\n0 VANGUARD 1\r\n" + Line1(5, 26, 1.0) + "\r\n" + LeoLine2(5) + "\r\n\r\n" + "\n" +
                       Line1(6, 26, 1.0) + "\n" + LeoLine2(6) + "\n" +
                       "1 AAAAAU 00  0  0 BBBBB.BBBBBBBB  .CCCCCCCC  00000-0  00000-0 0  DDDZ\n" + LeoLine2(6) + "\n" +
                       "OBJECT A\n1 A0001U 26001A   26001.00000000  .00000000  00000+0  00000+0 0  9997\n" +
                       LeoLine2(1).replace(2, 5, "A0001"));  // same digit sum as 00001
  const TleImportResult r = Import({in});
  EXPECT_EQ(Db(5).substr(0, 22), "mName = VANGUARD 1\r\n1 ");
  EXPECT_EQ(Db(6).substr(0, 2), "1 ");  // the blank line before it cleared the name
  EXPECT_EQ(Db(100001).substr(0, 18), "mName = OBJECT A\r\n");
  EXPECT_EQ(r.setsBadNumber, 1);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0], "Пропущено наборов TLE с неверным номером ИСЗ: 1.");
  EXPECT_EQ(ListDatabaseFiles(dir_.appDir()).size(), 3u);
}

TEST_F(TleImport, CancelStopsAfterTheCurrentSet) {
  task_.cancelAfterQuestions = 3;  // after reading the file, then before sets 1 and 2; the third question stops
  const TleImportResult r = Import({stations_, iss_});
  EXPECT_TRUE(r.cancelled);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(ListDatabaseFiles(dir_.appDir()).size(), 2u);
  EXPECT_EQ(task_.texts.size(), 1u);  // the second file was never started
}

TEST_F(TleImport, FailedRewriteKeepsTheStoredFileWholeAndSaysWhy) {
  Import({iss_});
  const std::string before = Db(25544);
  TleImportResult r;
  {
    testing_support::FileSizeLimit full(100);  // every database file is longer: each write fails
    r = Import({stations_});
  }
  EXPECT_EQ(r.writeFailures, 7);
  EXPECT_EQ(Db(25544), before);
  EXPECT_EQ(r.filesCreated, 0);
  EXPECT_EQ(ListDatabaseFiles(dir_.appDir()).size(), 1u);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(DatabaseDir(dir_.appDir())), {}), 1);  // no temporaries
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_EQ(r.messages[0], "Не удалось записать наборов TLE в базу данных: 7 (" + r.writeFailureReason +
                               "). Прежние файлы базы сохранены.");
  EXPECT_EQ(r.writeFailureReason, std::generic_category().message(EFBIG));
}

TEST_F(TleImport, ReadsAwkwardRealFiles) {
  // A bulletin with prose, blank lines and a format key of fake element lines, and a download that
  // begins with an HTML error page.
  const auto awkward = testing_support::SharedDataDir() / "tle" / "awkward";
  const std::string bulletin = (awkward / "amsat_nasa-all_2018-08-16_header_blanklines_174obj.txt").string();
  const std::string html = (awkward / "celestrak_with_html_error_page_2026-05-10_95obj.txt").string();
  ORVIA_REQUIRE_SHARED_FILE(bulletin);
  ORVIA_REQUIRE_SHARED_FILE(html);
  TleImportResult r = Import({bulletin});
  EXPECT_EQ(r.filesCreated, 174);
  EXPECT_EQ(r.setsBadNumber, 1);  // the "AAAAA" key lines
  r = Import({html});
  EXPECT_EQ(r.filesCreated + r.setsMerged, 95);
  EXPECT_TRUE(r.messages.empty());
  // Every file is whole: headers first, then pairs of lines 1 and 2, with CR LF line ends.
  for (const std::string& path : ListDatabaseFiles(dir_.appDir())) {
    const std::string text = ReadFile(path);
    const SatelliteFile file = ParseSatelliteFile(text);
    ASSERT_FALSE(file.sets.empty()) << path;
    EXPECT_EQ(SatelliteFileText(file), text) << path;
    for (const StoredSet& s : file.sets) EXPECT_EQ(s.line2.substr(0, 2), "2 ") << path;
  }
}

TEST_F(TleImport, SetsThatAreNotElementSetsAreSkippedAndCountedAndOddPathsNeverCrash) {
  const auto hostile = TestDataDir() / "hostile";
  const std::string iss = SatelliteFilePath(dir_.appDir(), 25544);
  // An interrupted download: the newest set's line 2 ends in its mean motion ("15.4"). The intact older set
  // is imported, the cut one is skipped, and the best set for its epoch keeps the full mean motion.
  TleImportResult r = Import({(hostile / "iss_cut_line2.tle").string()});
  EXPECT_EQ(r.filesCreated, 1);
  EXPECT_EQ(r.setsCutShort, 1);
  EXPECT_EQ(EpochsOf(25544), std::vector<std::string>{"26209.15252568"});
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_NE(r.messages[0].find("неполных"), std::string::npos) << r.messages[0];
  TleRecord best;
  ASSERT_TRUE(ReadBestSet(iss, 61255.0, best));  // 2026-08-03, the cut set's epoch
  EXPECT_NEAR(best.meanMotion, 15.49220842, 1e-8);

  // A wrong checksum skips that set only.
  r = Import({(hostile / "iss_bad_checksum.tle").string()});
  EXPECT_EQ(r.setsBadChecksum, 1);
  EXPECT_EQ(r.setsMerged, 1);
  EXPECT_EQ(EpochsOf(25544), (std::vector<std::string>{"26211.15218593", "26209.15252568"}));

  // Lone CR line ends: all four sets are read (two of them new).
  r = Import({(hostile / "iss_cr_only.tle").string()});
  EXPECT_EQ(r.setsMerged, 2);
  EXPECT_EQ(r.setsDuplicate, 2);
  EXPECT_TRUE(r.messages.empty());

  // A byte-order mark before the name line: the set and its name are read.
  std::vector<ImportedSet> sets;
  ASSERT_TRUE(ReadTleInput((hostile / "iss_bom.tle").string(), sets));
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0].name, "ISS (ZARYA)");
  EXPECT_EQ(sets[0].fault, SetFault::None);

  // A directory named like a satellite file, and one given as input: reported, never a crash.
  const std::string folder = SatelliteFilePath(dir_.appDir(), 7530);
  std::filesystem::create_directories(folder);
  r = Import({Input("two.tle", CrLf({Line1(7530, 26, 100.5), LeoLine2(7530)})), folder});
  EXPECT_EQ(r.writeFailures, 1);
  EXPECT_EQ(r.messages.front(), "Ошибка в файле " + folder + " . Проверьте формат.");
  EXPECT_FALSE(ReadBestSet(folder, 61255.0, best));
  const std::string list = Input("list.txt", "07530 Oscar 7          0.2  0.0  0.0  8.5 v 0.11\r\n");
  EXPECT_FALSE(ImportMagnitudes(list, dir_.appDir(), task_));  // a database file it cannot read
  EXPECT_TRUE(std::filesystem::is_directory(folder));
}

namespace {

// The ISS set of 2026-08-08 (CelesTrak), with kLeoLine2.
const std::string kIss1 = "1 25544U 98067A   26220.50000000  .00012345  00000-0  22345-3 0  9991";

TEST_F(TleImport, LineBreaksInNamesNeverReachTheDatabase) {
  // An OMM name holding CR LF (JSON) or a line feed (XML) used to become a line of its own beginning
  // with "1", which read as a set and made the file foreign to every later import.
  std::string json = ReadFile(TestDataDir() / "omm" / "three_sets.json");
  json.replace(json.find("ATLAS CENTAUR 2"), 15, "ATLAS\\r\\n1963-047A\\tCENTAUR");
  std::string xml = ReadFile(TestDataDir() / "omm" / "three_sets.xml");
  xml.replace(xml.find("ISS (ZARYA)"), 11, "ISS&#10;1998-067A");
  std::vector<ImportedSet> sets;
  ASSERT_TRUE(ReadTleInput(Input("a.json", json), sets));
  EXPECT_EQ(sets[0].name, "ATLAS  1963-047A CENTAUR");
  ASSERT_EQ(Import({Input("b.xml", xml)}).filesCreated, 3);
  EXPECT_EQ(Db(25544).substr(0, Db(25544).find("\r\n")), "mName = ISS 1998-067A");

  // A file damaged that way before still reads: the stray line stays a line, the sets are found, and the
  // next import merges into it instead of calling it foreign.
  const std::string damaged = "mName = ISS\r\n1998-067A\r\n" + CrLf({kIss1, kLeoLine2});
  WriteFile(SatelliteFilePath(dir_.appDir(), 25544), damaged);
  TleRecord record;
  ASSERT_TRUE(ReadBestSet(SatelliteFilePath(dir_.appDir(), 25544), 61260.0, record));
  EXPECT_NEAR(record.ageDays, 0.5, 1e-6);  // epoch 26220.5 is MJD 61260.5
  EXPECT_DOUBLE_EQ(record.inclinationDeg, 51.6324);
  EXPECT_EQ(Import({Input("newer.txt", CrLf({WithColumns(kIss1, 19, "26221.50000000"), kLeoLine2}))}).setsMerged, 1);
  EXPECT_EQ(Db(25544),
            CrLf({"mName = ISS", WithColumns(kIss1, 19, "26221.50000000"), kLeoLine2, kIss1, kLeoLine2, "1998-067A"}));
  // Stray lines beginning with "1" are written last, so a rewrite reads back the same (none of them is
  // then followed by a line beginning with "2").
  const SatelliteFile file = ParseSatelliteFile("1x\r\n" + CrLf({kIss1, kLeoLine2}) + "2 note\r\n1y\r\n");
  EXPECT_EQ(SatelliteFileText(file), CrLf({kIss1, kLeoLine2, "2 note", "1x", "1y"}));
  EXPECT_EQ(SatelliteFileText(ParseSatelliteFile(SatelliteFileText(file))), SatelliteFileText(file));
}

TEST_F(TleImport, DeeplyNestedMessagesAreRefusedWithoutRecursion) {
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
}

TEST_F(TleImport, SetsOutsideTheFormatOrTheirRangesAreSkippedNamingLineAndField) {
  struct Case {
    std::string line1, line2;
    SetFault fault;
    int faultLine;
    std::string reasonPart;
  };
  const std::string shifted =
      WithColumns(kLeoLine2.substr(0, 7) + kLeoLine2.substr(8), 1, "2");  // a blank lost: fields one column left
  const Case cases[] = {
      {kIss1, shifted, SetFault::BadField, 2, "в столбце 26 между полями"},
      {kIss1, WithColumns(kLeoLine2, 9, " 51.6 24"), SetFault::BadField, 2, "«наклонение» = «51.6 24»"},
      {kIss1, LeoLine2(7530), SetFault::NumberMismatch, 2, "(07530) не совпадает с номером в строке 1 (25544)"},
      {kIss1, kLeoLine2 + std::string(10000, 'x'), SetFault::TooLong, 2, "длиннее 69 знаков"},
      {WithColumns(kIss1, 19, "26400.00000000"), kLeoLine2, SetFault::OutOfRange, 1, "«эпоха» = 26400.00000000"},
      {WithColumns(kIss1, 19, "26000.50000000"), kLeoLine2, SetFault::OutOfRange, 1, "1..366.99999999"},
      {kIss1, WithColumns(kLeoLine2, 9, "999.9990"), SetFault::OutOfRange, 2,
       "«наклонение» = 999.9990 вне пределов 0..180"},
      {kIss1, WithColumns(kLeoLine2, 18, "360.5000"), SetFault::OutOfRange, 2, "«долгота восходящего узла»"},
      {kIss1, WithColumns(kLeoLine2, 53, " 0.00000000"), SetFault::OutOfRange, 2, "«среднее движение»"},
      {kIss1, WithColumns(kLeoLine2, 53, "25.00000000"), SetFault::OutOfRange, 2, "«среднее движение»"},
      // e 0.99 in a low orbit: the perigee 68 km from the Earth's centre.
      {kIss1, WithColumns(kLeoLine2, 27, "9900000"), SetFault::OutOfRange, 2,
       "перигей под поверхностью Земли (радиус "
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
  EXPECT_EQ(ExamineElementSet(kIss1, kLeoLine2).fault, SetFault::None);
  // Trailing blanks after column 69 are no text: such a set is stored cut to its 69 columns.
  lines.push_back(WithColumns(kIss1, 19, "26221.00000000"));
  lines.push_back(kLeoLine2 + "   ");
  const std::string path = Input("bad.txt", CrLf(lines));
  const TleImportResult r = Import({path});
  EXPECT_EQ(r.setsBadField, 2);
  EXPECT_EQ(r.setsNumberMismatch, 1);
  EXPECT_EQ(r.setsTooLong, 1);
  EXPECT_EQ(r.setsOutOfRange, 7);
  EXPECT_EQ(r.filesCreated, 1);
  EXPECT_EQ(Db(25544), CrLf({WithColumns(kIss1, 19, "26221.00000000"), kLeoLine2}));
  ASSERT_EQ(r.problems.size(), 11u);
  EXPECT_EQ(r.problems[0].find("Файл " + path + ", строка 2: в столбце 26"), 0u) << r.problems[0];
  EXPECT_EQ(r.problems[4].find("Файл " + path + ", строка 9: поле «эпоха»"), 0u) << r.problems[4];
  ASSERT_EQ(r.messages.size(), r.causes.size());
  EXPECT_EQ(r.messages[3], "Пропущено наборов TLE со значениями вне допустимых пределов: 7.");
  EXPECT_EQ(r.causes[3], "Первый из них: " + r.problems[4]);
}

TEST_F(TleImport, AMissingLine2LosesOnlyItsOwnSet) {
  const std::string path = Input("gap.txt", CrLf({"ISS", kIss1, "VANGUARD 1", Line1(5, 26, 100.5), LeoLine2(5),
                                                  Line1(11, 26, 100.5), Line1(12, 26, 100.5), LeoLine2(12)}));
  const TleImportResult r = Import({path});
  EXPECT_EQ(r.filesCreated, 2);
  EXPECT_EQ(Db(5).substr(0, 20), "mName = VANGUARD 1\r\n");
  EXPECT_FALSE(Db(12).empty());
  EXPECT_EQ(r.setsNoLine2, 2);
  ASSERT_EQ(r.problems.size(), 2u);
  EXPECT_EQ(r.problems[0], "Файл " + path + ", строка 2: за строкой 1 нет строки 2.");
  EXPECT_EQ(r.problems[1], "Файл " + path + ", строка 6: за строкой 1 нет строки 2.");
}

TEST_F(TleImport, RefusedFilesSayWhyAndWhere) {
  const std::string empty = Input("notes.txt", "Список на завтра\r\nМКС, Тяньгун\r\n");
  const std::string cut = Input("cut.txt", CrLf({kIss1, kLeoLine2, "ISS", Line1(5, 26, 1.0)}));
  const std::string omm = Input("omm.csv", "OBJECT_NAME,EPOCH,NORAD_CAT_ID\r\nISS,2026-08-08T12:00:00,25544\r\n");
  const std::string sign = Input("sign.txt", CrLf({WithColumns(kIss1, 60, "/"), kLeoLine2}));
  const TleImportResult r = Import({empty, cut, omm, sign});
  ASSERT_EQ(r.messages.size(), 4u);
  for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(r.messages[i].rfind("Ошибка в файле ", 0), 0u);
  EXPECT_EQ(r.causes[0], "Файл " + empty + ": в файле нет ни одного набора TLE (строки «1 »).");
  EXPECT_EQ(r.causes[1], "Файл " + cut + ", строка 4: за строкой 1 нет строки 2 (файл оборван).");
  EXPECT_EQ(r.causes[2],
            "Файл " + omm + ": сообщение OMM не читается: запись 1: нет обязательного ключевого слова «MEAN_MOTION».");
  EXPECT_EQ(r.causes[3], "Файл " + sign + ", строка 1: поле «знак порядка B*» = «/»: не число.");
  EXPECT_EQ(r.problems, r.causes);
  EXPECT_FALSE(std::filesystem::exists(SatelliteFilePath(dir_.appDir(), 25544)));
}

}  // namespace
