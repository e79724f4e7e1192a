#pragma once
// Checks of a frame file's structure from its header, before any pixel is decoded.

#include <cstdint>
#include <istream>

enum class FrameFormat { Unknown, Jpeg, Bmp };

// The largest side a frame may have (its size must fit a 16-bit signed field).
constexpr int kMaxFrameSide = 32767;

// What the header of a JPEG or BMP file says, and whether the rest of the file can hold it.
struct FrameHeader {
  FrameFormat format = FrameFormat::Unknown;
  int width = 0;   // pixels, as the header claims
  int height = 0;  // pixels, as the header claims
  // The file holds everything the header promises: for a JPEG, its scans run to the end-of-image marker
  // and carry at least one bit per 8 x 8 block (the least a Huffman-coded block can take); for an
  // uncompressed BMP, every row. False for a truncated file or one whose header claims more pixels
  // than its data could ever describe.
  bool complete = false;
};

// Reads the header of a JPEG or BMP frame from in and walks the file's structure to its end without
// decoding; in is read from its current position (a file opened in binary mode).
FrameHeader ReadFrameHeader(std::istream& in);

// Bytes an open frame holds per pixel: its colour pixels (4) and its brightness raster (1).
constexpr int kFrameBytesPerPixel = 5;

// The largest pixel count a frame may have when availableBytes of memory are free: three quarters of the
// free memory at kFrameBytesPerPixel, and never more than a square of kMaxFrameSide pixels, the most the
// raster addresses. availableBytes 0 (unknown) gives that square.
std::int64_t FramePixelLimit(std::uint64_t availableBytes);

// Memory the system can still give to a process without swapping, in bytes (Linux: MemAvailable; elsewhere
// the free pages). 0 when it cannot be read.
std::uint64_t AvailableMemoryBytes();
