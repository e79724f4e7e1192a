#pragma once
// Calendar and time utilities: pure functions used by every subsystem.
// All times are Universal Time; MJD is days since 1858-11-17 0h UT. Angles, sidereal time and the other
// astronomy of the program are in sky/; the sexagesimal splitting of hours and degrees in
// base/sexagesimal.h.

#include <string>
#include <string_view>

#include "base/sexagesimal.h"

// A calendar date and time of day split into fields.
struct CalendarFields {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  float seconds = 0.0f;
};

// True for Gregorian leap years (divisible by 400, or by 4 and not by 100).
bool IsLeapYear(int year);
// Length of a month in days; February has 29 days in leap years.
int DaysInMonth(int year, int month);
// Modified Julian Date of a Gregorian date plus hours of the day; day 0 is the last day of the previous month.
// Method: the Gregorian calendar-to-day-count algorithm (J. Meeus, Astronomical Algorithms, 2nd ed. 1998,
// ch. 7 "Julian Day"), shifted by 2400000.5 days.
double MjdFromDate(int year, int month, int day, double hours);
// Calendar date and time of an MJD; yearGuess should lie within one year of the answer (a worse guess
// falls back to an estimate of the year); a non-finite MJD gives all-zero fields.
// Method: the inverse of MjdFromDate by counting days from the guessed year (same source, ch. 7).
CalendarFields DateFromMjd(double mjd, int yearGuess);
// Reads "day.month.year" (year 1900..32767); false on a malformed text or out-of-range field.
bool ParseDate(std::string_view text, int& year, int& month, int& day);
// Reads "hours:minutes:seconds" ("," or "." as decimal point); false on a malformed text or out-of-range field.
bool ParseTime(std::string_view text, int& hour, int& minute, float& seconds);
