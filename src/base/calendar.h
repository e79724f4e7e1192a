#pragma once
// Calendar, time and angle utilities: pure functions used by every subsystem.
// All times are Universal Time; MJD is days since 1858-11-17 0h UT.

#include <string>
#include <string_view>

// The value of pi every degree/radian conversion in Orvia uses (fifteen significant digits).
constexpr double Pi = 3.14159265358979;

// A calendar date and time of day split into fields.
struct CalendarFields {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  float seconds = 0.0f;
};

// Hours of a day split into hour, minute and seconds (seconds rounded to the millisecond).
struct HourSplit {
  int hour = 0;
  int minute = 0;
  float seconds = 0.0f;
};

// An angle in degrees split into sign text, whole degrees, whole arcminutes and arcseconds.
struct SignedDms {
  std::string sign;  // "+" or "-"
  int degrees = 0;
  int arcminutes = 0;
  double arcseconds = 0.0;
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
// Splits hours (0 to below 24) into hour, minute and seconds rounded to the millisecond, with carries.
HourSplit SplitHours(double hours);
// Greenwich mean sidereal time at an MJD (UT), radians in 0..2*Pi (IAU 1982 expression).
// Source: Aoki et al., Astron. Astrophys. 105, 359 (1982); as in Astronomical Algorithms, ch. 12, eq. 12.4.
double GreenwichSiderealTime(double mjd);
// Degrees to radians with Pi.
double DegToRad(double degrees);
// Radians to degrees with Pi.
double RadToDeg(double radians);
// Arc cosine in radians (0..pi) of any x; x is clamped into -1..1 first.
double ArcCos(double x);
// Angle of the vector (x, y) in radians, -pi..pi; y first as in atan2.
double ArcTan2(double y, double x);
// The same angle in degrees brought into 0 to below 360; NaN for an infinite or NaN angle.
double Normalize360(double degrees);
// Reads "day.month.year" (year 1900..32767); false on a malformed text or out-of-range field.
bool ParseDate(std::string_view text, int& year, int& month, int& day);
// Reads "hours:minutes:seconds" ("," or "." as decimal point); false on a malformed text or out-of-range field.
bool ParseTime(std::string_view text, int& hour, int& minute, float& seconds);
// Splits a right ascension in degrees into whole hours (truncated) and minutes of time.
void SplitRaHours(double degrees, int& hours, double& minutes);
// Splits an angle in degrees into sign, truncated degrees and arcminutes of its magnitude, and arcseconds.
SignedDms SplitSignedDegrees(double degrees);
