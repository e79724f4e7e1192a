#include "orbit/trajectories.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "astrometry/sky_frames.h"
#include "base/calendar.h"
#include "base/numbers.h"
#include "base/sexagesimal.h"
#include "satdb/satdb.h"
#include "satdb/text_fields.h"
#include "sky/angles.h"

namespace {

// Most samples one drawing computes (a 3000-second window at the smallest step of the windows).
constexpr std::size_t kMaxSamples = 100000;

// Points of a trajectory at the sample times, with only their times set.
std::vector<TrajectoryPoint> PointsAt(const std::vector<double>& times) {
  std::vector<TrajectoryPoint> points(times.size());
  for (std::size_t k = 0; k < times.size(); ++k) points[k].time = times[k];
  return points;
}

// Propagated points of an element set over the frame's window at the given step; false when the
// propagation fails.
bool ComputePoints(const TleRecord& tle, const FrameInfo& info, double stepSeconds,
                   std::vector<TrajectoryPoint>& points) {
  points = PointsAt(TrajectorySampleTimes(MakeTrackWindow(info), stepSeconds));
  return TrajectoryTrack(tle, points, info.latitudeRad, info.longitudeRad, info.heightM / 1000.0);
}

}  // namespace

std::string TimeText(double mjd) {
  const double f = mjd - std::floor(mjd);
  int h = static_cast<int>(24.0 * f);
  int m = static_cast<int>((24.0 * f - h) * 60.0);
  double s = std::floor((24.0 * f - h - m / 60.0) * 3600.0 * 100.0 + 0.5) / 100.0;
  CarrySexagesimal(h, m, s);
  if (h > 23) h -= 24;
  return FormatNumber(h, "00") + ":" + FormatNumber(m, "00") + ":" + FormatNumber(s, "00.00");
}

std::vector<double> TrajectorySampleTimes(const TrackWindow& window, double stepSeconds) {
  if (!(stepSeconds > 0.0) || !std::isfinite(stepSeconds)) return {window.t0Mjd};
  const double steps = std::floor(WindowSeconds(window) / stepSeconds + 0.5);
  const std::size_t n = steps > 0.0 ? std::min(static_cast<std::size_t>(steps), kMaxSamples) : 0;
  std::vector<double> times(n + 1);
  for (std::size_t k = 0; k <= n; ++k) times[k] = window.t0Mjd + static_cast<double>(k) * stepSeconds / 86400.0;
  return times;
}

double CandidateStepSeconds(const TrackWindow& window) {
  return WindowSeconds(window) < 5.0 ? 1.0 : 2.0;
}

std::vector<TrajectoryMark> TrajectoryMarks(std::span<const TrajectoryPoint> points, const TrajectoryCanvas& canvas,
                                            Rgb sunlit, Rgb shadow) {
  std::vector<TrajectoryMark> marks;
  for (const TrajectoryPoint& point : points) {
    if (point.range < 0.0) continue;  // below the horizon
    const J2000Direction sky = canvas.camera.PlateOf(point.sky, point.time);
    const PixelPosition p = SkyToPixel(sky.raRad, sky.decRad, canvas.plate);
    if (!p.valid || !(p.x > 0.0f && p.x < canvas.imageWidth && p.y > 0.0f && p.y < canvas.imageHeight)) continue;
    TrajectoryMark mark;
    mark.x = static_cast<float>(p.x);
    mark.y = static_cast<float>(p.y);
    mark.colour = point.sunlit != 0 ? sunlit : shadow;
    mark.timeText = TimeText(point.time);
    marks.push_back(std::move(mark));
  }
  return marks;
}

std::vector<TrajectoryMark> CandidateTrajectory(const TleRecord& tle, const FrameInfo& info,
                                                const TrajectoryCanvas& canvas, const MarkPalette& palette) {
  std::vector<TrajectoryPoint> points;
  if (!ComputePoints(tle, info, CandidateStepSeconds(MakeTrackWindow(info)), points)) return {};
  return TrajectoryMarks(points, canvas, palette.trajectory, palette.trajectoryAux);
}

std::string UsersatEntryProblem(int number, double stepSeconds) {
  if (number < 1) return "Проверьте номер ИСЗ";
  if (!(stepSeconds > 0.1)) return "Увеличьте шаг расчета";
  if (stepSeconds > 30.0) return "Уменьшите шаг расчета";
  return "";
}

