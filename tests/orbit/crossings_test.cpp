// Every satellite over the frame against the truth files of the frames rendered by an independent program.

#include "orbit/crossings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/task_control.h"
#include "satdb/satdb.h"
#include "session/frame_session.h"
#include "sky/angles.h"
#include "test_paths.h"

namespace fs = std::filesystem;
using testing_support::SharedDataDir;
using testing_support::TempDir;

namespace {

// The frame's circumstances (from its information file) and a plate fitted to the truth's star list about
// the truth's own tangent point, where the gnomonic plate is exactly linear.
CrossingsInput FrameOf(const fs::path& caseDir, const nlohmann::json& truth, const std::string& appDir) {
  const std::string name = caseDir.filename().string();
  FrameState frame;
  ReadInfoIntoFrame(frame, (caseDir / (name + "_info.txt")).string());
  std::vector<FitStar> stars;
  std::ifstream csv(caseDir / (name + "_stars.csv"));
  std::string line;
  double hip, v, ra, dec, x, y;
  while (std::getline(csv, line))
    if (std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf,%lf", &hip, &v, &ra, &dec, &x, &y) == 6)
      stars.push_back({x, y, DegToRad(ra), DegToRad(dec)});
  const nlohmann::json& tan = truth["projection"]["j2000"];
  CrossingsInput input{appDir,
                       {},
                       truth["camera"]["width"],
                       truth["camera"]["height"],
                       CrossingWindow(frame.info),
                       frame.info.latitudeRad,
                       frame.info.longitudeRad,
                       0.0,
                       {}};
  EXPECT_TRUE(FitPlate(stars, DegToRad(tan["crval_deg"][0].get<double>()), DegToRad(tan["crval_deg"][1].get<double>()),
                       tan["crpix"][0].get<double>(), tan["crpix"][1].get<double>(), input.plate));
  return input;
}

}  // namespace

// All eight frames: every object of the truth's list (and the streak's own satellite) is found, with
// entry and exit pixels within 2 px and times within 0.1 s of the truth; sunlit or not as the truth
// says where it stays lit or dark all the way.
TEST(FrameCrossingsTest, EveryCrossingTheTruthNamesOnTheRenderedFrames) {
  ORVIA_REQUIRE_SHARED_FILE(SharedDataDir() / "streaks");
  ORVIA_REQUIRE_SHARED_FILE(SharedDataDir() / "tle" / "celestrak_active_2026-05-07_15347obj.txt");
  TempDir database;  // both public lists the renderer used
  fs::create_directories(database.path() / "TLE");
  SilentTask task;
  const fs::path tle = SharedDataDir() / "tle";
  ImportTleFiles({(tle / "celestrak_active_2026-05-07_15347obj.txt").string(),
                  (tle / "celestrak_visual_2026-05-07_148obj.txt").string()},
                 -1, database.appDir(), task);
  int named = 0;
  for (int number = 901; number <= 908; ++number) {
    const fs::path caseDir = SharedDataDir() / "streaks" / ("case_s0" + std::to_string(number));
    std::ifstream in(caseDir / ("case_s0" + std::to_string(number) + "_truth.json"));
    const nlohmann::json truth = nlohmann::json::parse(in);
    const CrossingsInput input = FrameOf(caseDir, truth, database.appDir());
    const CrossingsResult result = FrameCrossings(input, task);
    std::map<int, const FrameCrossing*> found;
    for (const FrameCrossing& c : result.crossings) found[c.catalogNumber] = &c;
    EXPECT_TRUE(found.count(truth["satellite"]["norad"].get<int>())) << number;
    for (const nlohmann::json& object : truth["other_satellites"]["list"]) {
      ++named;
      const int norad = object["norad"];
      ASSERT_TRUE(found.count(norad)) << number << ": " << norad << " missing";
      const FrameCrossing& c = *found[norad];
      const double stated = truth["time"]["stated_start_mjd"];
      EXPECT_NEAR((c.entry.mjd - stated) * 86400.0, object["t_enter_s"].get<double>(), 0.1) << number << ": " << norad;
      EXPECT_NEAR((c.exit.mjd - stated) * 86400.0, object["t_exit_s"].get<double>(), 0.1) << number << ": " << norad;
      EXPECT_LT(
          std::hypot(c.entry.x - object["enter_px"][0].get<double>(), c.entry.y - object["enter_px"][1].get<double>()),
          2.0)
          << number << ": " << CrossingText(c);
      EXPECT_LT(
          std::hypot(c.exit.x - object["exit_px"][0].get<double>(), c.exit.y - object["exit_px"][1].get<double>()), 2.0)
          << number << ": " << CrossingText(c);
      const nlohmann::json& shadow = object["shadow"];
      EXPECT_TRUE(shadow.size() > 1 || shadow[0] == "penumbra" || c.sunlit == (shadow[0] == "lit")) << norad;
    }
  }
  EXPECT_EQ(named, 1 + 1 + 8 + 46 + 5 + 4 + 5 + 62);
}
