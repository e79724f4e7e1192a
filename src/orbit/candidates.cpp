#include "orbit/candidates.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "astrometry/sky_frames.h"
#include "base/calendar.h"
#include "base/numbers.h"
#include "orbit/observer.h"
#include "orbit/trajectories.h"
#include "satdb/satdb.h"
#include "sky/angles.h"

namespace {

using J2000Vector = SkyVector<SkyFrame::J2000>;

// Unit vector along v; none for a zero or non-finite vector.
std::optional<J2000Vector> Normalised(const J2000Vector& v) {
  const double length = std::sqrt(Dot(v, v));
  if (!(length > 0.0) || !std::isfinite(length)) return std::nullopt;
  return J2000Vector{v.x / length, v.y / length, v.z / length};
}

// A number with its sign always written ("+0.04", "-1.50"; zero as "+0.00").
std::string SignedText(double value, std::string_view pattern) {
  const std::string text = FormatNumber(value, pattern);
  return text.starts_with('-') ? text : "+" + text;
}

// Sampling interval of the match, seconds.
constexpr double kMatchStepSeconds = 5.0;

}  // namespace

TrackWindow MakeTrackWindow(const FrameInfo& info) {
  return {info.startMjd, info.startMjd + (static_cast<double>(info.utError) + info.exposure) / 86400.0};
}

double WindowSeconds(const TrackWindow& window) {
  // Two MJDs of about 6e4 days differ by whole microseconds only up to rounding; the frame's times are
  // given to 0.1 s, so the length is taken to the millisecond.
  return std::nearbyint((window.t1Mjd - window.t0Mjd) * 86400.0 * 1000.0) / 1000.0;
}

std::optional<J2000Vector> TrackPole(const J2000Direction& p1, const J2000Direction& p2) {
  std::optional<J2000Vector> n = Normalised(Cross(ToVector(p1), ToVector(p2)));
  if (n && n->z < 0.0) *n = {-n->x, -n->y, -n->z};
  return n;
}

int MatchStepCount(const TrackWindow& window) {
  return RoundToInt(WindowSeconds(window) / kMatchStepSeconds + 1.0);
}

std::vector<double> MatchSampleTimes(const TrackWindow& window) {
  const int n = std::max(MatchStepCount(window), 0);
  std::vector<double> times(static_cast<std::size_t>(n) + 1);
  for (int k = 0; k <= n; ++k) times[static_cast<std::size_t>(k)] = window.t0Mjd + k * kMatchStepSeconds / 86400.0;
  return times;
}

TrackMatch MatchPath(std::span<const J2000Direction> path, const MeasuredTrack& track, const CandidateFilter& filter) {
  TrackMatch result;
  result.uDeg = 180.0f;
  if (path.size() < 2) return result;
  const std::optional<J2000Vector> predictedPole = TrackPole(path.front(), path.back());
  if (!predictedPole) return result;
  // Both poles are unit vectors; ArcCos clamps a cosine pushed past 1 by rounding.
  const double u = RadToDeg(ArcCos(Dot(track.pole, *predictedPole)));
  result.uDeg = static_cast<float>(u);
  if (result.uDeg > filter.maxDirection) return result;

  // Near test: the first sample takes no part.
  double nearest = 180.0;
  for (std::size_t k = 1; k < path.size(); ++k) {
    for (const J2000Direction& end : {track.end1, track.end2}) {
      nearest = std::min(nearest, RadToDeg(Separation(end, path[k])));
    }
  }
  if (nearest > filter.maxDistance) return result;

  // Cross-track distance: latitude of every sample above the measured great circle, in the frame
  // a = end 1, c = pole, b = a x c.
  const J2000Vector a = ToVector(track.end1);
  const std::optional<J2000Vector> b = Normalised(Cross(a, track.pole));
  if (!b) return result;
  double largest = 0.0;
  for (const J2000Direction& direction : path) {
    const J2000Vector v = ToVector(direction);
    const double da = Dot(a, v), db = Dot(*b, v);
    largest = std::max(largest, std::fabs(ArcTan2(Dot(track.pole, v), std::sqrt(da * da + db * db))));
  }
  result.rDeg = RadToDeg(largest);
  result.match = std::isfinite(result.rDeg);
  return result;
}

TrackMatch MatchTrack(const TleRecord& tle, const MeasuredTrack& track, const CandidateFilter& filter) {
  return MatchTrack(tle, track, ObserveFrom(track.sampleTimes, track.latitudeRad, track.longitudeRad, track.heightKm),
                    filter);
}

TrackMatch MatchTrack(const TleRecord& tle, const MeasuredTrack& track, const ObserverSamples& samples,
                      const CandidateFilter& filter) {
  std::vector<J2000Direction> path;
  if (!SkyPath(tle, samples, path)) return {false, 0.0, 180.0f};
  return MatchPath(path, track, filter);
}

double CandidateScore(double rDeg, float uDeg) {
  if (!(uDeg > 0.01f)) return 0.0;
  return rDeg * rDeg * 0.5 / std::tan(DegToRad(uDeg));
}

std::string CandidateRowText(const CandidateRow& row) {
  return FormatNumber(row.catalogNumber, "0") + "   R=" + FormatNumber(row.rDeg, "0.00") +
         "°   U=" + FormatNumber(row.uDeg, "0.00") + "°  dt=" + FormatNumber(row.ageDays, "0.0") + "d  " + row.name;
}

// ---- Timing along the track ----

std::vector<double> TimingSampleTimes(const TrackWindow& window) {
  const double first = window.t0Mjd - kTimingMarginSeconds / 86400.0;
  const double span = WindowSeconds(window) + 2.0 * kTimingMarginSeconds;
  const int steps = static_cast<int>(std::ceil(span / kTimingStepSeconds));
  std::vector<double> times(static_cast<std::size_t>(std::max(steps, 0)) + 1);
  for (std::size_t k = 0; k < times.size(); ++k)
    times[k] = first + static_cast<double>(k) * kTimingStepSeconds / 86400.0;
  return times;
}

std::optional<double> PassTime(std::span<const J2000Direction> path, std::span<const double> timesMjd,
                               const J2000Direction& direction) {
  const std::size_t n = std::min(path.size(), timesMjd.size());
  const J2000Vector e = ToVector(direction);
  std::optional<double> best;
  double bestAcross = 2.0;
  for (std::size_t k = 0; k + 1 < n; ++k) {
    const J2000Vector a = ToVector(path[k]), b = ToVector(path[k + 1]);
    const std::optional<J2000Vector> pole = Normalised(Cross(a, b));
    if (!pole) continue;  // no motion between the samples
    const double arc = ArcTan2(std::sqrt(Dot(Cross(a, b), Cross(a, b))), Dot(a, b));
    // The direction's foot on the arc's great circle, and its angle from the first sample along it.
    const double across = Dot(e, *pole);
    const J2000Vector foot{e.x - across * pole->x, e.y - across * pole->y, e.z - across * pole->z};
    const double along = ArcTan2(Dot(Cross(a, foot), *pole), Dot(a, foot));
    const double fraction = along / arc;
    if (!(fraction >= 0.0 && fraction <= 1.0) || !(std::fabs(across) < bestAcross)) continue;
    bestAcross = std::fabs(across);
    best = timesMjd[k] + fraction * (timesMjd[k + 1] - timesMjd[k]);
  }
  return best;
}

std::optional<TrackTiming> TimeTrack(std::span<const J2000Direction> path, std::span<const double> timesMjd,
                                     const J2000Direction& end1, const J2000Direction& end2, double statedStartMjd) {
  const std::optional<double> t1 = PassTime(path, timesMjd, end1);
  const std::optional<double> t2 = PassTime(path, timesMjd, end2);
  if (!t1 || !t2) return std::nullopt;
  TrackTiming timing;
  timing.end1Mjd = *t1;
  timing.end2Mjd = *t2;
  timing.offsetSeconds = (std::min(*t1, *t2) - statedStartMjd) * 86400.0;
  timing.exposureSeconds = std::fabs(*t2 - *t1) * 86400.0;
  return timing;
}

std::optional<TrackTiming> TimeElementSet(const TleRecord& tle, const CandidateSearchInput& input) {
  const std::vector<double> times = TimingSampleTimes(input.window);
  std::vector<J2000Direction> path;
  if (!SkyPath(tle, ObserveFrom(times, input.latitudeRad, input.longitudeRad), path)) return std::nullopt;
  return TimeTrack(path, times, input.end1, input.end2, input.window.t0Mjd);
}

std::string TimingLine(const TrackTiming& t) {
  return "Прогноз проходит концы трека: 1 в " + TimeText(t.end1Mjd) + ", 2 в " + TimeText(t.end2Mjd) +
         "; расхождение с часами " + SignedText(t.offsetSeconds, "0.00") + " с, экспозиция по треку " +
         FormatNumber(t.exposureSeconds, "0.00") + " с";
}

