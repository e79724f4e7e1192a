#include "base/sexagesimal.h"

#include <cmath>

HourSplit SplitHours(double hours) {
  HourSplit split;
  if (!std::isfinite(hours) || std::fabs(hours) > 1e6) return split;
  const double hour = std::floor(hours);
  const double minute = std::floor((hours - hour) * 60.0);
  const double seconds = (hours - hour - minute / 60.0) * 3600.0;
  split.hour = static_cast<int>(hour);
  split.minute = static_cast<int>(minute);
  split.seconds = static_cast<float>(std::floor(seconds * 1000.0 + 0.5) / 1000.0);
  // Rounding to the millisecond may reach a full minute; carry it (the date is left alone).
  CarrySexagesimal(split.hour, split.minute, split.seconds);
  return split;
}

void SplitRaHours(double degrees, int& hours, double& minutes) {
  const double a = degrees / 15.0;
  const double whole = std::trunc(a);
  hours = std::isfinite(whole) && std::fabs(whole) < 1e9 ? static_cast<int>(whole) : 0;
  minutes = (a - whole) * 60.0;
}

SignedDms SplitSignedDegrees(double degrees) {
  SignedDms dms;
  dms.sign.assign(1, degrees >= 0.0 ? '+' : '-');
  const double v = std::fabs(degrees);
  const double whole = std::trunc(v);
  const double w = (v - whole) * 60.0;
  const double minutes = std::trunc(w);
  dms.degrees = std::isfinite(whole) && whole < 1e9 ? static_cast<int>(whole) : 0;
  dms.arcminutes = std::isfinite(minutes) ? static_cast<int>(minutes) : 0;
  dms.arcseconds = (w - minutes) * 60.0;
  return dms;
}
