// Satellite database: importing whole real catalogues (into an empty database, the same catalogue again,
// a catalogue of another epoch on top) and reading the best set of a file holding 1000 sets.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "base/calendar.h"
#include "satdb/satdb.h"

namespace fs = std::filesystem;

namespace {

const fs::path kTle = fs::path(ORVIA_SHARED_DATA_DIR) / "tle";
const std::string kFullCatalogue = (kTle / "spacetrack_full_3le_2023-10-09_26140obj.txt").string();
const std::string kActive0507 = (kTle / "celestrak_active_2026-05-07_15347obj.txt").string();
const std::string kActive0506 = (kTle / "celestrak_active_2026-05-06_15352obj.txt").string();

// A fresh application folder for one benchmark, removed when it goes away.
class BenchDir {
public:
  BenchDir() : path_(fs::temp_directory_path() / ("orvia-bench-satdb-" + std::to_string(::getpid()))) { Reset(); }
  ~BenchDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  void Reset() {
    std::error_code ec;
    fs::remove_all(path_, ec);
    fs::create_directories(path_ / "TLE");
  }
  std::string appDir() const { return path_.string() + "/"; }

private:
  fs::path path_;
};

int ImportOnce(const std::string& catalogue, const std::string& appDir, benchmark::State& state) {
  SilentTask task;
  const TleImportResult r = ImportTleFiles({catalogue}, -1, appDir, task);
  if (!r.messages.empty() && r.setsBadNumber == 0) state.SkipWithError(r.messages.front().c_str());
  return r.filesCreated + r.setsMerged + r.setsDuplicate;
}

bool HaveData(benchmark::State& state, const std::string& path) {
  if (fs::exists(path)) return true;
  state.SkipWithError(("missing " + path).c_str());
  return false;
}

void BM_ImportIntoEmptyDatabase(benchmark::State& state, const std::string& catalogue) {
  if (!HaveData(state, catalogue)) return;
  BenchDir dir;
  int sets = 0;
  for (auto _ : state) {
    state.PauseTiming();
    dir.Reset();
    state.ResumeTiming();
    sets = ImportOnce(catalogue, dir.appDir(), state);
  }
  state.counters["sets"] = sets;
  state.counters["sets/s"] = benchmark::Counter(sets, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_ImportSameCatalogueAgain(benchmark::State& state) {
  if (!HaveData(state, kActive0507)) return;
  BenchDir dir;
  ImportOnce(kActive0507, dir.appDir(), state);
  int sets = 0;
  for (auto _ : state) sets = ImportOnce(kActive0507, dir.appDir(), state);  // every set a duplicate
  state.counters["sets"] = sets;
}

void BM_ImportCatalogueOfAnotherEpoch(benchmark::State& state) {
  if (!HaveData(state, kActive0507) || !HaveData(state, kActive0506)) return;
  BenchDir dir;
  int sets = 0;
  for (auto _ : state) {
    state.PauseTiming();
    dir.Reset();
    ImportOnce(kActive0507, dir.appDir(), state);
    state.ResumeTiming();
    sets = ImportOnce(kActive0506, dir.appDir(), state);  // older sets merged into the existing files
  }
  state.counters["sets"] = sets;
}

// A database file of 1000 sets a day apart, newest first; the time is at the newest set (reading stops
// at once) or older than every set (the whole file is read).
void BM_ReadBestSetOf1000Sets(benchmark::State& state) {
  BenchDir dir;
  const std::string path = SatelliteFilePath(dir.appDir(), 25544);
  const double newest = MjdFromDate(2026, 8, 8, 0);
  {
    std::ofstream out(path, std::ios::binary);
    out << "Name = ISS\r\nmName = ISS (ZARYA)\r\nMag = -1.30\r\n";
    for (int i = 0; i < 1000; ++i) {
      const double mjd = newest - i;
      const int year = DateFromMjd(mjd, 2026 - i / 365).year;
      char line1[80];
      std::snprintf(line1, sizeof line1, "1 25544U 98067A   %02d%012.8f  .00005236  00000+0  10178-3 0  9991",
                    year % 100, mjd - MjdFromDate(year, 1, 0, 0));
      out << line1 << "\r\n2 25544  51.6324  42.7701 0007350  24.6056 335.5282 15.49383195579818\r\n";
    }
  }
  const double time = state.range(0) == 0 ? newest : newest - 5000;
  TleRecord record;
  for (auto _ : state) {
    ReadBestSet(path, time, record);
    benchmark::DoNotOptimize(record);
  }
}

}  // namespace

BENCHMARK_CAPTURE(BM_ImportIntoEmptyDatabase, full_catalogue_26140, kFullCatalogue)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);
BENCHMARK_CAPTURE(BM_ImportIntoEmptyDatabase, active_15347, kActive0507)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ImportSameCatalogueAgain)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ImportCatalogueOfAnotherEpoch)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ReadBestSetOf1000Sets)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);
