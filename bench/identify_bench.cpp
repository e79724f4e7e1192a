// The pattern solver: loading its index (decoding, and mapping the file), and a blind and a known-centre identification of a bench list.
#include <benchmark/benchmark.h>

#include <filesystem>

#include "astrometry/pattern_index.h"
#include "astrometry/solver.h"
#include "astrometry/verify.h"
#include "idbench/idbench.h"
#include "sky/angles.h"

namespace {

const std::string kCatalogue = std::string(ORVIA_SOURCE_DIR) + "/data/bin8.dat";

std::string IndexPath() {
  static const std::string path = [] {
    const auto p = std::filesystem::temp_directory_path() / "orvia_identify_bench_patterns.idx";
    SilentTask task;
    BuildPatternIndexFile(kCatalogue, p.string(), task);
    return p.string();
  }();
  return path;
}

void BM_DecodePatternIndex(benchmark::State& state) {
  const auto index = CachedPatternIndex(IndexPath());
  const std::string bytes = EncodePatternIndex(*index);
  for (auto _ : state) {
    PatternIndex back;
    benchmark::DoNotOptimize(DecodePatternIndex(bytes, back));
  }
}
BENCHMARK(BM_DecodePatternIndex)->Unit(benchmark::kMillisecond);

// What an identification pays the first time: mapping the index file and copying it in.
void BM_LoadPatternIndex(benchmark::State& state) {
  const std::string path = IndexPath();
  for (auto _ : state) benchmark::DoNotOptimize(LoadPatternIndex(path));
}
BENCHMARK(BM_LoadPatternIndex)->Unit(benchmark::kMillisecond);

void SolveList(benchmark::State& state, bool knownCentre) {
  const auto index = CachedPatternIndex(IndexPath());
  const auto catalogue = CachedSkyCatalogue(kCatalogue);
  std::vector<CatalogueRecord> records;
  ReadCatalogueRecords(kCatalogue, records);
  BenchPlan plan;
  plan.seed = 3;
  plan.fieldsDeg = {static_cast<double>(state.range(0))};
  plan.variants = {"clean"};
  plan.listsPerCell = 1;
  plan.minMarks = 12;
  plan.maxMarks = 12;
  const BenchCase c = DrawBenchCases(records, plan).front();
  PatternSolverInput in;
  in.marks = &c.marks;
  in.imageWidth = c.width;
  in.imageHeight = c.height;
  in.knownCentre = knownCentre;
  in.centreRa = DegToRad(c.typedRaDeg);
  in.centreDec = DegToRad(c.typedDecDeg);
  in.fieldDeg = c.typedFieldDeg;
  SilentTask task;
  for (auto _ : state) benchmark::DoNotOptimize(SolveWithPatterns(in, *index, *catalogue, task).solved);
}

void BM_PatternSolverBlind(benchmark::State& state) {
  SolveList(state, false);
}
void BM_PatternSolverKnownCentre(benchmark::State& state) {
  SolveList(state, true);
}
BENCHMARK(BM_PatternSolverBlind)->Arg(10)->Arg(30)->Arg(60)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PatternSolverKnownCentre)->Arg(10)->Arg(30)->Arg(60)->Unit(benchmark::kMillisecond);

}  // namespace
