// The automatic road on a 24-megapixel frame (6000 x 4000) with a real satellite's streak, from the open
// frame to the candidate list over the database of both public lists. Counters give the split by step.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>

#include "astrometry/asterism.h"
#include "astrometry/catalogue.h"
#include "base/calendar.h"
#include "framegen/framegen.h"
#include "framegen/satellite_scene.h"
#include "satdb/satdb.h"
#include "session/auto_chain.h"

namespace fs = std::filesystem;

namespace {

// The database, the index and one drawn 24-megapixel scene, made once.
struct Setup {
  Setup() {
    dir = fs::temp_directory_path() / ("orvia_auto_bench_" + std::to_string(std::random_device{}()));
    appDir = (dir / "").string();
    fs::create_directories(dir / "TLE");
    SilentTask task;
    const fs::path tle = fs::path(ORVIA_SHARED_DATA_DIR) / "tle";
    ImportTleFiles({(tle / "celestrak_active_2026-05-07_15347obj.txt").string(),
                    (tle / "celestrak_visual_2026-05-07_148obj.txt").string()},
                   -1, appDir, task);
    catalog = (fs::path(ORVIA_SOURCE_DIR) / "data" / "bin8.dat").string();
    asterism = (dir / "tri4t.dat").string();
    BuildAsterismFile(catalog, asterism, task);
    std::vector<TleRecord> satellites;
    for (const std::string& path : ListDatabaseFiles(appDir)) {
      TleRecord record;
      if (ReadBestSet(path, MjdFromDate(2026, 5, 8, 0.0), record)) satellites.push_back(record);
    }
    SceneLimits limits;
    limits.minWidth = limits.maxWidth = 6000;
    limits.minScaleArcsec = 12.0;
    limits.maxScaleArcsec = 16.0;
    for (std::uint32_t seed = 24; !MakeSatelliteScene(satellites, limits, seed, scene); ++seed) {
    }
    std::vector<CatalogueRecord> records;
    ReadCatalogueRecords(catalog, records);
    const SyntheticFrame drawn = RenderFrame(records, scene.drawing);
    PutDecodedFrame(ToDecodedImage(drawn), AppState{}, frame);
    CollectFrameInfo(SceneEntries(scene, true), true, frame.info);
  }
  ~Setup() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  fs::path dir;
  std::string appDir, catalog, asterism;
  SatelliteScene scene;
  FrameState frame;
};

void BM_AutoChain24Megapixels(benchmark::State& state) {
  static Setup setup;
  AppState app;
  app.appDir = setup.appDir;
  app.catalogPath = setup.catalog;
  app.asterismPath = setup.asterism;
  app.catalogueReady = true;
  AutoChainOptions options;
  options.knownCentre = true;
  AutoChainTimes sum;
  bool found = true;
  for (auto _ : state) {
    SilentTask task;
    const AutoChainResult result = RunAutoChain(app, setup.frame, options, task);
    found = found && result.success &&
            setup.frame.satellites.candidates.rows.front().catalogNumber == setup.scene.catalogNumber;
    sum.streak += result.times.streak;
    sum.stars += result.times.stars;
    sum.identification += result.times.identification;
    sum.measurement += result.times.measurement;
    sum.search += result.times.search;
  }
  const auto average = [&](double v) { return benchmark::Counter(v / static_cast<double>(state.iterations())); };
  state.counters["streak_s"] = average(sum.streak);
  state.counters["stars_s"] = average(sum.stars);
  state.counters["identify_s"] = average(sum.identification);
  state.counters["measure_s"] = average(sum.measurement);
  state.counters["search_s"] = average(sum.search);
  state.counters["right_first"] = found ? 1 : 0;
}
BENCHMARK(BM_AutoChain24Megapixels)->Unit(benchmark::kSecond)->Iterations(3);

}  // namespace
