#include "frameinfo/info_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "base/calendar.h"
#include "base/ini.h"
#include "base/numbers.h"
#include "sky/angles.h"
#include "test_paths.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// Sets a file's last-write time to a UTC calendar time.
void SetWriteTime(const fs::path& path, int year, unsigned month, unsigned day, int hour, int minute, int second) {
  using namespace std::chrono;
  const sys_seconds utc =
      sys_days{std::chrono::year{year} / month / day} + hours{hour} + minutes{minute} + seconds{second};
  fs::last_write_time(path, file_clock::from_sys(utc));
}

std::string InfoName(const std::string& base, const std::string& stamp) {
  return "Info" + std::string(1, fs::path::preferred_separator) + base + "_" + stamp + ".txt";
}

TEST(InfoFileName, UsesTheBaseNameAndTheImageWriteTimeInUtc) {
  TempDir dir;
  const fs::path image = dir.path() / "IMG_0123.jpg";
  WriteFile(image, "x");
  SetWriteTime(image, 2012, 4, 23, 21, 7, 59);
  EXPECT_EQ(InfoFileName(dir.appDir(), image.string()), dir.appDir() + InfoName("IMG_0123", "2012-04-23_21-07"));

  // Only the last point starts the extension; a point in a folder name does not count.
  const fs::path dotted = dir.path() / "night.2" / "my.frame.jpg";
  WriteFile(dotted, "x");
  SetWriteTime(dotted, 2026, 1, 2, 3, 4, 0);
  EXPECT_EQ(InfoFileName("A/", dotted.string()), "A/" + InfoName("my.frame", "2026-01-02_03-04"));
  const fs::path bare = dir.path() / "night.2" / "frame";
  WriteFile(bare, "x");
  SetWriteTime(bare, 1999, 12, 31, 23, 59, 30);
  EXPECT_EQ(InfoFileName("A/", bare.string()), "A/" + InfoName("frame", "1999-12-31_23-59"));
}

TEST(InfoFileName, GivesTheStampOfTimeZeroForAMissingImage) {
  EXPECT_EQ(InfoFileName("A/", "/no/such/dir/IMG_1.JPG"), "A/" + InfoName("IMG_1", "1970-01-01_00-00"));
}

// A record with a distinct value in every stored field.
InfoFileData FullRecord() {
  InfoFileData d;
  d.imagePath = "/frames/IMG_0123.jpg";
  d.imageWidth = 4272;
  d.imageHeight = 2848;
  FrameInfo& i = d.info;
  i.startTime = {2012, 4, 23, 21, 29, 55.25f};
  i.midTime = {2012, 4, 23, 21, 30, 0.25f};
  i.utError = 0.75f;
  i.exposure = 10.5;
  i.longitude = -37.6173;
  i.latitude = 55.755826;
  i.raUser = 123.456789012345;
  i.decUser = -12.25;
  i.fieldUser = 8.5f;
  i.fieldSizeText = "3.2\xB0 x 2.1\xB0";  // degree signs in the system code page
  PlateSolution& p = d.plate;
  p.ra0Deg = 201.298471;
  p.dec0Deg = -11.161319;
  p.mxArcsec = 12.34;
  p.myArcsec = 12.56;
  p.fDeg = -87.5;
  p.gDeg = 179.25;
  p.xo = 2136.5;
  p.yo = 1424.25;
  d.trackEnds[1] = {1000.25f, 700.5f, 1, DegToRad(200.125), DegToRad(-10.5)};
  d.trackEnds[2] = {1500.75f, 1250.0f, 1, DegToRad(359.875), DegToRad(45.0625)};
  d.trackEnds.count = 2;
  d.identifiedNorad = 25544;
  d.identifiedName = "ISS (ZARYA)";
  d.remembered = {25544, 20580, 5};
  d.moonVisibility = "Yes";
  d.moonPhase = 0.375f;
  d.moonDistance = 93.5f;
  return d;
}

void ExpectSameTime(const CalendarTime& a, const CalendarTime& b) {
  EXPECT_EQ(a.year, b.year);
  EXPECT_EQ(a.month, b.month);
  EXPECT_EQ(a.day, b.day);
  EXPECT_EQ(a.hour, b.hour);
  EXPECT_EQ(a.minute, b.minute);
  EXPECT_NEAR(a.seconds, b.seconds, 0.005);
}

