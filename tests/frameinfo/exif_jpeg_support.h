#pragma once
// Builds small JPEG files with an EXIF block for the EXIF reader's tests.
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

// One directory entry of the Exif directory: the value bytes go into the entry when they fit in
// four bytes, otherwise into the data area with the entry holding their offset.
struct ExifEntryDef {
  std::uint16_t tag = 0;
  std::uint16_t type = 0;
  std::uint32_t count = 0;
  std::string data;          // value bytes, already in the file's byte order
  bool forceOffset = false;  // write `offsetOverride` into the value field instead
  std::uint32_t offsetOverride = 0;
};

// Encoders in the given byte order (intel = little-endian).
std::string U16(bool intel, std::uint16_t value);
std::string U32(bool intel, std::uint32_t value);
std::string Rational(bool intel, std::uint32_t numerator, std::uint32_t denominator);
// Common entries.
ExifEntryDef AsciiEntry(std::uint16_t tag, const std::string& text);  // zero byte appended
ExifEntryDef RationalEntry(bool intel, std::uint16_t tag, std::uint32_t numerator, std::uint32_t denominator);
ExifEntryDef ShortEntry(bool intel, std::uint16_t tag, std::uint16_t value);
ExifEntryDef LongEntry(bool intel, std::uint16_t tag, std::uint32_t value);

// A JPEG file: SOI, optional comment segment, APP1 "Exif" with a TIFF block (IFD0 pointing to an Exif
// directory with the entries), a little image data and EOI.
std::string MakeExifJpeg(bool intel, const std::vector<ExifEntryDef>& entries, const std::string& comment = "");
// The worked example: 2012:04:23 21:30:15.50, exposure 10/1250, f/2.8, 4000 x 3000, ISO 800.
std::string MakeExampleJpeg(bool intel);
// A JPEG with a JFIF header and no EXIF block.
std::string MakePlainJpeg();

}  // namespace testing_support
