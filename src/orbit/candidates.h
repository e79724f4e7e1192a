#pragma once
// Satellite identification: runs through every satellite file of the database, predicts where each
// satellite was during the exposure and keeps those whose path lies along the measured track, ranked.
//
// The test is geometric and works on the sky only. A candidate's predicted path over the track window
// must run parallel to the measured track (angle U between the two great circles' poles), stay close to
// the measured great circle (largest cross-track distance R) and come near a measured end at some
// sample. Predicted directions come from the propagator in TEME of date and are rotated to J2000, the
// frame of the measured ends, before any comparison. The ends are the sky's places at their instants for
// a still camera too (the measurement turns them), so the predicted path needs no turning.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sky/direction.h"
#include "base/task_control.h"
#include "frameinfo/frame_info.h"
#include "orbit/observer.h"
#include "satdb/tle_record.h"

// Age limit of a usable element set, days either side of the exposure start.
inline constexpr double kMaxElementAgeDays = 100.0;

// Thresholds of the search as the filter window sets them. A satellite with a period above periodMax
// is never a candidate.
struct CandidateFilter {
  float maxDistance = 10.0f;   // largest cross-track distance R, degrees
  float maxDirection = 15.0f;  // largest angle U between the measured and predicted great circles, degrees
  double periodMin = 0.0;      // orbital period window, minutes
  double periodMax = 300.0;
  double inclMin = 0.0;  // inclination window, degrees
  double inclMax = 180.0;
};

// The time window a track can have been made in: from the stated exposure start to its end plus the
// clock uncertainty.
struct TrackWindow {
  double t0Mjd = 0.0;  // exposure start, MJD (UT)
  double t1Mjd = 0.0;  // start + (utError + exposure) seconds, MJD (UT)
};

// The track window of a frame's circumstances.
TrackWindow MakeTrackWindow(const FrameInfo& info);
// Length of a track window in seconds, to the millisecond (so that a window of 2.5 s is exactly 2.5 s
// and halves round as intended despite the MJD subtraction).
double WindowSeconds(const TrackWindow& window);

// Unit pole of the great circle through two directions: the normalised cross product u1 x u2, turned so
// that its z component is not negative. None when the directions coincide or are opposite.
std::optional<SkyVector<SkyFrame::J2000>> TrackPole(const J2000Direction& p1, const J2000Direction& p2);

// Number N of 5-second steps over a window: (t1 - t0) / 5 s + 1 rounded to nearest, halves to even.
// The match samples k = 0 .. N (N + 1 samples; the last may lie up to 7.5 s after t1).
int MatchStepCount(const TrackWindow& window);
// The N + 1 sample times of the match, MJD.
std::vector<double> MatchSampleTimes(const TrackWindow& window);

// The measured track as the match uses it: both ends (J2000, radians), the pole of their great circle,
// the sample times and the site.
struct MeasuredTrack {
  J2000Direction end1;
  J2000Direction end2;
  SkyVector<SkyFrame::J2000> pole;
  std::vector<double> sampleTimes;  // MJD (UT)
  double latitudeRad = 0.0;         // geodetic latitude of the site
  double longitudeRad = 0.0;        // east longitude of the site
  double heightKm = 0.0;            // height of the site above the WGS-84 ellipsoid
};

// Outcome of matching one predicted path against the measured track.
struct TrackMatch {
  bool match = false;
  double rDeg = 0.0;  // largest distance of a sample from the measured great circle, degrees
  float uDeg = 0.0f;  // angle between the two great circles' poles, degrees (180 when not computable)
};

// Matches a predicted path (J2000, one direction per sample time) against the measured track: the
// direction test (U <= maxDirection), the near test (some sample after the first within maxDistance of a
// measured end) and the cross-track distance R over all samples. The thresholds here are the inclusive
// early exits; the search's acceptance (R < maxDistance and U < maxDirection) is strict.
TrackMatch MatchPath(std::span<const J2000Direction> path, const MeasuredTrack& track, const CandidateFilter& filter);

// Propagates the element set over the track's sample times, rotates every direction from TEME to J2000
// and matches the path. No match when the propagation fails.
TrackMatch MatchTrack(const TleRecord& tle, const MeasuredTrack& track, const CandidateFilter& filter);
// The same with the site's samples (ObserveFrom at the track's sample times and site) computed once for
// every satellite of a search.
TrackMatch MatchTrack(const TleRecord& tle, const MeasuredTrack& track, const ObserverSamples& samples,
                      const CandidateFilter& filter);

