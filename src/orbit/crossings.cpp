#include "orbit/crossings.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "base/numbers.h"
#include "orbit/trajectories.h"
#include "satdb/satdb.h"
#include "satdb/text_fields.h"
#include "sky/angles.h"

namespace {

using J2000Vector = SkyVector<SkyFrame::J2000>;

// The frame on the sky as a circle that holds it: the direction of the picture's centre and the angle
// to its farthest edge point, radians.
struct FrameDisc {
  J2000Vector centre{};
  double radiusRad = 0.0;
};

FrameDisc DiscOf(const CrossingsInput& input) {
  const double w = input.imageWidth, h = input.imageHeight;
  const SkyPosition c = PixelToSky(w / 2.0 + 0.5, h / 2.0 + 0.5, input.plate);
  const J2000Direction centre{c.ra, c.dec};
  FrameDisc disc;
  disc.centre = ToVector(centre);
  // Corners and edge middles: under a gnomonic plate the picture's farthest point from its centre is one
  // of them to well inside the margin the test allows.
  for (const double fx : {0.0, 0.5, 1.0}) {
    for (const double fy : {0.0, 0.5, 1.0}) {
      const SkyPosition p = PixelToSky(0.5 + fx * w, 0.5 + fy * h, input.plate);
      disc.radiusRad = std::max(disc.radiusRad, Separation(centre, J2000Direction{p.ra, p.dec}));
    }
  }
  return disc;
}

// Whether a path sampled every few seconds can reach the frame: some sample lies within the frame's
// radius of its centre plus half the sky the path covers to the farther of its neighbours (every point
// of the path between two samples is within half their arc of one of them), with a margin for the
// path's bending between samples and the gnomonic plate's stretch towards the corners.
bool MayCross(const std::vector<J2000Direction>& path, const FrameDisc& disc) {
  constexpr double kMarginRad = 0.2 * Pi / 180.0;
  std::vector<J2000Vector> v;
  v.reserve(path.size());
  for (const J2000Direction& d : path) v.push_back(ToVector(d));
  for (std::size_t k = 0; k < v.size(); ++k) {
    double step = 0.0;
    if (k > 0) step = std::max(step, ArcCos(Dot(v[k], v[k - 1])));
    if (k + 1 < v.size()) step = std::max(step, ArcCos(Dot(v[k], v[k + 1])));
    if (ArcCos(Dot(v[k], disc.centre)) <= 1.05 * disc.radiusRad + 0.6 * step + kMarginRad) return true;
  }
  return false;
}

// The sample times of the close following: every kCrossingStepSeconds from the window's start, the last
// at its end.
std::vector<double> FollowTimes(const TrackWindow& window) {
  const double seconds = WindowSeconds(window);
  const int steps = std::max(1, static_cast<int>(std::ceil(seconds / kCrossingStepSeconds - 1e-9)));
  std::vector<double> times(static_cast<std::size_t>(steps) + 1);
  for (int k = 0; k < steps; ++k)
    times[static_cast<std::size_t>(k)] = window.t0Mjd + k * kCrossingStepSeconds / 86400.0;
  times.back() = window.t1Mjd;
  return times;
}

// The part of the chord (x0, y0) - (x1, y1) inside the rectangle, as fractions u0 <= u1 of the chord
// (Liang-Barsky clipping); none when the chord misses it.
std::optional<std::pair<double, double>> ClipChord(double x0, double y0, double x1, double y1, double xMin, double xMax,
                                                   double yMin, double yMax) {
  const double dx = x1 - x0, dy = y1 - y0;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x0 - xMin, xMax - x0, y0 - yMin, yMax - y0};
  double u0 = 0.0, u1 = 1.0;
  for (int i = 0; i < 4; ++i) {
    if (p[i] == 0.0) {
      if (q[i] < 0.0) return std::nullopt;
      continue;
    }
    const double r = q[i] / p[i];
    if (p[i] < 0.0)
      u0 = std::max(u0, r);
    else
      u1 = std::min(u1, r);
  }
  if (u0 > u1) return std::nullopt;
  return std::pair{u0, u1};
}

// A point of the chord between two samples.
CrossingSample Along(const CrossingSample& a, const CrossingSample& b, double u) {
  return {a.mjd + u * (b.mjd - a.mjd), a.x + u * (b.x - a.x), a.y + u * (b.y - a.y)};
}

