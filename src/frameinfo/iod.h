#pragma once
// The IOD report: one fixed-column line (the text format in which satellite observers exchange
// positions) for each measured position of one satellite, written to appDir + "iod_NNNNN.txt".
// Positions are referred to the mean equator and equinox of J2000.0 (epoch code 5).

#include <cstdint>
#include <string>
#include <vector>

#include "sky/direction.h"

// One measured position of the satellite.
struct IodPosition {
  double mjdUtc = 0.0;       // time of the position, MJD (UT)
  J2000Direction direction;  // right ascension and declination, radians, J2000
};

// Everything one report needs.
struct IodInput {
  std::int32_t catalogueNumber = 0;    // 1..339999; above 99999 written in the Alpha-5 form
  std::string designator;              // international designator, 8 characters ("98067A  ")
  std::int16_t stationCode = 0;        // IOD station code 0..9999 of the observing place, 0 when none was chosen
  int yearGuess = 0;                   // a year within one year of the positions' times (the frame's year)
  std::vector<IodPosition> positions;  // one line each, in order
};

// What WriteIodReport did: on success the file's path; on failure the exact message for the user
// (naming the file and the system's reason when it could not be written), and no file is left half-written.
struct IodResult {
  bool ok = false;
  std::string path;
  std::string message;
};

// Columns 1-5 of an IOD line for a catalogue number: five digits up to 99999; from 100000 to 339999
// the Alpha-5 form of the element sets (a letter A..Z without I and O for 10..33, then four digits:
// A0001 = 100001). Empty for numbers outside 0..339999.
std::string IodCatalogueField(std::int32_t catalogueNumber);

// Path of the report of a satellite: appDir (with its trailing separator) + "iod_" + the catalogue
// number with at least five digits + ".txt".
std::string IodFileName(const std::string& appDir, std::int32_t catalogueNumber);

// The 77-character line of one position (without the line end): catalogue number, designator split
// into launch year and launch number with piece, station code, status "G", date and time to the
// millisecond, time-uncertainty code "18", angle format 2 with epoch code 5 (RA in hours and minutes
// to 0.001 min truncated, declination in degrees and minutes to 0.01' rounded), position-uncertainty
// code "17". Empty when the catalogue number or the station code has no IOD form.
std::string IodLine(const IodInput& input, const IodPosition& position);

// Writes (replacing any earlier one) the report of all positions, CR LF after each line, as
// IodFileName(appDir, catalogueNumber). Shows nothing; the caller shows result.message on failure.
// Fails without writing when the catalogue number or the station code (0..9999) has no IOD form.
IodResult WriteIodReport(const std::string& appDir, const IodInput& input);

// The same written to path: atomically where it ends up (a temporary file beside it renamed over it), so
// that a full disk leaves the old report or none, never a cut one. A position that was never measured
// (time 0, RA and Dec both 0, or not finite) writes nothing and says which.
IodResult WriteIodReportTo(const std::string& path, const IodInput& input);

// True when a position holds a measured time and sky direction (not the zeros of an unmeasured end).
bool IodPositionMeasured(const IodPosition& position);
