#include "orbit/candidates.h"

#include <cmath>
#include <limits>

#include "astrometry/sky_frames.h"
#include "base/calendar.h"
#include "base/numbers.h"
#include "orbit/observer.h"
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

// Age limit of a usable element set, days either side of the exposure start.
constexpr double kMaxAgeDays = 100.0;
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

// Whether an element set passes the age, period and inclination tests that spare the propagation.
bool PassesOrbitTests(const TleRecord& tle, const CandidateFilter& filter) {
  if (!(tle.ageDays < kMaxAgeDays)) return false;
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
    list.rows.push_back(row);
    SortCandidateRows(list.rows);
    if (listChanged) listChanged(list);
    task.Yield();
  }
  if (list.rows.empty()) {
    result.message = "Претендентов нет";
  } else {
    result.hint = "Для просмотра траектории ИСЗ щелкните по номеру в списке претендентов";
  }
  return result;
}
