#include "frameinfo/frame_info.h"

#include <cmath>
#include <cstdlib>

#include "frameinfo/calendar.h"
#include "frameinfo/numbers.h"

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
  double utError = ParseNumber(e.utError);
  if (!(utError <= kMaxUtError)) {  // also catches a non-finite value
    utError = kMaxUtError;
    result.utErrorRewritten = true;
    result.utErrorText = NumberText(static_cast<double>(kMaxUtError));
  }
  info.utError = static_cast<float>(utError);
  info.exposure = ParseNumber(e.exposure);
  info.longitude = std::fabs(ParseNumber(e.longitude)) * (e.west ? -1.0 : 1.0);
  info.latitude = std::fabs(ParseNumber(e.latitude)) * (e.south ? -1.0 : 1.0);
  info.raUser = ParseNumber(e.ra);
  info.decUser = ParseNumber(e.dec);
  info.fieldUser = static_cast<float>(ParseNumber(e.field));
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
  info.longitudeRad = DegToRad(info.longitude);
  info.latitudeRad = DegToRad(info.latitude);
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
