#pragma once
// The satellite database: a directory appDir/TLE of per-satellite text files ("07530.tle"), each holding
// optional header lines (Name, mName, Mag) and every imported element set, newest first.
// Reading the best set for a time, importing TLE files, names and magnitudes, and cleanup.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_utils.h"
#include "base/task_control.h"
#include "satdb/tle_record.h"

// --- Element-set lines -------------------------------------------------------------------------------

// Catalogue number of a TLE line 1 (columns 3-7): digits, possibly blank-padded on the left, or the
// Alpha-5 form (a letter A..Z without I and O standing for 10..33, then four digits: A0001 = 100001).
// Empty when the field is neither.
std::optional<int> CatalogNumberOfLine1(std::string_view line1);

// Epoch ordering key of a TLE line 1: the epoch field (columns 19-32, YYDDD.dddddddd) read as a number
// k, plus 1900000 when k > 61000, else plus 2000000; the key reads as YYYYDDD.dddddddd (1961..2060).
double EpochKey(std::string_view line1);

// Distance of the perigee from the Earth's centre in km, from the mean motion (rev/day) and eccentricity:
// a = (398600.5 / n^2)^(1/3) with n in rad/s, r = a (1 - e). Not finite for a zero mean motion.
double PerigeeRadius(double meanMotionRevPerDay, double eccentricity);

// The elements of one set read from its two lines: catalogue number, designator, epoch (MJD) and the
// mean elements; the header fields and the age are left as they are. False when a value is not finite or
// an exponent sign (columns 51 and 60 of line 1) is neither "+", "-" nor blank.
bool ParseElementSet(std::string_view line1, std::string_view line2, TleRecord& record);

// --- Database files ----------------------------------------------------------------------------------

// One element set as stored in a database file.
struct StoredSet {
  std::string line1;
  std::string line2;
  double epochKey = 0.0;
};

// The content of one satellite's database file.
struct SatelliteFile {
  std::optional<std::string> nameLine;   // whole "Name = ..." line
  std::optional<std::string> mNameLine;  // whole "mName = ..." line
  std::optional<std::string> magLine;    // whole "Mag = ..." line
  std::vector<StoredSet> sets;           // newest first
};

// The database directory appDir/TLE.
std::string DatabaseDir(const std::string& appDir);
// Path of a satellite's file: appDir/TLE/ + catalogue number with at least five digits + ".tle".
std::string SatelliteFilePath(const std::string& appDir, int catalogNumber);
// Paths of the database files ("*.tle" in appDir/TLE) in ascending catalogue number (shorter names first,
// then by name).
std::vector<std::string> ListDatabaseFiles(const std::string& appDir);

// Splits text into lines at LF, dropping a CR before it; a final line without LF is kept.
std::vector<std::string_view> SplitLines(std::string_view text);
// Reads a whole file as bytes; false when it cannot be opened or read.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// Reads a database file's text: the last Name, mName and Mag lines, and every line starting with "1"
// with the line after it as an element set (a final line 1 without its line 2 is dropped).
SatelliteFile ParseSatelliteFile(std::string_view text);
// The text of a database file: header lines in the order Name, mName, Mag, then the sets; CR LF endings.
std::string SatelliteFileText(const SatelliteFile& file);
// Writes a database file atomically unless its bytes would not change. False when writing failed.
bool StoreSatelliteFile(const std::string& path, const SatelliteFile& file, std::string_view oldText);

// Reads the element set of a database file whose epoch lies nearest the time (MJD), with its age
// |epoch - mjd| in days and the header fields; with no usable set the elements are 0 and the age 10000.
// Sets are newest first, so reading stops once the distance starts growing. False when the file cannot
// be read.
bool ReadBestSet(const std::string& path, double mjd, TleRecord& record);

// --- TLE import --------------------------------------------------------------------------------------

// One element set read from an input file.
struct ImportedSet {
  std::string line1;
  std::string line2;
  int catalogNumber = 0;
  bool numberValid = false;     // false when columns 3-7 hold no catalogue number
  bool numberTooLarge = false;  // an OMM record numbered above 339999, which no two-line set can carry
  double epochKey = 0.0;
  std::string name;
};

