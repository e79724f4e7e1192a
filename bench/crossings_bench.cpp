// Every satellite over a frame, over a whole real catalogue: 26,140 satellite files imported from the
// Space-Track full catalogue of 2023-10-09, a 2400 x 1600 frame of 30"/px (20 x 13 degrees) centred on
// the ISS's track over Kyiv on 2023-10-12 at 18:00 UT, a 10 s exposure with a 1 s clock error.
// Measured: the whole search (reading, coarse propagation of every satellite, close following of those
// near the frame), to set beside the candidate search over the same files.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "astrometry/sky_frames.h"
#include "base/calendar.h"
#include "orbit/crossings.h"
#include "orbit/observer.h"
#include "satdb/satdb.h"
#include "sky/angles.h"

namespace fs = std::filesystem;

namespace {

const std::string kFullCatalogue =
    (fs::path(ORVIA_SHARED_DATA_DIR) / "tle" / "spacetrack_full_3le_2023-10-09_26140obj.txt").string();

struct Database {
  Database() : dir(fs::temp_directory_path() / ("orvia-bench-crossings-" + std::to_string(::getpid()))) {
    fs::remove_all(dir);
    fs::create_directories(dir / "TLE");
    SilentTask task;
    ImportTleFiles({kFullCatalogue}, -1, dir.string() + "/", task);
    files = ListDatabaseFiles(dir.string() + "/");

    input.appDir = dir.string() + "/";
    input.latitudeRad = DegToRad(50.45);
    input.longitudeRad = DegToRad(30.52);
    const double t0 = MjdFromDate(2023, 10, 12, 18.0);
    input.window = {t0 - 1.0 / 86400.0, t0 + 11.0 / 86400.0};
    TleRecord iss;
    ReadBestSet(SatelliteFilePath(input.appDir, 25544), t0, iss);
    const std::vector<double> middle = {t0 + 5.0 / 86400.0};
    std::vector<TemeDirection> teme;
    SkyTrack(iss, middle, input.latitudeRad, input.longitudeRad, teme);
    const J2000Direction centre = TemeToJ2000(teme[0], middle[0]);
    input.imageWidth = 2400;
    input.imageHeight = 1600;
    input.plate.ra0 = centre.raRad;
    input.plate.dec0 = centre.decRad;
    input.plate.mx = input.plate.my = 30.0 * ArcsecToRad;
    input.plate.xo = 1200.5;
    input.plate.yo = 800.5;
  }
  ~Database() { fs::remove_all(dir); }

  fs::path dir;
  std::vector<std::string> files;
  CrossingsInput input;
};

const Database& Db() {
  static const Database db;
  return db;
}

void BM_FrameCrossings(benchmark::State& state) {
  const Database& db = Db();
  CrossingsResult result;
  for (auto _ : state) {
    SilentTask task;
    result = FrameCrossings(db.input, task);
    benchmark::DoNotOptimize(result);
  }
  state.counters["files"] = static_cast<double>(db.files.size());
  state.counters["crossings"] = static_cast<double>(result.crossings.size());
}
BENCHMARK(BM_FrameCrossings)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace
