// Speed of the asterism index and of star identification on the shipped catalogue (41,411 stars).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "astrometry/asterism.h"
#include "astrometry/catalogue.h"
#include "astrometry/identify.h"
#include "framegen/framegen.h"

namespace {

const std::string kCatalogPath = std::string(ORVIA_SOURCE_DIR) + "/data/bin8.dat";

std::filesystem::path WorkDir() {
  static const std::filesystem::path dir = [] {
    auto d = std::filesystem::temp_directory_path() / "orvia-astrometry-bench";
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

// The asterism file of the shipped catalogue, built once.
const std::string& AsterismPath() {
  static const std::string path = [] {
    const std::string p = (WorkDir() / "tri4t.dat").string();
    SilentTask task;
    BuildAsterismFile(kCatalogPath, p, task);
    return p;
  }();
  return path;
}

// Fifteen marks on the brightest stars of a generated frame, at their drawn positions.
IdentificationInput FrameInput(const FrameSpec& drawing) {
  std::vector<CatalogueRecord> catalogue;
  ReadCatalogueRecords(kCatalogPath, catalogue);
  const SyntheticFrame frame = RenderFrame(catalogue, drawing);
  IdentificationInput in;
  for (const RenderedStar& s : frame.stars) {
    if (in.marks.size() == 15) break;
    if (s.x < 20 || s.y < 20 || s.x > drawing.width - 20 || s.y > drawing.height - 20) continue;
    StarMark m;
    m.x = static_cast<float>(s.x);
    m.y = static_cast<float>(s.y);
    in.marks.push_back(m);
  }
  in.imageWidth = drawing.width;
  in.imageHeight = drawing.height;
  in.considerVisibility = false;
  in.catalogPath = kCatalogPath;
  in.asterismPath = AsterismPath();
  in.appDir = WorkDir().string() + "/";
  return in;
}

FrameSpec FrameDrawing(double ra, double dec, double scale) {
  FrameSpec drawing;
  drawing.width = 1200;
  drawing.height = 800;
  drawing.centreRaDeg = ra;
  drawing.centreDecDeg = dec;
  drawing.scaleArcsec = scale;
  drawing.rotationDeg = 15.0;
  return drawing;
}

void BM_BuildAsterismFile(benchmark::State& state) {
  const std::string out = (WorkDir() / "tri4t_build.dat").string();
  for (auto _ : state) {
    SilentTask task;
    benchmark::DoNotOptimize(BuildAsterismFile(kCatalogPath, out, task));
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(out));
}
BENCHMARK(BM_BuildAsterismFile)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LoadAsterismTableAllVisible(benchmark::State& state) {
  std::vector<CatalogueRecord> catalogue;
  ReadCatalogueRecords(kCatalogPath, catalogue);
  std::vector<std::int32_t> map(catalogue.size() + 1);
  for (std::size_t i = 1; i < map.size(); ++i) map[i] = static_cast<std::int32_t>(i);
  const std::string& path = AsterismPath();
  std::size_t records = 0;
  for (auto _ : state) {
    AsterismTable table;
    SilentTask task;
    LoadAsterismTable(path, map, table, task);
    records = table.recordCount;
  }
  state.counters["triangles"] = static_cast<double>(records);
}
BENCHMARK(BM_LoadAsterismTableAllVisible)->Unit(benchmark::kMillisecond);

// Blind identification of 15 marks on a 30 x 20 degree frame, catalogue and asterism loading included.
void BM_BlindIdentification15Marks(benchmark::State& state) {
  const IdentificationInput in = FrameInput(FrameDrawing(84.0, 0.0, 90.0));
  bool ok = false;
  for (auto _ : state) {
    SilentTask task;
    ok = RunBlindIdentification(in, task).success;
  }
  if (!ok) state.SkipWithError("not identified");
}
BENCHMARK(BM_BlindIdentification15Marks)->Unit(benchmark::kMillisecond);

// Known-centre identification of 15 marks on a 20 x 13 degree frame, the centre given 1.5 degrees off.
void BM_KnownCentreIdentification15Marks(benchmark::State& state) {
  IdentificationInput in = FrameInput(FrameDrawing(100.0, -20.0, 60.0));
  in.raUserDeg = 101.5;
  in.decUserDeg = -20.5;
  in.fieldUserDeg = 20.0;
  bool ok = false;
  for (auto _ : state) {
    SilentTask task;
    ok = RunKnownCentreIdentification(in, task).success;
  }
  if (!ok) state.SkipWithError("not identified");
}
BENCHMARK(BM_KnownCentreIdentification15Marks)->Unit(benchmark::kMillisecond);

}  // namespace
