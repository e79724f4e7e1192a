// EXIF reader: the worked examples in both byte orders, type tests, display rules, and files whose
// offsets and counts point outside them.
#include "frameinfo/exif.h"

#include <gtest/gtest.h>

#include "exif_jpeg_support.h"
#include "base/numbers.h"
#include "test_paths.h"

namespace {

using namespace testing_support;

void ExpectAllAbsent(const ExifValues& v) {
  EXPECT_EQ(v.timeImage, "N/A");
  EXPECT_EQ(v.expFirst, -1.0);
  EXPECT_EQ(v.expSecond, -1.0);
  EXPECT_EQ(v.diafragma, "N/A");
  EXPECT_EQ(v.width, -1);
  EXPECT_EQ(v.height, -1);
  EXPECT_EQ(v.iso, -1);
}

class ExifByteOrderTest : public ::testing::TestWithParam<bool> {};

TEST_P(ExifByteOrderTest, ReadsTheWorkedExample) {
  const bool intel = GetParam();
  const ExifValues v = ReadExifBytes(MakeExampleJpeg(intel));
  EXPECT_EQ(v.timeImage, "2012:04:23 21:30:15.50");
  EXPECT_EQ(v.expFirst, 1.0);
  EXPECT_EQ(v.expSecond, 125.0);
  EXPECT_EQ(v.diafragma, "f/2.8");
  EXPECT_EQ(v.width, 4000);
  EXPECT_EQ(v.height, 3000);
  EXPECT_EQ(v.iso, 800);

  const ExifDisplay d = MakeExifDisplay(v);
  EXPECT_EQ(d.date, "23.04.2012");
  EXPECT_EQ(d.time, "21:30:15.500");
  EXPECT_EQ(d.exposure, "1/125");
  EXPECT_EQ(FormatNumber(d.exposureSeconds, "0.000"), "0.008");
  EXPECT_EQ(d.aperture, "f/2.8");
  EXPECT_EQ(d.size, "4000 x 3000");
  EXPECT_EQ(d.iso, "800");
}

TEST_P(ExifByteOrderTest, ReadsLongDimensionsWholeExposuresAndZeroDenominators) {
  const bool intel = GetParam();
  const std::string jpeg = MakeExifJpeg(
      intel, {RationalEntry(intel, 0x829A, 300, 10), RationalEntry(intel, 0x829D, 8, 0),
              AsciiEntry(0x9003, "2026:12:31 23:59:58"), LongEntry(intel, 0xA002, 70000), LongEntry(intel, 0xA003, 1)});
  const ExifValues v = ReadExifBytes(jpeg);
  EXPECT_EQ(v.expFirst, 30.0);
  EXPECT_EQ(v.expSecond, 1.0);
  EXPECT_EQ(v.diafragma, "f/8.0");
  EXPECT_EQ(v.width, 70000);
  EXPECT_EQ(v.height, 1);
  EXPECT_EQ(v.iso, -1);
  EXPECT_EQ(v.timeImage, "2026:12:31 23:59:58.");  // the point comes even without sub-seconds
  const ExifDisplay d = MakeExifDisplay(v);
  EXPECT_EQ(d.exposure, "30");
  EXPECT_EQ(FormatNumber(d.exposureSeconds, "0.000"), "30.000");
  EXPECT_EQ(d.size, "N/A");  // a width or height below 2
  EXPECT_EQ(d.iso, "N/A");
  EXPECT_EQ(d.date, "31.12.2026");
  EXPECT_EQ(d.time, "23:59:58.000");
}

TEST_P(ExifByteOrderTest, LongSubSecondTextsAreReadAtTheirOffset) {
  const bool intel = GetParam();
  const std::string jpeg =
      MakeExifJpeg(intel, {AsciiEntry(0x9003, "2012:04:23 21:30:15"), AsciiEntry(0x9291, "123456")});
  const ExifValues v = ReadExifBytes(jpeg);
  EXPECT_EQ(v.timeImage, "2012:04:23 21:30:15.123456");
  EXPECT_EQ(MakeExifDisplay(v).time, "21:30:15.123");
}

INSTANTIATE_TEST_SUITE_P(BothOrders, ExifByteOrderTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "Intel" : "Motorola"; });

TEST(ExifTest, EntriesOfTheWrongTypeAreSkipped) {
  const bool intel = true;
  // A stray ExposureTime pattern of type 7 in a comment before the EXIF block, and entries of unexpected
  // types: the stray one is passed over and the real rational found; the mistyped ones stay absent.
  const std::string stray = U16(intel, 0x829A) + U16(intel, 7) + U32(intel, 1) + U32(intel, 0);
  const std::string jpeg = MakeExifJpeg(intel,
                                        {RationalEntry(intel, 0x829A, 1, 60),
                                         {0x829D, 10, 1, Rational(intel, 28, 10)},
                                         {0x9003, 7, 20, std::string("2012:04:23 21:30:15") + '\0'},
                                         ShortEntry(intel, 0x8827, 100),
                                         {0xA002, 9, 1, U32(intel, 4000)}},
                                        "x" + stray);
  const ExifValues v = ReadExifBytes(jpeg);
  EXPECT_EQ(v.expFirst, 1.0);
  EXPECT_EQ(v.expSecond, 60.0);
  EXPECT_EQ(v.diafragma, "N/A");
  EXPECT_EQ(v.timeImage, "N/A");
  EXPECT_EQ(v.width, -1);
  EXPECT_EQ(v.iso, 100);
}