// Rank of a candidate: R^2 * 0.5 / tan(U) when U > 0.01 degrees, otherwise 0 (lower is better).
double CandidateScore(double rDeg, float uDeg);

// ---- Timing along the track ----

// When a predicted path passes the measured ends, and what that says of the frame's clock.
struct TrackTiming {
  double end1Mjd = 0.0;          // the prediction passes measured end 1, MJD (UT)
  double end2Mjd = 0.0;          // the prediction passes measured end 2, MJD (UT)
  double offsetSeconds = 0.0;    // the earlier pass minus the stated exposure start, seconds
  double exposureSeconds = 0.0;  // the later pass minus the earlier, seconds: the exposure as the track shows it
};

// Margin by which the timing samples reach beyond the track window on either side, seconds: clocks a
// minute off are still timed.
inline constexpr double kTimingMarginSeconds = 60.0;
// Step of the timing samples, seconds. Over one step a path is close enough to a great-circle arc run at
// an even rate that interpolating between samples times a pass to a few milliseconds.
inline constexpr double kTimingStepSeconds = 1.0;

// The timing of an element set against the measured ends of a search's input (its ends, window and
// site): the path over TimingSampleTimes passed to TimeTrack. None when the propagation fails or an end
// is not passed.
struct CandidateSearchInput;
std::optional<TrackTiming> TimeElementSet(const TleRecord& tle, const CandidateSearchInput& input);

// A timing as a line of the trajectory's output: "Прогноз проходит концы трека: 1 в 18:10:39.24, 2 в
// 18:11:09.24; расхождение с часами +0.04 с, экспозиция по треку 30.00 с".
std::string TimingLine(const TrackTiming& timing);

// The sample times of the timing: the track window widened by kTimingMarginSeconds on either side, at
// kTimingStepSeconds, MJD.
std::vector<double> TimingSampleTimes(const TrackWindow& window);

// The time at which a path sampled at timesMjd (J2000 directions, one per time) passes a direction: the
// direction is projected along the track onto the path and the time interpolated between the two
// samples that enclose it, by the angle along their great-circle arc. Of several such places the one
// nearest the path across the track is taken. None when the direction lies beyond the path's ends or
// the path holds fewer than two samples.
std::optional<double> PassTime(std::span<const J2000Direction> path, std::span<const double> timesMjd,
                               const J2000Direction& direction);

// The timing of a predicted path (J2000, at the sample times timesMjd) against the measured ends;
// statedStartMjd is the exposure start the observer gave. None when either end is not passed.
std::optional<TrackTiming> TimeTrack(std::span<const J2000Direction> path, std::span<const double> timesMjd,
                                     const J2000Direction& end1, const J2000Direction& end2, double statedStartMjd);

// How far a timing lies outside what the stated circumstances allow, seconds. The exposure began between
// the stated start S and S + utErrorSeconds and lasted exposureSeconds, so the track's passes must lie in
// [S, S + utErrorSeconds + exposureSeconds]: for a whole streak an offset in [0, utErrorSeconds] gives 0,
// and a streak cut short (by the frame's edge, by the Earth's shadow) is allowed the time it lost.
double TimingMismatch(const TrackTiming& timing, double utErrorSeconds, double exposureSeconds);

// The warning that the frame's clock disagrees with the prediction, when the timing lies more than
// kClockWarningSeconds outside the stated circumstances (TimingMismatch): "Время кадра расходится с
// прогнозом на +N.N с. Проверьте часы." (the signed offset, seconds); empty otherwise.
inline constexpr double kClockWarningSeconds = 1.0;
std::string ClockWarning(const TrackTiming& timing, double utErrorSeconds, double exposureSeconds);

// One row of the candidate list.
struct CandidateRow {
  std::int16_t recordIndex = 0;  // 1-based index into the candidate records
  double rDeg = 0.0;
  double score = 0.0;
  std::int32_t catalogNumber = 0;
  float ageDays = 0.0f;
  float uDeg = 0.0f;
  std::string name;  // display name: mName if not empty, else Name
  // What the track's timing and the prediction add after the designed text.
  std::optional<TrackTiming> timing;
  std::optional<double> magnitude;  // predicted visual magnitude at mid-exposure
  int group = 0;                    // co-moving group (same path, same timing), 1-based; 0: none
};