TEST(InfoFile, WriteThenReadRestoresEveryValueThatIsReadBack) {
  TempDir dir;
  const std::string path = (dir.path() / "Info" / "IMG_0123_2012-04-23_21-07.txt").string();
  const InfoFileData w = FullRecord();
  ASSERT_TRUE(WriteInfoFile(path, w));

  InfoFileData r;
  ReadInfoFile(path, r);
  ExpectSameTime(r.info.startTime, w.info.startTime);
  ExpectSameTime(r.info.midTime, w.info.midTime);
  EXPECT_FLOAT_EQ(r.info.utError, w.info.utError);
  EXPECT_DOUBLE_EQ(r.info.exposure, w.info.exposure);
  EXPECT_DOUBLE_EQ(r.info.longitude, w.info.longitude);
  EXPECT_DOUBLE_EQ(r.info.latitude, w.info.latitude);
  EXPECT_DOUBLE_EQ(r.info.raUser, w.info.raUser);
  EXPECT_DOUBLE_EQ(r.info.decUser, w.info.decUser);
  EXPECT_FLOAT_EQ(r.info.fieldUser, w.info.fieldUser);
  EXPECT_EQ(r.info.fieldSizeText, w.info.fieldSizeText);
  EXPECT_DOUBLE_EQ(r.plate.ra0Deg, w.plate.ra0Deg);
  EXPECT_DOUBLE_EQ(r.plate.dec0Deg, w.plate.dec0Deg);
  EXPECT_DOUBLE_EQ(r.plate.mxArcsec, 12.34);  // X scale under "Mx", Y scale under "My"
  EXPECT_DOUBLE_EQ(r.plate.myArcsec, 12.56);
  EXPECT_DOUBLE_EQ(r.plate.fDeg, w.plate.fDeg);
  EXPECT_DOUBLE_EQ(r.plate.gDeg, w.plate.gDeg);
  EXPECT_DOUBLE_EQ(r.plate.xo, w.plate.xo);
  EXPECT_DOUBLE_EQ(r.plate.yo, w.plate.yo);
  // The working form is rebuilt from the degrees: 12.34"/px in radians per pixel.
  EXPECT_NEAR(r.plate.working.mx, 12.34 / 3600.0 * Pi / 180.0, 1e-18);
  EXPECT_NEAR(r.plate.working.ra0, 201.298471 * Pi / 180.0, 1e-14);
  for (int e = 1; e <= 2; ++e) {
    SCOPED_TRACE(e);
    EXPECT_FLOAT_EQ(r.trackEnds[e].x, w.trackEnds[e].x);
    EXPECT_FLOAT_EQ(r.trackEnds[e].y, w.trackEnds[e].y);
    // Stored in degrees with 15 digits: far better than a milliarcsecond after the round trip.
    EXPECT_NEAR(r.trackEnds[e].ra, w.trackEnds[e].ra, 1e-12);
    EXPECT_NEAR(r.trackEnds[e].dec, w.trackEnds[e].dec, 1e-12);
  }
  EXPECT_EQ(r.trackEnds.count, 2);
  EXPECT_EQ(r.identifiedNorad, 25544);
  EXPECT_EQ(r.identifiedName, "ISS (ZARYA)");
  EXPECT_EQ(r.remembered, (std::vector<int>{25544, 20580, 5}));
  EXPECT_EQ(r.moonVisibility, "Yes");
  EXPECT_FLOAT_EQ(r.moonPhase, 0.375f);
  EXPECT_FLOAT_EQ(r.moonDistance, 93.5f);
}

