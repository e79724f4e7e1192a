#pragma once
// Orbit Mean-Elements Messages (OMM) of SGP4 element sets, in the three forms providers publish:
// CSV with a header line of keywords, XML (ndm/omm/body/segment with metadata and data), and JSON
// (an array of objects keyed by the keywords). Each record is turned into the two lines of the
// equivalent two-line set, so that it enters the database exactly as that set would.

#include <string>
#include <string_view>
#include <vector>

// The form of an element-set input file, told by its content.
enum class ElementInputForm { TwoLine, OmmCsv, OmmXml, OmmJson };

// The form of an input file's text: JSON when it starts with "[" or "{", XML when it starts with "<" and holds an
// "<omm" element (an HTML page before two-line sets is no message),
// CSV when its first line is a comma-separated list of keywords that names EPOCH, else two-line sets
// (leading blanks, line ends and a UTF-8 byte-order mark are skipped).
ElementInputForm ElementInputFormOf(std::string_view text);

// One OMM record read into two-line lines.
struct OmmSet {
  std::string name;             // OBJECT_NAME, "" when absent
  long long catalogNumber = 0;  // NORAD_CAT_ID
  bool fitsTwoLine = false;     // the number is below 340000 (Alpha-5 reaches 339999); else no lines
  std::string line1;            // 69 columns with checksum
  std::string line2;
};

// Reads every record of an OMM text of the given form (not TwoLine). False, with no sets, when the text
// cannot be parsed or nests objects, arrays or elements deeper than kMaxOmmDepth (64) levels, a keyword
// is not one of the message's standard keywords, a mandatory keyword (EPOCH, MEAN_MOTION, ECCENTRICITY,
// INCLINATION, RA_OF_ASC_NODE, ARG_OF_PERICENTER, MEAN_ANOMALY, NORAD_CAT_ID, BSTAR) is missing, the
// mean-element theory is not SGP4, or a value does not fit the two-line columns; cause (when given) then
// tells which record and keyword, for the user.
bool ReadOmmText(std::string_view text, ElementInputForm form, std::vector<OmmSet>& sets, std::string* cause = nullptr);

// Modulo-10 checksum of a two-line line's first 68 columns: digits count their value, "-" counts 1.
int TwoLineChecksum(std::string_view line);
