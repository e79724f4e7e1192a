#include "image/detection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "session/app_state.h"
#include "star_field.h"
#include "test_paths.h"

using namespace star_field;

namespace {

constexpr int kDefaultHalf = 15;  // the default marking frame
constexpr int kLargestHalf = 70;  // the largest marking frame

// The background median of one local pixel computed the plain way: a fresh histogram of the 961 values
// of its box, scanned from level 0 for the 481st value, 0 when that value lies above 250.
std::uint8_t LiteralBackground(const AnalysisWindow& win, int i, int j) {
  std::array<int, 256> histogram{};
  for (int q = j - 15; q <= j + 15; ++q)
    for (int p = i - 15; p <= i + 15; ++p) ++histogram[win.w[win.Index(p, q)]];
  int cumulative = 0;
  for (int level = 0; level <= 250; ++level) {
    cumulative += histogram[level];
    if (cumulative >= 481) return static_cast<std::uint8_t>(level);
  }
  return 0;
}

// A frame record holding the raster, with the given marking-frame half-size and display scale.
FrameState MakeFrame(BrightnessRaster raster, int frameHalf) {
  FrameState frame;
  frame.imageWidth = static_cast<std::int16_t>(raster.width);
  frame.imageHeight = static_cast<std::int16_t>(raster.height);
  frame.brightness = std::move(raster);
  frame.frameHalf = static_cast<std::int16_t>(frameHalf);
  return frame;
}

// A raster with one object per rectangle given, on a noiseless sky of level 20.
BrightnessRaster Blocks(int size, std::initializer_list<std::array<int, 4>> rects, std::uint8_t value = 200) {
  BrightnessRaster r = MakeSky(size, size, 20.0, 0.0, 1);
  for (const auto& rect : rects) FillRect(r, rect[0], rect[1], rect[2], rect[3], value);
  return r;
}

}  // namespace

// ---- Background, noise and threshold ----

TEST(DetectionBackground, SlidingMedianEqualsFreshHistogramPerPixel) {
  // Skies that put the median on both sides of the scan limit, bright clutter and windows over the edge.
  BrightnessRaster r = MakeSky(300, 240, 60.0, 25.0, 7);
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> level(0, 255);
  for (int y = 1; y <= 120; ++y)
    for (int x = 1; x <= 100; ++x) r.at(x, y) = static_cast<std::uint8_t>(level(rng));
  for (int y = 100; y <= 240; ++y)
    for (int x = 150; x <= 300; ++x) r.at(x, y) = static_cast<std::uint8_t>(246 + level(rng) % 10);
  for (int k = 0; k < 40; ++k) AddStar(r, 1 + rng() % 300, 1 + rng() % 240, 150.0, 1.2);

  const int halves[] = {0, 9, 15, 25, 70};
  std::uniform_int_distribution<int> px(-40, 340), py(-40, 280);
  for (int trial = 0; trial < 25; ++trial) {
    const int half = halves[trial % 5];
    const int x = px(rng), y = py(rng);
    const AnalysisWindow win = PrepareAnalysisWindow(r, x, y, half);
    ASSERT_EQ(win.n, 2 * (half + 15) + 1);
    int mismatches = 0;
    for (int j = 1; j <= win.n; ++j)
      for (int i = 1; i <= win.n; ++i) {
        const bool inner = i >= 16 && i <= win.n - 16 && j >= 16 && j <= win.n - 16;
        const std::uint8_t expected = inner ? LiteralBackground(win, i, j) : win.w[win.Index(i, j)];
        if (win.b[win.Index(i, j)] != expected) ++mismatches;
        const int residual = std::max(0, win.w[win.Index(i, j)] - expected);
        if (win.d[win.Index(i, j)] != residual) ++mismatches;
      }
    EXPECT_EQ(mismatches, 0) << "window at " << x << "," << y << " half " << half;
  }
}

