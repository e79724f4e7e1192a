#pragma once
// Decoding of JPEG and BMP frames into plain 32-bit pixels (QtGui underneath).

#include <cstdint>
#include <string>
#include <vector>

// A decoded picture: width x height pixels, row by row from the top, each pixel 0xAARRGGBB
// (in memory: blue, green, red, and a fourth byte that is not read).
struct DecodedImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// The largest side a frame may have (its size must fit a 16-bit signed field).
constexpr int kMaxFrameSide = 32767;

// Decodes a JPEG or BMP file. False for a missing, empty, damaged or truncated file, a file in
// another format, or a picture wider or taller than kMaxFrameSide; out is then left empty.
bool DecodeFrameFile(const std::string& path, DecodedImage& out);
