// Whole-frame star and streak finding on rasters drawn here: Gaussian stars, hot pixels, a saturated
// blob, and streaks drawn as a moving star draws them, over a sky with Gaussian noise.

#include "image/auto_detect.h"
#include "image/star_trails.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// A sky of the given level and noise with stars and streaks added by the calls below.
struct Drawing {
  int width, height;
  std::vector<double> flux;
  Drawing(int w, int h) : width(w), height(h), flux(static_cast<std::size_t>(w) * h, 0.0) {}

  double& At(int x, int y) { return flux[static_cast<std::size_t>(y - 1) * width + (x - 1)]; }
  void Star(double x, double y, double peak, double sigma = 1.3) {
    for (int r = std::max(1, int(y) - 8); r <= std::min(height, int(y) + 8); ++r)
      for (int c = std::max(1, int(x) - 8); c <= std::min(width, int(x) + 8); ++c)
        At(c, r) += peak * std::exp(-((c - x) * (c - x) + (r - y) * (r - y)) / (2 * sigma * sigma));
  }
  void Streak(double x1, double y1, double x2, double y2, double peak, double sigma = 1.3) {
    const double length = std::hypot(x2 - x1, y2 - y1), ux = (x2 - x1) / length, uy = (y2 - y1) / length;
    for (int r = 1; r <= height; ++r)
      for (int c = 1; c <= width; ++c) {
        const double along = (c - x1) * ux + (r - y1) * uy, across = -(c - x1) * uy + (r - y1) * ux;
        if (std::fabs(across) > 8 || along < -10 || along > length + 10) continue;
        const double w = std::sqrt(2.0) * sigma;
        At(c, r) += peak * std::exp(-across * across / (2 * sigma * sigma)) * 0.5 *
                    (std::erf(along / w) - std::erf((along - length) / w));
      }
  }
  BrightnessRaster Raster(double sky, double noise, unsigned seed) const {
    std::mt19937 random(seed);
    std::normal_distribution<double> gauss(0.0, noise);
    BrightnessRaster raster;
    raster.width = width;
    raster.height = height;
    raster.values.assign(static_cast<std::size_t>(width + 1) * (height + 1), 0);
    for (int y = 1; y <= height; ++y)
      for (int x = 1; x <= width; ++x)
        raster.at(x, y) = static_cast<std::uint8_t>(std::clamp(
            std::nearbyint(sky + flux[static_cast<std::size_t>(y - 1) * width + (x - 1)] + gauss(random)), 0.0, 255.0));
    return raster;
  }
};

// Two streaks of different strength are both listed, the stronger first, each with its ends within what
// its noise allows (the fainter one has a signal of four noise widths per pixel); stars, a close pair of stars and hot
// pixels give no streak.
TEST(AutoDetect, StreaksListedStrongestFirstWithFittedEnds) {
  Drawing d(900, 600);
  d.Streak(120.3, 80.6, 610.8, 355.2, 40.0);
  d.Streak(700.5, 520.2, 820.1, 150.7, 12.0);
  d.Star(300.2, 400.7, 150.0);
  d.Star(306.0, 403.0, 120.0);  // a close pair
  for (int i = 0; i < 40; ++i) d.Star(20 + i * 21.3, 30 + (i * 37) % 540, 30.0 + i);
  d.At(450, 450) += 200.0;  // hot pixels
  d.At(451, 120) += 180.0;
  const BrightnessRaster raster = d.Raster(30.0, 3.0, 7);
  SilentTask task;
  const std::vector<StreakCandidate> streaks = FindStreaks(raster, EstimateBackground(raster), {}, task);
  ASSERT_EQ(streaks.size(), 2u);
  const auto near = [](const StreakCandidate& s, double x1, double y1, double x2, double y2) {
    const double direct = std::max(std::hypot(s.x1 - x1, s.y1 - y1), std::hypot(s.x2 - x2, s.y2 - y2));
    const double turned = std::max(std::hypot(s.x1 - x2, s.y1 - y2), std::hypot(s.x2 - x1, s.y2 - y1));
    return std::min(direct, turned);
  };
  EXPECT_LT(near(streaks[0], 120.3, 80.6, 610.8, 355.2), 0.3);
  EXPECT_LT(near(streaks[1], 700.5, 520.2, 820.1, 150.7), 0.6);
  EXPECT_NEAR(streaks[0].width, 1.3, 0.1);
  EXPECT_GT(streaks[0].snr, streaks[1].snr);

  Drawing empty(400, 300);
  empty.Star(200.0, 150.0, 200.0);
  empty.Star(204.5, 152.0, 180.0);
  const BrightnessRaster quiet = empty.Raster(30.0, 3.0, 8);
  EXPECT_TRUE(FindStreaks(quiet, EstimateBackground(quiet), {}, task).empty());
}