TEST(DetectionBackground, BoxMedianIsThe481stValueBelowTheScanLimit) {
  std::mt19937 rng(3);
  for (int trial = 0; trial < 200; ++trial) {
    const int top = trial % 2 ? 255 : 200;
    std::uniform_int_distribution<int> level(0, top);
    std::vector<int> values(961);
    std::array<int, 256> histogram{};
    for (int& v : values) ++histogram[v = level(rng)];
    std::nth_element(values.begin(), values.begin() + 480, values.end());
    const int expected = values[480] > 250 ? 0 : values[480];
    EXPECT_EQ(BoxMedian(histogram), expected);
  }
  std::array<int, 256> histogram{};
  histogram[250] = 481;
  histogram[0] = 480;
  EXPECT_EQ(BoxMedian(histogram), 250);
  histogram[250] = 0;
  histogram[251] = 481;
  EXPECT_EQ(BoxMedian(histogram), 0);
}

TEST(DetectionNoise, ModeWidthAndThresholdOfKnownResiduals) {
  AnalysisWindow win;
  win.a = 30;
  win.n = 61;
  win.d.assign(62 * 62, 0);
  // Search region 15..46: 1024 pixels; 500 at level 2, 300 at 3, 150 at 4, 74 at 0.
  std::vector<int> levels;
  levels.insert(levels.end(), 500, 2);
  levels.insert(levels.end(), 300, 3);
  levels.insert(levels.end(), 150, 4);
  levels.insert(levels.end(), 74, 0);
  std::size_t k = 0;
  for (int j = 15; j <= 46; ++j)
    for (int i = 15; i <= 46; ++i) win.d[win.Index(i, j)] = static_cast<std::uint8_t>(levels[k++]);
  win.d[win.Index(5, 5)] = 250;  // outside the region: ignored
  NoiseStatistics noise = MeasureNoise(win);
  EXPECT_EQ(noise.mode, 2);
  EXPECT_EQ(noise.width, 2);  // level 4 is the first with at most 250
  EXPECT_FLOAT_EQ(DetectionThreshold(noise, 10), 22.0f);
  EXPECT_FLOAT_EQ(DetectionThreshold(noise, 5), 12.0f);

  // Equal counts: the lowest level is the mode. An even top level with no drop gives width 0; an odd top
  // level adds an empty level above it, so the width is 1.
  for (int j = 15; j <= 46; ++j)
    for (int i = 15; i <= 46; ++i) win.d[win.Index(i, j)] = i < 31 ? 6 : 8;
  noise = MeasureNoise(win);
  EXPECT_EQ(noise.mode, 6);
  EXPECT_EQ(noise.width, 1);
  for (int j = 15; j <= 46; ++j)
    for (int i = 15; i <= 46; ++i) win.d[win.Index(i, j)] = 4;
  EXPECT_EQ(MeasureNoise(win).width, 0);
  for (int j = 15; j <= 46; ++j)
    for (int i = 15; i <= 46; ++i) win.d[win.Index(i, j)] = 5;
  EXPECT_EQ(MeasureNoise(win).width, 1);
}

// ---- Objects ----

TEST(DetectionObjects, SeparateBlocksGiveExactAreasAndBoxesBrightestFirst) {
  // Window centre 50,50 with the default frame: local = image - 19.
  BrightnessRaster r = Blocks(100, {{40, 40, 44, 42}, {55, 50, 56, 60}});
  FillRect(r, 55, 50, 56, 60, 230);  // the second block is brighter, so it is found first
  AnalysisWindow win = PrepareAnalysisWindow(r, 50, 50, kDefaultHalf);
  const std::vector<ObjectCluster> objects = FindObjects(win, 10.0f);
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(objects[0].id, 1);
  EXPECT_EQ(objects[0].area, 22);
  EXPECT_FLOAT_EQ(objects[0].xMin, 55 - 19);
  EXPECT_FLOAT_EQ(objects[0].yMax, 60 - 19);
  EXPECT_EQ(objects[0].width, 1);
  EXPECT_EQ(objects[0].height, 10);
  EXPECT_EQ(objects[1].area, 15);
  EXPECT_EQ(objects[1].width, 4);
  EXPECT_EQ(objects[1].height, 2);
  EXPECT_FLOAT_EQ(objects[1].cx, (40 + 44) / 2.0f - 19);
  EXPECT_FLOAT_EQ(objects[1].cy, 41 - 19);
  for (int j = 1; j <= win.n; ++j)
    for (int i = 1; i <= win.n; ++i) EXPECT_EQ(win.m[win.Index(i, j)], 0);
}