// The crossing of an element set followed at the given samples of the site.
std::optional<FrameCrossing> Follow(const TleRecord& tle, const CrossingsInput& input, const ObserverSamples& samples) {
  std::vector<J2000Direction> path;
  if (!SkyPath(tle, samples, path)) return std::nullopt;
  std::vector<CrossingSample> pixels(path.size());
  std::vector<bool> valid(path.size(), false);
  for (std::size_t k = 0; k < path.size(); ++k) {
    const J2000Direction onPlate = input.camera.PlateOf(path[k], samples.timesMjd[k]);
    const PixelPosition p = SkyToPixel(onPlate.raRad, onPlate.decRad, input.plate);
    valid[k] = p.valid && std::isfinite(p.x) && std::isfinite(p.y);
    pixels[k] = {samples.timesMjd[k], p.x, p.y};
  }
  const double xMax = input.imageWidth + 0.5, yMax = input.imageHeight + 0.5;
  // About one drawn position a second.
  const std::size_t stride =
      std::max<std::size_t>(1, static_cast<std::size_t>(std::lround(1.0 / kCrossingStepSeconds)));
  FrameCrossing crossing;
  bool entered = false;
  for (std::size_t k = 0; k + 1 < path.size(); ++k) {
    if (!valid[k] || !valid[k + 1]) continue;
    const CrossingSample& a = pixels[k];
    const CrossingSample& b = pixels[k + 1];
    const auto inside = ClipChord(a.x, a.y, b.x, b.y, 0.5, xMax, 0.5, yMax);
    if (!inside) continue;
    const bool wasInside = entered;
    if (!entered) {
      crossing.entry = Along(a, b, inside->first);
      crossing.path.push_back(crossing.entry);
      entered = true;
    } else if (inside->first > 0.0) {
      crossing.path.push_back(Along(a, b, inside->first));  // back in after leaving
    }
    if (wasInside && inside->first == 0.0 && k % stride == 0) crossing.path.push_back(a);
    crossing.exit = Along(a, b, inside->second);
  }
  if (!entered) return std::nullopt;
  crossing.path.push_back(crossing.exit);

  std::vector<TrajectoryPoint> middle(1);
  middle[0].time = (crossing.entry.mjd + crossing.exit.mjd) / 2.0;
  if (!TrajectoryTrack(tle, middle, input.latitudeRad, input.longitudeRad, input.heightKm) || middle[0].range < 0.0)
    return std::nullopt;  // below the horizon: the path runs behind the Earth
  crossing.catalogNumber = tle.catalogNumber;
  crossing.name = std::string(TrimBlanks(DisplayName(tle)));
  crossing.rangeKm = middle[0].range;
  crossing.sunlit = middle[0].sunlit != 0;
  crossing.magnitude = MagnitudeEstimate(tle.standardMagnitude, middle[0].range, middle[0].phase);
  return crossing;
}

}  // namespace

TrackWindow CrossingWindow(const FrameInfo& info) {
  const double margin = static_cast<double>(info.utError);
  return {info.startMjd - margin / 86400.0, info.startMjd + (info.exposure + margin) / 86400.0};
}

std::optional<FrameCrossing> CrossFrame(const TleRecord& tle, const CrossingsInput& input) {
  const std::vector<double> times = FollowTimes(input.window);
  return Follow(tle, input, ObserveFrom(times, input.latitudeRad, input.longitudeRad, input.heightKm));
}

CrossingsResult FrameCrossings(const CrossingsInput& input, TaskControl& task) {
  CrossingsResult result;
  const std::vector<std::string> files = ListDatabaseFiles(input.appDir);
  if (files.empty()) {
    result.message = "Нет TLE.";
    return result;
  }
  const std::vector<double> coarseTimes = MatchSampleTimes(input.window);
  const ObserverSamples coarse = ObserveFrom(coarseTimes, input.latitudeRad, input.longitudeRad, input.heightKm);
  const std::vector<double> followTimes = FollowTimes(input.window);
  const ObserverSamples follow = ObserveFrom(followTimes, input.latitudeRad, input.longitudeRad, input.heightKm);
  const FrameDisc disc = DiscOf(input);

  TleRecord tle;
  std::vector<J2000Direction> path;
  for (const std::string& file : files) {
    if (task.Cancelled()) {
      result.cancelled = true;
      return result;
    }
    task.SetText(file);
    task.Yield();
    if (!ReadBestSet(file, input.window.t0Mjd, tle) || !(tle.ageDays < kMaxElementAgeDays)) continue;
    if (!SkyPath(tle, coarse, path) || !MayCross(path, disc)) continue;
    if (std::optional<FrameCrossing> crossing = Follow(tle, input, follow))
      result.crossings.push_back(std::move(*crossing));
  }
  std::stable_sort(result.crossings.begin(), result.crossings.end(),
                   [](const FrameCrossing& a, const FrameCrossing& b) {
                     if (a.entry.mjd != b.entry.mjd) return a.entry.mjd < b.entry.mjd;
                     return a.catalogNumber < b.catalogNumber;
                   });
  if (result.crossings.empty()) result.message = "Ни один ИСЗ базы не пересекает кадр.";
  return result;
}

std::string CrossingText(const FrameCrossing& c) {
  const auto point = [](const CrossingSample& s) {
    return TimeText(s.mjd) + " (" + FormatNumber(s.x, "0.0") + ", " + FormatNumber(s.y, "0.0") + ")";
  };
  std::string text =
      FormatNumber(c.catalogNumber, "0") + "  " + c.name + "  вход " + point(c.entry) + "  выход " + point(c.exit);
  if (c.magnitude) text += "  m=" + FormatNumber(*c.magnitude, "0.0");
  text += c.sunlit ? "  освещён" : "  в тени";
  text += "  " + FormatNumber(c.rangeKm, "0") + " км";
  return text;
}
