// The frame decoder against QtGui's own reading, hostile headers and truncated files, and its peak memory.
#include "image/decode.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QLoggingCategory>
#include <fstream>
#include <random>
#include <string>

#include "image/raster.h"
#include "test_paths.h"

namespace {

using testing_support::TempDir;
using testing_support::TestDataDir;

std::string Frame(const char* name) {
  return (TestDataDir() / "frames" / name).string();
}

// Decodes with no memory limit, so that only the file's own structure can refuse it.
bool DecodeUnlimited(const std::string& path, DecodedImage& out) {
  return DecodeFrameFile(path, out, std::int64_t{1} << 62);
}

TEST(DecodeFrameFile, GivesQtsOwnPixelsForEveryKindOfFrame) {
  for (const char* name : {"frame_96x64.jpg", "frame_96x64.bmp", "frame_grey.jpg", "frame_palette.bmp"}) {
    SCOPED_TRACE(name);
    DecodedImage decoded;
    ASSERT_TRUE(DecodeFrameFile(Frame(name), decoded));
    const QImage reference = QImage(QString::fromStdString(Frame(name))).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(decoded.width, 96);
    ASSERT_EQ(decoded.height, 64);
    ASSERT_EQ(decoded.pixels.size(), 96u * 64u);
    int differing = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 96; ++x)
        differing +=
            (decoded.pixels[static_cast<std::size_t>(y) * 96 + x] & 0xFFFFFFu) != (reference.pixel(x, y) & 0xFFFFFFu);
    EXPECT_EQ(differing, 0);
  }
}

TEST(DecodeFrameFile, RefusesBombsTruncatedFilesAndFramesAboveTheMemoryLimit) {
  DecodedImage decoded;
  // 631 bytes claiming 30,000 x 30,000 pixels: refused from the file's structure, whatever memory is free.
  EXPECT_FALSE(DecodeUnlimited(Frame("frame_bomb_30000.jpg"), decoded));
  EXPECT_TRUE(decoded.pixels.empty());
  // Second half missing: no end-of-image marker, rows missing; refused instead of opening half grey.
  EXPECT_FALSE(DecodeUnlimited(Frame("frame_truncated.jpg"), decoded));
  EXPECT_FALSE(DecodeUnlimited(Frame("frame_truncated.bmp"), decoded));
  EXPECT_EQ(decoded.refusal, FrameRefusal::Truncated);
  EXPECT_FALSE(DecodeUnlimited(Frame("missing.jpg"), decoded));
  EXPECT_EQ(decoded.refusal, FrameRefusal::Unreadable);
  // The memory limit counts pixels from the header.
  EXPECT_FALSE(DecodeFrameFile(Frame("frame_96x64.jpg"), decoded, 96 * 64 - 1));
  EXPECT_TRUE(decoded.pixels.empty());
  EXPECT_EQ(decoded.refusal, FrameRefusal::TooLarge);
  EXPECT_TRUE(DecodeFrameFile(Frame("frame_96x64.jpg"), decoded, 96 * 64));
  // The limit: three quarters of the free memory at 5 bytes per pixel, never above the raster's square.
  EXPECT_EQ(FramePixelLimit(std::uint64_t{1} << 30), 161061273);
  EXPECT_EQ(FramePixelLimit(std::uint64_t{1} << 40), std::int64_t{32767} * 32767);
  EXPECT_EQ(FramePixelLimit(0), std::int64_t{32767} * 32767);
  EXPECT_GT(AvailableMemoryBytes(), 0u);
}