TEST(InfoFile, HeightAndPointingOnceWrittenAreClearedByARewriteAndOutOfRangeValuesReadAsNone) {
  TempDir dir;
  const std::string path = (dir.path() / "f.txt").string();
  InfoFileData w = FullRecord(), r;
  std::tie(w.info.heightM, w.info.pointingAltAz, w.info.pointingAlt, w.info.pointingAz) =
      std::tuple(2070.5, true, 50.25, 120.0);
  ASSERT_TRUE(WriteInfoFile(path, w));
  ReadInfoFile(path, r);
  EXPECT_EQ(std::tuple(r.info.heightM, r.info.pointingAltAz, r.info.pointingAlt), std::tuple(2070.5, true, 50.25));
  std::tie(w.info.heightM, w.info.pointingAltAz) = std::tuple(0.0, false);
  ASSERT_TRUE(WriteInfoFile(path, w));
  ReadInfoFile(path, r);
  EXPECT_EQ(std::tuple(r.info.heightM, r.info.pointingAltAz), std::tuple(0.0, false));
  WriteFile(path, "[User Info]\r\nHeight=12000\r\nPointAlt=95\r\nPointAz=10\r\n");
  ReadInfoFile(path, r = InfoFileData{});
  EXPECT_EQ(std::tuple(r.info.heightM, r.info.pointingAltAz), std::tuple(0.0, false));}

TEST(InfoFile, LensDistortionIsKeptAndAFileWithoutItOrWithABrokenOneReadsAsALinearPlate) {
  TempDir dir;
  const fs::path path = dir.path() / "f.txt";
  InfoFileData w = FullRecord(), r;
  PlateDistortion& lens = w.plate.distortion;
  lens = {5, 2136.5, 1424.5, 2567.25, {}, {}};
  for (std::size_t k = 0; k < kDistortionTerms; ++k) lens.a[k] = -123.456789012345 / (k + 1.0), lens.b[k] = 9.87e-7 * k;
  ASSERT_TRUE(WriteInfoFile(path.string(), w));
  const std::string text = ReadFile(path);
  EXPECT_NE(text.find("Yc= 1424.25\r\nDistOrder=5\r\nDistCentre=2136.5,1424.5,2567.25\r\nDist2=-123.456789012,"),
            std::string::npos);
  ReadInfoFile(path.string(), r);
  ASSERT_EQ(r.plate.working.distortion.order, 5);
  for (std::size_t k = 0; k < kDistortionTerms; ++k) {
    EXPECT_NEAR(r.plate.working.distortion.a[k], lens.a[k], 1e-11 * std::fabs(lens.a[k]));
    EXPECT_NEAR(r.plate.working.distortion.b[k], lens.b[k], 1e-11 * std::fabs(lens.b[k]));
  }
  // A coefficient missing or not a number drops the whole distortion; rewritten without it, it says so.
  for (const char* broken : {"Dist3=1,2,3", "Dist3=1,2,3,4,5,6,7,x", "DistCentre=1,2,0"}) {
    std::string t = text;
    const std::size_t at = t.find(std::string(broken).substr(0, std::string(broken).find('=') + 1));
    WriteFile(path, t.replace(at, t.find("\r\n", at) - at, broken));
    ReadInfoFile(path.string(), r);
    EXPECT_FALSE(r.plate.working.distortion.Present()) << broken;
  }
  w.plate.distortion = PlateDistortion();
  ASSERT_TRUE(WriteInfoFile(path.string(), w));
  EXPECT_NE(ReadFile(path).find("DistOrder=0\r\n"), std::string::npos);
}

TEST(InfoFile, AFreshFileHoldsTheSectionsAndKeysInOrderWithCrLfEnds) {
  TempDir dir;
  const fs::path path = dir.path() / "f.txt";
  ASSERT_TRUE(WriteInfoFile(path.string(), FullRecord()));
  const std::string text = ReadFile(path);
  std::string names;  // section lines and key names joined by "|"
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    ASSERT_NE(end, std::string::npos);
    const std::string line = text.substr(start, end - start);
    ASSERT_EQ(line.find('\n'), std::string::npos);
    names += (start == 0 ? "" : "|") + (line[0] == '[' ? line : line.substr(0, line.find('=')));
    start = end + 2;
  }
  EXPECT_EQ(names,
            "[User Info]|FileName|Size X|Size y|Date|UT|Date_start|UT_start|erUT|Exposition|Longitude|Latitude|"
            "RaUser|DecUser|FieldUser|FixedCamera|[Program Info]|RA|DEC|Mx|My|PoleUser|Angle|Gamma|Xc|Yc|[Satellite Info]|"
            "Norad|Name|Track_X1|Track_Y1|Track_X2|Track_Y2|Track_RA1|Track_DEC1|Track_RA2|Track_DEC2|"
            "Multi_traectory|[Supplemental Info]|MoonVis|MoonPhase|DistanceMoon");
  EXPECT_NE(text.find("Date=23.04.2012\r\nUT=21:30:00.25\r\nDate_start=23.04.2012\r\nUT_start=21:29:55.25\r\n"),
            std::string::npos);
  EXPECT_NE(text.find("Size X= 4272\r\n"), std::string::npos);
  EXPECT_NE(text.find("Multi_traectory=25544, 20580, 5\r\n"), std::string::npos);
}

