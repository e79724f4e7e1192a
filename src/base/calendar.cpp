#include "base/calendar.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "base/numbers.h"

namespace {

constexpr int kMonthDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Largest value a 16-bit calendar field holds.
constexpr int kMaxYear = 32767;

// Positions of every occurrence of a character in a text.
std::vector<size_t> PositionsOf(std::string_view text, char c) {
  std::vector<size_t> positions;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == c) positions.push_back(i);
  }
  return positions;
}

// True when the MJD lies inside the given calendar year (half-open interval).
bool YearContains(int year, double mjd) {
  const double m0 = MjdFromDate(year, 1, 1, 0.0);
  const double n = IsLeapYear(year) ? 366.0 : 365.0;
  return m0 <= mjd && mjd < m0 + n;
}

}  // namespace

bool IsLeapYear(int year) {
  return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

int DaysInMonth(int year, int month) {
  if (month < 1 || month > 12) return 0;
  if (month == 2 && IsLeapYear(year)) return 29;
  return kMonthDays[month - 1];
}

double MjdFromDate(int year, int month, int day, double hours) {
  // Gregorian calendar throughout, with March as the first month of the counting year.
  // 64-bit integers: the month term overflows 32 bits for months above about 7000 (a mistyped date).
  std::int64_t y = year;
  std::int64_t m = month;
  if (m <= 2) {
    m += 12;
    y -= 1;
  }
  const std::int64_t b = y / 400 - y / 100 + y / 4;
  const std::int64_t c = ((m + 1) * 306001) / 10000;
  return 365.0 * static_cast<double>(y) - 679004.0 + static_cast<double>(b + c) + day + hours / 24.0;
}

CalendarFields DateFromMjd(double mjd, int yearGuess) {
  CalendarFields result;
  if (!std::isfinite(mjd)) return result;
  int year = 0;
  bool found = false;
  for (int y = yearGuess - 1; y <= yearGuess + 1 && !found; ++y) {
    if (YearContains(y, mjd)) {
      year = y;
      found = true;
    }
  }
  if (!found) {
    // A guess further off than a year: estimate the year from the mean Gregorian year length.
    const double estimate = 2000.0 + std::floor((mjd - 51544.0) / 365.2425);
    if (estimate < -kMaxYear || estimate > kMaxYear) return result;
    const int e = static_cast<int>(estimate);
    for (int y = e - 1; y <= e + 1 && !found; ++y) {
      if (YearContains(y, mjd)) {
        year = y;
        found = true;
      }
    }
    if (!found) return result;
  }
  // Day of the year, 1.0 at the start of 1 January.
  const int dayOfYear = static_cast<int>(std::floor(mjd - MjdFromDate(year, 1, 0, 0.0)));
  int count = 0;
  for (int month = 1; month <= 12; ++month) {
    const int length = DaysInMonth(year, month);
    if (dayOfYear <= count + length) {
      result.year = year;
      result.month = month;
      result.day = dayOfYear - count;
      break;
    }
    count += length;
  }
  const HourSplit split = SplitHours((mjd - std::floor(mjd)) * 24.0);
  result.hour = split.hour;
  result.minute = split.minute;
  result.seconds = split.seconds;
  return result;
}

bool ParseDate(std::string_view text, int& year, int& month, int& day) {
  const std::vector<size_t> points = PositionsOf(text, '.');
  if (points.size() != 2) return false;
  day = RoundToInt(ParseNumber(text.substr(0, points[0])));
  if (day < 1 || day > 31) return false;
  month = RoundToInt(ParseNumber(text.substr(points[0] + 1, points[1] - points[0] - 1)));
  if (month < 1 || month > 12) return false;
  year = RoundToInt(ParseNumber(text.substr(points[1] + 1)));
  return year >= 1900 && year <= kMaxYear;
}

bool ParseTime(std::string_view text, int& hour, int& minute, float& seconds) {
  std::string t(text);
  for (char& c : t) {
    if (c == ',') c = '.';
  }
  const std::vector<size_t> colons = PositionsOf(t, ':');
  if (colons.size() != 2) return false;
  const std::string_view view(t);
  hour = RoundToInt(ParseNumber(view.substr(0, colons[0])));
  if (hour < 0 || hour > 24) return false;
  minute = RoundToInt(ParseNumber(view.substr(colons[0] + 1, colons[1] - colons[0] - 1)));
  if (minute < 0 || minute > 60) return false;
  // Checked in double precision: a number beyond the single range must not become an infinity.
  const double value = ParseNumber(view.substr(colons[1] + 1));
  seconds = std::fabs(value) <= std::numeric_limits<float>::max() ? static_cast<float>(value) : 0.0f;
  return value >= 0.0 && value <= 60.0;
}
