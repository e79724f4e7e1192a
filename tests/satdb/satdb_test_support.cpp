#include "satdb_test_support.h"

#include <cmath>
#include <cstdio>

#include "base/calendar.h"

namespace satdb_testing {

std::string Line1(int catalogNumber, int twoDigitYear, double dayOfYear) {
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, "1 %05dU 98067A   %02d%012.8f  .00005236  00000+0  10178-3 0  999",
                catalogNumber, twoDigitYear, dayOfYear);
  // The checksum digit: digits of columns 1-68 summed, "-" counting 1, modulo 10.
  int sum = 0;
  for (const char* c = buffer; *c; ++c) sum += (*c >= '0' && *c <= '9') ? *c - '0' : (*c == '-' ? 1 : 0);
  return std::string(buffer) + static_cast<char>('0' + sum % 10);
}

std::string Line2For(const std::string& line2, int catalogNumber) {
  char number[8];
  std::snprintf(number, sizeof number, "%05d", catalogNumber % 100000);
  std::string line = line2.substr(0, 2) + number + line2.substr(7, 61);
  int sum = 0;
  for (const char c : line) sum += (c >= '0' && c <= '9') ? c - '0' : (c == '-' ? 1 : 0);
  return line + static_cast<char>('0' + sum % 10);
}

std::string WithColumns(const std::string& line, std::size_t first, const std::string& text) {
  std::string changed = (line.substr(0, first - 1) + text + line.substr(first - 1 + text.size())).substr(0, 68);
  return changed + static_cast<char>('0' + ElementLineChecksum(changed));
}

std::string Line1AtMjd(int catalogNumber, double mjd) {
  const int year = DateFromMjd(mjd, 2026).year;
  return Line1(catalogNumber, year % 100, mjd - MjdFromDate(year, 1, 0, 0));
}

std::string EpochField(const std::string& line1) {
  return line1.substr(18, 14);
}

std::string CrLf(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

}  // namespace satdb_testing