TEST(InfoFile, RewritingKeepsForeignLinesAndAnOldRememberedListWhenNoneIsGiven) {
  TempDir dir;
  const fs::path path = dir.path() / "f.txt";
  WriteFile(path,
            "; notes by the observer\n"
            "[satellite info]\n"
            "multi_traectory = 11111, 22222\n"
            "Comment=clear sky\n"
            "[Extra]\n"
            "Mine=1\n");
  InfoFileData d = FullRecord();
  d.remembered.clear();
  d.identifiedName = "NEW\r\nNAME";  // a line break becomes a blank
  ASSERT_TRUE(WriteInfoFile(path.string(), d));
  ASSERT_TRUE(WriteInfoFile(path.string(), d));  // a second write replaces, never duplicates
  const std::string text = ReadFile(path);
  EXPECT_EQ(text.rfind("; notes by the observer\r\n[satellite info]\r\nmulti_traectory = 11111, 22222\r\n"
                       "Comment=clear sky\r\nNorad= 25544\r\nName=NEW  NAME\r\n",
                       0),
            0u)
      << text;
  EXPECT_NE(text.find("[Extra]\r\nMine=1\r\n"), std::string::npos);
  EXPECT_EQ(text.find("Norad"), text.rfind("Norad"));
  EXPECT_EQ(text.find("[User Info]"), text.rfind("[User Info]"));

  InfoFileData r;
  ReadInfoFile(path.string(), r);
  EXPECT_EQ(r.remembered, (std::vector<int>{11111, 22222}));
  EXPECT_EQ(r.identifiedName, "NEW  NAME");
}

TEST(InfoFile, ReadsHandWrittenFilesWithOddCaseAndBlanks) {
  TempDir dir;
  const fs::path path = dir.path() / "hand.txt";
  WriteFile(path,
            "[ USER INFO ]\n"
            "  date = 24.04.2012\n"
            "ut=21:30:00,5\n"
            "EXPOSITION\t= 10 \n"
            "longitude= -37.5\n"
            "[program info]\n"
            "mx = 20.5\n"
            "MY=21.5\n"
            "[Satellite Info]\n"
            " NORAD = 25544.4\n"
            "track_x1=10\n"
            "TRACK_Y1=20\n"
            "Track_RA1=180\n");
  InfoFileData r;
  ReadInfoFile(path.string(), r);
  ExpectSameTime(r.info.midTime, {2012, 4, 24, 21, 30, 0.5f});
  // Without a start time the start is taken half an exposure before the middle.
  ExpectSameTime(r.info.startTime, {2012, 4, 24, 21, 29, 55.5f});
  EXPECT_DOUBLE_EQ(r.info.exposure, 10.0);
  EXPECT_DOUBLE_EQ(r.info.longitude, -37.5);
  EXPECT_DOUBLE_EQ(r.plate.mxArcsec, 20.5);
  EXPECT_DOUBLE_EQ(r.plate.myArcsec, 21.5);
  EXPECT_EQ(r.identifiedNorad, 25544);
  EXPECT_EQ(r.identifiedName, "unknown");
  EXPECT_EQ(r.trackEnds.count, 1);
  EXPECT_NEAR(r.trackEnds[1].ra, Pi, 1e-15);
}