TEST(DetectionObjects, RingAndCornerTouchingStepsAreSingleObjects) {
  BrightnessRaster r = MakeSky(100, 100, 20.0, 0.0, 1);
  for (int y = 35; y <= 65; ++y)
    for (int x = 35; x <= 65; ++x) {
      const double d = std::hypot(x - 50.0, y - 50.0);
      if (d >= 8.0 && d <= 10.0) r.at(x, y) = 200;  // annulus around the window's middle
    }
  AnalysisWindow win = PrepareAnalysisWindow(r, 50, 50, kDefaultHalf);
  std::vector<ObjectCluster> objects = FindObjects(win, 10.0f);
  int ringArea = 0;
  for (int y = 35; y <= 65; ++y)
    for (int x = 35; x <= 65; ++x) {
      const double d = std::hypot(x - 50.0, y - 50.0);
      ringArea += d >= 8.0 && d <= 10.0;
    }
  ASSERT_GE(objects.size(), 1u);
  EXPECT_EQ(objects[0].area, ringArea);

  // Dominoes stepping diagonally touch only at corners: eight-connectivity makes them one object.
  BrightnessRaster steps = MakeSky(100, 100, 20.0, 0.0, 1);
  for (int k = 0; k < 8; ++k) FillRect(steps, 40 + 2 * k, 58 - k, 41 + 2 * k, 58 - k, 200);
  win = PrepareAnalysisWindow(steps, 50, 50, kDefaultHalf);
  objects = FindObjects(win, 10.0f);
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0].area, 16);
  EXPECT_EQ(objects[0].width, 15);
  EXPECT_EQ(objects[0].height, 7);
}

TEST(DetectionObjects, IsolatedPixelsDroppedAndAtMostThirtyObjectsPeeled) {
  // 36 two-pixel objects in the default search region plus isolated single pixels.
  BrightnessRaster r = MakeSky(100, 100, 20.0, 0.0, 1);
  for (int row = 0; row < 6; ++row)
    for (int col = 0; col < 6; ++col) FillRect(r, 36 + 5 * col, 36 + 5 * row, 37 + 5 * col, 36 + 5 * row, 200);
  r.at(38, 38) = 255;
  r.at(60, 63) = 255;
  AnalysisWindow win = PrepareAnalysisWindow(r, 50, 50, kDefaultHalf);
  const std::vector<ObjectCluster> objects = FindObjects(win, 10.0f);
  ASSERT_EQ(objects.size(), 30u);
  for (const ObjectCluster& obj : objects) EXPECT_EQ(obj.area, 2);

  BrightnessRaster lone = MakeSky(100, 100, 20.0, 0.0, 1);
  lone.at(50, 50) = 255;
  win = PrepareAnalysisWindow(lone, 50, 50, kDefaultHalf);
  EXPECT_TRUE(FindObjects(win, 10.0f).empty());
}

// ---- Stars ----

// Centroid errors of stars at random sub-pixel positions, the click a few pixels off the star.
struct CentroidErrors {
  int missed = 0;
  double worst = 0.0, rms = 0.0, meanDx = 0.0, meanDy = 0.0;
};

CentroidErrors MeasureCentroids(int frameHalf, double sigma, double amp, int trials, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> pos(150.0, 350.0), off(-6.0, 6.0);
  const double psfs[] = {1.0, 1.3, 2.0};
  CentroidErrors e;
  for (int trial = 0; trial < trials; ++trial) {
    BrightnessRaster r = MakeSky(500, 500, 40.0, sigma, seed + trial);
    const double x = pos(rng), y = pos(rng);
    AddStar(r, x, y, amp, psfs[trial % 3]);
    const StarMeasurement star =
        MeasureStar(r, static_cast<int>(x + off(rng)), static_cast<int>(y + off(rng)), frameHalf);
    if (!star.found) {
      ++e.missed;
      continue;
    }
    const double dx = star.sx - x, dy = star.sy - y;
    e.worst = std::max(e.worst, std::hypot(dx, dy));
    e.rms += dx * dx + dy * dy;
    e.meanDx += dx / trials;
    e.meanDy += dy / trials;
  }
  e.rms = std::sqrt(e.rms / trials);
  return e;
}

