#include "frameinfo/frame_info.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

#include "base/calendar.h"
#include "base/numbers.h"
#include "sky/angles.h"

double CalendarMjd(const CalendarTime& t) {
  return MjdFromDate(t.year, t.month, t.day, t.hour + t.minute / 60.0 + t.seconds / 3600.0);
}

CalendarTime CalendarFromMjd(double mjd, int yearGuess) {
  const CalendarFields f = DateFromMjd(mjd, yearGuess);
  CalendarTime t;
  t.year = static_cast<std::int16_t>(f.year);
  t.month = static_cast<std::int16_t>(f.month);
  t.day = static_cast<std::int16_t>(f.day);
  t.hour = static_cast<std::int16_t>(f.hour);
  t.minute = static_cast<std::int16_t>(f.minute);
  t.seconds = f.seconds;
  return t;
}

namespace {

// A numeric box of the panel. The panel shows numbers with the locale's decimal separator, so a ","
// is read as the decimal point; otherwise "37,61700" would collect as 37.
double PanelNumber(const std::string& text) {
  std::string t(text);
  for (char& c : t) {
    if (c == ',') c = '.';
  }
  return ParseNumber(t);
}

// A numeric box held in single precision; a number beyond the single range reads as 0, as in the
// information file, so that no infinity reaches the record.
float PanelSingle(const std::string& text) {
  const double value = PanelNumber(text);
  return std::fabs(value) <= std::numeric_limits<float>::max() ? static_cast<float>(value) : 0.0f;
}

// True when a box holds a number and nothing else (blanks around it allowed), or nothing at all.
bool NumberOrEmpty(const std::string& text) {
  std::string t(text);
  for (char& c : t) {
    if (c == ',') c = '.';
  }
  const std::size_t first = t.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return true;
  const std::size_t last = t.find_last_not_of(" \t\r\n");
  t = t.substr(first, last - first + 1);
  char* end = nullptr;
  std::strtod(t.c_str(), &end);
  return end == t.c_str() + t.size() && t.find_first_of("0123456789") != std::string::npos &&
         t.find_first_of("xXnN") == std::string::npos;  // no hexadecimal, infinity or NaN spellings
}

// A number as a message names it: the information file's text without its leading blank.
std::string ValueText(double value) {
  std::string text = NumberText(value);
  return text.erase(0, text.find_first_not_of(' '));
}

// Why a pointing altitude cannot be taken ("" when it can): the camera looks at the sky above the horizon.
std::string PointingAltitudeFault(double altitudeDeg) {
  if (altitudeDeg >= 0.0 && altitudeDeg <= 90.0) return {};
  return "Высота ЦП " + ValueText(altitudeDeg) + "° вне пределов 0..90°";
}

}  // namespace

std::string HeightFault(double heightM) {
  if (heightM >= kLowestHeightM && heightM <= kHighestHeightM) return {};
  return "Высота места " + ValueText(heightM) + " м вне пределов " + ValueText(kLowestHeightM) + ".." +
         ValueText(kHighestHeightM) + " м";
}

