// One track measurement with its local refinement on frames drawn from the shipped catalogue (41,411
// stars, 497 kB read by each of up to three loads): a 1200 x 800 frame at 60"/px with a 6.2-degree track,
// a 6000 x 4000 frame at 10"/px with a 2000-pixel (5.6-degree) track, and a single end on the 1200 x 800
// frame (a search of 100 pixels' worth, widened twice).

#include <benchmark/benchmark.h>

#include <string>

#include "astrometry/track.h"
#include "framegen/framegen.h"
#include "image/raster.h"
#include "session/app_state.h"

namespace {

struct Scene {
  FrameState frame;
  AppState app;
};

// A generated frame with the truth plate as its solution and the track's ends marked by hand.
void MakeScene(Scene& scene, int width, int height, double scaleArcsec, const FrameStreak& streak, bool bothEnds) {
  FrameSpec drawing;
  drawing.width = width;
  drawing.height = height;
  drawing.centreRaDeg = 75.0;
  drawing.centreDecDeg = 30.0;
  drawing.scaleArcsec = scaleArcsec;
  drawing.rotationDeg = 20.0;
  drawing.referenceMagnitude = 5.0;
  drawing.referencePeak = 200.0;
  drawing.noiseSigma = 1.5;
  drawing.streaks.push_back(streak);
  scene.app.catalogPath = std::string(ORVIA_SOURCE_DIR) + "/data/bin8.dat";
  SyntheticFrame image;
  if (!RenderFrameFromFile(scene.app.catalogPath, drawing, image)) return;
  FrameState& frame = scene.frame;
  frame.frameOpen = true;
  frame.imageWidth = static_cast<std::int16_t>(width);
  frame.imageHeight = static_cast<std::int16_t>(height);
  frame.brightness = MakeBrightness(ToDecodedImage(image));
  ApplyFrameSize(frame, scene.app.frameSizes);
  frame.info.considerVisibility = false;
  frame.plate.ra0Deg = drawing.centreRaDeg;
  frame.plate.dec0Deg = drawing.centreDecDeg;
  frame.plate.mxArcsec = frame.plate.myArcsec = scaleArcsec;
  frame.plate.fDeg = drawing.rotationDeg;
  frame.plate.xo = width / 2.0;
  frame.plate.yo = height / 2.0;
  DeriveWorkingForm(frame.plate);
  AddTrackEnd(frame.trackEnds, static_cast<float>(streak.x1), static_cast<float>(streak.y1), true);
  if (bothEnds) AddTrackEnd(frame.trackEnds, static_cast<float>(streak.x2), static_cast<float>(streak.y2), true);
}

void Measure(benchmark::State& state, int width, int height, double scale, const FrameStreak& streak, bool both) {
  Scene scene;
  MakeScene(scene, width, height, scale, streak, both);
  SilentTask task;
  std::size_t stars = 0;
  bool refined = false;
  for (auto _ : state) {
    const TrackMeasurement m = MeasureTrack(TrackFrameOf(scene.frame, scene.app), scene.frame.trackEnds, task);
    refined = m.refined;
    stars = m.localMarks.size();
    benchmark::DoNotOptimize(stars);
  }
  if (!refined) state.SkipWithError("the local refinement failed (is data/bin8.dat there?)");
  state.counters["localStars"] = static_cast<double>(stars);
}

void BM_MeasureTrack1200x800(benchmark::State& state) {
  Measure(state, 1200, 800, 60.0, FrameStreak{380.0, 320.0, 720.0, 470.0, 120.0, 1.2}, true);
}
void BM_MeasureTrack6000x4000(benchmark::State& state) {
  Measure(state, 6000, 4000, 10.0, FrameStreak{2000.0, 1500.0, 3800.0, 2370.0, 120.0, 1.5}, true);
}
void BM_MeasureSingleEnd1200x800(benchmark::State& state) {
  Measure(state, 1200, 800, 60.0, FrameStreak{380.0, 320.0, 720.0, 470.0, 120.0, 1.2}, false);
}

}  // namespace

BENCHMARK(BM_MeasureTrack1200x800)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeasureTrack6000x4000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeasureSingleEnd1200x800)->Unit(benchmark::kMillisecond);