TEST(DetectStar, CentroidOfGeneratedStars) {
  for (int half : {kDefaultHalf, kLargestHalf}) {
    // Noiseless sky: only the 8-bit rounding of the star's pixels limits the centroid.
    CentroidErrors e = MeasureCentroids(half, 0.0, 80.0, 15, 40);
    EXPECT_EQ(e.missed, 0);
    EXPECT_LT(e.worst, 0.05) << "frame half-size " << half;
    // Peak signal-to-noise 20 (sky noise sigma 3 levels, peak 60): unbiased; the box of twice the star's
    // size gathers the clipped sky residual, so single stars scatter by about 0.15 pixel.
    e = MeasureCentroids(half, 3.0, 60.0, 60, 700);
    EXPECT_EQ(e.missed, 0);
    EXPECT_LT(std::abs(e.meanDx), 0.05) << "frame half-size " << half;
    EXPECT_LT(std::abs(e.meanDy), 0.05) << "frame half-size " << half;
    EXPECT_LT(e.rms, 0.2) << "frame half-size " << half;
    EXPECT_LT(e.worst, 0.6) << "frame half-size " << half;
  }
}

TEST(DetectStar, HotPixelIsNeverAStar) {
  BrightnessRaster r = MakeSky(200, 200, 40.0, 3.0, 5);
  r.at(100, 100) = 255;
  EXPECT_FALSE(MeasureStar(r, 100, 100, kDefaultHalf).found);
  // Beside a faint star, the brighter hot pixel does not pull the result.
  AddStar(r, 108.3, 95.6, 40.0, 1.5);
  const StarMeasurement star = MeasureStar(r, 100, 100, kDefaultHalf);
  ASSERT_TRUE(star.found);
  EXPECT_NEAR(star.sx, 108.3, 0.25);
  EXPECT_NEAR(star.sy, 95.6, 0.25);
}

TEST(DetectStar, FlatOrEmptyWindowFindsNothing) {
  EXPECT_FALSE(MeasureStar(MakeSky(200, 200, 40.0, 0.0, 1), 100, 100, kDefaultHalf).found);
  EXPECT_FALSE(MeasureStar(MakeSky(200, 200, 40.0, 3.0, 9), 100, 100, kDefaultHalf).found);
  EXPECT_FALSE(MeasureStar(BrightnessRaster{}, 100, 100, kDefaultHalf).found);
  // The click far outside the image.
  EXPECT_FALSE(MeasureStar(MakeSky(200, 200, 40.0, 3.0, 9), -500, 900, kDefaultHalf).found);
}

TEST(DetectStar, LargerOfTwoStarsWins) {
  BrightnessRaster r = MakeSky(200, 200, 40.0, 3.0, 6);
  AddStar(r, 92.4, 97.2, 200.0, 1.0);    // brighter peak, smaller object
  AddStar(r, 109.7, 104.1, 120.0, 2.2);  // fainter peak, larger object
  const StarMeasurement star = MeasureStar(r, 100, 100, kDefaultHalf);
  ASSERT_TRUE(star.found);
  EXPECT_NEAR(star.sx, 109.7, 0.3);
  EXPECT_NEAR(star.sy, 104.1, 0.3);
}

TEST(DetectStar, SaturatedAreaHasNoBackgroundAndIsOneObject) {
  // A saturated disk of radius 15 (707 pixels, more than half of a background box) in a 71-pixel frame.
  BrightnessRaster r = MakeSky(300, 300, 40.0, 3.0, 8);
  for (int y = 1; y <= 300; ++y)
    for (int x = 1; x <= 300; ++x)
      if (std::hypot(x - 151.0, y - 149.0) <= 15.0) r.at(x, y) = 255;
  AnalysisWindow win = PrepareAnalysisWindow(r, 151, 149, 35);
  // The window's middle sits in the disk: its box median lies above the scan limit, so no background.
  EXPECT_EQ(win.b[win.Index(win.a + 1, win.a + 1)], 0);
  EXPECT_EQ(win.d[win.Index(win.a + 1, win.a + 1)], 255);
  const std::vector<ObjectCluster> objects = FindObjects(win, DetectionThreshold(MeasureNoise(win), 10));
  ASSERT_FALSE(objects.empty());
  EXPECT_GT(objects[0].area, 700);  // the disk and the sky around it that lost its background, in one piece

  const StarMeasurement star = MeasureStar(r, 146, 154, 35);
  ASSERT_TRUE(star.found);
  EXPECT_NEAR(star.sx, 151.0, 0.5);
  EXPECT_NEAR(star.sy, 149.0, 0.5);
  EXPECT_GE(star.size, 30);
}

