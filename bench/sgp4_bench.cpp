// Cost of the propagator: initialising an element set against evaluating it per sample, for a near-Earth
// set and for deep-space sets of each kind (24-hour resonant, 12-hour resonant, other). The candidate
// search and the trajectories initialise once per satellite and evaluate at every sample.

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "../tests/orbit/tle_text_support.h"
#include "orbit/sgp4.h"
#include "satdb/satdb.h"

namespace {

TleRecord IssSet() {
  TleRecord tle;
  ParseElementSet("1 25544U 98067A   26220.18240180  .00005236  00000+0  10178-3 0  9991",
                  "2 25544  51.6324  42.7701 0007350  24.6056 335.5282 15.49383195579818", tle);
  return tle;
}

// Kinds of element set measured: 0 near-Earth (the space station), then the first real set of each
// deep-space kind in the shared sample of 700 sets.
enum SetKind { kNearEarth = 0, kSynchronous = 1, kHalfDay = 2, kOtherDeep = 3 };

TleRecord SetOfKind(int kind) {
  if (kind == kNearEarth) return IssSet();
  static const std::vector<TleRecord> sample =
      tle_text::ReadFile(std::string(ORVIA_SHARED_DATA_DIR) + "/sgp4/real_sets_sample.tle");
  for (const TleRecord& tle : sample) {
    Sgp4Model model;
    if (Sgp4Initialise(ElementsFromTle(tle), Wgs84Constants(), model) != Sgp4Error::None || !model.deepSpace) continue;
    const DeepSpaceResonance r = model.deep.secular.resonance;
    if ((kind == kSynchronous && r == DeepSpaceResonance::Synchronous) ||
        (kind == kHalfDay && r == DeepSpaceResonance::HalfDay) || (kind == kOtherDeep && r == DeepSpaceResonance::None))
      return tle;
  }
  return {};
}

const char* KindName(int kind) {
  static const char* names[] = {"near-Earth", "deep 24 h resonant", "deep 12 h resonant", "deep other"};
  return names[kind];
}

// Propagate as a one-off caller uses it: initialisation and evaluation in one pure call, times stepping
// through a day in 5 s steps.
void BM_Propagate(benchmark::State& state) {
  const Sgp4Elements elements = ElementsFromTle(SetOfKind(static_cast<int>(state.range(0))));
  state.SetLabel(KindName(static_cast<int>(state.range(0))));
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
BENCHMARK(BM_Propagate)->DenseRange(0, 3);

// Initialisation alone (once per satellite and track).
void BM_Sgp4Initialise(benchmark::State& state) {
  const Sgp4Elements elements = ElementsFromTle(SetOfKind(static_cast<int>(state.range(0))));
  state.SetLabel(KindName(static_cast<int>(state.range(0))));
  const Sgp4Constants constants = Wgs84Constants();
  Sgp4Model model;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Sgp4Initialise(elements, constants, model));
    benchmark::DoNotOptimize(model);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Sgp4Initialise)->DenseRange(0, 3);

// Evaluation alone, with the model initialised once (as a track of several samples uses it): samples 5 s
// apart through the day after the epoch (the resonance integrator takes 0 to 2 steps of 720 min).
void BM_Sgp4Evaluate(benchmark::State& state) {
  Sgp4Model model;
  Sgp4Initialise(ElementsFromTle(SetOfKind(static_cast<int>(state.range(0)))), Wgs84Constants(), model);
  state.SetLabel(KindName(static_cast<int>(state.range(0))));
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
BENCHMARK(BM_Sgp4Evaluate)->DenseRange(0, 3);

// Evaluation of an element set 10 days old (the resonance integrator takes 20 steps from the epoch).
void BM_Sgp4EvaluateTenDaysOld(benchmark::State& state) {
  Sgp4Model model;
  Sgp4Initialise(ElementsFromTle(SetOfKind(static_cast<int>(state.range(0)))), Wgs84Constants(), model);
  state.SetLabel(KindName(static_cast<int>(state.range(0))));
  double tsince = 14400.0;
  Sgp4State result;
  for (auto _ : state) {
    benchmark::DoNotOptimize(Sgp4Evaluate(model, tsince, result));
    benchmark::DoNotOptimize(result);
    tsince += 0.0833;
    if (tsince > 15840.0) tsince = 14400.0;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Sgp4EvaluateTenDaysOld)->DenseRange(0, 3);

}  // namespace
