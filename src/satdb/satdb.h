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

// Columns of a complete element-set line: 68 of data and the checksum digit in column 69.
inline constexpr std::size_t kElementLineColumns = 69;

// Why two lines are not an element set.
enum class SetFault {
  None,
  CutShort,        // a line ends before column 69 (an interrupted download)
  BadChecksum,     // column 69 of a line is not the checksum of its columns 1-68
  BadField,        // a line does not start "1 " / "2 ", a field read as a number holds other characters or
                   // blanks between its characters, or a column between fields is not blank (a shifted line)
  TooLong,         // a line runs on past column 69 with more than blanks (text glued to the set)
  NumberMismatch,  // line 1 and line 2 carry different catalogue numbers (lines of two satellites)
  OutOfRange,      // a number outside its physical range (epoch day, angles, mean motion)
  NoLine2,         // a line 1 followed by no line 2 (the next line starts another set or names one)
};

// Checksum of an element-set line: the sum of the digits of columns 1-68, each "-" counting 1, modulo 10.
int ElementLineChecksum(std::string_view line);

// What is wrong with two lines, for the user: the fault, the line (1 or 2) and a description naming the
// field and the value ("поле «наклонение» = 999.9990 вне пределов 0..180").
struct SetCheck {
  SetFault fault = SetFault::None;
  int line = 0;        // the line at fault, 1 or 2; 0 when there is no fault
  std::string reason;  // "" when there is no fault
};

// Checks two lines before they are taken as an element set: both reach column 69 and run on past it with
// nothing but blanks, carry their line numbers and the same catalogue number text, have the checksum in
// column 69, blanks in the columns between fields, and in every field the program reads only what that
// field may hold (a right- or left-aligned run of digits, a decimal point, signs where signs stand), with a
// digit in every number that must have one; the numbers lie in their physical ranges (epoch day 1 to
// 366.99999999, inclination 0-180 degrees, node, argument of perigee and mean anomaly 0-360 degrees, mean
// motion above 0 and at most 20 rev/day, the perigee not inside the Earth: PerigeeRadius at least
// 6378.137 km) and ParseElementSet accepts them. Catalogue numbers are judged
// separately.
SetCheck ExamineElementSet(std::string_view line1, std::string_view line2);
// The checks a stored set has always passed, as a fault: lengths, line numbers, checksums and the
// characters of the fields (blanks allowed anywhere in them). Decides whether a database file is one and
// which stored sets are read; the import applies ExamineElementSet.
SetFault CheckElementSet(std::string_view line1, std::string_view line2);

// A name as it may stand in a header line: control characters (line breaks, tabs, escapes) replaced by
// blanks, blanks and tabs trimmed at both ends.
std::string CleanName(std::string_view name);

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
  std::vector<std::string> otherLines;   // non-blank lines that are neither headers nor sets, kept after the sets
};

// True when a database file's content holds at least one element set that passes CheckElementSet; other
// files (a user's notes, a damaged file) are left alone by import and cleanup.
bool IsSatelliteFile(const SatelliteFile& file);

// The database directory appDir/TLE.
std::string DatabaseDir(const std::string& appDir);
// Path of a satellite's file: appDir/TLE/ + catalogue number with at least five digits + ".tle".
std::string SatelliteFilePath(const std::string& appDir, int catalogNumber);
// Paths of the database files ("*.tle" in appDir/TLE) in ascending catalogue number (shorter names first,
// then by name).
std::vector<std::string> ListDatabaseFiles(const std::string& appDir);

// Splits text into lines at CR LF, LF or a lone CR; a final line without a line end is kept. A UTF-8
// byte-order mark at the start of a line (files joined one after another) is dropped.
std::vector<std::string_view> SplitLines(std::string_view text);
// The text without a leading UTF-8 byte-order mark.
std::string_view WithoutByteOrderMark(std::string_view text);

