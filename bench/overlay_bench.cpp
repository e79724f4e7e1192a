// One redraw of the catalogue overlay from the shipped catalogue (41,411 stars, 497 kB read each time), as a
// depth command does it: a 6000 x 4000 frame at 10"/px (16.7 x 11.1 degrees) centred in Orion and a
// 6000 x 4000 frame at 60"/px (100 x 67 degrees) that fills the thousand-marker cap.

#include <benchmark/benchmark.h>

#include <string>

#include "astrometry/overlay.h"
#include "session/app_state.h"

namespace {

// The catalogue drawn over an open frame with a given catalogue file and colours.
CatalogueOverlay DrawOnFrame(const FrameState& frame, const CatalogueDisplayState& display, float depth,
                             const std::string& path, const MarkPalette& palette) {
  return DrawCatalogue(
      CatalogueFrame{true, frame.frameOpen, frame.plate, frame.imageWidth, frame.imageHeight, path, palette}, display,
      depth);
}

FrameState Frame(double scaleArcsec) {
  FrameState frame;
  frame.frameOpen = true;
  frame.imageWidth = 6000;
  frame.imageHeight = 4000;
  frame.plate.ra0Deg = 84.0;
  frame.plate.dec0Deg = -3.0;
  frame.plate.mxArcsec = scaleArcsec;
  frame.plate.myArcsec = scaleArcsec;
  frame.plate.xo = 3000.0;
  frame.plate.yo = 2000.0;
  DeriveWorkingForm(frame.plate);
  return frame;
}

void BM_DrawCatalogue(benchmark::State& state) {
  const std::string path = std::string(ORVIA_SOURCE_DIR) + "/data/bin8.dat";
  FrameState frame = Frame(static_cast<double>(state.range(0)));
  const CatalogueDisplayState display{true, true, 8.0f};
  std::size_t markers = 0;
  for (auto _ : state) {
    const CatalogueOverlay overlay = DrawOnFrame(frame, display, display.depth, path, MarkPalette{});
    markers = overlay.markers.size();
    benchmark::DoNotOptimize(markers);
  }
  if (markers == 0) state.SkipWithError("shipped catalogue not found");
  state.counters["markers"] = static_cast<double>(markers);
}
BENCHMARK(BM_DrawCatalogue)->Arg(10)->Arg(60)->Unit(benchmark::kMillisecond);

}  // namespace