TEST(DetectStar, WindowOverhangingTheImageEdge) {
  // Stars close to the left edge and the bottom edge; the window reaches 30 pixels beyond the image.
  for (double sigma : {0.0, 3.0}) {
    const double tolerance = sigma > 0.0 ? 0.3 : 0.05;
    BrightnessRaster r = MakeSky(200, 150, 40.0, sigma, 12);
    AddStar(r, 4.6, 80.3, 150.0, 1.3);
    AddStar(r, 120.2, 146.7, 150.0, 1.3);
    StarMeasurement star = MeasureStar(r, 3, 78, kDefaultHalf);
    ASSERT_TRUE(star.found);
    EXPECT_NEAR(star.sx, 4.6, tolerance);
    EXPECT_NEAR(star.sy, 80.3, tolerance);
    star = MeasureStar(r, 121, 149, kDefaultHalf);
    ASSERT_TRUE(star.found);
    EXPECT_NEAR(star.sx, 120.2, tolerance);
    EXPECT_NEAR(star.sy, 146.7, tolerance);
  }
}

TEST(DetectStar, RecordsEachStarOnceWithOutlineAndLogLine) {
  testing_support::TempDir dir;
  AppState app;
  ASSERT_TRUE(app.logFile.Open((dir.path() / "log.txt").string()));
  BrightnessRaster r = MakeSky(3000, 2000, 40.0, 3.0, 21);
  AddStar(r, 1234.4, 567.8, 150.0, 1.5);
  AddStar(r, 1250.0, 580.0, 150.0, 1.5);
  FrameState frame = MakeFrame(std::move(r), kDefaultHalf);

  StarDetection first = DetectStar(MarkingOf(frame), frame.starMarks, app.logFile, 1236, 566, true);
  ASSERT_TRUE(first.found);
  ASSERT_TRUE(first.marked);
  ASSERT_EQ(frame.starMarks.size(), 1u);
  EXPECT_EQ(frame.starMarks[0].x, first.sx);
  EXPECT_EQ(frame.starMarks[0].y, first.sy);
  EXPECT_EQ(frame.starMarks[0].size, first.size);

  // The same star clicked again, from elsewhere: no second mark, reported not found.
  const StarDetection again = DetectStar(MarkingOf(frame), frame.starMarks, app.logFile, 1232, 569, true);
  EXPECT_FALSE(again.found);
  EXPECT_EQ(frame.starMarks.size(), 1u);
  // Without recording the marks are not consulted.
  const StarDetection measured = DetectStar(MarkingOf(frame), frame.starMarks, app.logFile, 1232, 569, false);
  EXPECT_TRUE(measured.found);
  EXPECT_FALSE(measured.marked);
  EXPECT_FLOAT_EQ(measured.sx, first.sx);
  EXPECT_EQ(frame.starMarks.size(), 1u);
  // A neighbour 20 pixels away is a new star.
  EXPECT_TRUE(DetectStar(MarkingOf(frame), frame.starMarks, app.logFile, 1250, 580, true).marked);
  EXPECT_EQ(frame.starCount(), 2);

  app.logFile.Close();
  const std::string log = testing_support::ReadFile(dir.path() / "log.txt");
  const std::regex line(R"(Ob  (\d+\.?\d*)  (\d+\.?\d*) \r\n)");
  std::vector<std::smatch> lines;
  for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator(); ++it)
    lines.push_back(*it);
  ASSERT_EQ(lines.size(), 2u) << log;
  EXPECT_FLOAT_EQ(std::stof(lines[0][1].str()), first.sx);
  EXPECT_FLOAT_EQ(std::stof(lines[0][2].str()), first.sy);
  EXPECT_LE(lines[0][1].str().size(), 10u);  // single-precision digits, not a double's expansion
}

