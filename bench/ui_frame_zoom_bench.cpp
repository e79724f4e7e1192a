// Redraw of the frame window's picture after a zoom step, on a 6000 x 4000 frame: the picture area
// (600 x 400 screen pixels) painted with the frame, the display stretch and 200 overlay shapes; and the
// preparation of a newly opened frame of that size.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <random>

#include "desktop/form1.h"

namespace {

// A night-sky frame: dark noise with a few hundred stars and a streak.
QImage SkyFrame(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  std::mt19937 random(7);
  std::uniform_int_distribution<int> noise(10, 30);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const int v = noise(random);
      row[x] = qRgb(v, v, v);
    }
  }
  QPainter painter(&image);
  painter.setPen(QColor(200, 200, 200));
  std::uniform_int_distribution<int> px(0, width - 1), py(0, height - 1);
  for (int k = 0; k < 400; ++k) painter.drawEllipse(QPoint(px(random), py(random)), 3, 3);
  painter.drawLine(1000, 3000, 5000, 1200);
  return image;
}

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
  return app;
}

// One zoom step (in or out around the picture's centre) and the picture's repaint.
void BM_ZoomStepRedraw6000x4000(benchmark::State& state) {
  App();
  const bool stretched = state.range(0) != 0;
  Form1 window;
  window.SetPicture(SkyFrame(6000, 4000), 600, 400, 10.0);
  window.SetStretch(stretched, 1.5);
  for (int k = 0; k < 200; ++k) {
    OverlayItem item;
    item.centre = QPointF(30.0 * k, 20.0 * k);
    item.sideScreen = 6;
    item.colour = Qt::yellow;
    window.AddOverlay(OverlayKind::CatalogueStars, item);
  }
  QImage target(600, 400, QImage::Format_RGB32);
  const QPointF centre(300, 200);
  int step = 0;
  for (auto _ : state) {
    // Up to 8:1 and back: eight steps of two each way.
    window.ZoomAt(centre, (step++ / 8) % 2 == 0 ? 2.0 : 0.5);
    window.Picture()->render(&target);
    benchmark::DoNotOptimize(target.constBits());
  }
  state.SetLabel(stretched ? "stretch on" : "stretch off");
}
BENCHMARK(BM_ZoomStepRedraw6000x4000)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// Showing a newly opened 6000 x 4000 frame: the copy, the halved copies, the display copy and the histogram.
void BM_SetPicture6000x4000(benchmark::State& state) {
  App();
  const QImage frame = SkyFrame(6000, 4000);
  Form1 window;
  for (auto _ : state) window.SetPicture(frame, 600, 400, 10.0);
}
BENCHMARK(BM_SetPicture6000x4000)->Unit(benchmark::kMillisecond);

}  // namespace
