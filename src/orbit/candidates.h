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

// One row of the candidate list.
struct CandidateRow {
  std::int16_t recordIndex = 0;  // 1-based index into the candidate records
  double rDeg = 0.0;
  double score = 0.0;
  std::int32_t catalogNumber = 0;
  float ageDays = 0.0f;
  float uDeg = 0.0f;
  std::string name;  // display name: mName if not empty, else Name
};

// The row as the list shows it: "25544   R=0.01°   U=0.12°  dt=0.3d  ISS (ZARYA)".
std::string CandidateRowText(const CandidateRow& row);

// Display name of an element set's satellite: mName when not empty, else Name.
std::string DisplayName(const TleRecord& tle);

// Orders rows by ascending score with a stable exchange sort (rows of equal score keep the order in
// which their satellites were found).
void SortCandidateRows(std::vector<CandidateRow>& rows);

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
CandidateSearchResult CandidateSearch(const CandidateSearchInput& input, const CandidateFilter& filter,
                                      CandidateList& list, TaskControl& task,
                                      const std::function<void(const CandidateList&)>& listChanged);