// ---- Track ends ----

TEST(DetectTrackEnd, EndOfAStreakInsideTheWindow) {
  LogFile log;
  // Axis-aligned streaks on a noiseless sky end exactly at their last column or row.
  BrightnessRaster r = MakeSky(400, 400, 40.0, 0.0, 1);
  AddStreak(r, 150.0, 200.0, 205.0, 200.0, 100.0, 0.8);
  TrackEndMeasurement end = MeasureTrackEnd(r, 203, 197, kDefaultHalf, log);
  ASSERT_TRUE(end.found);
  EXPECT_FLOAT_EQ(end.ex, 205.0f);
  EXPECT_FLOAT_EQ(end.ey, 200.0f);

  r = MakeSky(400, 400, 40.0, 0.0, 1);
  AddStreak(r, 300.0, 330.0, 300.0, 262.0, 100.0, 0.8);  // along y, ending upwards
  end = MeasureTrackEnd(r, 296, 266, kLargestHalf, log);
  ASSERT_TRUE(end.found);
  EXPECT_FLOAT_EQ(end.ex, 300.0f);
  EXPECT_FLOAT_EQ(end.ey, 262.0f);

  // An inclined streak on a noisy sky, cut square at its end: the last scan line holds the lower part of
  // the cut, so the end comes out within a pixel and a half.
  r = MakeSky(400, 400, 40.0, 3.0, 31);
  AddStreak(r, 150.0, 230.0, 205.3, 201.7, 90.0, 1.0);
  end = MeasureTrackEnd(r, 203, 203, kDefaultHalf, log);
  ASSERT_TRUE(end.found);
  EXPECT_NEAR(end.ex, 205.3, 1.5);
  EXPECT_NEAR(end.ey, 201.7, 1.5);
}

TEST(DetectTrackEnd, StreakCrossingTheWindowGivesTheEndNearerTheMiddle) {
  LogFile log;
  // y = 190 + 0.1 (x - 100) through the whole window. Objects grow over the inner part of the search
  // region, so with the default frame around (X, Y) the scan lines run from column X - 15 to X + 14; the
  // region's middle is (X - 0.5, Y - 0.5).
  BrightnessRaster r = MakeSky(400, 400, 40.0, 3.0, 41);
  AddStreak(r, 100.0, 190.0, 300.0, 210.0, 90.0, 1.0);
  const auto lineY = [](double x) { return 190.0 + 0.1 * (x - 100.0); };
  for (int y : {200, 207}) {
    const double left = 185, right = 214;
    const double leftDist = std::hypot(left - 199.5, lineY(left) - (y - 0.5));
    const double rightDist = std::hypot(right - 199.5, lineY(right) - (y - 0.5));
    const double expectedX = leftDist <= rightDist ? left : right;
    const TrackEndMeasurement end = MeasureTrackEnd(r, 200, y, kDefaultHalf, log);
    ASSERT_TRUE(end.found);
    EXPECT_FLOAT_EQ(end.ex, static_cast<float>(expectedX)) << "click row " << y;
    EXPECT_NEAR(end.ey, lineY(expectedX), 0.5) << "click row " << y;
  }
}