TEST(InfoFile, AFileWithOnlyTheMidTimeGetsItsStartFromTheExposure) {
  TempDir dir;
  const fs::path path = dir.path() / "mid.txt";
  WriteFile(path, "[User Info]\r\nDate=24.04.2012\r\nUT=21:30:00.00\r\nExposition=10\r\n");
  InfoFileData r;
  ReadInfoFile(path.string(), r);
  ExpectSameTime(r.info.startTime, {2012, 4, 24, 21, 29, 55.0f});
  ExpectSameTime(r.info.midTime, {2012, 4, 24, 21, 30, 0.0f});

  // Across midnight and the year's end.
  WriteFile(path, "[User Info]\r\nDate=01.01.2013\r\nUT=00:00:03.00\r\nExposition=10\r\n");
  InfoFileData n;
  ReadInfoFile(path.string(), n);
  ExpectSameTime(n.info.startTime, {2012, 12, 31, 23, 59, 58.0f});
}

TEST(InfoFile, MissingAndGarbageFilesReadAsDefaults) {
  TempDir dir;
  const fs::path random = dir.path() / "random.txt";
  {
    std::mt19937 gen(12345);
    std::string bytes(10u << 20, '\0');
    for (char& c : bytes) c = static_cast<char>(gen() & 0xFF);
    WriteFile(random, bytes);
  }
  const fs::path longLine = dir.path() / "long.txt";
  WriteFile(longLine, "[User Info]\r\nDate=" + std::string(100000, '7') + "\r\nExposition=" + std::string(100000, '9') +
                          "\r\n" + std::string(100000, '[') + "\r\n");
  for (const fs::path& path : {random, longLine, dir.path() / "missing.txt"}) {
    SCOPED_TRACE(path.string());
    InfoFileData r;
    ReadInfoFile(path.string(), r);
    EXPECT_FALSE(r.info.midTime.IsSet());
    EXPECT_FALSE(r.info.startTime.IsSet());
    EXPECT_FALSE(r.plate.Solved());
    EXPECT_EQ(r.info.fieldSizeText, "0x0");
    EXPECT_EQ(r.identifiedNorad, 0);
    EXPECT_EQ(r.identifiedName, "unknown");
    EXPECT_EQ(r.moonVisibility, "No");
    EXPECT_EQ(r.trackEnds.count, 0);
    EXPECT_TRUE(r.remembered.empty());
    EXPECT_TRUE(std::isfinite(r.info.exposure));
  }
}

TEST(InfoFile, RememberedNumbersAreAppendedAndBlanksAndTextSkipped) {
  TempDir dir;
  const fs::path path = dir.path() / "m.txt";
  const auto readList = [&](const std::string& value, std::vector<int> start) {
    WriteFile(path, "[Satellite Info]\r\nMulti_traectory=" + value + "\r\n");
    InfoFileData r;
    r.remembered = std::move(start);
    ReadInfoFile(path.string(), r);
    return r.remembered;
  };
  EXPECT_EQ(readList("25544", {}), (std::vector<int>{25544}));
  EXPECT_EQ(readList("25544, 20580", {}), (std::vector<int>{25544, 20580}));
  EXPECT_EQ(readList(" ", {}), (std::vector<int>{}));
  EXPECT_EQ(readList("", {}), (std::vector<int>{}));
  EXPECT_EQ(readList("abc, ,7.6,, 0", {}), (std::vector<int>{8}));
  // A single-digit catalogue number is a real satellite and must survive.
  EXPECT_EQ(readList("5", {}), (std::vector<int>{5}));
  EXPECT_EQ(readList("20580", {25544}), (std::vector<int>{25544, 20580}));
}

TEST(InfoFile, TrackEndCountFollowsTheStoredPixels) {
  TempDir dir;
  const fs::path path = dir.path() / "t.txt";
  const auto countAfter = [&](const std::string& keys, std::uint8_t before) {
    WriteFile(path, "[Satellite Info]\r\n" + keys);
    InfoFileData r;
    r.trackEnds.count = before;
    ReadInfoFile(path.string(), r);
    return static_cast<int>(r.trackEnds.count);
  };
  EXPECT_EQ(countAfter("Track_X1=0\r\nTrack_Y1=5\r\nTrack_X2=6\r\nTrack_Y2=7\r\n", 0), 0);  // end 1 on the left edge
  EXPECT_EQ(countAfter("Track_X1=4\r\nTrack_Y1=5\r\n", 0), 1);
  EXPECT_EQ(countAfter("Track_X1=4\r\nTrack_Y1=5\r\nTrack_X2=6\r\nTrack_Y2=7\r\n", 0), 2);
  EXPECT_EQ(countAfter("Track_X2=6\r\nTrack_Y2=7\r\n", 0), 0);  // end 2 alone does not count
  // Nothing stored: the ends read as 0, so ends marked before the reading no longer count.
  EXPECT_EQ(countAfter("", 2), 0);
  EXPECT_EQ(countAfter("Track_X1=4\r\nTrack_Y1=5\r\n", 2), 1);
}

