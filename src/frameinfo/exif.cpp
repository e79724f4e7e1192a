#include "frameinfo/exif.h"

#include <cstdint>
#include <fstream>
#include <limits>
#include <vector>

#include "base/numbers.h"

namespace {

// EXIF lies at the very start of a JPEG; reading is capped so that a huge file cannot exhaust memory.
constexpr std::uint64_t kMaxFileBytes = 256ull * 1024 * 1024;

constexpr int kTypeAscii = 2;
constexpr int kTypeShort = 3;
constexpr int kTypeLong = 4;
constexpr int kTypeRational = 5;

// One directory entry found by the pattern scan; fields past the end of the file read as -1.
struct TagEntry {
  bool found = false;
  std::size_t pos = 0;  // 0-based index of the tag's first byte
  std::int64_t type = -1;
  std::int64_t count = -1;
  std::int64_t value = -1;  // the value field read as one 4-byte number (an offset for long values)
};

// The TIFF header located by its byte-order mark.
struct TiffHeader {
  bool found = false;
  bool intel = false;
  std::size_t start = 0;  // 0-based index of the mark's first byte; TIFF offsets count from here
};

TiffHeader FindByteOrderMark(std::string_view bytes) {
  TiffHeader header;
  for (std::size_t k = 0; k + 1 < bytes.size(); ++k) {
    if ((bytes[k] == 'I' && bytes[k + 1] == 'I') || (bytes[k] == 'M' && bytes[k + 1] == 'M')) {
      header.found = true;
      header.intel = bytes[k] == 'I';
      header.start = k;
      return header;
    }
  }
  return header;
}

// Scans the whole file for the tag's two bytes and takes the first entry whose type is the wanted one.
TagEntry FindTag(std::string_view bytes, bool intel, int tag, int wantedType) {
  const char low = static_cast<char>(tag & 0xFF);
  const char high = static_cast<char>((tag >> 8) & 0xFF);
  const char first = intel ? low : high;
  const char second = intel ? high : low;
  TagEntry entry;
  for (std::size_t k = 0; k + 1 < bytes.size(); ++k) {
    if (bytes[k] != first || bytes[k + 1] != second) continue;
    entry.pos = k;
    entry.type = twoByteOffset(intel, bytes, k + 2);
    entry.count = fourByteOffset(intel, bytes, k + 4);
    entry.value = fourByteOffset(intel, bytes, k + 8);
    if (entry.type == wantedType) {
      entry.found = true;
      return entry;
    }
  }
  return entry;
}

// True when `length` bytes from the 0-based index `first` lie inside the file with one byte to spare
// (the margin the reader has always kept). Arithmetic in 64 bits, so huge counts cannot wrap.
bool Inside(std::string_view bytes, std::uint64_t first, std::int64_t length) {
  if (length < 0) return false;
  return first + static_cast<std::uint64_t>(length) + 1 < bytes.size();
}

// Text of `count` bytes: a final zero byte dropped and blanks trimmed at both ends.
std::string AsciiText(std::string_view bytes, std::size_t first, std::size_t count) {
  std::string text(bytes.substr(first, count));
  if (!text.empty() && text.back() == '\0') text.pop_back();
  const std::size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return std::string();
  const std::size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

// Reads an ASCII entry's text: up to four bytes sit in the value field itself, longer texts at the
// offset the field holds. False when the text would reach past the end of the file.
bool ReadAscii(std::string_view bytes, const TiffHeader& header, const TagEntry& entry, bool alwaysAtOffset,
               std::string& text) {
  if (entry.count < 0 || entry.value < 0) return false;
  const bool inField = !alwaysAtOffset && entry.count <= 4;
  const std::uint64_t first = inField ? entry.pos + 8 : header.start + static_cast<std::uint64_t>(entry.value);
  if (!Inside(bytes, first, entry.count)) return false;
  text = AsciiText(bytes, static_cast<std::size_t>(first), static_cast<std::size_t>(entry.count));
  return true;
}

// Reads a single RATIONAL at the entry's offset, a zero denominator taken as 1 and common factors of ten
// removed (10/1250 -> 1/125, 300/10 -> 30/1). False when the tag is not one rational inside the file.
bool ReadRational(std::string_view bytes, const TiffHeader& header, const TagEntry& entry, std::int64_t& numerator,
                  std::int64_t& denominator) {
  if (!entry.found || entry.count != 1 || entry.value < 0) return false;
  const std::uint64_t first = header.start + static_cast<std::uint64_t>(entry.value);
  if (!Inside(bytes, first, 8)) return false;
  numerator = fourByteOffset(header.intel, bytes, static_cast<std::size_t>(first));
  denominator = fourByteOffset(header.intel, bytes, static_cast<std::size_t>(first + 4));
  if (numerator < 0 || denominator < 0) return false;
  if (denominator == 0) denominator = 1;
  while (numerator % 10 == 0 && denominator % 10 == 0) {
    numerator /= 10;
    denominator /= 10;
  }
  return true;
}

// Reads a dimension stored as SHORT or, failing that, as LONG; false when absent or beyond 32 bits signed.
bool ReadDimension(std::string_view bytes, const TiffHeader& header, int tag, std::int32_t& result) {
  TagEntry entry = FindTag(bytes, header.intel, tag, kTypeShort);
  std::int64_t value = -1;
  if (entry.found) {
    if (!Inside(bytes, entry.pos + 8, 2)) return false;
    value = twoByteOffset(header.intel, bytes, entry.pos + 8);
  } else {
    entry = FindTag(bytes, header.intel, tag, kTypeLong);
    if (!entry.found || !Inside(bytes, entry.pos + 8, 4)) return false;
    value = fourByteOffset(header.intel, bytes, entry.pos + 8);
  }
  if (value < 0 || value > std::numeric_limits<std::int32_t>::max()) return false;
  result = static_cast<std::int32_t>(value);
  return true;
}

std::string ReadFileCapped(const std::string& fileName, bool& ok) {
  ok = false;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return std::string();
  std::string bytes;
  std::vector<char> chunk(1 << 16);
  while (in && bytes.size() < kMaxFileBytes) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) return std::string();
  ok = true;
  return bytes;
}

}  // namespace

