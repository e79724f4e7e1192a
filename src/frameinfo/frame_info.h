#pragma once
// The circumstances of an exposure: when it started and lasted, the clock's uncertainty, the site,
// and the optional frame centre typed by the user, with the derived MJD values.

#include <cstdint>
#include <string>

// A UT date and time of day; a year of 0 means the time is not set.
struct CalendarTime {
  std::int16_t year = 0;
  std::int16_t month = 0;
  std::int16_t day = 0;
  std::int16_t hour = 0;
  std::int16_t minute = 0;
  float seconds = 0.0f;

  bool IsSet() const { return year != 0; }
};

// The frame's circumstances.
struct FrameInfo {
  CalendarTime midTime;    // middle of the exposure
  CalendarTime startTime;  // start of the exposure (what the user types)
  double startMjd = 0.0;
  float utError = 0.0f;    // clock uncertainty, seconds, at most 3000
  double longitude = 0.0;  // degrees, east positive
  double latitude = 0.0;   // degrees, north positive
  double exposure = 0.0;   // seconds
  double raUser = 0.0;     // degrees
  double decUser = 0.0;    // degrees
  float fieldUser = 0.0f;  // degrees
  std::string fieldSizeText = "0x0";
  double midMjd = 0.0;
  double longitudeRad = 0.0;
  double latitudeRad = 0.0;
  std::int16_t stationCode = 0;
  bool considerVisibility = true;
  // The camera stood still on its tripod during the exposure (stars drawn out into trails); false for
  // a mount that followed the sky.
  bool fixedCamera = false;
  double heightM = 0.0;  // site height above the WGS-84 ellipsoid, metres
  // The camera's pointing as altitude and azimuth (degrees, azimuth from north through east); when set,
  // the frame centre follows from the frame's time and site.
  bool pointingAltAz = false;
  double pointingAlt = 0.0;
  double pointingAz = 0.0;
};

// The user-typed texts of the panel that CollectFrameInfo reads.
struct PanelEntries {
  std::string date;       // row 1, "dd.mm.yyyy"
  std::string time;       // row 2, "hh:mm:ss.s"
  std::string utError;    // row 3
  std::string exposure;   // row 4
  std::string longitude;  // row 5
  bool west = false;      // W selected instead of E
  std::string latitude;   // row 6
  bool south = false;     // S selected instead of N
  std::string ra;         // txtra
  std::string dec;        // txtdec
  std::string field;      // txtzone
  bool fixedCamera = false;  // chkFixedCamera: the camera stood still
  std::string height;     // txtHeight, metres
  bool altAz = false;     // the centre is given as the camera's altitude and azimuth
  std::string pointAlt;   // txtAlt, degrees
  std::string pointAz;    // txtAz, degrees from north through east
};

// What CollectFrameInfo found: ok is false only for a strict collection that met a bad date or time,
// with message the exact text to show; utErrorText is set when row 3 must be rewritten (clamped to 3000).
struct CollectResult {
  bool ok = true;
  std::string message;
  bool utErrorRewritten = false;
  std::string utErrorText;
};

// The largest clock uncertainty accepted, seconds.
inline constexpr float kMaxUtError = 3000.0f;
// The longest exposure accepted, seconds: the candidate search samples the whole exposure.
inline constexpr double kMaxExposureSeconds = 3600.0;

// The site heights accepted, metres: from the shores of the Dead Sea to above the highest mountains.
inline constexpr double kLowestHeightM = -500.0, kHighestHeightM = 9000.0;

// Why a site height cannot be taken, naming the value ("Высота места 12000 м вне пределов -500..9000 м");
// "" for a height within the range.
std::string HeightFault(double heightM);

// Reads the panel's texts into the record and derives the frame times. Strict: a bad date gives
// "Ошибка ввода даты" (also for a day the month does not have), a bad time "Ошибка ввода времени",
// a longitude or latitude that is no number "Ошибка ввода долготы" / "Ошибка ввода широты", a height
// that is no number "Ошибка ввода высоты места" and one outside its range HeightFault's text; with altAz
// an altitude or azimuth that is no number "Ошибка ввода высоты ЦП" / "Ошибка ввода азимута ЦП" and an
// altitude outside 0..90 degrees its own text; nothing further is read. A minus sign before the
// longitude or latitude means west or south.
// Lenient: failed parses are ignored and reading goes on; a date that fails changes none of the date
// fields, and a height or pointing outside its range keeps the value there was. Numeric boxes accept ","
// as the decimal point (the panel shows numbers with the locale's separator).
CollectResult CollectFrameInfo(const PanelEntries& entries, bool strict, FrameInfo& info);
// The panel's texts that show the record's circumstances: start date and time, the numbers as the
// information file writes them, west and south as switches. CollectFrameInfo reads them back unchanged.
PanelEntries PanelEntriesOf(const FrameInfo& info);
// Derives the mid time from the start time and the exposure, the two MJDs and the site in radians.
void DeriveFrameTimes(FrameInfo& info);
// After reading a file that holds only the mid time: derives the start time from it and the exposure.
void DeriveStartFromMid(FrameInfo& info);
// Clears both times (every field 0).
void ClearFrameTimes(FrameInfo& info);
// MJD of a calendar time (hours = hour + minute/60 + seconds/3600).
double CalendarMjd(const CalendarTime& time);
// The calendar time of an MJD, with a year guess within one year of the answer.
CalendarTime CalendarFromMjd(double mjd, int yearGuess);
