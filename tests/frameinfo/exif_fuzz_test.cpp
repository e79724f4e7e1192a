// Random mutations of valid EXIF JPEGs through the reader. Built a second time with AddressSanitizer and
// UndefinedBehaviorSanitizer (test_exif_sanitized), where any out-of-bounds read or overflow fails the run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>

#include "exif_jpeg_support.h"
#include "frameinfo/exif.h"

namespace {

// Checks the invariants every result must keep, however broken the file.
void ExpectSane(const ExifValues& v) {
  EXPECT_TRUE(v.expFirst == -1.0 || (v.expFirst >= 0.0 && v.expSecond >= 1.0));
  EXPECT_GE(v.width, -1);
  EXPECT_GE(v.height, -1);
  EXPECT_GE(v.iso, -1);
  EXPECT_LE(v.iso, 65535);
  const ExifDisplay d = MakeExifDisplay(v);
  for (const std::string& text : {d.date, d.time, d.exposure, d.aperture, d.size, d.iso}) {
    EXPECT_EQ(text.find("nan"), std::string::npos);
    EXPECT_EQ(text.find("inf"), std::string::npos);
  }
}

TEST(ExifFuzzTest, RandomMutationsNeverMisbehave) {
  std::mt19937 rng(19);
  const std::string seeds[] = {testing_support::MakeExampleJpeg(true), testing_support::MakeExampleJpeg(false)};
  // Bytes that steer the reader into its interesting paths: marks, tag bytes, types, huge counts.
  const unsigned char interesting[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x49, 0x4D, 0x82, 0x9A, 0x9D,
                                       0x90, 0x03, 0x92, 0x91, 0xA0, 0x88, 0x27, 0x7F, 0x80, 0xFE, 0xFF};
  // How many of the six values each mutated file still gave: all, some, none.
  int intact = 0, partial = 0, lost = 0;
  for (int i = 0; i < 12000; ++i) {
    std::string bytes = seeds[i % 2];
    std::uniform_int_distribution<int> editsDist(1, 8);
    const int edits = editsDist(rng);
    for (int e = 0; e < edits && !bytes.empty(); ++e) {
      std::uniform_int_distribution<size_t> posDist(0, bytes.size() - 1);
      const size_t pos = posDist(rng);
      switch (rng() % 5) {
        case 0:  // random byte
          bytes[pos] = static_cast<char>(rng() & 0xFF);
          break;
        case 1:  // interesting byte
          bytes[pos] = static_cast<char>(interesting[rng() % sizeof interesting]);
          break;
        case 2:  // four bytes of all ones: huge counts and offsets
          for (size_t k = pos; k < bytes.size() && k < pos + 4; ++k) bytes[k] = '\xFF';
          break;
        case 3:  // truncate
          bytes.resize(pos);
          break;
        default:  // delete or duplicate a run
          if (rng() % 2) {
            bytes.erase(pos, rng() % 16);
          } else {
            bytes.insert(pos, bytes.substr(pos, rng() % 16));
          }
          break;
      }
    }
    // An exact-size heap copy, so that a read one byte past the end is caught by the address checker.
    const std::unique_ptr<char[]> exact(new char[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    const ExifValues v = ReadExifBytes(std::string_view(exact.get(), bytes.size()));
    ExpectSane(v);
    const int found = (v.timeImage != "N/A") + (v.expFirst != -1.0) + (v.diafragma != "N/A") + (v.width != -1) +
                      (v.height != -1) + (v.iso != -1);
    ++(found == 6 ? intact : found == 0 ? lost : partial);
  }
  // The mutations reach the reading of the tags themselves: a reader that gave up on any damaged file, or
  // seeds it did not take, would leave the checks above running on nothing but absent values.
  std::printf("all values %d, some %d, none %d\n", intact, partial, lost);
  EXPECT_GT(intact, 1000);
  EXPECT_GT(partial, 2000);
  EXPECT_GT(lost, 100);
}

}  // namespace
