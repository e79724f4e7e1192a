#pragma once
// The three number-text rules of Orvia: reading user texts and file values, display patterns,
// and plain numbers in the information file.

#include <string>
#include <string_view>

// Reads the longest leading number of a text, ignoring blanks, tabs and line feeds anywhere;
// "." is the decimal point, an exponent (E+nn) is accepted; a text without a number gives 0.
double ParseNumber(std::string_view text);
// Rounds to the nearest integer with halves to even (the rule for every integer read from text).
int RoundToInt(double value);
// Formats a number with a zero pattern ("0", "00", "0.00", "00.000" ...): rounded half away from zero
// to the pattern's decimals, integer part zero-padded; the decimal separator is DecimalSeparator().
std::string FormatNumber(double value, std::string_view pattern);
// Plain number text of the information file: 15 significant digits, leading blank for values >= 0,
// no zero before the point of a pure fraction, exponent form for very small or very large values.
std::string NumberText(double value);
// The same rule with 7 significant digits for single-precision values.
std::string NumberText(float value);
// The decimal separator FormatNumber uses ('.' until the application sets the user's locale's one).
char DecimalSeparator();
// Sets the decimal separator FormatNumber uses; called once at start-up from the user's locale.
void SetDecimalSeparator(char separator);