// The row as the list shows it: "25544   R=0.01°   U=0.12°  dt=0.3d  ISS (ZARYA)".
std::string CandidateRowText(const CandidateRow& row);

// The row as the list shows it with its timing and brightness after the designed text:
// "<designed text>  t1=18:10:39.24 t2=18:11:09.24 Δt=+0.04 с T=30.00 с  m=5.3  группа 1"
// (each part only when known).
std::string CandidateListText(const CandidateRow& row);

// Display name of an element set's satellite: mName when not empty, else Name.
std::string DisplayName(const TleRecord& tle);

// Orders rows by ascending score with a stable exchange sort (rows of equal score keep the order in
// which their satellites were found).
void SortCandidateRows(std::vector<CandidateRow>& rows);

// Whether two rows match the track equally well within what the measurement can tell: R within
// kTieDistanceDeg and U within kTieDirectionDeg of each other.
inline constexpr double kTieDistanceDeg = 0.1;
inline constexpr double kTieDirectionDeg = 1.0;
bool RowsTie(const CandidateRow& a, const CandidateRow& b);

// Largest stated clock error (seconds) at which timing may order tied rows.
inline constexpr double kTrustedClockSeconds = 1.0;
// Rows whose clock offsets lie within this many seconds of each other count as timed alike.
inline constexpr double kSameTimingSeconds = 1.0;

// Marks co-moving groups: rows that tie on R and U and whose timings agree within kSameTimingSeconds
// (vehicles docked together, objects flying in formation) get one group number, counted from 1 in list
// order; other rows get 0. True when any row's number changed.
bool MarkCoMovingGroups(std::vector<CandidateRow>& rows);

// Orders tied rows by their timing when the clock is trusted (utErrorSeconds <= kTrustedClockSeconds):
// among the places held by a set of rows that tie with the first of them, the rows whose TimingMismatch
// lies within kSameTimingSeconds of the smallest come first, each part keeping its score order. Rows that
// tie with no other, rows without timing and every row under an untrusted clock keep their places. True
// when the order changed.
bool OrderTiedRowsByTiming(std::vector<CandidateRow>& rows, double utErrorSeconds, double exposureSeconds);

// A candidate's element set with its cross-track distance.
struct CandidateRecord {
  TleRecord tle;
  float rDeg = 0.0f;
};

// The candidates of a search: records in the order found, rows in display order.
struct CandidateList {
  std::vector<CandidateRecord> records;
  std::vector<CandidateRow> rows;
};

// What the search needs from the frame.
struct CandidateSearchInput {
  std::string appDir;   // the application directory; its TLE folder is the database searched
  J2000Direction end1;  // measured track ends, radians
  J2000Direction end2;
  TrackWindow window;
  double latitudeRad = 0.0;   // geodetic latitude of the site
  double longitudeRad = 0.0;  // east longitude of the site
  double heightKm = 0.0;      // height of the site above the WGS-84 ellipsoid

  // For timing the candidates and their brightness at mid-exposure: the stated clock error and exposure.
  double utErrorSeconds = 0.0;   // seconds
  double exposureSeconds = 0.0;  // seconds
};

// How a search ended. message is the text to show (caption "Сообщение"): "Нет TLE." when the database
// holds no file, "Претендентов нет" when the search ran to the end without a candidate, empty otherwise
// (also on cancel). With candidates, hint is the first line for the hint window.
struct CandidateSearchResult {
  bool cancelled = false;
  std::string message;
  std::string hint;
};

// Runs the search over every "*.tle" file of the database in ascending catalogue number. Per file it
// sets the progress text to the file's path and yields, checks cancel before the file, reads the element
// set nearest the exposure start, applies the age (< 100 days), period and inclination tests before any
// propagation, matches the survivors, and after each new candidate re-sorts the rows, calls listChanged
// and yields. A file that cannot be read or holds no complete element set is skipped.
// Every candidate's row gets its timing (TimeTrack over TimingSampleTimes) and its predicted magnitude at
// the middle of the exposure the track shows (of the stated exposure when untimed). After the last file
// the co-moving groups are marked and tied rows ordered by timing (MarkCoMovingGroups,
// OrderTiedRowsByTiming); listChanged is called once more when that changed the list.
CandidateSearchResult CandidateSearch(const CandidateSearchInput& input, const CandidateFilter& filter,
                                      CandidateList& list, TaskControl& task,
                                      const std::function<void(const CandidateList&)>& listChanged);