double TimingMismatch(const TrackTiming& timing, double utErrorSeconds, double exposureSeconds) {
  const double early = -timing.offsetSeconds;
  const double late = timing.offsetSeconds + timing.exposureSeconds - utErrorSeconds - exposureSeconds;
  return std::max({0.0, early, late});
}

std::string ClockWarning(const TrackTiming& timing, double utErrorSeconds, double exposureSeconds) {
  if (!(TimingMismatch(timing, utErrorSeconds, exposureSeconds) > kClockWarningSeconds)) return "";
  return "Время кадра расходится с прогнозом на " + SignedText(timing.offsetSeconds, "0.0") + " с. Проверьте часы.";
}

std::string CandidateListText(const CandidateRow& row) {
  std::string text = CandidateRowText(row);
  if (row.timing) {
    const TrackTiming& t = *row.timing;
    text += "  t1=" + TimeText(t.end1Mjd) + " t2=" + TimeText(t.end2Mjd) +
            " Δt=" + SignedText(t.offsetSeconds, "0.00") + " с T=" + FormatNumber(t.exposureSeconds, "0.00") + " с";
  }
  if (row.magnitude) text += "  m=" + FormatNumber(*row.magnitude, "0.0");
  if (row.group > 0) text += "  группа " + FormatNumber(row.group, "0");
  return text;
}

bool RowsTie(const CandidateRow& a, const CandidateRow& b) {
  return std::fabs(a.rDeg - b.rDeg) <= kTieDistanceDeg && std::fabs(a.uDeg - b.uDeg) <= kTieDirectionDeg;
}

bool MarkCoMovingGroups(std::vector<CandidateRow>& rows) {
  std::vector<int> groups(rows.size(), 0);
  int count = 0;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (groups[i] != 0 || !rows[i].timing) continue;
    for (std::size_t j = i + 1; j < rows.size(); ++j) {
      if (groups[j] != 0 || !rows[j].timing || !RowsTie(rows[i], rows[j])) continue;
      if (!(std::fabs(rows[i].timing->offsetSeconds - rows[j].timing->offsetSeconds) <= kSameTimingSeconds)) continue;
      if (groups[i] == 0) groups[i] = ++count;
      groups[j] = groups[i];
    }
  }
  bool changed = false;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    changed = changed || rows[i].group != groups[i];
    rows[i].group = groups[i];
  }
  return changed;
}

bool OrderTiedRowsByTiming(std::vector<CandidateRow>& rows, double utErrorSeconds, double exposureSeconds) {
  if (!(utErrorSeconds <= kTrustedClockSeconds)) return false;
  bool changed = false;
  std::vector<bool> placed(rows.size(), false);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    if (placed[i]) continue;
    // The timed rows that tie with this one, in list order: the places they hold.
    std::vector<std::size_t> places;
    for (std::size_t j = i; j < rows.size(); ++j) {
      if (placed[j] || !rows[j].timing || !RowsTie(rows[i], rows[j])) continue;
      places.push_back(j);
      placed[j] = true;
    }
    if (places.size() < 2) continue;
    std::vector<double> mismatch;
    for (const std::size_t p : places)
      mismatch.push_back(TimingMismatch(*rows[p].timing, utErrorSeconds, exposureSeconds));
    const double best = *std::min_element(mismatch.begin(), mismatch.end());
    std::vector<CandidateRow> ordered;
    for (const bool wellTimed : {true, false})
      for (std::size_t k = 0; k < places.size(); ++k)
        if ((mismatch[k] <= best + kSameTimingSeconds) == wellTimed) ordered.push_back(rows[places[k]]);
    for (std::size_t k = 0; k < places.size(); ++k) {
      changed = changed || rows[places[k]].recordIndex != ordered[k].recordIndex;
      rows[places[k]] = std::move(ordered[k]);
    }
  }
  return changed;
}

std::string DisplayName(const TleRecord& tle) {
  return tle.mName.empty() ? tle.name : tle.mName;
}

void SortCandidateRows(std::vector<CandidateRow>& rows) {
  // Exchange sort from the back: each pass bubbles the smallest remaining score forward, exchanging
  // only on a strictly smaller score, so equal scores keep their order.
  const std::size_t n = rows.size();
  for (std::size_t i = 0; i + 1 < n; ++i) {
    for (std::size_t j = n - 1; j > i; --j) {
      if (rows[j].score < rows[j - 1].score) std::swap(rows[j], rows[j - 1]);
    }
  }
}