// Reads an element-set input file, its form told by its content: an Orbit Mean-Elements Message (CSV,
// XML or JSON, see satdb/omm.h; each record becomes the lines of its two-line set, and a record numbered
// above 339999 becomes a set with numberTooLarge and no lines), or a TLE file (two- or three-line form,
// CR LF or LF, blank lines allowed). A line not starting
// "1 " is the current name (trimmed; a leading "0 " line number is dropped); a line "1 " starts a set whose
// line 2 is the next line. False when the file is missing, holds binary data, ends right after a line 1 or
// holds a set ParseElementSet refuses.
bool ReadTleInput(const std::string& path, std::vector<ImportedSet>& sets);

// Merges one set into a database file's content: keeps the headers, adds "mName = " + name when there is
// no mName line, and inserts the set in newest-first order unless a set with the same key is stored.
// Returns true when the set was inserted.
bool MergeSet(SatelliteFile& file, const ImportedSet& set);

// What a TLE import did.
struct TleImportResult {
  bool cancelled = false;
  int filesRead = 0;  // files read whole (a file that cannot be read stores nothing)
  int filesCreated = 0;
  int setsMerged = 0;                 // inserted into existing files
  int setsDuplicate = 0;              // dropped because the same epoch was already stored
  int setsAboveLimit = 0;             // skipped by the perigee limit
  int setsBadNumber = 0;              // skipped because the catalogue number could not be read
  int setsNumberTooLarge = 0;         // OMM records numbered above 339999, skipped
  int writeFailures = 0;              // database files that could not be written (left as they were)
  std::vector<std::string> messages;  // texts to show the user, in order
};

// Imports TLE files into the database in order. perigeeLimitKm is a perigee radius in km, or -1 for no
// limit. A file that cannot be read stores nothing and adds "Ошибка в файле <path> . Проверьте формат.".
// Cancel stops after the current set without a message.
TleImportResult ImportTleFiles(const std::vector<std::string>& paths, double perigeeLimitKm, const std::string& appDir,
                               TaskControl& task);

// --- Names and magnitudes ----------------------------------------------------------------------------

// Imports satellite names from a satellite situation report: each satellite that has a database file gets
// the header "Name = " + name (columns 1-22) and loses its other header lines; element sets are kept.
// False on a read error in the report or a database file, or a failed write; true at the end or on cancel.
bool ImportSsr(const std::string& path, const std::string& appDir, TaskControl& task);

// Imports names and standard magnitudes from a fixed-column list (number 1-5, name 7-21, magnitude 38-41):
// each satellite with a database file gets "mName = " + name and "Mag = " + magnitude, keeping its Name line.
// False on a read error or a failed write; true at the end or on cancel.
bool ImportMagnitudes(const std::string& path, const std::string& appDir, TaskControl& task);

// --- Cleanup -----------------------------------------------------------------------------------------

// Limits of a cleanup run; an absent limit is not applied.
struct CleanupLimits {
  std::optional<double> perigeeKm;  // delete satellites whose perigee radius exceeds this, km
  std::optional<double> ageDays;    // delete satellites with no set this recent, and prune older sets
  bool countOnly = false;           // count what would be deleted, change nothing
};

// What a cleanup run did.
struct CleanupResult {
  bool cancelled = false;
  int filesDeleted = 0;
  int filesPruned = 0;
  int setsRemoved = 0;                // by pruning
  int filesTotal = 0;                 // satellite files looked at
  int setsTotal = 0;                  // element sets in them
  int setsDeleted = 0;                // sets removed, with the files deleted whole and by pruning
  std::vector<std::string> messages;  // texts to show the user ("Нет TLE.", write failures)
};

// The cutoff on the epoch-key scale for sets older than ageDays before nowMjd, rounded to 0.01 day.
double CutoffKey(double nowMjd, double ageDays);

// Deletes the files of satellites above the perigee limit or without a set within the age limit of nowMjd
// (UT), and removes sets with keys not above the cutoff from the files kept.
CleanupResult CleanDatabase(const std::string& appDir, const CleanupLimits& limits, double nowMjd, TaskControl& task);
