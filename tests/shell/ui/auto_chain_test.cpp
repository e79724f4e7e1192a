// The automatic road on frames rendered by an independent program from real element sets: the streak
// finder against the renderer's true ends, and the whole chain from the opened frame with its
// circumstances to the candidate list, with no click.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "astrometry/asterism.h"
#include "image/auto_detect.h"
#include "image/decode.h"
#include "image/raster.h"
#include "satdb/satdb.h"
#include "shell/auto_chain.h"
#include "test_paths.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::SharedDataDir;
using testing_support::SourceDir;
using testing_support::TempDir;

namespace {

// The renderer's truth a test needs: the satellite, its end pixels and where the camera pointed.
struct StreakTruth {
  int norad = 0;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  double centreRa = 0, centreDec = 0, fieldWidth = 0;  // degrees
};

double JsonNumber(const std::string& text, const std::string& key, std::size_t from = 0) {
  const std::size_t at = text.find("\"" + key + "\":", from);
  if (at == std::string::npos) return NAN;
  return std::strtod(text.c_str() + at + key.size() + 3, nullptr);
}

StreakTruth ReadTruth(const std::string& name) {
  const std::string text = ReadFile(SharedDataDir() / "streaks" / name / (name + "_truth.json"));
  StreakTruth t;
  const std::size_t camera = text.find("\"camera\":");
  t.centreRa = JsonNumber(text, "center_ra_j2000_deg", camera);
  t.centreDec = JsonNumber(text, "center_dec_j2000_deg", camera);
  t.fieldWidth = std::strtod(text.c_str() + text.find('[', text.find("\"field_deg\":", camera)) + 1, nullptr);
  const std::size_t satellite = text.find("\"satellite\":");
  t.norad = static_cast<int>(JsonNumber(text, "norad", satellite));
  const std::size_t start = text.find("\"start\":", satellite), end = text.find("\"end\":", satellite);
  t.x1 = JsonNumber(text, "x", start);
  t.y1 = JsonNumber(text, "y", start);
  t.x2 = JsonNumber(text, "x", end);
  t.y2 = JsonNumber(text, "y", end);
  return t;
}

BrightnessRaster LoadRaster(const std::string& name) {
  DecodedImage decoded;
  EXPECT_TRUE(DecodeFrameFile((SharedDataDir() / "streaks" / name / (name + ".jpg")).string(), decoded));
  return MakeBrightness(decoded);
}

// Squared distances of a streak's ends from the true ends, whichever way round they pair better.
std::pair<double, double> EndErrors(const StreakCandidate& s, const StreakTruth& t) {
  const double a1 = std::hypot(s.x1 - t.x1, s.y1 - t.y1), a2 = std::hypot(s.x2 - t.x2, s.y2 - t.y2);
  const double b1 = std::hypot(s.x1 - t.x2, s.y1 - t.y2), b2 = std::hypot(s.x2 - t.x1, s.y2 - t.y1);
  return a1 * a1 + a2 * a2 <= b1 * b1 + b2 * b2 ? std::pair{a1, a2} : std::pair{b2, b1};
}

std::string CaseName(int number) {
  return "case_s0" + std::to_string(number);
}

// The streak finder on all eight frames: the satellite's streak is found first and its ends lie within
// 0.3 pixel rms of the truth over the frames.
TEST(AutoDetect, StreakEndsOnRenderedFramesWithinAThirdOfAPixel) {
  double sum2 = 0.0;
  int ends = 0;
  for (int number = 901; number <= 908; ++number) {
    const std::string name = CaseName(number);
    const StreakTruth truth = ReadTruth(name);
    const BrightnessRaster raster = LoadRaster(name);
    const SkyBackground sky = EstimateBackground(raster);
    SilentTask task;
    const std::vector<StreakCandidate> streaks = FindStreaks(raster, sky, AutoDetectOptions{}, task);
    ASSERT_FALSE(streaks.empty()) << name;
    const auto [e1, e2] = EndErrors(streaks.front(), truth);
    std::printf("%s: %zu streaks; first (%.2f, %.2f)-(%.2f, %.2f) width %.2f snr %.0f, ends off %.3f %.3f px\n",
                name.c_str(), streaks.size(), streaks[0].x1, streaks[0].y1, streaks[0].x2, streaks[0].y2,
                streaks[0].width, streaks[0].snr, e1, e2);
    EXPECT_LT(std::max(e1, e2), 1.0) << name;
    sum2 += e1 * e1 + e2 * e2;
    ends += 2;
  }
  const double rms = std::sqrt(sum2 / ends);
  std::printf("end rms over the eight frames: %.3f px\n", rms);
  EXPECT_LT(rms, 0.3);
}

}  // namespace
