#pragma once
// Checks of a frame file's structure from its header, before any pixel is decoded.

#include <cstdint>
#include <istream>
#include <string>

enum class FrameFormat { Unknown, Jpeg, Bmp };

// Why a frame file was not opened.
enum class FrameRefusal {
  None,
  Unreadable,         // missing, empty, not a JPEG or BMP, or damaged
  TooLarge,           // more pixels than the memory (or the raster's square) allows
  Truncated,          // the image data ends before the picture is complete
  UnsupportedCoding,  // arithmetic-coded JPEG, or run-length BMP codes that leave pixels undefined
};

// The line that tells the user the cause (shown below "Ошибка при открытии файла."); empty for None.
const char* FrameRefusalText(FrameRefusal refusal);
// What both programs say when a frame is not opened: "Ошибка при открытии файла." and, on a second line,
// the cause when it is known.
std::string FrameOpenErrorText(FrameRefusal refusal);

// The largest side a frame may have (its size must fit a 16-bit signed field).
constexpr int kMaxFrameSide = 32767;

// What the header of a JPEG or BMP file says, and whether the rest of the file can hold it.
struct FrameHeader {
  FrameFormat format = FrameFormat::Unknown;
  int width = 0;   // pixels, as the header claims
  int height = 0;  // pixels, as the header claims
  // The file holds everything the header promises: for a JPEG, its scans run to the end-of-image marker
  // and carry at least one bit per 8 x 8 block (the least a Huffman-coded block can take); for an
  // uncompressed BMP, every row; for a run-length BMP, codes for every pixel. False for a truncated file,
  // one whose header claims more pixels than its data could ever describe, and an unsupported coding.
  bool complete = false;
  // The coding itself is refused: an arithmetic-coded JPEG (a few bytes of it can describe any number of
  // blocks, so its size cannot be weighed against the file's), or a run-length BMP whose codes skip
  // pixels (moves, early ends of line or of the picture) instead of coding them.
  bool unsupported = false;
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