std::int64_t twoByteOffset(bool intel, std::string_view bytes, std::size_t index) {
  if (index >= bytes.size() || bytes.size() - index < 2) return -1;
  const auto b0 = static_cast<unsigned char>(bytes[index]);
  const auto b1 = static_cast<unsigned char>(bytes[index + 1]);
  return intel ? b1 * 256 + b0 : b0 * 256 + b1;
}

std::int64_t fourByteOffset(bool intel, std::string_view bytes, std::size_t index) {
  if (index >= bytes.size() || bytes.size() - index < 4) return -1;
  std::int64_t value = 0;
  for (int k = 0; k < 4; ++k) {
    const auto b = static_cast<unsigned char>(bytes[index + static_cast<std::size_t>(intel ? 3 - k : k)]);
    value = value * 256 + b;
  }
  return value;
}

ExifValues ReadExifBytes(std::string_view bytes) {
  ExifValues values;
  const TiffHeader header = FindByteOrderMark(bytes);
  if (!header.found) return values;

  // DateTimeOriginal, then the sub-seconds appended after a point.
  const TagEntry date = FindTag(bytes, header.intel, 0x9003, kTypeAscii);
  std::string text;
  if (date.found && ReadAscii(bytes, header, date, true, text)) values.timeImage = text;
  const TagEntry subSeconds = FindTag(bytes, header.intel, 0x9291, kTypeAscii);
  std::string subText;
  if (subSeconds.found && !ReadAscii(bytes, header, subSeconds, false, subText)) subText.clear();
  if (values.timeImage.size() > 3) values.timeImage += "." + subText;

  std::int64_t n = 0, d = 0;
  if (ReadRational(bytes, header, FindTag(bytes, header.intel, 0x829A, kTypeRational), n, d)) {
    values.expFirst = static_cast<double>(n);
    values.expSecond = static_cast<double>(d);
  }
  if (ReadRational(bytes, header, FindTag(bytes, header.intel, 0x829D, kTypeRational), n, d)) {
    values.diafragma = "f/" + FormatNumber(static_cast<double>(n) / static_cast<double>(d), "0.0");
  }
  ReadDimension(bytes, header, 0xA002, values.width);
  ReadDimension(bytes, header, 0xA003, values.height);
  const TagEntry iso = FindTag(bytes, header.intel, 0x8827, kTypeShort);
  if (iso.found && Inside(bytes, iso.pos + 8, 2))
    values.iso = static_cast<std::int32_t>(twoByteOffset(header.intel, bytes, iso.pos + 8));
  return values;
}

ExifValues ReadExif(const std::string& fileName) {
  bool ok = false;
  const std::string bytes = ReadFileCapped(fileName, ok);
  if (!ok) return ExifValues();
  return ReadExifBytes(bytes);
}

bool SplitExifTime(const std::string& timeImage, std::string& dateText, std::string& timeText) {
  std::vector<std::size_t> colons;
  for (std::size_t k = 0; k < timeImage.size(); ++k) {
    if (timeImage[k] == ':') colons.push_back(k);
  }
  if (colons.size() < 4) return false;
  const std::string_view t(timeImage);
  // Two characters from a 0-based index, clipped to the text.
  auto two = [&t](std::size_t first) { return first < t.size() ? t.substr(first, 2) : std::string_view(); };
  const double year = ParseNumber(t.substr(0, colons[0]));
  const double month = ParseNumber(two(colons[0] + 1));
  const double day = ParseNumber(two(colons[1] + 1));
  const double hour = ParseNumber(colons[2] >= 2 ? t.substr(colons[2] - 2, 2) : t.substr(0, colons[2]));
  const double minute = ParseNumber(two(colons[2] + 1));
  const double seconds = ParseNumber(t.substr(colons[3] + 1));
  dateText = FormatNumber(day, "00") + "." + FormatNumber(month, "00") + "." + FormatNumber(year, "0000");
  timeText = FormatNumber(hour, "00") + ":" + FormatNumber(minute, "00") + ":" + FormatNumber(seconds, "00.000");
  return true;
}

ExifDisplay MakeExifDisplay(const ExifValues& values) {
  ExifDisplay display;
  SplitExifTime(values.timeImage, display.date, display.time);
  if (values.expFirst != -1.0 && values.expSecond != -1.0) {
    display.exposure = values.expSecond == 1.0
                           ? FormatNumber(values.expFirst, "0")
                           : FormatNumber(values.expFirst, "0") + "/" + FormatNumber(values.expSecond, "0");
    display.exposureSeconds = values.expFirst / values.expSecond;
  }
  display.aperture = values.diafragma;
  if (values.width >= 2 && values.height >= 2) {
    display.size = FormatNumber(values.width, "0") + " x " + FormatNumber(values.height, "0");
  }
  if (values.iso != -1) display.iso = FormatNumber(values.iso, "0");
  return display;
}
