#pragma once
// Splitting of hours and degrees into sexagesimal parts (hours or degrees, minutes, seconds), with the
// one carry rule used wherever a rounded seconds field reaches 60.

#include <string>

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

// Carries a seconds field that rounding brought to 60 or more into the minutes (seconds - 60, minutes
// + 1), then minutes of 60 or more into the whole units (minutes - 60, whole + 1). The whole units are
// not wrapped (24 h or 360 deg is the caller's concern).
template <typename Seconds>
void CarrySexagesimal(int& whole, int& minutes, Seconds& seconds) {
  if (seconds >= Seconds(60)) {
    seconds -= Seconds(60);
    minutes += 1;
  }
  if (minutes >= 60) {
    minutes -= 60;
    whole += 1;
  }
}

// Splits hours (0 to below 24) into hour, minute and seconds rounded to the millisecond, with carries.
HourSplit SplitHours(double hours);
// Splits a right ascension in degrees into whole hours (truncated) and minutes of time.
void SplitRaHours(double degrees, int& hours, double& minutes);
// Splits an angle in degrees into sign, truncated degrees and arcminutes of its magnitude, and arcseconds.
SignedDms SplitSignedDegrees(double degrees);
