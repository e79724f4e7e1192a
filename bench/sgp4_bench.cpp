// Cost of one propagation: the candidate search calls Propagate for every satellite at every sample.

#include <benchmark/benchmark.h>

#include "orbit/sgp4.h"
#include "satdb/satdb.h"

namespace {

TleRecord IssSet() {
  TleRecord tle;
  ParseElementSet("1 25544U 98067A   26220.18240180  .00005236  00000+0  10178-3 0  9991",
                  "2 25544  51.6324  42.7701 0007350  24.6056 335.5282 15.49383195579818", tle);
  return tle;
}

// Propagate as callers use it: initialisation and evaluation in one pure call, one element set, times
// stepping through a day.
void BM_Propagate(benchmark::State& state) {
  const Sgp4Elements elements = ElementsFromTle(IssSet());
  double tsince = 0.0;
  Sgp4State result;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Propagate(elements, tsince, result));
    benchmark::DoNotOptimize(result);
    tsince += 0.0833;
    if (tsince > 1440.0) tsince = 0.0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Propagate);

// Evaluation alone, with the model initialised once (as a track of several samples uses it).
void BM_Sgp4Evaluate(benchmark::State& state) {
  Sgp4Model model;
  Sgp4Initialise(ElementsFromTle(IssSet()), Wgs84Constants(), model);
  double tsince = 0.0;
  Sgp4State result;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Sgp4Evaluate(model, tsince, result));
    benchmark::DoNotOptimize(result);
    tsince += 0.0833;
    if (tsince > 1440.0) tsince = 0.0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Sgp4Evaluate);

}  // namespace
