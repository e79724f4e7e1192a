#include "framegen/satellite_scene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "base/calendar.h"
#include "orbit/observer.h"
#include "sky/angles.h"
#include "sky/frames.h"
#include "sky/site.h"

namespace {

// Altitude (radians) of a topocentric direction of date seen from a site at a time.
double Altitude(const TemeDirection& d, double mjd, double latitudeRad, double longitudeRad) {
  const double hourAngle = GreenwichSiderealTime(mjd) + longitudeRad - d.raRad;
  return DegToRad(HorizontalCoordinates(hourAngle, d.decRad, latitudeRad).altitudeDeg);
}

std::string Text(const char* format, double a, double b = 0, double c = 0) {
  char buf[64];
  std::snprintf(buf, sizeof buf, format, a, b, c);
  return buf;
}

}  // namespace

bool MakeSatelliteScene(const std::vector<TleRecord>& satellites, const SceneLimits& limits, std::uint32_t seed,
                        SatelliteScene& scene) {
  std::mt19937 random(seed);
  const auto uniform = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(random); };
  if (satellites.empty()) return false;
  for (int attempt = 0; attempt < 400; ++attempt) {
    const TleRecord& tle = satellites[std::uniform_int_distribution<std::size_t>(0, satellites.size() - 1)(random)];
    if (!(tle.meanMotion > 1440.0 / 300.0)) continue;
    SatelliteScene s;
    const bool decWindow = limits.minDecDeg > -90.0 || limits.maxDecDeg < 90.0;
    s.latitudeDeg = decWindow ? uniform(std::max(limits.minDecDeg - 20.0, -65.0), std::min(limits.maxDecDeg + 20.0, 65.0))
                              : uniform(-45.0, 60.0);
    s.longitudeDeg = uniform(-180.0, 180.0);
    const double latitude = DegToRad(s.latitudeDeg), longitude = DegToRad(s.longitudeDeg);
    // A whole-second stated start on one of the days around the element sets' epochs; the true start
    // follows it by up to 0.4 s and the panel's UT error covers that.
    const double dayStart = MjdFromDate(2026, 5, 6, 0.0) + std::floor(uniform(0.0, 4.0));
    const double firstSecond = std::floor(uniform(0.0, 86400.0 - 3600.0));
    // Look for the satellite high above the site within the next hour, minute by minute.
    std::vector<TrajectoryPoint> points(60);
    for (std::size_t k = 0; k < points.size(); ++k) points[k].time = dayStart + (firstSecond + 60.0 * k) / 86400.0;
    if (!TrajectoryTrack(tle, points, latitude, longitude)) continue;
    std::vector<std::size_t> high;
    for (std::size_t k = 0; k < points.size(); ++k)
      if (points[k].range > 0 &&
          Altitude(points[k].sky, points[k].time, latitude, longitude) > DegToRad(limits.minAltitudeDeg) &&
          RadToDeg(points[k].sky.decRad) >= limits.minDecDeg - 1.0 &&
          RadToDeg(points[k].sky.decRad) <= limits.maxDecDeg + 1.0)
        high.push_back(k);
    if (high.empty()) continue;
    const std::size_t chosen = high[std::uniform_int_distribution<std::size_t>(0, high.size() - 1)(random)];
    const double statedSecond = firstSecond + 60.0 * chosen;
    s.startMjd = dayStart + (statedSecond + uniform(0.0, limits.maxClockLag)) / 86400.0;
    s.exposure = std::round(uniform(5.0, 30.0));
    if (limits.exposure > 0.0) s.exposure = limits.exposure;
    const std::vector<double> times = {s.startMjd, s.startMjd + 0.5 * s.exposure / 86400.0,
                                       s.startMjd + s.exposure / 86400.0};
    std::vector<TemeDirection> teme;
    if (!SkyTrack(tle, times, latitude, longitude, teme) || teme.size() != 3) continue;
    J2000Direction sky[3];
    for (int i = 0; i < 3; ++i)
      sky[i] = TemeToJ2000(teme[static_cast<std::size_t>(i)], times[static_cast<std::size_t>(i)]);
    if (!(RadToDeg(sky[1].decRad) >= limits.minDecDeg && RadToDeg(sky[1].decRad) <= limits.maxDecDeg)) continue;

    // The camera: pointed near the streak's middle so that the whole streak falls inside the frame.
    FrameSpec& d = s.drawing;
    d.width = static_cast<int>(uniform(limits.minWidth, limits.maxWidth)) & ~1;
    d.height = (d.width * 2 / 3) & ~1;
    d.scaleArcsec = uniform(limits.minScaleArcsec, limits.maxScaleArcsec);
    d.rotationDeg = uniform(0.0, 360.0);
    d.mirrored = uniform(0.0, 1.0) < 0.25;
    d.radialDistortion = uniform(-limits.maxDistortion, limits.maxDistortion);
    d.background = uniform(10.0, 40.0);
    d.noiseSigma = uniform(limits.minNoise, limits.maxNoise);
    d.starSigmaPx = uniform(0.9, 1.6);
    // Stars of the fourth to fifth magnitude nearly fill the levels, so the catalogue's faintest show.
    d.referenceMagnitude = uniform(3.5, 5.0);
    d.referencePeak = 200.0;
    d.seed = seed;
    if (limits.fixedCamera) {
      d.fixedExposure = s.exposure;
      d.fixedMidMjd = times[1];
    }
    const double fieldDeg = d.width * d.scaleArcsec / 3600.0;
    d.centreRaDeg = RadToDeg(sky[1].raRad);
    d.centreDecDeg = RadToDeg(sky[1].decRad);
    // Move the centre off the streak by up to a quarter of the frame.
    d.centreDecDeg = std::clamp(d.centreDecDeg + uniform(-0.2, 0.2) * fieldDeg * 2.0 / 3.0, -89.0, 89.0);
    d.centreRaDeg = Normalize360(d.centreRaDeg + uniform(-0.2, 0.2) * fieldDeg / std::cos(DegToRad(d.centreDecDeg)));
    FrameStreak streak;
    if (!ProjectAtInstant(d, RadToDeg(sky[0].raRad), RadToDeg(sky[0].decRad), times[0], streak.x1, streak.y1) ||
        !ProjectAtInstant(d, RadToDeg(sky[2].raRad), RadToDeg(sky[2].decRad), times[2], streak.x2, streak.y2))
      continue;
    const double margin = 30.0;
    const auto inside = [&](double x, double y) {
      return x > margin && y > margin && x < d.width - margin && y < d.height - margin;
    };
    const double length = std::hypot(streak.x2 - streak.x1, streak.y2 - streak.y1);
    if (!inside(streak.x1, streak.y1) || !inside(streak.x2, streak.y2) || length < 40.0) continue;
    streak.peak = uniform(limits.minPeak, limits.maxPeak);
    streak.sigmaPx = d.starSigmaPx;
    streak.smearedEnds = true;
    d.streaks = {streak};
    s.catalogNumber = tle.catalogNumber;
    s.ends[0] = sky[0];
    s.ends[1] = sky[2];

    const CalendarFields day = DateFromMjd(dayStart, 2026);
    s.date = Text("%02.0f.%02.0f.%04.0f", day.day, day.month, day.year);
    const HourSplit stated = SplitHours(statedSecond / 3600.0);
    s.time = Text("%02.0f:%02.0f:", stated.hour, stated.minute) +
             Text("%04.1f", std::floor(stated.seconds * 10.0 + 0.5) / 10.0);
    s.utError = "0.5";
    s.exposureText = Text("%.1f", s.exposure);
    s.west = s.longitudeDeg < 0;
    s.south = s.latitudeDeg < 0;
    s.longitude = Text("%.5f", std::fabs(s.longitudeDeg));
    s.latitude = Text("%.5f", std::fabs(s.latitudeDeg));
    s.ra = Text("%.0f", std::round(d.centreRaDeg));
    s.dec = Text("%.0f", std::round(d.centreDecDeg));
    s.field = Text("%.0f", std::round(fieldDeg));
    scene = s;
    return true;
  }
  return false;
}

PanelEntries SceneEntries(const SatelliteScene& scene, bool centre) {
  PanelEntries e;
  e.date = scene.date;
  e.time = scene.time;
  e.utError = scene.utError;
  e.exposure = scene.exposureText;
  e.longitude = scene.longitude;
  e.latitude = scene.latitude;
  e.west = scene.west;
  e.south = scene.south;
  if (centre) {
    e.ra = scene.ra;
    e.dec = scene.dec;
    e.field = scene.field;
  }
  return e;
}
