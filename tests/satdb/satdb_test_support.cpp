#include "satdb_test_support.h"

#include <cmath>
#include <cstdio>

#include "base/calendar.h"

namespace satdb_testing {

std::string Line1(int catalogNumber, int twoDigitYear, double dayOfYear) {
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, "1 %05dU 98067A   %02d%012.8f  .00005236  00000+0  10178-3 0  9991",
                catalogNumber, twoDigitYear, dayOfYear);
  return buffer;
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
