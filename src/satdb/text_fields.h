#pragma once
// Small text helpers of the database code: fixed columns, lenient numbers, blanks and prefixes.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Columns first..last (1-based, inclusive) of a line, cut to the line's length ("" when outside it).
std::string_view Columns(std::string_view line, std::size_t first, std::size_t last);
// The columns read the lenient way (leading blanks skipped, no number gives 0); 0 for a non-finite value.
double FieldNumber(std::string_view line, std::size_t first, std::size_t last);
// The text without leading and trailing blanks and tabs.
std::string_view TrimBlanks(std::string_view text);
// True when the text begins with the prefix.
bool StartsWith(std::string_view text, std::string_view prefix);
// The texts joined by ", " (a list of paths in a message).
std::string JoinedList(const std::vector<std::string>& texts);
// A number formatted with a zero pattern for a file: always "." as decimal point, whatever the locale.
std::string FileDecimal(double value, std::string_view pattern);