// Reads a database file's text: the last Name, mName and Mag lines, every line starting with "1"
// with the line after it as an element set when that line starts with "2", and every other non-blank
// line as it stands (so a stray line beginning with "1", such as a name broken over two lines or a line 1
// whose line 2 was cut off, stays a line of its own and the sets after it are read).
SatelliteFile ParseSatelliteFile(std::string_view text);
// The text of a database file: header lines in the order Name, mName, Mag, then the sets, then the other
// lines (those beginning with "1" last); CR LF endings.
std::string SatelliteFileText(const SatelliteFile& file);
// Writes a database file atomically unless its bytes would not change; on failure the system's reason.
WriteResult StoreSatelliteFile(const std::string& path, const SatelliteFile& file, std::string_view oldText);

// Reads the element set of a database file whose epoch lies nearest the time (MJD), with its age
// |epoch - mjd| in days and the header fields; with no usable set the elements are 0 and the age 10000.
// Sets are newest first, so reading stops once the distance starts growing. Sets that are not element
// sets (ExamineElementSet) are passed over, and a line 1 whose next line is no line 2 is read alone. False
// when the file cannot be read.
bool ReadBestSet(const std::string& path, double mjd, TleRecord& record);

// --- TLE import --------------------------------------------------------------------------------------

// One element set read from an input file.
struct ImportedSet {
  std::string line1;
  std::string line2;
  int catalogNumber = 0;
  bool numberValid = false;         // false when columns 3-7 hold no catalogue number
  bool numberTooLarge = false;      // an OMM record numbered above 339999, which no two-line set can carry
  SetFault fault = SetFault::None;  // why the lines are not an element set; such a set is skipped
  std::string reason;               // the fault for the user, naming the field and the value ("" with none)
  int faultLine = 0;                // the line of the set at fault, 1 or 2 (0 with no fault)
  int lineNumber = 0;               // line of the input file holding line 1 (from 1); 0 for an OMM record
  int recordNumber = 0;             // number of the OMM record (from 1); 0 for two-line input
  double epochKey = 0.0;
  std::string name;  // CleanName of the name line or OBJECT_NAME
};

// The maximum nesting of an OMM message's objects, arrays or elements; deeper messages are refused
// before they are walked (a real message nests 2 levels in JSON and 7 in XML).
inline constexpr int kMaxOmmDepth = 64;

// Reads an element-set input file, its form told by its content: an Orbit Mean-Elements Message (CSV,
// XML or JSON, see satdb/omm.h; each record becomes the lines of its two-line set, and a record numbered
// above 339999 becomes a set with numberTooLarge and no lines), or a TLE file (two- or three-line form,
// CR LF, LF or CR line ends, a leading byte-order mark, blank lines allowed). A line not starting
// "1 " is the current name (trimmed; a leading "0 " line number is dropped); a line "1 " starts a set whose
// line 2 is the next line when that line starts "2" (else the set is NoLine2 and reading goes on with the
// next line). Every set is checked by ExamineElementSet and carries its fault and reason. False when the
// path is not a readable regular file, the file holds binary data, ends right after a line 1, holds a
// set ParseElementSet refuses, an OMM message that cannot be read, or no set at all; cause (when given)
// then tells why, naming the line or record.
bool ReadTleInput(const std::string& path, std::vector<ImportedSet>& sets, std::string* cause = nullptr);

// Merges one set into a database file's content: keeps the headers, adds "mName = " + name when there is
// no mName line, and inserts the set in newest-first order unless a set with the same key is stored.
// Returns true when the set was inserted.
bool MergeSet(SatelliteFile& file, const ImportedSet& set);