TEST(DetectTrackEnd, StreakOfTenScanLinesIsRefusedElevenAccepted) {
  testing_support::TempDir dir;
  LogFile log;
  ASSERT_TRUE(log.Open((dir.path() / "log.txt").string()));
  BrightnessRaster r = Blocks(400, {{195, 199, 204, 201}});  // 10 columns, 3 rows
  EXPECT_FALSE(MeasureTrackEnd(r, 200, 200, kDefaultHalf, log).found);
  r = Blocks(400, {{195, 199, 205, 201}});  // 11 columns
  const TrackEndMeasurement end = MeasureTrackEnd(r, 200, 200, kDefaultHalf, log);
  ASSERT_TRUE(end.found);
  // Ends (195, 200) and (205, 200); the window's middle is (199.5, 199.5), so the left end is nearer.
  EXPECT_FLOAT_EQ(end.ex, 195.0f);
  EXPECT_FLOAT_EQ(end.ey, 200.0f);
  log.Close();
  // Rank, area and 1 / scan lines of each object; then the chosen rank and its end in window indices
  // (image 195, 200 is window 26, 31).
  const std::string text = testing_support::ReadFile(dir.path() / "log.txt");
  EXPECT_NE(text.find("NClast, Sq, e  1  30  0.1 \r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("NClast, Sq, e  1  33  0.09090909 \r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Numclast= 1  26  31 \r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Numclast=", text.find("Numclast=") + 1), std::string::npos) << text;
}

TEST(DetectTrackEnd, FillsBothSlotsThenOnlyReports) {
  AppState app;
  BrightnessRaster r = MakeSky(3000, 2000, 40.0, 0.0, 1);
  AddStreak(r, 1000.0, 800.0, 1100.0, 800.0, 100.0, 0.8);
  FrameState frame = MakeFrame(std::move(r), kDefaultHalf);

  TrackEndDetection first = DetectTrackEnd(MarkingOf(frame), frame.trackEnds, app.logFile, 1003, 802, false);
  ASSERT_TRUE(first.found);
  EXPECT_EQ(first.ex, 1000);
  EXPECT_EQ(first.ey, 800);
  ASSERT_TRUE(first.addition.added);
  EXPECT_FALSE(first.addition.showHint);
  EXPECT_EQ(frame.trackEnds.count, 1);
  EXPECT_EQ(frame.trackEnds[1].drawn, 2);
  EXPECT_EQ(first.addition.slot, 1);

  // Found again within 5 of the first end: reported, not recorded.
  const TrackEndDetection repeat = DetectTrackEnd(MarkingOf(frame), frame.trackEnds, app.logFile, 1002, 799, false);
  EXPECT_TRUE(repeat.found);
  EXPECT_FALSE(repeat.addition.added);
  EXPECT_EQ(frame.trackEnds.count, 1);

  const TrackEndDetection second = DetectTrackEnd(MarkingOf(frame), frame.trackEnds, app.logFile, 1097, 798, false);
  ASSERT_TRUE(second.found);
  EXPECT_EQ(second.ex, 1100);
  ASSERT_TRUE(second.addition.added);
  EXPECT_EQ(second.addition.slot, 2);
  EXPECT_EQ(frame.trackEnds.count, 2);
  EXPECT_FLOAT_EQ(frame.trackEnds[2].x, 1100.0f);
  ASSERT_TRUE(second.addition.showHint);
  EXPECT_EQ(second.addition.hintLines[0], "Кадр не привязан. Нужно идентифицировать звезды.");
  EXPECT_EQ(second.addition.hintLines[1], " ");

  const TrackEndDetection third = DetectTrackEnd(MarkingOf(frame), frame.trackEnds, app.logFile, 1050, 800, false);
  EXPECT_FALSE(third.addition.added);
  EXPECT_EQ(frame.trackEnds.count, 2);
  EXPECT_FLOAT_EQ(frame.trackEnds[1].x, 1000.0f);
}

TEST(AddTrackEnd, SpacingRuleRealCoordinatesAndSolvedHint) {
  FrameState frame;
  // A real end point is kept as it is.
  TrackEndAddition a = AddTrackEnd(frame.trackEnds, 101.25f, 50.0f, true);
  ASSERT_TRUE(a.added);
  EXPECT_EQ(a.slot, 1);
  EXPECT_FLOAT_EQ(frame.trackEnds[1].x, 101.25f);
  // |dx| + |dy| = 2.5 + 2 < 5: ignored; 3 + 2 = 5: taken.
  EXPECT_FALSE(AddTrackEnd(frame.trackEnds, 103.75f, 48.0f, true).added);
  a = AddTrackEnd(frame.trackEnds, 104.25f, 48.0f, true);
  ASSERT_TRUE(a.added);
  ASSERT_TRUE(a.showHint);
  EXPECT_EQ(a.hintLines[0], "Для измерения трека выберите Меню: Идентификация-> Измерить трек ");
  EXPECT_EQ(a.hintLines[2], " ");
  EXPECT_FALSE(AddTrackEnd(frame.trackEnds, 300.0f, 300.0f, true).added);  // both slots are filled
  EXPECT_EQ(frame.trackEnds.count, 2);
}
