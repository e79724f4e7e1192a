// Measures the automatic road on random satellite scenes: draws each scene with the frame generator, types
// its circumstances as a user would, runs the whole chain and compares with what was drawn. Prints a line
// per frame and a summary: the share of frames whose satellite comes first, the wrong first candidates
// and whether each came with a warning, the rms of the end positions, and the run time split by step.
//
// orvia_auto_targets --work DIR --tle FILE [--tle FILE]... --catalog bin8.dat [--count 100] [--seed N]
//   [--blind] [--keep]
//
// DIR keeps the database and the asterism index between runs; --blind leaves the frame centre out;
// --keep writes every frame whose satellite is not found first as a BMP into DIR.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "astrometry/asterism.h"
#include "base/calendar.h"
#include "base/numbers.h"
#include "framegen/framegen.h"
#include "framegen/satellite_scene.h"
#include "satdb/satdb.h"
#include "session/auto_chain.h"

namespace fs = std::filesystem;

namespace {

class QuietTask final : public TaskControl {};

}  // namespace

int main(int argc, char** argv) {
  std::string work, catalog;
  std::vector<std::string> tles;
  int count = 100;
  std::uint32_t seed = 1;
  bool blind = false, keep = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--blind") {
      blind = true;
    } else if (arg == "--keep") {
      keep = true;
    } else if (i + 1 < argc) {
      const std::string value = argv[++i];
      if (arg == "--work") work = value;
      if (arg == "--tle") tles.push_back(value);
      if (arg == "--catalog") catalog = value;
      if (arg == "--count") count = std::stoi(value);
      if (arg == "--seed") seed = static_cast<std::uint32_t>(std::stoul(value));
    }
  }
  if (work.empty() || catalog.empty() || tles.empty()) {
    std::fputs("usage: orvia_auto_targets --work DIR --tle FILE... --catalog bin8.dat [--count N] [--seed N]\n",
               stderr);
    return 2;
  }
  const std::string appDir = (fs::absolute(work) / "").string();
  QuietTask task;
  if (!fs::exists(fs::path(appDir) / "TLE")) {
    fs::create_directories(fs::path(appDir) / "TLE");
    ImportTleFiles(tles, -1, appDir, task);
  }
  const std::string asterism = appDir + "tri4t.dat";
  if (!fs::exists(asterism) && !BuildAsterismFile(catalog, asterism, task)) return 1;
  std::vector<CatalogueRecord> records;
  if (!ReadCatalogueRecords(catalog, records)) return 1;
  std::vector<TleRecord> satellites;
  const double epoch = MjdFromDate(2026, 5, 8, 0.0);
  for (const std::string& path : ListDatabaseFiles(appDir)) {
    TleRecord tle;
    if (ReadBestSet(path, epoch, tle)) satellites.push_back(tle);
  }

  int made = 0, first = 0, wrongWarned = 0, wrongSilent = 0, stopped = 0;
  double sum2 = 0.0;
  int ends = 0;
  AutoChainTimes total;
  double wallTotal = 0.0;
  for (int i = 0; made < count && i < count * 3; ++i) {
    SatelliteScene scene;
    if (!MakeSatelliteScene(satellites, SceneLimits{}, seed + static_cast<std::uint32_t>(i), scene)) continue;
    ++made;
    const SyntheticFrame drawn = RenderFrame(records, scene.drawing);
    AppState app;
    app.appDir = appDir;
    app.catalogPath = catalog;
    app.asterismPath = asterism;
    app.catalogueReady = true;
    FrameState frame;
    PutDecodedFrame(ToDecodedImage(drawn), app, frame);
    if (!CollectFrameInfo(SceneEntries(scene, !blind), true, frame.info).ok) {
      std::printf("%3d seed %u: circumstances refused\n", made, seed + i);
      continue;
    }
    AutoChainOptions options;
    options.knownCentre = !blind;
    const auto start = std::chrono::steady_clock::now();
    const AutoChainResult result = RunAutoChain(app, frame, options, task);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    wallTotal += wall;
    total.stars += result.times.stars;
    total.identification += result.times.identification;
    total.streak += result.times.streak;
    total.measurement += result.times.measurement;
    total.search += result.times.search;
    total.trajectory += result.times.trajectory;
    const FrameStreak& truth = scene.drawing.streaks.front();
    std::string outcome;
    if (!result.success) {
      ++stopped;
      outcome = "stopped: " + result.message;
    } else {
      const int norad = frame.satellites.candidates.rows.front().catalogNumber;
      const double e1 = std::hypot(frame.trackEnds[1].x - truth.x1, frame.trackEnds[1].y - truth.y1);
      const double e2 = std::hypot(frame.trackEnds[2].x - truth.x2, frame.trackEnds[2].y - truth.y2);
      if (norad == scene.catalogNumber) {
        ++first;
        sum2 += e1 * e1 + e2 * e2;
        ends += 2;
        outcome = "first" + std::string(result.warnings.empty() ? "" : " (warned: " + result.warnings.front() + ")");
      } else if (result.warnings.empty()) {
        ++wrongSilent;
        outcome = "WRONG " + std::to_string(norad) + " without warning";
      } else {
        ++wrongWarned;
        outcome = "wrong " + std::to_string(norad) + " warned";
      }
      outcome += " ends " + FormatNumber(e1, "0.00") + " " + FormatNumber(e2, "0.00");
    }
    if (keep && outcome.rfind("first", 0) != 0) WriteBmp(appDir + "scene_" + std::to_string(seed + i) + ".bmp", drawn);
    std::printf("%3d seed %u: %d, %dx%d %.0f\"/px, %zu marks, %s; %.2f s\n", made, seed + i, scene.catalogNumber,
                drawn.width, drawn.height, scene.drawing.scaleArcsec, frame.starMarks.size(), outcome.c_str(), wall);
    std::fflush(stdout);
  }
  std::printf(
      "\n%d frames: satellite first on %d (%.1f%%), wrong with warning %d, wrong without warning %d, stopped %d\n"
      "end rms %.3f px over %d ends; mean chain %.2f s: streak %.2f, stars %.2f, identification %.2f, measurement "
      "%.2f, search %.2f, trajectory %.2f\n",
      made, first, made ? 100.0 * first / made : 0.0, wrongWarned, wrongSilent, stopped,
      ends ? std::sqrt(sum2 / ends) : 0.0, ends, wallTotal / std::max(made, 1), total.streak / std::max(made, 1),
      total.stars / std::max(made, 1), total.identification / std::max(made, 1), total.measurement / std::max(made, 1),
      total.search / std::max(made, 1), total.trajectory / std::max(made, 1));
  return 0;
}
