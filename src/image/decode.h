#pragma once
// Decoding of JPEG and BMP frames into plain 32-bit pixels (QtGui underneath).

#include <cstdint>
#include <string>
#include <vector>

#include "image/frame_header.h"

// A decoded picture: width x height pixels, row by row from the top, each pixel 0xAARRGGBB
// (in memory: blue, green, red, and a fourth byte that is not read).
struct DecodedImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

// Decodes a JPEG or BMP file. False for a missing, empty, damaged or truncated file, a file in another
// format, a picture wider or taller than kMaxFrameSide, or one of more than maxPixels pixels; out is then
// left empty. The header is checked (ReadFrameHeader) before anything is allocated, and the pixels are
// decoded straight into out, so that a frame never needs more than its own 4 bytes per pixel.
bool DecodeFrameFile(const std::string& path, DecodedImage& out, std::int64_t maxPixels);
// Decodes a frame with the limit that the machine's available memory allows now.
bool DecodeFrameFile(const std::string& path, DecodedImage& out);
