#pragma once
// Observing places: named sites with their coordinates and IOD station codes, kept in the text file
// appDir + "program_files/station_orvia.ini" (one record a line: the name in double quotes, longitude,
// latitude, code, separated by commas, "." as decimal point, CR LF line ends, at most 255 records).
// A double quote inside a name is stored doubled (""), so files whose names hold no quote read as before.
// A place above sea level has a fifth field, its height in metres; a place at height 0 is written without
// it, so that a list of such places stays in the four-field form every earlier version reads, and a record
// of four fields reads as height 0.
// Also the degrees-minutes-seconds split and join of the coordinate entry dialog.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_utils.h"

// One observing place.
struct ObserverSite {
  std::string name;        // kept byte for byte
  double longitude = 0.0;  // degrees, east positive
  double latitude = 0.0;   // degrees, north positive
  std::int16_t code = 0;   // IOD station code
  double heightM = 0.0;    // metres above the WGS-84 ellipsoid
};

// The most records a places file may hold.
constexpr int kMaxPlaces = 255;

// Messages of the places window.
inline constexpr const char* kPlacesFileError = "Возникла ошибка с файлом списка мест наблюдения";
inline constexpr const char* kPlaceNameMissing = "Не задано название";

// The ranges a place's coordinates must lie in: longitude -180..360 degrees (east positive, as files
// store it), latitude -90..90 degrees.
inline constexpr double kLongitudeLowest = -180.0, kLongitudeHighest = 360.0, kLatitudeLimit = 90.0;

// What reading the places file found. Every readable record is kept (the first 255); each line that
// cannot be read (a malformed record, a coordinate outside its range, a record past the 255th) is listed
// in problems as "строка <n>: <why>" ("Файл <path>, строка <n>: ..." from LoadPlaces). ok is false for an
// unreadable file or one without any readable record (sites is then empty). A missing file is ok and
// empty.
struct PlacesLoad {
  bool ok = true;
  std::vector<ObserverSite> sites;
  std::vector<std::string> problems;
};

// The message of a load that found problems: kPlacesFileError, then one line for each problem (at most
// ten, then how many more); "" when there are none and the load is ok.
std::string PlacesLoadMessage(const PlacesLoad& load);

// Why a place cannot be stored: its longitude or latitude outside the ranges above or not finite, or
// its height outside the site heights accepted (HeightFault), with the value ("долгота 500 вне пределов
// -180..360"); "" for a place that can.
std::string PlaceRangeFault(const ObserverSite& site);

// Path of the places file under the application directory (which ends with a separator).
std::string PlacesFileName(const std::string& appDir);

// Reads the records of a places file's text (CR LF or LF line ends; blank lines are skipped).
PlacesLoad ParsePlaces(std::string_view text);

// Reads the places file of the application directory.
PlacesLoad LoadPlaces(const std::string& appDir);

// The file text of a list of places, one CR LF-ended record each, in order.
std::string PlacesText(const std::vector<ObserverSite>& sites);

// Rewrites the places file with all the places (through a temporary file, so that a failure leaves
// the old file whole), never with fewer than it holds: every line of the file as it is now is kept as
// it stands, in its order (places the list lacks and lines that cannot be read alike), and the places of
// the list the file does not hold yet follow. Refused, leaving the file as it is, when the file exists
// but cannot be read or a new place is outside the coordinate ranges. On failure the result carries the
// reason.
WriteResult SavePlaces(const std::string& appDir, const std::vector<ObserverSite>& sites);

// Gives the IOD station code to the places of the file at the given coordinates (degrees, east and north
// positive, equal to within 1e-5 degree as the panel shows them) that have no code yet; every other line
// stays as it stands. places is how many were given the code; nothing is written when none was. Refused,
// leaving the file as it is, when it cannot be read or written (the reason is the system's).
WriteResult GivePlacesCode(const std::string& appDir, double longitude, double latitude, std::int16_t code,
                           int& places);

// Message for a failed rewrite of the places file at path, with the system's reason for it.
std::string PlacesSaveError(const std::string& path, const std::string& reason);

// The list line of a place: name, |longitude| "00.000" with E/W, |latitude| "00.000" with N/S, code, and
// for a place not at height 0 "   Высота=" with the height "0" and " м".
std::string PlaceListLine(const ObserverSite& site);

// Degrees, arcminutes and arcseconds of an angle's magnitude as the coordinate dialog shows them.
struct DmsParts {
  int degrees = 0;
  int minutes = 0;
  double seconds = 0.0;  // truncated to tenths
};

// Splits |degrees| into whole degrees and minutes (truncated) and seconds truncated to tenths, carrying
// 60" into the minutes and 60' into the degrees.
DmsParts SplitDms(double degrees);

// Degrees of a degrees-minutes-seconds entry: |d| and |m| rounded to integers, plus |s|/3600.
double JoinDms(double degrees, double minutes, double seconds);
