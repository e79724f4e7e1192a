#include "frameinfo/frame_info.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "base/calendar.h"
#include "base/numbers.h"

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

}  // namespace

CollectResult CollectFrameInfo(const PanelEntries& e, bool strict, FrameInfo& info) {
  CollectResult result;
  int year = info.startTime.year, month = info.startTime.month, day = info.startTime.day;
  const bool dateOk = ParseDate(e.date, year, month, day);
  // Fields assigned before a failing step keep their new values.
  info.startTime.year = static_cast<std::int16_t>(year);
  info.startTime.month = static_cast<std::int16_t>(month);
  info.startTime.day = static_cast<std::int16_t>(day);
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
  info.longitude = std::fabs(PanelNumber(e.longitude)) * (e.west ? -1.0 : 1.0);
  info.latitude = std::fabs(PanelNumber(e.latitude)) * (e.south ? -1.0 : 1.0);
  info.raUser = PanelNumber(e.ra);
  info.decUser = PanelNumber(e.dec);
  info.fieldUser = PanelSingle(e.field);
  DeriveFrameTimes(info);
  return result;
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