std::string TrajectoryPointLine(const TrajectoryPoint& point, float standardMagnitude) {
  const J2000Direction sky = TemeToJ2000(point.sky, point.time);
  const double decDeg = RadToDeg(sky.decRad);
  std::string magnitude = "N/A";
  if (point.range >= 0.0) {
    if (const std::optional<double> m = MagnitudeEstimate(standardMagnitude, point.range, point.phase)) {
      magnitude = FormatNumber(*m, "0.0");
    }
  }
  return TimeText(point.time) + "   RA=" + FormatNumber(RadToDeg(sky.raRad), "000.00") +
         "°   DEC=" + (decDeg < 0.0 ? "-" : "+") + FormatNumber(std::fabs(decDeg), "00.00") +
         "    Ф=" + FormatNumber(point.phase, "000.0") + "°  mag= " + magnitude +
         "   po=" + FormatNumber(point.range, "0.0") + " км";
}

SingleTrajectory SingleSatelliteTrajectory(const std::string& appDir, int number, double stepSeconds,
                                           const FrameInfo& info, const TrajectoryCanvas& canvas,
                                           const MarkPalette& palette) {
  SingleTrajectory result;
  const std::string path = SatelliteFilePath(appDir, number);
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) {
    result.message = "Файл " + path + " не найден.";
    return result;
  }
  TleRecord tle;
  ReadBestSet(path, info.startMjd, tle);
  result.designator = tle.designator;
  result.displayName = DisplayName(tle);
  if (!result.displayName.empty()) result.lines.push_back("Имя ИСЗ = " + result.displayName);
  result.lines.push_back("Давность Tle = " + FormatNumber(tle.ageDays, "0.00") + " дней");
  if (!ComputePoints(tle, info, stepSeconds, result.points)) {
    result.points.clear();
    result.lines.push_back("Ошибка при вычислении положений ИСЗ.");
    return result;
  }
  for (const TrajectoryPoint& point : result.points) {
    result.lines.push_back(TrajectoryPointLine(point, tle.standardMagnitude));
  }
  result.marks = TrajectoryMarks(result.points, canvas, palette.trajectory, palette.trajectoryAux);
  return result;
}

bool ExchangeTrackEnds(std::span<const TrajectoryMark> marks, float end1X, float end1Y, float end2X, float end2Y) {
  if (marks.size() < 2) return false;
  const double dx = marks.back().x - marks.front().x, dy = marks.back().y - marks.front().y;
  return dx * (end2X - end1X) + dy * (end2Y - end1Y) < 0.0;
}

TrajectoryLabel PlaceTrajectoryLabel(const TrajectoryMark& first, const TrajectoryMark& last, const std::string& text,
                                     Rgb colour, float imageWidth, float imageHeight) {
  const float cx = imageWidth / 2.0f, cy = imageHeight / 2.0f;
  const bool lastNearer = std::hypot(last.x - cx, last.y - cy) <= std::hypot(first.x - cx, first.y - cy);
  const TrajectoryMark& at = lastNearer ? last : first;
  TrajectoryLabel label;
  label.x = at.x;
  label.y = at.y;
  label.colour = colour;
  label.text = text;
  return label;
}

SeveralTrajectories SeveralSatelliteTrajectories(const std::string& appDir,
                                                 std::span<const SatelliteRequest> satellites, bool labels,
                                                 const FrameInfo& info, const TrajectoryCanvas& canvas, Rgb shadow) {
  SeveralTrajectories result;
  const float imageWidth = static_cast<float>(canvas.imageWidth);
  const float imageHeight = static_cast<float>(canvas.imageHeight);
  for (const SatelliteRequest& satellite : satellites) {
    const std::string path = SatelliteFilePath(appDir, satellite.number);
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
      result.messages.push_back("Файл " + path + " не найден.");
      continue;
    }
    TleRecord tle;
    ReadBestSet(path, info.startMjd, tle);
    const std::string text =
        std::string(TrimBlanks(DisplayName(tle))) + " (" + FormatNumber(satellite.number, "0") + ")";
    std::vector<TrajectoryPoint> points;
    if (!ComputePoints(tle, info, satellite.stepSeconds, points)) {
      result.messages.push_back("Ошибка при вычислении положений ИСЗ " + FormatNumber(satellite.number, "0"));
      continue;
    }
    const std::vector<TrajectoryMark> marks = TrajectoryMarks(points, canvas, satellite.colour, shadow);
    if (labels && !marks.empty()) {
      result.labels.push_back(
          PlaceTrajectoryLabel(marks.front(), marks.back(), text, satellite.colour, imageWidth, imageHeight));
    }
    result.marks.insert(result.marks.end(), marks.begin(), marks.end());
  }
  return result;
}
