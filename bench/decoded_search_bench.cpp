// Whether decoding a frame slows what runs after it: the candidate search of the shared streak frame
// (the measured ends of its automatic run, both public lists) after decoding the frame as JPEG and as
// BMP (written from the JPEG once), decoding not timed. The counter "bmp/jpeg" is the ratio of the two
// search times within one run; it stays near 1 when decoding leaves no processor state behind that
// makes later arithmetic slower.

#include <benchmark/benchmark.h>

#include <QImage>
#include <chrono>
#include <filesystem>
#include <random>

#include "base/calendar.h"
#include "image/decode.h"
#include "orbit/candidates.h"
#include "satdb/satdb.h"
#include "sky/angles.h"

namespace fs = std::filesystem;

namespace {

struct Setup {
  Setup() {
    dir = fs::temp_directory_path() / ("orvia_decoded_search_" + std::to_string(std::random_device{}()));
    fs::create_directories(dir / "TLE");
    SilentTask task;
    const fs::path tle = fs::path(ORVIA_SHARED_DATA_DIR) / "tle";
    ImportTleFiles({(tle / "celestrak_active_2026-05-07_15347obj.txt").string(),
                    (tle / "celestrak_visual_2026-05-07_148obj.txt").string()},
                   -1, (dir / "").string(), task);
    jpeg = (fs::path(ORVIA_SHARED_DATA_DIR) / "streaks" / "case_s0903" / "case_s0903.jpg").string();
    bmp = (dir / "case_s0903.bmp").string();
    QImage(QString::fromStdString(jpeg)).convertToFormat(QImage::Format_RGB888).save(QString::fromStdString(bmp));
    input.appDir = (dir / "").string();
    input.end1 = {DegToRad(311.2941027541881), DegToRad(43.79291402196476)};
    input.end2 = {DegToRad(308.11781903102076), DegToRad(37.22504323855409)};
    const double t0 = MjdFromDate(2026, 5, 8, 3.0 + 13.0 / 60.0 + 5.2 / 3600.0);
    input.window = {t0, t0 + 16.3 / 86400.0};
    input.latitudeRad = DegToRad(40.52839);
    input.longitudeRad = DegToRad(-6.45828);
  }
  ~Setup() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
  fs::path dir;
  std::string jpeg, bmp;
  CandidateSearchInput input;
};

// Decodes the frame, then times one search.
std::chrono::duration<double> SearchAfterDecoding(const Setup& setup, const std::string& frame, int& candidates) {
  DecodedImage image;
  if (!DecodeFrameFile(frame, image)) candidates = -1;
  benchmark::DoNotOptimize(image.pixels.data());
  CandidateList list;
  SilentTask task;
  const auto start = std::chrono::steady_clock::now();
  CandidateSearch(setup.input, {}, list, task, {});
  const auto end = std::chrono::steady_clock::now();
  if (candidates >= 0) candidates = static_cast<int>(list.rows.size());
  return end - start;
}

void BM_SearchAfterDecodingBmpAndJpeg(benchmark::State& state) {
  static const Setup setup;
  std::chrono::duration<double> jpeg{}, bmp{};
  int jpegCandidates = 0, bmpCandidates = 0;
  for (auto _ : state) {
    jpeg += SearchAfterDecoding(setup, setup.jpeg, jpegCandidates);
    bmp += SearchAfterDecoding(setup, setup.bmp, bmpCandidates);
  }
  state.counters["jpeg_ms"] = jpeg.count() * 1000.0 / state.iterations();
  state.counters["bmp_ms"] = bmp.count() * 1000.0 / state.iterations();
  state.counters["bmp/jpeg"] = bmp / jpeg;
  state.counters["candidates_jpeg"] = jpegCandidates;
  state.counters["candidates_bmp"] = bmpCandidates;
}
BENCHMARK(BM_SearchAfterDecodingBmpAndJpeg)->Unit(benchmark::kMillisecond)->MinTime(5.0);

}  // namespace
