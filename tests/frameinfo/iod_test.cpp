// The IOD report: every column of a line read back by a column parser and compared with values worked
// out by hand, the Alpha-5 catalogue numbers, the replaced file and the message for an unwritable one.

#include "frameinfo/iod.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "test_paths.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

constexpr double kPi = 3.14159265358979323846;

// The fields of one IOD line, cut out by their column numbers (counted from 1).
struct IodColumns {
  std::string number, year2, launch, station, status, date, time, timeCode, angleFormat, epoch, ra, decSign, dec,
      posCode, blanks;
  std::string separators;  // columns 6, 9, 16, 21, 23, 41, 44, 47, 62 joined
};

std::string Cols(const std::string& line, int first, int last) {
  return line.substr(first - 1, last - first + 1);
}

IodColumns Parse(const std::string& line) {
  IodColumns c;
  c.number = Cols(line, 1, 5);
  c.year2 = Cols(line, 7, 8);
  c.launch = Cols(line, 10, 15);
  c.station = Cols(line, 17, 20);
  c.status = Cols(line, 22, 22);
  c.date = Cols(line, 24, 31);
  c.time = Cols(line, 32, 40);
  c.timeCode = Cols(line, 42, 43);
  c.angleFormat = Cols(line, 45, 45);
  c.epoch = Cols(line, 46, 46);
  c.ra = Cols(line, 48, 54);
  c.decSign = Cols(line, 55, 55);
  c.dec = Cols(line, 56, 61);
  c.posCode = Cols(line, 63, 64);
  c.blanks = Cols(line, 65, 77);
  for (int col : {6, 9, 16, 21, 23, 41, 44, 47, 62}) c.separators += line[col - 1];
  return c;
}

// 2026 March 15 is MJD 61114 (2026 January 1 = 51544 + 26 * 365 + 7 leap days, plus 31 + 28 + 14).
constexpr double kMarch15 = 61114.0;

double Mjd(double day, int h, int m, double s) {
  return day + (h * 3600.0 + m * 60.0 + s) / 86400.0;
}
J2000Direction RaDecDeg(double raDeg, double decDeg) {
  return {raDeg * kPi / 180.0, decDeg * kPi / 180.0};
}

IodInput Iss() {
  IodInput in;
  in.catalogueNumber = 25544;
  in.designator = "98067A  ";
  in.stationCode = 1234;
  in.yearGuess = 2026;
  return in;
}

TEST(Iod, LineColumnsMatchHandWorkedValues) {
  IodInput in = Iss();
  // 10 h 20.1239 min = 155.0309475 deg; -45 deg 30.456' = -45.5076 deg.
  const IodPosition p{Mjd(kMarch15, 12, 34, 5.1234), RaDecDeg(155.0309475, -45.5076)};
  const std::string line = IodLine(in, p);
  ASSERT_EQ(line.size(), 77u);
  const IodColumns c = Parse(line);
  EXPECT_EQ(c.number, "25544");
  EXPECT_EQ(c.year2, "98");
  EXPECT_EQ(c.launch, "067A  ");
  EXPECT_EQ(c.station, "1234");
  EXPECT_EQ(c.status, "G");
  EXPECT_EQ(c.date, "20260315");
  EXPECT_EQ(c.time, "123405123");
  EXPECT_EQ(c.timeCode, "18");
  EXPECT_EQ(c.angleFormat, "2");
  EXPECT_EQ(c.epoch, "5");
  EXPECT_EQ(c.ra, "1020123");  // 20.1239 min truncated to thousandths
  EXPECT_EQ(c.decSign, "-");
  EXPECT_EQ(c.dec, "453046");  // 30.456' rounded to hundredths
  EXPECT_EQ(c.posCode, "17");
  EXPECT_EQ(c.blanks, std::string(13, ' '));
  EXPECT_EQ(c.separators, std::string(9, ' '));
}

