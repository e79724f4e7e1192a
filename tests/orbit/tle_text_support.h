#pragma once
// A small reader of two-line element text for the orbit tests and benchmarks: fills a TleRecord from
// the fixed columns of lines 1 and 2 (catalogue number, epoch, B*, inclination, node, eccentricity,
// argument of perigee, mean anomaly, mean motion). No checksums, no database handling.

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "frameinfo/calendar.h"
#include "satdb/tle_record.h"

namespace tle_text {

// Number in the 1-based columns first..last of a line, leading blanks skipped; 0 when absent.
inline double Field(std::string_view line, size_t first, size_t last) {
  if (line.size() < first) return 0.0;
  std::string text(line.substr(first - 1, last - first + 1));
  return std::strtod(text.c_str(), nullptr);
}

// B* from columns 54-61: sign, five mantissa digits read as 0.ddddd, exponent digit taken as negative.
inline double Bstar(std::string_view line) {
  if (line.size() < 61) return 0.0;
  const double mantissa = Field(line, 55, 59) / 1e5;
  const double exponent = Field(line, 61, 61);
  const double value = mantissa * std::pow(10.0, -exponent);
  return line[53] == '-' ? -value : value;
}

// Fills a record from lines 1 and 2 of a set; false when a line is too short to hold its elements.
inline bool ReadSet(std::string_view line1, std::string_view line2, TleRecord& tle) {
  if (line1.size() < 61 || line2.size() < 63) return false;
  tle = TleRecord{};
  tle.catalogNumber = static_cast<int>(Field(line1, 3, 7));
  tle.designator = std::string(line1.substr(9, 8));
  const int yy = static_cast<int>(Field(line1, 19, 20));
  tle.epochMjd = MjdFromDate(yy <= 60 ? 2000 + yy : 1900 + yy, 1, 0, 0.0) + Field(line1, 21, 32);
  tle.bstar = Bstar(line1);
  tle.inclinationDeg = Field(line2, 9, 16);
  tle.raanDeg = Field(line2, 18, 25);
  tle.eccentricity = Field(line2, 27, 33) / 1e7;
  tle.argPerigeeDeg = Field(line2, 35, 42);
  tle.meanAnomalyDeg = Field(line2, 44, 51);
  tle.meanMotion = Field(line2, 53, 63);
  return true;
}

// Every set of a two- or three-line file, in file order; a name line before a set becomes its name.
inline std::vector<TleRecord> ReadFile(const std::string& path) {
  std::vector<TleRecord> sets;
  std::ifstream in(path, std::ios::binary);
  std::string line, previous;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("1 ", 0) == 0) {
      std::string line2;
      if (!std::getline(in, line2)) break;
      if (!line2.empty() && line2.back() == '\r') line2.pop_back();
      TleRecord tle;
      if (ReadSet(line, line2, tle)) {
        tle.name = previous;
        sets.push_back(tle);
      }
      previous.clear();
    } else {
      previous = line;
    }
  }
  return sets;
}

}  // namespace tle_text