// What a TLE import did.
struct TleImportResult {
  bool cancelled = false;
  int filesRead = 0;  // files read whole (a file that cannot be read stores nothing)
  int filesCreated = 0;
  int setsMerged = 0;                     // inserted into existing files
  int setsDuplicate = 0;                  // dropped because the same epoch was already stored
  int setsAboveLimit = 0;                 // skipped by the perigee limit
  int setsBadNumber = 0;                  // skipped because the catalogue number could not be read
  int setsNumberTooLarge = 0;             // OMM records numbered above 339999, skipped
  int setsCutShort = 0;                   // skipped: a line ends before column 69 (an interrupted download)
  int setsBadChecksum = 0;                // skipped: a line's checksum is wrong
  int setsBadField = 0;                   // skipped: a field that must be a number is not
  int setsTooLong = 0;                    // skipped: text after column 69
  int setsNumberMismatch = 0;             // skipped: line 1 and line 2 of different satellites
  int setsOutOfRange = 0;                 // skipped: a number outside its physical range
  int setsNoLine2 = 0;                    // skipped: a line 1 without its line 2
  int setsForeignFile = 0;                // skipped: the satellite's database file is not a satellite file
  int writeFailures = 0;                  // database files that could not be written (left as they were)
  std::string writeFailureReason;         // the system's reason for the first failed write
  std::vector<std::string> foreignFiles;  // database files left untouched because they are not satellite files
  std::vector<std::string> messages;      // texts to show the user, in order
  // For each message, at the same index, the cause it has for the user as one more line: the file and
  // the line (or OMM record) and the field of the first set or file concerned; "" when there is none.
  std::vector<std::string> causes;
  // Every file refused and every set skipped for its content, "Файл <path>, строка <n>: <reason>", in the
  // order met (at most kMaxImportProblems; problemsTotal counts them all).
  std::vector<std::string> problems;
  int problemsTotal = 0;
};

// The import's messages as the user reads them: each message, followed on a second line by its cause
// when it has one.
std::vector<std::string> ImportMessagesWithCauses(const TleImportResult& result);

// The most problems an import result lists.
inline constexpr int kMaxImportProblems = 1000;

// Imports TLE files into the database in order. perigeeLimitKm is a perigee radius in km, or -1 for no
// limit. A file that cannot be read stores nothing and adds "Ошибка в файле <path> . Проверьте формат.".
// Sets that are not element sets are skipped and counted by their fault; a satellite whose database file
// is not a satellite file (IsSatelliteFile) keeps it untouched and the file is listed. Starts by removing
// the temporary files a killed run left in the database folder. Cancel stops after the current set
// without a message.
TleImportResult ImportTleFiles(const std::vector<std::string>& paths, double perigeeLimitKm, const std::string& appDir,
                               TaskControl& task);

// --- Names and magnitudes ----------------------------------------------------------------------------

// What a names import did: success, or failure with the message to show when the input was refused for its
// layout or a database file could not be written (empty for a read failure, which the window reports in
// its own words).
struct NamesImportResult {
  bool ok = false;
  std::string message;
  explicit operator bool() const { return ok; }
};

// Imports satellite names from a satellite situation report: each satellite that has a database file gets
// the header "Name = " + name (columns 1-22) and loses its other header lines; element sets are kept.
// A file without a "Satellite" header followed by numbered records is refused before anything changes.
// Failure on a read error in the report or a database file, or a failed write; success at the end or on
// cancel. Database files that are not satellite files stay untouched.
NamesImportResult ImportSsr(const std::string& path, const std::string& appDir, TaskControl& task);

// Imports names and standard magnitudes from a fixed-column list (number 1-5, name 7-21, magnitude 38-41):
// each satellite with a database file gets "mName = " + name and "Mag = " + magnitude, keeping its Name line.
// A list whose first records do not have these columns is refused before anything changes. Failure on a
// read error or a failed write; success at the end or on cancel.
NamesImportResult ImportMagnitudes(const std::string& path, const std::string& appDir, TaskControl& task);

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
  int setsRemoved = 0;                    // by pruning
  int filesTotal = 0;                     // satellite files looked at
  int setsTotal = 0;                      // element sets in them
  int setsDeleted = 0;                    // sets removed, with the files deleted whole and by pruning
  int failures = 0;                       // files that could not be changed (left as they were)
  std::string failureReason;              // the system's reason for the first failure
  std::vector<std::string> foreignFiles;  // files that are not satellite files, left untouched
  std::vector<std::string> messages;      // texts to show the user ("Нет TLE.", failures, foreign files)
};

// The cutoff on the epoch-key scale for sets older than ageDays before nowMjd, rounded to 0.01 day.
double CutoffKey(double nowMjd, double ageDays);

// Deletes the files of satellites above the perigee limit or without a set within the age limit of nowMjd
// (UT), and removes sets with keys not above the cutoff from the files kept. Files that are not satellite
// files (IsSatelliteFile) are left untouched and listed.
CleanupResult CleanDatabase(const std::string& appDir, const CleanupLimits& limits, double nowMjd, TaskControl& task);