// Stars are found brightest first with their centres; hot pixels, a saturated blob, stars on the streak
// and stars at the edge are left out.
TEST(AutoDetect, StarsWithoutHotPixelsSaturationStreakOrEdge) {
  Drawing d(600, 400);
  d.Star(100.4, 100.6, 120.0);
  d.Star(400.7, 300.2, 60.0);
  d.Star(500.2, 80.9, 90.0);
  d.Star(250.0, 250.0, 600.0, 2.0);  // saturated
  d.Star(300.0, 150.0, 100.0);       // on the streak
  d.Star(8.0, 200.0, 100.0);         // at the edge
  d.Streak(200.0, 100.0, 400.0, 200.0, 50.0);
  d.At(50, 300) += 150.0;
  const BrightnessRaster raster = d.Raster(25.0, 2.0, 3);
  const SkyBackground sky = EstimateBackground(raster);
  EXPECT_NEAR(sky.LevelAt(300, 300), 25.0, 0.5);
  EXPECT_NEAR(sky.NoiseAt(300, 300), 2.0, 0.4);
  SilentTask task;
  const std::vector<StreakCandidate> streaks = FindStreaks(raster, sky, {}, task);
  ASSERT_EQ(streaks.size(), 1u);
  const std::vector<StarCandidate> stars = FindStars(raster, sky, {}, streaks);
  ASSERT_EQ(stars.size(), 3u);
  EXPECT_NEAR(stars[0].x, 100.4, 0.1);
  EXPECT_NEAR(stars[0].y, 100.6, 0.1);
  EXPECT_NEAR(stars[1].x, 500.2, 0.1);
  EXPECT_NEAR(stars[2].x, 400.7, 0.1);
}

// Automatic marking leaves what clicks on the same stars leave: a click on each automatic mark finds the
// same star with the same size and outline; no star is marked twice.
TEST(AutoDetect, AutomaticMarksAreThoseOfClicks) {
  Drawing d(800, 500);
  std::mt19937 random(11);
  std::uniform_real_distribution<double> ux(30, 770), uy(30, 470), up(20, 180);
  for (int i = 0; i < 60; ++i) {
    // Drawn in a fixed order (arguments of one call are evaluated in an order each compiler chooses), so
    // that every build sees the same field.
    const double peak = up(random), y = uy(random), x = ux(random);
    d.Star(x, y, peak);
  }
  const BrightnessRaster raster = d.Raster(20.0, 2.0, 5);
  const MarkingFrame frame{raster, 15};
  AutoDetectOptions options;
  options.starCount = 12;
  std::vector<StarMark> automatic;
  LogFile log;
  const AutoStarMarking result = AutoMarkStars(frame, automatic, log, options);
  ASSERT_EQ(result.marked, 12);
  ASSERT_EQ(automatic.size(), 12u);

  std::vector<StarMark> clicked;
  LogFile clickLog;
  for (std::size_t i = 0; i < automatic.size(); ++i) {
    const StarDetection found = DetectStar(frame, clicked, clickLog, static_cast<int>(std::lround(automatic[i].x)),
                                           static_cast<int>(std::lround(automatic[i].y)), true);
    ASSERT_TRUE(found.marked);
    EXPECT_NEAR(clicked[i].x, automatic[i].x, 0.15);
    EXPECT_NEAR(clicked[i].y, automatic[i].y, 0.15);
    EXPECT_EQ(clicked[i].size, automatic[i].size);
  }
  for (std::size_t i = 0; i < automatic.size(); ++i)
    for (std::size_t j = i + 1; j < automatic.size(); ++j)
      EXPECT_GT(std::hypot(automatic[i].x - automatic[j].x, automatic[i].y - automatic[j].y), 5.0);
}

