#pragma once
// The three number-text rules of Orvia: reading user texts and file values, display patterns,
// and plain numbers in the information file.

#include <string>
#include <string_view>

// Reads the longest leading number of a text, ignoring blanks, tabs and line feeds anywhere;
// "." is the decimal point, an exponent (E+nn) is accepted; a text without a number gives 0.
// The result is always finite: beyond the double range it is the largest double, below it zero.
double ParseNumber(std::string_view text);
// Rounds to the nearest integer with halves to even (the rule for every integer read from text);
// saturates at the int range, NaN gives 0.
int RoundToInt(double value);
// Formats a number with a zero pattern ("0", "00", "0.00", "00.000" ...): rounded half away from zero
// to the pattern's decimals, integer part zero-padded; the decimal separator is DecimalSeparator().
// A value that rounds to zero has no minus sign; a non-finite value gives an empty text.
std::string FormatNumber(double value, std::string_view pattern);
// Plain number text of the information file: 15 significant digits, leading blank for values >= 0,
// no zero before the point of a pure fraction, exponent form for very small or very large values.
// A non-finite value is written " 0" so that no file ever holds "nan" or "inf".
std::string NumberText(double value);
// The same rule with 7 significant digits for single-precision values.
std::string NumberText(float value);
// The decimal separator FormatNumber uses ('.' until the application sets the user's locale's one).
char DecimalSeparator();
// Sets the decimal separator FormatNumber uses; called once at start-up from the user's locale.
void SetDecimalSeparator(char separator);