TEST(Iod, FieldsAtTheirCarriesAndPadding) {
  IodInput in = Iss();
  in.catalogueNumber = 123;
  in.stationCode = 0;
  in.designator = "05";  // a short designator is blank-padded
  // RA 359.99999 deg = 23 h 59.99996 min: truncated, never rounded into 24 h.
  IodColumns c = Parse(IodLine(in, {Mjd(kMarch15, 1, 2, 3.0), RaDecDeg(359.99999, -0.5)}));
  EXPECT_EQ(c.number, "00123");
  EXPECT_EQ(c.station, "0000");
  EXPECT_EQ(c.year2, "05");
  EXPECT_EQ(c.launch, "      ");
  EXPECT_EQ(c.time, "010203000");
  EXPECT_EQ(c.ra, "2359999");
  EXPECT_EQ(c.decSign + c.dec, "-003000");
  // 12.999999 deg = 12 deg 59.99994': the hundredths round up to 60' and carry into the degrees.
  c = Parse(IodLine(in, {Mjd(kMarch15, 0, 0, 0.0), RaDecDeg(0.0, 12.999999)}));
  EXPECT_EQ(c.decSign + c.dec, "+130000");
  EXPECT_EQ(c.ra, "0000000");
  // Half a millisecond before midnight rounds into the next day, never to hour 24.
  c = Parse(IodLine(in, {Mjd(kMarch15, 23, 59, 59.9996), RaDecDeg(10.0, 10.0)}));
  EXPECT_EQ(c.date, "20260316");
  EXPECT_EQ(c.time, "000000000");
  // 31 December rolls into the next year.
  c = Parse(IodLine(in, {61040.0 + (86400.0 - 0.0004) / 86400.0, RaDecDeg(10.0, 10.0)}));
  EXPECT_EQ(c.date, "20260101");
}

TEST(Iod, CatalogueNumbersAboveFiveDigitsUseAlpha5) {
  EXPECT_EQ(IodCatalogueField(99999), "99999");
  EXPECT_EQ(IodCatalogueField(100001), "A0001");
  EXPECT_EQ(IodCatalogueField(179999), "H9999");
  EXPECT_EQ(IodCatalogueField(180000), "J0000");  // I is skipped
  EXPECT_EQ(IodCatalogueField(240000), "Q0000");  // and O
  EXPECT_EQ(IodCatalogueField(339999), "Z9999");
  EXPECT_EQ(IodCatalogueField(340000), "");
  IodInput in = Iss();
  in.catalogueNumber = 270123;  // 27 -> T (A..H are 10..17, J..N 18..22, P..T 23..27)
  const std::string line = IodLine(in, {kMarch15, RaDecDeg(1, 1)});
  ASSERT_EQ(line.size(), 77u);
  EXPECT_EQ(line.substr(0, 6), "T0123 ");
}

TEST(Iod, ReportReplacesTheFileWithCrLfLines) {
  TempDir dir;
  IodInput in = Iss();
  in.positions = {{Mjd(kMarch15, 1, 0, 0), RaDecDeg(10, 10)}, {Mjd(kMarch15, 1, 0, 5), RaDecDeg(11, 11)}};
  IodResult r = WriteIodReport(dir.appDir(), in);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(r.path, dir.appDir() + "iod_25544.txt");
  std::string text = ReadFile(r.path);
  ASSERT_EQ(text.size(), 2 * 79u);
  EXPECT_EQ(text.substr(77, 2), "\r\n");
  EXPECT_EQ(text.substr(156, 2), "\r\n");
  in.positions.resize(1);
  r = WriteIodReport(dir.appDir(), in);
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(ReadFile(r.path).size(), 79u);
  in.catalogueNumber = 123;
  EXPECT_EQ(WriteIodReport(dir.appDir(), in).path, dir.appDir() + "iod_00123.txt");
}

TEST(Iod, FailuresComeBackAsMessages) {
  TempDir dir;
  IodInput in = Iss();
  in.positions = {{kMarch15, RaDecDeg(10, 10)}};
  // An application folder that is a file cannot take the report; the message says why.
  WriteFile(dir.path() / "plain", "not a folder");
  const std::string unwritable = (dir.path() / "plain").string() + "/";
  IodResult r = WriteIodReport(unwritable, in);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message,
            "Не удалось записать файл " + unwritable + "iod_25544.txt: " + std::generic_category().message(ENOTDIR));
  in.catalogueNumber = 400000;
  r = WriteIodReport(dir.appDir(), in);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Номер ИСЗ 400000 не помещается в формат IOD");
  in.catalogueNumber = 25544;
  in.stationCode = 12345;
  r = WriteIodReport(dir.appDir(), in);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "Код станции 12345 не помещается в формат IOD");
  EXPECT_FALSE(std::filesystem::exists(r.path));
}

}  // namespace