// The frames of a camera that moved during the exposure: 24 stars drawn out into trails of one direction
// and length (2 to 60 pixels, 12 to 40 noise widths per pixel) and a satellite streak across them in
// another direction. Automatic marking puts every mark within 0.3 pixel of a trail's middle, gives it the trail's extent, and takes nothing
// from the streak, which it is not told about; a click near one end of a trail marks the same middle.
TEST(AutoDetect, TrailedStarsMarkedAtTheirMiddlesAndTheStreakLeftOut) {
  const double angle = 25.0 * Pi / 180.0;
  for (const double length : {2.0, 8.0, 25.0, 60.0}) {
    Drawing d(900, 700);
    d.Streak(60.0, 640.0, 860.0, 590.0, 40.0);
    std::mt19937 random(static_cast<unsigned>(length) + 3);
    std::uniform_real_distribution<double> ux(80, 820), uy(60, 540), up(35, 120);
    std::vector<std::pair<double, double>> middles;
    const double dx = length * std::cos(angle), dy = length * std::sin(angle);
    while (middles.size() < 24) {
      const double peak = up(random), y = uy(random), x = ux(random);
      bool apart = true;
      for (const auto& [mx, my] : middles) apart = apart && std::hypot(mx - x, my - y) > length + 25.0;
      if (!apart) continue;
      middles.emplace_back(x, y);
      d.Streak(x - dx / 2, y - dy / 2, x + dx / 2, y + dy / 2, peak);
    }
    const BrightnessRaster raster = d.Raster(40.0, 3.0, 21);
    // Trails long enough to pass for streaks are told apart from the satellite's by their shared shape: the
    // satellite's streak is listed, no single trail is (trails the noise joined end to end may still be).
    SilentTask task;
    const std::vector<StreakCandidate> streaks = FindStreaks(raster, EstimateBackground(raster), {}, task);
    const auto onSatellite = [](const StreakCandidate& k) {
      return std::fabs(k.y1 - (640.0 - (k.x1 - 60.0) / 16.0)) < 2.0 && std::fabs(k.y2 - (640.0 - (k.x2 - 60.0) / 16.0)) < 2.0;
    };
    EXPECT_EQ(std::count_if(streaks.begin(), streaks.end(), onSatellite), 1) << length;
    for (const StreakCandidate& k : streaks)
      if (!onSatellite(k)) {
        EXPECT_GT(k.Length(), 1.5 * length) << length << ": " << StreakText(2, k);
      }
    const MarkingFrame frame{raster, 15};
    std::vector<StarMark> marks;
    LogFile log;
    const AutoStarMarking result = AutoMarkStars(frame, marks, log, AutoDetectOptions{});
    EXPECT_GE(result.marked, 20) << length;
    EXPECT_TRUE(result.shortage.empty()) << length;
    const auto nearestMiddle = [&](double x, double y) {
      double best = 1e9;
      for (const auto& [mx, my] : middles) best = std::min(best, std::hypot(mx - x, my - y));
      return best;
    };
    for (const StarMark& mark : marks) {
      // A 2-pixel trail is as round as a star and measured as one, with a round star's scatter.
      EXPECT_LT(nearestMiddle(mark.x, mark.y), length < 8.0 ? 0.6 : 0.3) << length << " at " << mark.x << ", " << mark.y;
      EXPECT_GT(std::fabs(mark.y - (640.0 - (mark.x - 60.0) / 16.0)), 10.0) << length;  // off the streak
      if (length >= 8.0) {
        // The extent either way round, within a quarter of the length and a few degrees.
        const double sign = mark.trailDx * dx + mark.trailDy * dy >= 0.0 ? 1.0 : -1.0;
        EXPECT_LT(std::hypot(sign * mark.trailDx - dx, sign * mark.trailDy - dy), 0.25 * length) << length;
      }
    }
    if (length < 8.0) continue;
    const StarTrailShape trail = FindFrameTrail(raster, EstimateBackground(raster));
    ASSERT_TRUE(trail.Found()) << length;
    const MarkingFrame trailed{raster, 15, &trail};
    std::vector<StarMark> clicked;
    for (std::size_t i = 0; i < 6; ++i) {
      const auto [mx, my] = middles[i];
      if (mx < 100 || my < 100 || mx > 800 || my > 500) continue;
      const StarDetection found = DetectStar(trailed, clicked, log, static_cast<int>(std::lround(mx + 0.35 * dx)),
                                             static_cast<int>(std::lround(my + 0.35 * dy)), true);
      ASSERT_TRUE(found.marked) << length;
      EXPECT_LT(std::hypot(found.sx - mx, found.sy - my), 0.3) << length;
    }
  }
}