TEST(InfoFile, BadDatesKeepTheFieldsFromTheFailingOneAndHugeNumbersNeverBecomeInfinite) {
  TempDir dir;
  const fs::path path = dir.path() / "bad.txt";
  WriteFile(path,
            "[User Info]\r\nDate=24.13.2012\r\nUT=21:75:00\r\nDate_start=x\r\nerUT=1e300\r\nFieldUser=-1e39\r\n"
            "[Supplemental Info]\r\nMoonPhase=1e40\r\nDistanceMoon=3e38\r\n");
  InfoFileData r;
  r.info.midTime = {2011, 5, 6, 7, 8, 9.0f};
  r.info.startTime = {2011, 5, 6, 7, 8, 9.0f};
  ReadInfoFile(path.string(), r);
  ExpectSameTime(r.info.midTime, {2011, 5, 24, 21, 8, 9.0f});
  ExpectSameTime(r.info.startTime, {2011, 5, 6, 0, 0, 0.0f});  // no start date; the time defaults to 00:00:00
  EXPECT_EQ(r.info.utError, 0.0f);
  EXPECT_EQ(r.info.fieldUser, 0.0f);
  EXPECT_EQ(r.moonPhase, 0.0f);
  EXPECT_FLOAT_EQ(r.moonDistance, 3e38f);
}

TEST(InfoFile, TimesUseTheLocaleSeparatorAndReadBackWithEither) {
  TempDir dir;
  const fs::path path = dir.path() / "comma.txt";
  SetDecimalSeparator(',');
  const bool written = WriteInfoFile(path.string(), FullRecord()).ok;
  SetDecimalSeparator('.');
  ASSERT_TRUE(written);
  const std::string text = ReadFile(path);
  EXPECT_NE(text.find("UT=21:30:00,25\r\n"), std::string::npos);
  EXPECT_NE(text.find("Exposition= 10.5\r\n"), std::string::npos);  // plain numbers always use "."
  InfoFileData r;
  ReadInfoFile(path.string(), r);
  ExpectSameTime(r.info.midTime, FullRecord().info.midTime);
  EXPECT_DOUBLE_EQ(r.info.exposure, 10.5);
}

TEST(InfoFile, AnUnwritablePathFailsAndLeavesTheOldFile) {
  TempDir dir;
  const fs::path path = dir.path() / "keep.txt";
  WriteFile(path, "[User Info]\r\nDate=01.02.2003\r\n");
  {
    testing_support::FileSizeLimit full(64);  // the new file is longer: a full disk
    const WriteResult written = WriteInfoFile(path.string(), FullRecord());
    EXPECT_FALSE(written);
    EXPECT_EQ(written.reason, std::generic_category().message(EFBIG));
  }
  EXPECT_EQ(ReadFile(path), "[User Info]\r\nDate=01.02.2003\r\n");
  EXPECT_FALSE(WriteInfoFile("", FullRecord()));
}

TEST(InfoFile, OverlongNamesAreShortenedTheSameWayEveryTime) {
  TempDir dir;
  const std::string appDir = dir.appDir();
  // Base names of 240 bytes (Latin) and of 130 two-byte letters, one differing only in its last character.
  const std::string latin = std::string(240, 'a');
  std::string cyrillic;
  for (int i = 0; i < 130; ++i) cyrillic += "ж";
  for (const std::string& base : {latin, latin.substr(0, 239) + "b", cyrillic}) {
    const fs::path image = dir.path() / "frames" / (base + ".jpg");
    WriteFile(image, "jpeg");
    const std::string name = InfoFileName(appDir, image.string());
    const std::string file = fs::path(name).filename().string();
    EXPECT_LE(file.size(), 255u);
    EXPECT_EQ(InfoFileName(appDir, image.string()), name);  // the reader finds it again
    // Cut at a character boundary: the bytes before "~" end with a whole letter.
    const std::string kept = file.substr(0, file.find('~'));
    EXPECT_EQ(base.compare(0, kept.size(), kept), 0);
    if (base == cyrillic) {
      EXPECT_EQ(kept.size() % 2, 0u);
    }
    InfoFileData data = FullRecord();
    data.imagePath = image.string();
    ASSERT_TRUE(WriteInfoFile(name, data)) << file;
  }
  // Three different files now stand in the Info folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "Info"), {}), 3);
}

