#pragma once
// Date, time and exposure of a JPEG frame from its EXIF block. The reader does not walk the TIFF
// directories: it scans the file for the byte patterns of the wanted tags and accepts a match only
// when the entry's type field holds the expected type. Every offset and count read from the file is
// checked against the file's length before use.

#include <cstdint>
#include <string>
#include <string_view>

// The values read from a file; each keeps its absent value ("N/A" or -1) when it was not found.
struct ExifValues {
  std::string timeImage = "N/A";  // DateTimeOriginal "yyyy:mm:dd hh:mm:ss", "." and SubSecTimeOriginal appended
  double expFirst = -1.0;         // ExposureTime numerator (after reduction by tens)
  double expSecond = -1.0;        // ExposureTime denominator (after reduction by tens)
  std::string diafragma = "N/A";  // FNumber as "f/2.8"
  std::int32_t width = -1;        // PixelXDimension
  std::int32_t height = -1;       // PixelYDimension
  std::int32_t iso = -1;          // ISOSpeedRatings
};

// The six texts the EXIF window shows, and the exposure in seconds kept for copying.
struct ExifDisplay {
  std::string date = "N/A";       // "dd.mm.yyyy"
  std::string time = "N/A";       // "hh:mm:ss.sss"
  std::string exposure = "N/A";   // "30" or "1/125"
  std::string aperture = "N/A";   // "f/2.8"
  std::string size = "N/A";       // "4000 x 3000"
  std::string iso = "N/A";        // "800"
  double exposureSeconds = -1.0;  // -1 when unknown
};

// Reads the EXIF values of a JPEG file; a file that cannot be read gives all values absent.
ExifValues ReadExif(const std::string& fileName);
// Reads the EXIF values from the bytes of a whole JPEG file.
ExifValues ReadExifBytes(std::string_view bytes);
// Value of two bytes at a 0-based index in the file's byte order (intel = little-endian); -1 past the end.
std::int64_t twoByteOffset(bool intel, std::string_view bytes, std::size_t index);
// Value of four bytes at a 0-based index in the file's byte order (intel = little-endian); -1 past the end.
std::int64_t fourByteOffset(bool intel, std::string_view bytes, std::size_t index);
// Splits "yyyy:mm:dd hh:mm:ss.ss" into "dd.mm.yyyy" and "hh:mm:ss.sss"; false (texts untouched) with
// fewer than four colons.
bool SplitExifTime(const std::string& timeImage, std::string& dateText, std::string& timeText);
// The window's texts for a set of values.
ExifDisplay MakeExifDisplay(const ExifValues& values);
