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
  // Why the file was refused (None when it was decoded); FrameRefusalText gives the line to show.
  FrameRefusal refusal = FrameRefusal::None;
};

// Decodes a JPEG or BMP file. False for a missing, empty, damaged or truncated file (also one whose scan
// stops early and is closed by an end-of-image marker), a file in another format or coding, a picture
// wider or taller than kMaxFrameSide, or one of more than maxPixels pixels; out is then left empty but
// for its refusal, the cause. The header is checked (ReadFrameHeader) before anything is allocated, and the pixels are
// decoded straight into out, so that a frame never needs more than its own 4 bytes per pixel.
bool DecodeFrameFile(const std::string& path, DecodedImage& out, std::int64_t maxPixels);
// Decodes a frame with the limit that the machine's available memory allows now.
bool DecodeFrameFile(const std::string& path, DecodedImage& out);
// Decodes a frame held in memory (the same checks as for a file).
bool DecodeFrameBytes(const std::string& bytes, DecodedImage& out, std::int64_t maxPixels);