TEST(InfoFile, FramesOfOneNameKeepTheirOwnFilesAndListsAreNeverCutInsideANumber) {
  TempDir dir;
  const std::string appDir = dir.appDir();
  const fs::path first = dir.path() / "night1" / "IMG_0001.jpg";
  const fs::path second = dir.path() / "night2" / "IMG_0001.jpg";
  WriteFile(first, "jpeg");
  WriteFile(second, "jpeg");
  fs::last_write_time(second, fs::last_write_time(first));  // the same stamp
  const std::string firstInfo = FindInfoFile(appDir, first.string(), 4272, 2848);
  EXPECT_EQ(firstInfo, InfoFileName(appDir, first.string()));
  InfoFileData data = FullRecord();
  data.imagePath = first.string();
  data.imageWidth = 4272;
  data.imageHeight = 2848;
  ASSERT_TRUE(WriteInfoFile(firstInfo, data));

  // The second frame does not take the first's file: it gets its own, found again by the same search.
  EXPECT_FALSE(InfoFileBelongsTo(firstInfo, second.string(), 4272, 2848));
  const std::string secondInfo = FindInfoFile(appDir, second.string(), 4272, 2848);
  EXPECT_NE(secondInfo, firstInfo);
  InfoFileData other;
  other.imagePath = second.string();
  other.imageWidth = 4272;
  other.imageHeight = 2848;
  other.identifiedNorad = 20580;
  ASSERT_TRUE(WriteInfoFile(secondInfo, other));
  EXPECT_EQ(FindInfoFile(appDir, first.string(), 4272, 2848), firstInfo);
  EXPECT_EQ(FindInfoFile(appDir, second.string(), 4272, 2848), secondInfo);
  InfoFileData read;
  ReadInfoFile(FindInfoFile(appDir, first.string(), 4272, 2848), read);
  EXPECT_EQ(read.identifiedNorad, 25544);
  // A frame of another size is not this file's frame either; a frame moved to another folder still is.
  EXPECT_FALSE(InfoFileBelongsTo(firstInfo, first.string(), 4000, 3000));
  const fs::path moved = dir.path() / "archive" / "IMG_0001.jpg";
  fs::create_directories(moved.parent_path());
  fs::rename(first, moved);
  EXPECT_EQ(FindInfoFile(appDir, moved.string(), 4272, 2848), firstInfo);

  // 200 remembered numbers all come back; the first key holds the whole numbers that end within 254
  // characters ("10000, 10001, ..." takes 7 characters a number: 36 of them), which is what an older
  // reader sees. A shorter list written later leaves nothing of the longer one.
  InfoFileData many;
  for (int n = 10000; n < 10200; ++n) many.remembered.push_back(n);
  const std::string listPath = (dir.path() / "list.txt").string();
  ASSERT_TRUE(WriteInfoFile(listPath, many));
  InfoFileData back;
  ReadInfoFile(listPath, back);
  EXPECT_EQ(back.remembered, many.remembered);
  const std::string text = ReadFile(listPath);
  const std::size_t key = text.find("Multi_traectory=");
  ASSERT_NE(key, std::string::npos);
  EXPECT_EQ(text.substr(key, text.find("\r\n", key) - key).size(), std::string("Multi_traectory=").size() + 250);
  many.remembered = {25544, 20580, 43229};
  ASSERT_TRUE(WriteInfoFile(listPath, many));
  ReadInfoFile(listPath, back = InfoFileData{});
  EXPECT_EQ(back.remembered, many.remembered);
}

}  // namespace