// Little-endian field of the given bytes.
std::string Le(std::int64_t v, int bytes) {
  std::string s;
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

// A run-length BMP of 8 bits per pixel with a two-colour palette (0 red, 1 blue) and the given codes.
std::string RunLengthBmp(int width, int height, const std::string& codes) {
  return "BM" + Le(62 + static_cast<std::int64_t>(codes.size()), 4) + Le(0, 4) + Le(62, 4) + Le(40, 4) + Le(width, 4) +
         Le(height, 4) + Le(1, 2) + Le(8, 2) + Le(1, 4) + Le(0, 12) + Le(2, 4) + Le(0, 4) +
         std::string("\x00\x00\xFF\x00\xFF\x00\x00\x00", 8) + codes;
}

FrameRefusal RefusalOf(const std::string& bytes, DecodedImage* kept = nullptr) {
  DecodedImage out;
  const bool decoded = DecodeFrameBytes(bytes, out, std::int64_t{1} << 62);
  EXPECT_EQ(decoded, out.refusal == FrameRefusal::None);
  if (kept != nullptr) *kept = out;
  return out.refusal;
}

TEST(DecodeFrameFile, RefusesCodingsThatAFewBytesCanInflateAndNamesEachCause) {
  // A 3 x 2 run-length picture, bottom row first: decoded as coded.
  const std::string rows("\x03\x01\x00\x00\x01\x00\x02\x01\x00\x01", 10);
  DecodedImage small;
  ASSERT_EQ(RefusalOf(RunLengthBmp(3, 2, rows), &small), FrameRefusal::None);
  EXPECT_EQ(small.pixels,
            (std::vector<std::uint32_t>{0xFFFF0000u, 0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu}));
  // A kilobyte claiming 32767 x 32767 whose moves, or rows ended early, code nothing; codes that stop
  // after the first row.
  std::string moves;
  for (int i = 0; i < 200; ++i) moves += std::string("\x00\x02\xFF\xFF", 4);
  const auto unsupported = FrameRefusal::UnsupportedCoding;
  EXPECT_EQ(RefusalOf(RunLengthBmp(32767, 32767, moves + std::string("\x00\x01", 2))), unsupported);
  EXPECT_EQ(RefusalOf(RunLengthBmp(32767, 32767, std::string("\xFF\x01\x00\x00", 4))), unsupported);
  EXPECT_EQ(RefusalOf(RunLengthBmp(3, 2, rows.substr(0, 6) + std::string("\x00\x01", 2))), unsupported);
  EXPECT_EQ(RefusalOf(RunLengthBmp(3, 2, rows.substr(0, 4))), FrameRefusal::Truncated);

  // An arithmetic-coded JPEG claiming 30,000 x 30,000 pixels in 37 bytes.
  EXPECT_EQ(RefusalOf(std::string("\xFF\xD8\xFF\xC9\x00\x0B\x08\x75\x30\x75\x30\x01\x01\x11\x00\xFF\xDA\x00\x08"
                                  "\x01\x01\x00\x00\x3F\x00\x12\x34\x56\x78\x9A\xBC\xDE\xF0\x11\x22\xFF\xD9",
                                  37)),
            unsupported);
  const std::string whole = testing_support::ReadFile(Frame("frame_96x64.jpg"));
  // Cut and closed by an end-of-image marker: the decoder only warns, even where logging rules silence it.
  EXPECT_EQ(RefusalOf(whole), FrameRefusal::None);
  QLoggingCategory::setFilterRules(QStringLiteral("*.warning=false"));
  EXPECT_EQ(RefusalOf(whole.substr(0, whole.size() / 2) + "\xFF\xD9"), FrameRefusal::Truncated);
  QLoggingCategory::setFilterRules(QString());
  EXPECT_EQ(RefusalOf("GIF89a"), FrameRefusal::Unreadable);
}

#if !defined(__SANITIZE_ADDRESS__) && !(defined(__has_feature) && __has_feature(address_sanitizer))
// Resident memory in kB of this process: now (VmRSS) or its peak since the last reset (VmHWM).
long StatusKilobytes(const std::string& key) {
  std::ifstream in("/proc/self/status");
  std::string word;
  long value = 0;
  while (in >> word)
    if (word == key && in >> value) return value;
  return -1;
}

TEST(DecodeFrameFile, OpensAFrameWithAtMostFiveBytesPerPixel) {
  // A 4000 x 3000 frame: noise over a gradient, so that the JPEG is of a realistic size.
  TempDir dir;
  const std::string path = (dir.path() / "big.jpg").string();
  {
    QImage picture(4000, 3000, QImage::Format_RGB32);
    std::mt19937 noise(3);
    for (int y = 0; y < picture.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(picture.scanLine(y));
      for (int x = 0; x < picture.width(); ++x) row[x] = qRgb(x / 16, y / 12, static_cast<int>(noise() % 64));
    }
    ASSERT_TRUE(picture.save(QString::fromStdString(path), "JPEG", 90));
  }
  // Qt loads its image plugins on the first decoding: a one-time cost, not the frame's.
  DecodedImage small;
  ASSERT_TRUE(DecodeFrameFile(Frame("frame_96x64.jpg"), small));
  ASSERT_TRUE(DecodeFrameFile(Frame("frame_96x64.bmp"), small));
  std::ofstream("/proc/self/clear_refs") << "5";  // resets the peak to the present
  const long before = StatusKilobytes("VmRSS:");
  if (before < 0 || StatusKilobytes("VmHWM:") > before + 1024) GTEST_SKIP() << "peak memory cannot be reset here";
  DecodedImage decoded;
  ASSERT_TRUE(DecodeFrameFile(path, decoded));
  const BrightnessRaster raster = MakeBrightness(decoded);
  const double peakBytes = (StatusKilobytes("VmHWM:") - before) * 1024.0;
  const double bytesPerPixel = peakBytes / (4000.0 * 3000.0);
  RecordProperty("peak_bytes_per_pixel", std::to_string(bytesPerPixel));
  std::printf("peak memory while opening a 4000 x 3000 frame: %.3f bytes per pixel\n", bytesPerPixel);
  // 4 bytes of colour and 1 of brightness per pixel; beyond them only the decoder's buffers of a few rows
  // (at most 64 bytes per column) and the raster's zero row and column.
  EXPECT_LE(peakBytes, 5.0 * 4000 * 3000 + 64.0 * 4000);
  EXPECT_EQ(raster.width, 4000);
}
#endif

}  // namespace
