// The candidate search's inner loop: SkyTrack of 4 samples (5 s apart) for each of 30,000 real element
// sets (the CelesTrak active list of 2026-05-07 followed by the Space-Track LEO list of 2026-06-10).

#include <benchmark/benchmark.h>

#include <vector>

#include "../tests/orbit/tle_text_support.h"
#include "base/calendar.h"
#include "orbit/observer.h"
#include "sky/angles.h"

namespace {

const std::vector<TleRecord>& ThirtyThousandSets() {
  static const std::vector<TleRecord> sets = [] {
    const std::string dir = std::string(ORVIA_SHARED_DATA_DIR) + "/tle/";
    std::vector<TleRecord> all = tle_text::ReadFile(dir + "celestrak_active_2026-05-07_15347obj.txt");
    for (const TleRecord& tle : tle_text::ReadFile(dir + "spacetrack_leo_3le_2026-06-10_16032obj.txt"))
      all.push_back(tle);
    if (all.size() > 30000) all.resize(30000);
    return all;
  }();
  return sets;
}

void BM_SkyTrackAllSatellites(benchmark::State& state) {
  const std::vector<TleRecord>& sets = ThirtyThousandSets();
  if (sets.size() < 30000) {
    state.SkipWithError("shared element sets not found");
    return;
  }
  const double start = MjdFromDate(2026, 5, 20, 21.5);
  std::vector<double> times;
  for (int k = 0; k < 4; ++k) times.push_back(start + k * 5.0 / 86400.0);
  const double latitude = DegToRad(55.75), longitude = DegToRad(37.62);
  std::vector<TemeDirection> sky;
  for (auto _ : state) {
    int succeeded = 0;
    for (const TleRecord& tle : sets) succeeded += SkyTrack(tle, times, latitude, longitude, sky);
    benchmark::DoNotOptimize(succeeded);
    state.counters["succeeded"] = succeeded;
  }
  state.counters["sets"] = static_cast<double>(sets.size());
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(sets.size()));
}
BENCHMARK(BM_SkyTrackAllSatellites)->Unit(benchmark::kMillisecond);

}  // namespace
