#include "base/numbers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace {

char gDecimalSeparator = '.';

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Blanks, tabs and line feeds are skipped anywhere inside a number text.
bool IsIgnored(char c) {
  return c == ' ' || c == '\t' || c == '\n';
}

// Reads a mantissa text (digits and at most one point, no sign) with a decimal exponent.
// Values beyond the double range become the largest double; values below it become zero.
double DecimalValue(const std::string& mantissa, long exponent) {
  std::string text = mantissa + "e" + std::to_string(exponent);
  double value = 0.0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  (void)end;
  if (error == std::errc()) return value;
  // Out of range: decide between overflow and underflow by the decimal magnitude of the first significant digit.
  long magnitude = 0;
  bool seenPoint = false;
  bool seenSignificant = false;
  long integerDigits = 0;
  long leadingFractionZeros = 0;
  for (char c : mantissa) {
    if (c == '.') {
      seenPoint = true;
      continue;
    }
    if (c != '0') seenSignificant = true;
    if (!seenPoint) {
      if (seenSignificant) ++integerDigits;
    } else if (!seenSignificant) {
      ++leadingFractionZeros;
    }
  }
  if (!seenSignificant) return 0.0;
  magnitude = integerDigits > 0 ? integerDigits : -leadingFractionZeros;
  return magnitude + exponent > 0 ? std::numeric_limits<double>::max() : 0.0;
}

// Plain number text of a value with the given significant digits (the information-file rule).
std::string PlainNumberText(double value, int digits) {
  if (!std::isfinite(value)) return " 0";
  if (value == 0.0) return " 0";
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, digits);
  if (error != std::errc()) return " 0";
  std::string text(buffer, end);
  // Exponent marker in capitals with a sign and at least two digits ("1E-05", "1.5E+20").
  for (char& c : text) {
    if (c == 'e') c = 'E';
  }
  // A pure fraction drops the zero before the point.
  if (text.rfind("0.", 0) == 0) {
    text.erase(0, 1);
  } else if (text.rfind("-0.", 0) == 0) {
    text.erase(1, 1);
  }
  if (text[0] != '-') text.insert(text.begin(), ' ');
  return text;
}

}  // namespace

double ParseNumber(std::string_view text) {
  std::string s;
  s.reserve(text.size());
  for (char c : text) {
    if (!IsIgnored(c)) s.push_back(c);
  }
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  std::string mantissa;
  size_t digits = 0;
  while (i < s.size() && IsDigit(s[i])) {
    mantissa.push_back(s[i++]);
    ++digits;
  }
  if (i < s.size() && s[i] == '.') {
    mantissa.push_back(s[i++]);
    while (i < s.size() && IsDigit(s[i])) {
      mantissa.push_back(s[i++]);
      ++digits;
    }
  }
  if (digits == 0) return 0.0;
  long exponent = 0;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    size_t j = i + 1;
    bool negativeExponent = false;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
      negativeExponent = s[j] == '-';
      ++j;
    }
    if (j < s.size() && IsDigit(s[j])) {
      // The exponent saturates far beyond any double so that long digit runs cannot overflow it.
      while (j < s.size() && IsDigit(s[j])) {
        if (exponent < 100000) exponent = exponent * 10 + (s[j] - '0');
        ++j;
      }
      if (negativeExponent) exponent = -exponent;
    }
  }
  const double value = DecimalValue(mantissa, exponent);
  return negative ? -value : value;
}

int RoundToInt(double value) {
  if (std::isnan(value)) return 0;
  const double r = std::nearbyint(value);  // default rounding mode: halves to even
  if (r >= static_cast<double>(std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
  if (r <= static_cast<double>(std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
  return static_cast<int>(r);
}

std::string FormatNumber(double value, std::string_view pattern) {
  if (!std::isfinite(value)) return std::string();
  int integerZeros = 0;
  int decimals = 0;
  bool afterPoint = false;
  for (char c : pattern) {
    if (c == '.') {
      afterPoint = true;
    } else if (c == '0') {
      ++(afterPoint ? decimals : integerZeros);
    }
  }
  // Fifteen significant digits first, so that binary noise (2.675 held as 2.67499...) rounds as written.
  char buffer[64];
  const auto [end, error] =
      std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value), std::chars_format::scientific, 14);
  if (error != std::errc()) return std::string();
  const std::string sci(buffer, end);
  const size_t ePos = sci.find('e');
  std::string digits;  // the fifteen digits d.dddd... without the point
  for (size_t k = 0; k < ePos; ++k) {
    if (IsDigit(sci[k])) digits.push_back(sci[k]);
  }
  int exponent = 0;
  std::from_chars(sci.data() + ePos + 1 + (sci[ePos + 1] == '+' ? 1 : 0), sci.data() + sci.size(), exponent);
  // Place the digits on a fixed grid: integer part then `decimals` fraction digits, one more for rounding.
  // Position p of the grid holds the digit of 10^(intLength-1-p).
  const int intLength = exponent >= 0 ? exponent + 1 : 1;
  const int gridLength = intLength + decimals + 1;
  std::string grid(static_cast<size_t>(gridLength), '0');
  for (size_t k = 0; k < digits.size(); ++k) {
    const int power = exponent - static_cast<int>(k);
    const int p = intLength - 1 - power;
    if (p >= 0 && p < gridLength) grid[static_cast<size_t>(p)] = digits[k];
  }
  // Half away from zero on the magnitude: the first dropped digit decides.
  const bool roundUp = grid.back() >= '5';
  grid.pop_back();
  if (roundUp) {
    int p = static_cast<int>(grid.size()) - 1;
    while (p >= 0 && grid[static_cast<size_t>(p)] == '9') grid[static_cast<size_t>(p--)] = '0';
    if (p >= 0) {
      ++grid[static_cast<size_t>(p)];
    } else {
      grid.insert(grid.begin(), '1');
    }
  }
  const size_t intCount = grid.size() - static_cast<size_t>(decimals);
  std::string integerPart = grid.substr(0, intCount);
  const std::string fraction = grid.substr(intCount);
  // Leading zeros beyond the pattern's integer zeros are dropped.
  size_t firstNonZero = integerPart.find_first_not_of('0');
  if (firstNonZero == std::string::npos) firstNonZero = integerPart.size();
  const size_t keep = std::max(integerPart.size() - firstNonZero, static_cast<size_t>(integerZeros));
  if (keep > integerPart.size()) {
    integerPart.insert(0, keep - integerPart.size(), '0');
  } else {
    integerPart.erase(0, integerPart.size() - keep);
  }
  std::string text = integerPart;
  if (decimals > 0) {
    text.push_back(gDecimalSeparator);
    text += fraction;
  }
  const bool isZero =
      integerPart.find_first_not_of('0') == std::string::npos && fraction.find_first_not_of('0') == std::string::npos;
  if (value < 0.0 && !isZero) text.insert(text.begin(), '-');
  return text;
}

std::string NumberText(double value) {
  return PlainNumberText(value, 15);
}

std::string NumberText(float value) {
  return PlainNumberText(static_cast<double>(value), 7);
}

char DecimalSeparator() {
  return gDecimalSeparator;
}

void SetDecimalSeparator(char separator) {
  gDecimalSeparator = separator;
}
