#pragma once
// Helpers of the satellite-database tests: element-set lines with chosen epochs, a scripted task
// control, and small database fixtures.

#include <string>
#include <vector>

#include "satdb/satdb.h"

namespace satdb_testing {

// ISS line 2 of 2026-08-08 (CelesTrak), used as the orbit of synthetic low-orbit sets.
inline const std::string kLeoLine2 = "2 25544  51.6324  42.7701 0007350  24.6056 335.5282 15.49383195579818";
// GOES 16 line 2 of 2026-08-08 (CelesTrak), a geostationary orbit.
inline const std::string kGeoLine2 = "2 41866   0.4604  85.1784 0001206 117.4239  98.5240  1.00270589 35626";

// The line 2 with the catalogue number in columns 3-7 and its checksum made anew, to pair with Line1.
std::string Line2For(const std::string& line2, int catalogNumber);
// The line with columns first.. replaced by the text and its checksum made anew.
std::string WithColumns(const std::string& line, std::size_t first, const std::string& text);
// The low-orbit and geostationary lines 2 for a catalogue number.
inline std::string LeoLine2(int catalogNumber) {
  return Line2For(kLeoLine2, catalogNumber);
}
inline std::string GeoLine2(int catalogNumber) {
  return Line2For(kGeoLine2, catalogNumber);
}

// A line 1 for the catalogue number with the epoch field "YYDDD.DDDDDDDD" built from a two-digit year and
// a day of year with fraction.
std::string Line1(int catalogNumber, int twoDigitYear, double dayOfYear);
// A line 1 whose epoch is the given MJD.
std::string Line1AtMjd(int catalogNumber, double mjd);
// The epoch field (columns 19-32) of a line 1.
std::string EpochField(const std::string& line1);
// Lines joined with CR LF, each line ended.
std::string CrLf(const std::vector<std::string>& lines);

// A task control that records what it is told and cancels after a number of Cancelled() questions.
class ScriptedTask final : public TaskControl {
public:
  int cancelAfterQuestions = -1;  // -1: never
  mutable int questions = 0;
  int yields = 0;
  std::vector<std::string> texts;
  std::vector<std::string> labels;

  void Yield() override { ++yields; }
  bool Cancelled() const override { return cancelAfterQuestions >= 0 && questions++ >= cancelAfterQuestions; }
  void SetText(const std::string& text) override { texts.push_back(text); }
  void SetLabel(const std::string& text) override { labels.push_back(text); }
};

}  // namespace satdb_testing