namespace {

// The row's timing against the track and its predicted magnitude in the middle of the exposure the track
// shows (of the stated one when untimed).
void TimeCandidate(const TleRecord& tle, const CandidateSearchInput& input, const ObserverSamples& timingSamples,
                   CandidateRow& row) {
  std::vector<J2000Direction> path;
  if (SkyPath(tle, timingSamples, path))
    row.timing = TimeTrack(path, timingSamples.timesMjd, input.end1, input.end2, input.window.t0Mjd);
  std::vector<TrajectoryPoint> middle(1);
  middle[0].time = row.timing ? (row.timing->end1Mjd + row.timing->end2Mjd) / 2.0
                              : input.window.t0Mjd + input.exposureSeconds / 2.0 / 86400.0;
  if (TrajectoryTrack(tle, middle, input.latitudeRad, input.longitudeRad, input.heightKm) && middle[0].range >= 0.0)
    row.magnitude = MagnitudeEstimate(tle.standardMagnitude, middle[0].range, middle[0].phase);
}

// Whether an element set passes the age, period and inclination tests that spare the propagation.
bool PassesOrbitTests(const TleRecord& tle, const CandidateFilter& filter) {
  if (!(tle.ageDays < kMaxElementAgeDays)) return false;
  const double period = tle.meanMotion != 0.0 ? 1440.0 / tle.meanMotion : filter.periodMax + 1.0;
  if (!(filter.periodMin <= period && period <= filter.periodMax)) return false;
  return filter.inclMin <= tle.inclinationDeg && tle.inclinationDeg <= filter.inclMax;
}

}  // namespace

CandidateSearchResult CandidateSearch(const CandidateSearchInput& input, const CandidateFilter& filter,
                                      CandidateList& list, TaskControl& task,
                                      const std::function<void(const CandidateList&)>& listChanged) {
  CandidateSearchResult result;
  list = CandidateList{};
  const std::vector<std::string> files = ListDatabaseFiles(input.appDir);
  if (files.empty()) {
    result.message = "Нет TLE.";
    return result;
  }
  MeasuredTrack track;
  track.end1 = input.end1;
  track.end2 = input.end2;
  track.sampleTimes = MatchSampleTimes(input.window);
  track.latitudeRad = input.latitudeRad;
  track.longitudeRad = input.longitudeRad;
  track.heightKm = input.heightKm;
  const std::optional<J2000Vector> pole = TrackPole(input.end1, input.end2);
  // Ends that coincide span no great circle: nothing can run along them.
  if (pole) track.pole = *pole;
  const ObserverSamples samples = ObserveFrom(track.sampleTimes, track.latitudeRad, track.longitudeRad, track.heightKm);
  const std::vector<double> timingTimes = TimingSampleTimes(input.window);
  const ObserverSamples timingSamples =
      ObserveFrom(timingTimes, track.latitudeRad, track.longitudeRad, track.heightKm);

  TleRecord tle;
  for (const std::string& path : files) {
    if (task.Cancelled()) {
      result.cancelled = true;
      return result;
    }
    task.SetText(path);
    task.Yield();
    if (!pole) continue;
    if (!ReadBestSet(path, input.window.t0Mjd, tle) || !PassesOrbitTests(tle, filter)) continue;
    const TrackMatch match = MatchTrack(tle, track, samples, filter);
    if (!match.match || !(match.rDeg < filter.maxDistance) || !(match.uDeg < filter.maxDirection)) continue;
    if (list.records.size() >= static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) continue;

    list.records.push_back({tle, static_cast<float>(match.rDeg)});
    CandidateRow row;
    row.recordIndex = static_cast<std::int16_t>(list.records.size());
    row.rDeg = match.rDeg;
    row.score = CandidateScore(match.rDeg, match.uDeg);
    row.catalogNumber = tle.catalogNumber;
    row.ageDays = static_cast<float>(tle.ageDays);
    row.uDeg = match.uDeg;
    row.name = DisplayName(tle);
    TimeCandidate(tle, input, timingSamples, row);
    list.rows.push_back(row);
    SortCandidateRows(list.rows);
    if (listChanged) listChanged(list);
    task.Yield();
  }
  // Timing tells apart what the path alone cannot.
  const bool grouped = MarkCoMovingGroups(list.rows);
  const bool ordered = OrderTiedRowsByTiming(list.rows, input.utErrorSeconds, input.exposureSeconds);
  if ((grouped || ordered) && listChanged) listChanged(list);
  if (list.rows.empty()) {
    result.message = "Претендентов нет";
  } else {
    result.hint = "Для просмотра траектории ИСЗ щелкните по номеру в списке претендентов";
  }
  return result;
}