CollectResult CollectFrameInfo(const PanelEntries& e, bool strict, FrameInfo& info) {
  CollectResult result;
  info.fixedCamera = e.fixedCamera;
  int year = info.startTime.year, month = info.startTime.month, day = info.startTime.day;
  // A typed day the month does not have (31.02) is no date; information files are read as they always were.
  const bool dateOk = ParseDate(e.date, year, month, day) && day <= DaysInMonth(year, month);
  // A date that fails is not stored at all: an out-of-range month or year never reaches the record.
  if (dateOk) {
    info.startTime.year = static_cast<std::int16_t>(year);
    info.startTime.month = static_cast<std::int16_t>(month);
    info.startTime.day = static_cast<std::int16_t>(day);
  }
  if (!dateOk && strict) {
    result.ok = false;
    result.message = "Ошибка ввода даты";
    return result;
  }
  int hour = info.startTime.hour, minute = info.startTime.minute;
  float seconds = info.startTime.seconds;
  const bool timeOk = ParseTime(e.time, hour, minute, seconds);
  info.startTime.hour = static_cast<std::int16_t>(hour);
  info.startTime.minute = static_cast<std::int16_t>(minute);
  info.startTime.seconds = seconds;
  if (!timeOk && strict) {
    result.ok = false;
    result.message = "Ошибка ввода времени";
    return result;
  }
  double utError = PanelNumber(e.utError);
  if (!(utError <= kMaxUtError)) {  // also catches a non-finite value
    utError = kMaxUtError;
    result.utErrorRewritten = true;
    result.utErrorText = NumberText(static_cast<double>(kMaxUtError));
  }
  info.utError = std::fabs(utError) <= std::numeric_limits<float>::max() ? static_cast<float>(utError) : 0.0f;
  info.exposure = PanelNumber(e.exposure);
  // A typed minus sign means west or south, as the options do; text that is no number stops a strict
  // collection instead of reading as 0.
  const std::pair<const std::string*, const char*> site[2] = {{&e.longitude, "Ошибка ввода долготы"},
                                                              {&e.latitude, "Ошибка ввода широты"}};
  for (const auto& [text, message] : site) {
    if (strict && !NumberOrEmpty(*text)) {
      result.ok = false;
      result.message = message;
      return result;
    }
  }
  // The site's height and the camera's pointing are checked before anything of the site is taken, so that a
  // strict collection that stops leaves the site as it was. An empty height box is sea level.
  const std::pair<const std::string*, const char*> more[3] = {{&e.height, "Ошибка ввода высоты места"},
                                                              {&e.pointAlt, "Ошибка ввода высоты ЦП"},
                                                              {&e.pointAz, "Ошибка ввода азимута ЦП"}};
  for (int i = 0; i < (e.altAz ? 3 : 1); ++i) {
    if (strict && !NumberOrEmpty(*more[i].first)) {
      result.ok = false;
      result.message = more[i].second;
      return result;
    }
  }
  const double height = PanelNumber(e.height);
  const double pointAlt = PanelNumber(e.pointAlt);
  const double pointAz = PanelNumber(e.pointAz);
  const std::string heightFault = HeightFault(height);
  const std::string pointingFault = e.altAz ? PointingAltitudeFault(pointAlt) : std::string();
  for (const std::string* fault : {&heightFault, &pointingFault}) {
    if (strict && !fault->empty()) {
      result.ok = false;
      result.message = *fault;
      return result;
    }
  }
  if (heightFault.empty()) info.heightM = height;
  if (pointingFault.empty()) {
    info.pointingAltAz = e.altAz;
    if (e.altAz && std::isfinite(pointAz)) {
      info.pointingAlt = pointAlt;
      info.pointingAz = Normalize360(pointAz);
    }
  }
  const double longitude = PanelNumber(e.longitude);
  const double latitude = PanelNumber(e.latitude);
  info.longitude = std::fabs(longitude) * (e.west || longitude < 0 ? -1.0 : 1.0);
  info.latitude = std::fabs(latitude) * (e.south || latitude < 0 ? -1.0 : 1.0);
  info.raUser = PanelNumber(e.ra);
  info.decUser = PanelNumber(e.dec);
  info.fieldUser = PanelSingle(e.field);
  // A value outside its physical range stops a strict collection as a malformed one does.
  const struct {
    double value, low, high;
    const char* name;
  } ranges[] = {{info.exposure, 0.0, kMaxExposureSeconds, "Экспозиция"}, {info.longitude, -180.0, 360.0, "Долгота"},
                {info.latitude, -90.0, 90.0, "Широта"},                  {info.raUser, 0.0, 360.0, "RA"},
                {info.decUser, -90.0, 90.0, "Dec"}};
  for (const auto& r : ranges) {
    if (!strict || (r.value >= r.low && r.value <= r.high)) continue;
    result.ok = false;
    result.message = std::string(r.name) + " " + NumberText(r.value) + " вне пределов " + NumberText(r.low) + ".." +
                     NumberText(r.high);
    return result;
  }
  DeriveFrameTimes(info);
  return result;
}

PanelEntries PanelEntriesOf(const FrameInfo& info) {
  PanelEntries e;
  const CalendarTime& t = info.startTime;
  if (t.IsSet()) {
    e.date = FormatNumber(t.day, "00") + "." + FormatNumber(t.month, "00") + "." + FormatNumber(t.year, "0000");
    e.time = FormatNumber(t.hour, "00") + ":" + FormatNumber(t.minute, "00") + ":" + NumberText(t.seconds);
  }
  e.utError = NumberText(info.utError);
  e.exposure = NumberText(info.exposure);
  e.longitude = NumberText(std::fabs(info.longitude));
  e.west = info.longitude < 0.0;
  e.latitude = NumberText(std::fabs(info.latitude));
  e.south = info.latitude < 0.0;
  e.ra = NumberText(info.raUser);
  e.dec = NumberText(info.decUser);
  e.field = NumberText(info.fieldUser);
  e.fixedCamera = info.fixedCamera;
  e.height = NumberText(info.heightM);
  e.altAz = info.pointingAltAz;
  e.pointAlt = NumberText(info.pointingAlt);
  e.pointAz = NumberText(info.pointingAz);
  return e;
}

void DeriveFrameTimes(FrameInfo& info) {
  // The mid time follows the typed start time at every collection, so that a corrected start
  // never leaves a stale mid time behind; without a start time a loaded mid time is kept.
  if (info.startTime.IsSet()) {
    if (info.exposure == 0.0)
      info.midTime = info.startTime;
    else
      info.midTime = CalendarFromMjd(CalendarMjd(info.startTime) + info.exposure / 86400.0 / 2.0, info.startTime.year);
  } else if (!info.midTime.IsSet()) {
    info.midTime = CalendarTime{};
  }
  info.midMjd = CalendarMjd(info.midTime);
  info.startMjd = CalendarMjd(info.startTime);
  // A site typed beyond the double range in degrees has no finite angle in radians: 0, not infinity.
  const double longitudeRad = DegToRad(info.longitude);
  const double latitudeRad = DegToRad(info.latitude);
  info.longitudeRad = std::isfinite(longitudeRad) ? longitudeRad : 0.0;
  info.latitudeRad = std::isfinite(latitudeRad) ? latitudeRad : 0.0;
}

void DeriveStartFromMid(FrameInfo& info) {
  if (info.startTime.IsSet()) return;
  if (info.exposure == 0.0) {
    info.startTime = info.midTime;
  } else if (info.midTime.IsSet()) {
    info.midMjd = CalendarMjd(info.midTime);
    info.startMjd = info.midMjd - info.exposure / 86400.0 / 2.0;
    info.startTime = CalendarFromMjd(info.startMjd, info.midTime.year);
  } else {
    info.startTime = CalendarTime{};
  }
}

void ClearFrameTimes(FrameInfo& info) {
  info.midTime = CalendarTime{};
  info.startTime = CalendarTime{};
}
