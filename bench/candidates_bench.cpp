// Candidate search over a whole real catalogue: 26,140 satellite files imported from the Space-Track
// full catalogue of 2023-10-09, a 10 s exposure with a 1 s clock error three days after its epochs.
// Measured: the core search, the search as the window runs it (progress text, throttled yields, list
// refreshes), and its parts: reading the files, choosing and parsing the best set, propagating.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "astrometry/sky_frames.h"
#include "base/calendar.h"
#include "orbit/candidates.h"
#include "orbit/observer.h"
#include "satdb/satdb.h"
#include "sky/angles.h"

namespace fs = std::filesystem;

namespace {

const std::string kFullCatalogue =
    (fs::path(ORVIA_SHARED_DATA_DIR) / "tle" / "spacetrack_full_3le_2023-10-09_26140obj.txt").string();

// The database imported once into a temporary application folder, and the search input: the track the
// ISS (25544) made over Kyiv on 2023-10-12 at 18:00 UT.
struct Database {
  Database() : dir(fs::temp_directory_path() / ("orvia-bench-candidates-" + std::to_string(::getpid()))) {
    fs::remove_all(dir);
    fs::create_directories(dir / "TLE");
    appDir = dir.string() + "/";
    SilentTask task;
    ImportTleFiles({kFullCatalogue}, -1, appDir, task);
    files = ListDatabaseFiles(appDir);

    input.appDir = appDir;
    input.latitudeRad = DegToRad(50.45);
    input.longitudeRad = DegToRad(30.52);
    const double t0 = MjdFromDate(2023, 10, 12, 18.0);
    input.window = {t0, t0 + 11.0 / 86400.0};
    TleRecord iss;
    ReadBestSet(SatelliteFilePath(appDir, 25544), t0, iss);
    const std::vector<double> ends = {t0 + 0.5 / 86400.0, t0 + 10.5 / 86400.0};
    std::vector<TemeDirection> teme;
    SkyTrack(iss, ends, input.latitudeRad, input.longitudeRad, teme);
    input.end1 = TemeToJ2000(teme[0], ends[0]);
    input.end2 = TemeToJ2000(teme[1], ends[1]);
  }
  ~Database() { fs::remove_all(dir); }