TEST(ExifTest, JpegWithoutExifShowsNothing) {
  const ExifValues v = ReadExifBytes(MakePlainJpeg());
  ExpectAllAbsent(v);
  const ExifDisplay d = MakeExifDisplay(v);
  for (const std::string& text : {d.date, d.time, d.exposure, d.aperture, d.size, d.iso}) EXPECT_EQ(text, "N/A");
  EXPECT_EQ(d.exposureSeconds, -1.0);
  ExpectAllAbsent(ReadExifBytes(""));
}

TEST(ExifTest, ReadsFilesAndSurvivesMissingOnes) {
  TempDir dir;
  WriteFile(dir.path() / "frame.jpg", MakeExampleJpeg(false));
  EXPECT_EQ(ReadExif((dir.path() / "frame.jpg").string()).iso, 800);
  ExpectAllAbsent(ReadExif((dir.path() / "missing.jpg").string()));
  ExpectAllAbsent(ReadExif(dir.path().string()));  // a directory
}

TEST(ExifTest, OffsetsAndCountsOutsideTheFileGiveAbsentValues) {
  for (bool intel : {true, false}) {
    ExifEntryDef date = AsciiEntry(0x9003, "2012:04:23 21:30:15");
    date.forceOffset = true;
    date.offsetOverride = 0xFFFFFFF0u;
    ExifEntryDef exposure = RationalEntry(intel, 0x829A, 1, 100);
    exposure.forceOffset = true;
    exposure.offsetOverride = 0x7FFFFFFFu;
    ExifEntryDef aperture = RationalEntry(intel, 0x829D, 28, 10);
    aperture.forceOffset = true;
    aperture.offsetOverride = 0xFFFFFFFFu;
    ExifEntryDef sub = AsciiEntry(0x9291, "12345678");
    sub.count = 0xFFFFFFFFu;
    const std::string jpeg =
        MakeExifJpeg(intel, {exposure, aperture, ShortEntry(intel, 0x8827, 400), date, sub,
                             LongEntry(intel, 0xA002, 0xFFFFFFFFu), ShortEntry(intel, 0xA003, 2000)});
    const ExifValues v = ReadExifBytes(jpeg);
    EXPECT_EQ(v.timeImage, "N/A");
    EXPECT_EQ(v.expFirst, -1.0);
    EXPECT_EQ(v.diafragma, "N/A");
    EXPECT_EQ(v.width, -1);  // beyond a signed 32-bit value
    EXPECT_EQ(v.height, 2000);
    EXPECT_EQ(v.iso, 400);
  }
}

TEST(ExifTest, TruncatedFilesGiveEachValueWholeOrAbsent) {
  for (bool intel : {true, false}) {
    const std::string full = MakeExampleJpeg(intel);
    const ExifValues whole = ReadExifBytes(full);
    for (size_t length = 0; length <= full.size(); ++length) {
      const ExifValues v = ReadExifBytes(std::string_view(full).substr(0, length));
      // The time may lose only its sub-seconds.
      EXPECT_TRUE(v.timeImage == "N/A" || v.timeImage == whole.timeImage || v.timeImage == "2012:04:23 21:30:15.")
          << length << " " << v.timeImage;
      EXPECT_TRUE(v.expFirst == -1.0 || (v.expFirst == whole.expFirst && v.expSecond == whole.expSecond));
      EXPECT_TRUE(v.diafragma == "N/A" || v.diafragma == whole.diafragma);
      EXPECT_TRUE(v.width == -1 || v.width == whole.width);
      EXPECT_TRUE(v.height == -1 || v.height == whole.height);
      EXPECT_TRUE(v.iso == -1 || v.iso == whole.iso);
    }
  }
}

TEST(ExifTest, ByteReadersFollowTheByteOrderAndStopAtTheEnd) {
  const std::string bytes("\x12\x34\x56\x78", 4);
  EXPECT_EQ(twoByteOffset(true, bytes, 0), 0x3412);
  EXPECT_EQ(twoByteOffset(false, bytes, 0), 0x1234);
  EXPECT_EQ(twoByteOffset(false, bytes, 2), 0x5678);
  EXPECT_EQ(twoByteOffset(false, bytes, 3), -1);
  EXPECT_EQ(fourByteOffset(true, bytes, 0), 0x78563412);
  EXPECT_EQ(fourByteOffset(false, bytes, 0), 0x12345678);
  EXPECT_EQ(fourByteOffset(false, bytes, 1), -1);
  EXPECT_EQ(fourByteOffset(false, "\xFF\xFF\xFF\xFF", 0), 0xFFFFFFFFll);
  EXPECT_EQ(fourByteOffset(false, bytes, static_cast<size_t>(-1)), -1);
}

TEST(ExifTest, TimeSplitNeedsFourColons) {
  std::string date = "N/A", time = "N/A";
  EXPECT_FALSE(SplitExifTime("2012:04:23 21:30", date, time));
  EXPECT_EQ(date, "N/A");
  EXPECT_TRUE(SplitExifTime("2012:4:23 1:30:05.", date, time));  // short fields are read as far as they go
  EXPECT_EQ(time, "01:30:05.000");
  EXPECT_TRUE(SplitExifTime("::::", date, time));  // degenerate but harmless
  EXPECT_EQ(date, "00.00.0000");
}

}  // namespace