// Round stars with a streak and a few close pairs make no trail: the marks carry no extent. When too few
// stars can be marked the marking says why on a line of its own: the elongated objects, or that nothing
// rose above the noise.
TEST(AutoDetect, RoundStarsMakeNoTrailAndAShortageIsExplained) {
  Drawing d(800, 500);
  std::mt19937 random(5);
  std::uniform_real_distribution<double> ux(40, 760), uy(40, 460), up(30, 150);
  for (int i = 0; i < 40; ++i) {
    const double peak = up(random), y = uy(random), x = ux(random);
    d.Star(x, y, peak);
    if (i % 10 == 0) d.Star(x + 4.0, y + 1.5 * (i / 10), peak);
  }
  d.Streak(100.0, 50.0, 700.0, 450.0, 40.0);
  const BrightnessRaster raster = d.Raster(30.0, 3.0, 9);
  EXPECT_FALSE(FindFrameTrail(raster, EstimateBackground(raster)).Found());
  std::vector<StarMark> marks;
  LogFile log;
  const AutoStarMarking round = AutoMarkStars({raster, 15}, marks, log, AutoDetectOptions{});
  EXPECT_EQ(round.marked, 30);
  for (const StarMark& mark : marks) EXPECT_EQ(std::hypot(mark.trailDx, mark.trailDy), 0.0);

  Drawing few(600, 400);
  for (int i = 0; i < 3; ++i) few.Streak(100.0 + 150 * i, 100.0, 130.0 + 150 * i, 120.0, 60.0);
  few.Star(300.0, 300.0, 80.0);
  const BrightnessRaster sparse = few.Raster(30.0, 3.0, 4);
  marks.clear();
  const AutoStarMarking shortage = AutoMarkStars({sparse, 15}, marks, log, AutoDetectOptions{});
  EXPECT_EQ(shortage.marked, 1);
  EXPECT_NE(shortage.shortage.find("вытянутых (треки звёзд?): 3"), std::string::npos) << shortage.shortage;

  const BrightnessRaster dark = Drawing(600, 400).Raster(30.0, 3.0, 4);
  marks.clear();
  EXPECT_EQ(AutoMarkStars({dark, 15}, marks, log, AutoDetectOptions{}).shortage.rfind("Над шумом не поднимается", 0),
            0u);
}

}  // namespace