  fs::path dir;
  std::string appDir;
  std::vector<std::string> files;
  CandidateSearchInput input;
};

const Database& Db() {
  static const Database db;
  return db;
}

// What the progress window does: shows each path, serves the event loop at most every 30 ms.
class WindowLikeTask : public TaskControl {
public:
  void SetText(const std::string& text) override { shown_ = text; }
  void Yield() override {
    const auto now = std::chrono::steady_clock::now();
    if (now - last_ < std::chrono::milliseconds(30)) return;
    last_ = now;
    ++served;
  }
  int served = 0;

private:
  std::string shown_;
  std::chrono::steady_clock::time_point last_{};
};

void BM_CandidateSearchCore(benchmark::State& state) {
  const Database& db = Db();
  CandidateList list;
  for (auto _ : state) {
    SilentTask task;
    CandidateSearch(db.input, {}, list, task, {});
    benchmark::DoNotOptimize(list);
  }
  state.counters["files"] = static_cast<double>(db.files.size());
  state.counters["candidates"] = static_cast<double>(list.rows.size());
}
BENCHMARK(BM_CandidateSearchCore)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_CandidateSearchAsShown(benchmark::State& state) {
  const Database& db = Db();
  CandidateList list;
  std::vector<std::string> shownRows;
  for (auto _ : state) {
    WindowLikeTask task;
    CandidateSearch(db.input, {}, list, task, [&](const CandidateList& l) {
      shownRows.clear();  // the list window is cleared and refilled in the new order
      for (const CandidateRow& row : l.rows) shownRows.push_back(CandidateRowText(row));
    });
    benchmark::DoNotOptimize(shownRows);
  }
}
BENCHMARK(BM_CandidateSearchAsShown)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// Parts of the core search, each over all files.
void BM_ReadAllFiles(benchmark::State& state) {
  std::string bytes;
  for (auto _ : state) {
    for (const std::string& path : Db().files) ReadWholeFile(path, bytes);
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_ReadAllFiles)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_ListFiles(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(ListDatabaseFiles(Db().appDir));
}
BENCHMARK(BM_ListFiles)->Unit(benchmark::kMillisecond);

void BM_ReadBestSetAllFiles(benchmark::State& state) {
  TleRecord tle;
  for (auto _ : state) {
    for (const std::string& path : Db().files) ReadBestSet(path, Db().input.window.t0Mjd, tle);
    benchmark::DoNotOptimize(tle);
  }
}
BENCHMARK(BM_ReadBestSetAllFiles)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The sets that pass the age and period tests, and the measured track of the search.
struct Survivors {
  Survivors() {
    const Database& db = Db();
    for (const std::string& path : db.files) {
      TleRecord tle;
      if (!ReadBestSet(path, db.input.window.t0Mjd, tle) || !(tle.ageDays < 100) || tle.meanMotion == 0.0) continue;
      if (1440.0 / tle.meanMotion <= 300.0) sets.push_back(tle);
    }
    track.end1 = db.input.end1;
    track.end2 = db.input.end2;
    track.pole = *TrackPole(track.end1, track.end2);
    track.sampleTimes = MatchSampleTimes(db.input.window);
    track.latitudeRad = db.input.latitudeRad;
    track.longitudeRad = db.input.longitudeRad;
  }
  std::vector<TleRecord> sets;
  MeasuredTrack track;
};

const Survivors& Survived() {
  static const Survivors s;
  return s;
}

// The match as it was before the site's samples were shared: sidereal time, site vector and the
// TEME -> J2000 rotation (nutation series, precession) recomputed for every sample of every satellite.
TrackMatch MatchRecomputingRotations(const TleRecord& tle, const MeasuredTrack& track) {
  std::vector<TemeDirection> teme;
  if (!SkyTrack(tle, track.sampleTimes, track.latitudeRad, track.longitudeRad, teme)) return {false, 0.0, 180.0f};
  std::vector<J2000Direction> path(teme.size());
  for (std::size_t k = 0; k < teme.size(); ++k) path[k] = TemeToJ2000(teme[k], track.sampleTimes[k]);
  return MatchPath(path, track, CandidateFilter{});
}

// The match as the search runs it: the site's samples computed once for all satellites.
TrackMatch MatchSharingSamples(const TleRecord& tle, const MeasuredTrack& track, const ObserverSamples& samples) {
  return MatchTrack(tle, track, samples, CandidateFilter{});
}

// Matching of the survivors (propagation, rotation and geometry).
void BM_MatchSurvivors(benchmark::State& state) {
  const Survivors& s = Survived();
  int matched = 0;
  for (auto _ : state) {
    matched = 0;
    const ObserverSamples samples =
        ObserveFrom(s.track.sampleTimes, s.track.latitudeRad, s.track.longitudeRad);
    for (const TleRecord& tle : s.sets) matched += MatchSharingSamples(tle, s.track, samples).match ? 1 : 0;
    benchmark::DoNotOptimize(matched);
  }
  state.counters["survivors"] = static_cast<double>(s.sets.size());
  state.counters["matched"] = matched;
}
BENCHMARK(BM_MatchSurvivors)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// Before and after in one run: each iteration matches all survivors both ways, timed apart; the
// counter "before/after" is the ratio of the two times, "differing" the matches whose figures are not
// bit for bit the same (must be 0).
void BM_SharedSamplesGain(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const Survivors& s = Survived();
  Clock::duration before{}, after{};
  int differing = 0;
  std::vector<TrackMatch> old(s.sets.size());
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    for (std::size_t i = 0; i < s.sets.size(); ++i) old[i] = MatchRecomputingRotations(s.sets[i], s.track);
    const Clock::time_point t1 = Clock::now();
    const ObserverSamples samples =
        ObserveFrom(s.track.sampleTimes, s.track.latitudeRad, s.track.longitudeRad);
    differing = 0;
    for (std::size_t i = 0; i < s.sets.size(); ++i) {
      const TrackMatch m = MatchSharingSamples(s.sets[i], s.track, samples);
      differing += m.match != old[i].match || std::memcmp(&m.rDeg, &old[i].rDeg, sizeof m.rDeg) != 0 ||
                   std::memcmp(&m.uDeg, &old[i].uDeg, sizeof m.uDeg) != 0;
    }
    before += t1 - t0;
    after += Clock::now() - t1;
  }
  state.counters["before_ms"] = std::chrono::duration<double, std::milli>(before).count() / state.iterations();
  state.counters["after_ms"] = std::chrono::duration<double, std::milli>(after).count() / state.iterations();
  state.counters["before/after"] = std::chrono::duration<double>(before) / std::chrono::duration<double>(after);
  state.counters["differing"] = differing;
}
BENCHMARK(BM_SharedSamplesGain)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
