#include "exif_jpeg_support.h"

namespace testing_support {

std::string U16(bool intel, std::uint16_t value) {
  const char lo = static_cast<char>(value & 0xFF), hi = static_cast<char>(value >> 8);
  return intel ? std::string{lo, hi} : std::string{hi, lo};
}

std::string U32(bool intel, std::uint32_t value) {
  std::string be;
  for (int shift = 24; shift >= 0; shift -= 8) be.push_back(static_cast<char>((value >> shift) & 0xFF));
  return intel ? std::string(be.rbegin(), be.rend()) : be;
}

std::string Rational(bool intel, std::uint32_t numerator, std::uint32_t denominator) {
  return U32(intel, numerator) + U32(intel, denominator);
}

ExifEntryDef AsciiEntry(std::uint16_t tag, const std::string& text) {
  std::string data = text + std::string(1, '\0');
  return {tag, 2, static_cast<std::uint32_t>(data.size()), data};
}

ExifEntryDef RationalEntry(bool intel, std::uint16_t tag, std::uint32_t numerator, std::uint32_t denominator) {
  return {tag, 5, 1, Rational(intel, numerator, denominator)};
}

ExifEntryDef ShortEntry(bool intel, std::uint16_t tag, std::uint16_t value) {
  return {tag, 3, 1, U16(intel, value) + std::string(2, '\0')};
}

ExifEntryDef LongEntry(bool intel, std::uint16_t tag, std::uint32_t value) {
  return {tag, 4, 1, U32(intel, value)};
}

std::string MakeExifJpeg(bool intel, const std::vector<ExifEntryDef>& entries, const std::string& comment) {
  // TIFF block: header (8), IFD0 with the Exif pointer (2 + 12 + 4), Exif directory, data area.
  const std::uint32_t exifIfd = 8 + 18;
  const std::uint32_t dataStart = exifIfd + 2 + 12 * static_cast<std::uint32_t>(entries.size()) + 4;
  std::string tiff = std::string(intel ? "II" : "MM") + U16(intel, 42) + U32(intel, 8);
  tiff += U16(intel, 1) + U16(intel, 0x8769) + U16(intel, 4) + U32(intel, 1) + U32(intel, exifIfd) + U32(intel, 0);
  std::string data;
  tiff += U16(intel, static_cast<std::uint16_t>(entries.size()));
  for (const ExifEntryDef& e : entries) {
    tiff += U16(intel, e.tag) + U16(intel, e.type) + U32(intel, e.count);
    if (e.forceOffset) {
      tiff += U32(intel, e.offsetOverride);
    } else if (e.data.size() <= 4) {
      tiff += e.data + std::string(4 - e.data.size(), '\0');
    } else {
      tiff += U32(intel, dataStart + static_cast<std::uint32_t>(data.size()));
      data += e.data;
      if (data.size() % 2) data.push_back('\0');
    }
  }
  tiff += U32(intel, 0) + data;
  std::string jpeg = "\xFF\xD8";
  if (!comment.empty()) {
    jpeg += "\xFF\xFE" + U16(false, static_cast<std::uint16_t>(comment.size() + 2)) + comment;
  }
  const std::string app1 = std::string("Exif\0\0", 6) + tiff;
  jpeg += "\xFF\xE1" + U16(false, static_cast<std::uint16_t>(app1.size() + 2)) + app1;
  // A token scan segment: bytes that match no tag pattern.
  jpeg += "\xFF\xDA" + U16(false, 8) + std::string("\x01\x01\x00\x00\x3F\x00", 6) + std::string(64, '\x55');
  jpeg += "\xFF\xD9";
  return jpeg;
}

std::string MakeExampleJpeg(bool intel) {
  return MakeExifJpeg(
      intel, {RationalEntry(intel, 0x829A, 10, 1250), RationalEntry(intel, 0x829D, 28, 10),
              ShortEntry(intel, 0x8827, 800), AsciiEntry(0x9003, "2012:04:23 21:30:15"), AsciiEntry(0x9291, "50"),
              ShortEntry(intel, 0xA002, 4000), ShortEntry(intel, 0xA003, 3000)});
}

std::string MakePlainJpeg() {
  std::string jpeg = "\xFF\xD8\xFF\xE0";
  jpeg += U16(false, 16) + std::string("JFIF\0\x01\x01\x00\x00\x01\x00\x01\x00\x00", 14);
  jpeg += "\xFF\xDA" + U16(false, 8) + std::string("\x01\x01\x00\x00\x3F\x00", 6) + std::string(200, '\x55');
  jpeg += "\xFF\xD9";
  return jpeg;
}

}  // namespace testing_support
