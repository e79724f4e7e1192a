// Star and track-end requests on a 6000 x 4000 frame with the default marking frame (half-size 15,
// analysis window 61 x 61) and the largest (half-size 70, window 171 x 171).

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "../tests/image/star_field.h"
#include "image/detection.h"
#include "session/app_state.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

struct BenchFrame {
  FrameState frame;
  std::vector<std::array<int, 2>> clicks;  // a few pixels off each star
  std::vector<std::array<int, 2>> trackClicks;
};

// A sky of level 40 with noise sigma 3, 3000 stars and 20 streaks; clicks near stars and streak ends.
const BenchFrame& Frame() {
  static const BenchFrame bench = [] {
    BenchFrame b;
    BrightnessRaster r = star_field::MakeSky(kWidth, kHeight, 40.0, 3.0, 77);
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> x(100.0, kWidth - 100.0), y(100.0, kHeight - 100.0), amp(40.0, 200.0);
    std::uniform_int_distribution<int> off(-5, 5);
    for (int k = 0; k < 3000; ++k) {
      const double sx = x(rng), sy = y(rng);
      star_field::AddStar(r, sx, sy, amp(rng), 1.5);
      b.clicks.push_back({static_cast<int>(sx) + off(rng), static_cast<int>(sy) + off(rng)});
    }
    for (int k = 0; k < 20; ++k) {
      const double sx = x(rng), sy = y(rng);
      star_field::AddStreak(r, sx - 150.0, sy + 60.0, sx, sy, 80.0, 1.0);
      b.trackClicks.push_back({static_cast<int>(sx) + off(rng), static_cast<int>(sy) + off(rng)});
    }
    b.frame.imageWidth = kWidth;
    b.frame.imageHeight = kHeight;
    b.frame.brightness = std::move(r);
    return b;
  }();
  return bench;
}

// A frame state over the generated frame with the given marking-frame half-size.
FrameState FrameWithHalf(const BenchFrame& bench, std::int64_t half) {
  FrameState frame;
  frame.brightness = bench.frame.brightness;
  frame.imageWidth = kWidth;
  frame.imageHeight = kHeight;
  frame.frameHalf = static_cast<std::int16_t>(half);
  return frame;
}

void BM_DetectStar(benchmark::State& state) {
  const BenchFrame& bench = Frame();
  FrameState frame = FrameWithHalf(bench, state.range(0));
  AppState app;
  std::size_t k = 0;
  int found = 0;
  for (auto _ : state) {
    const auto& c = bench.clicks[k++ % bench.clicks.size()];
    const StarDetection star = DetectStar(MarkingOf(frame), frame.starMarks, app.logFile, c[0], c[1], false);
    found += star.found;
    benchmark::DoNotOptimize(star);
  }
  state.counters["found"] = benchmark::Counter(found, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_DetectStar)->Arg(15)->Arg(70)->Unit(benchmark::kMillisecond);

void BM_DetectTrackEnd(benchmark::State& state) {
  const BenchFrame& bench = Frame();
  FrameState frame = FrameWithHalf(bench, state.range(0));
  AppState app;
  std::size_t k = 0;
  int found = 0;
  for (auto _ : state) {
    const auto& c = bench.trackClicks[k++ % bench.trackClicks.size()];
    frame.trackEnds.count = 0;
    const TrackEndDetection end = DetectTrackEnd(MarkingOf(frame), frame.trackEnds, app.logFile, c[0], c[1], false);
    found += end.found;
    benchmark::DoNotOptimize(end);
  }
  state.counters["found"] = benchmark::Counter(found, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_DetectTrackEnd)->Arg(15)->Arg(70)->Unit(benchmark::kMillisecond);

// For comparison: the background of a largest window by a fresh 961-value histogram per pixel.
void BM_BackgroundFreshHistogramPerPixel(benchmark::State& state) {
  const BenchFrame& bench = Frame();
  AnalysisWindow win = PrepareAnalysisWindow(bench.frame.brightness, 3000, 2000, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    for (int j = 16; j <= win.n - 16; ++j)
      for (int i = 16; i <= win.n - 16; ++i) {
        std::array<int, 256> histogram{};
        for (int q = j - 15; q <= j + 15; ++q)
          for (int p = i - 15; p <= i + 15; ++p) ++histogram[win.w[win.Index(p, q)]];
        win.b[win.Index(i, j)] = BoxMedian(histogram);
      }
    benchmark::DoNotOptimize(win.b.data());
  }
}
BENCHMARK(BM_BackgroundFreshHistogramPerPixel)->Arg(15)->Arg(70)->Unit(benchmark::kMillisecond);

void BM_BackgroundSliding(benchmark::State& state) {
  const BenchFrame& bench = Frame();
  AnalysisWindow win = PrepareAnalysisWindow(bench.frame.brightness, 3000, 2000, static_cast<int>(state.range(0)));
  for (auto _ : state) {
    ComputeBackground(win);
    benchmark::DoNotOptimize(win.b.data());
  }
}
BENCHMARK(BM_BackgroundSliding)->Arg(15)->Arg(70)->Unit(benchmark::kMillisecond);

}  // namespace
