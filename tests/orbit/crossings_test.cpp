// Every satellite over the frame, against the truth files of the frames rendered by an independent
// program: the plate is fitted to the truth's own star pixels, the database holds both public lists the
// renderer used, and every object the truth names as crossing the frame must be listed with its entry
// and exit within 2 pixels of the truth's.

#include "orbit/crossings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <map>
#include <string>
#include <vector>
#include <nlohmann/json.hpp>
#include <sstream>

#include "base/task_control.h"
#include "satdb/satdb.h"
#include "sky/angles.h"
#include "test_paths.h"

namespace fs = std::filesystem;
using testing_support::SharedDataDir;
using testing_support::TempDir;

namespace {

// The database of both public lists, imported once for the program.
struct Database {
  Database() {
    fs::create_directories(dir.path() / "TLE");
    const fs::path tle = SharedDataDir() / "tle";
    SilentTask task;
    ImportTleFiles({(tle / "celestrak_active_2026-05-07_15347obj.txt").string(),
                    (tle / "celestrak_visual_2026-05-07_148obj.txt").string()},
                   -1, dir.appDir(), task);
  }
  TempDir dir;
};

const Database& SharedDatabase() {
  static const Database database;
  return database;
}

// The frame's circumstances (as typed) and a plate fitted to the truth's star list.
CrossingsInput FrameOf(const fs::path& caseDir, const nlohmann::json& truth, const std::string& appDir) {
  const std::string name = caseDir.filename().string();
  // Date, start, UT error, exposure, longitude, latitude: the last word of each line, in this order.
  std::ifstream circumstances(caseDir / (name + "_circumstances.txt"));
  std::vector<std::string> v;
  for (std::string line; std::getline(circumstances, line);)
    if (!line.empty() && line[0] != '#') v.push_back(line.substr(line.rfind(' ') + 1));
  EXPECT_EQ(v.size(), 6u) << name;
  v.resize(6);
  PanelEntries e;
  e.date = v[0];
  e.time = v[1];
  e.utError = v[2];
  e.exposure = v[3];
  e.west = v[4].starts_with('-');
  e.south = v[5].starts_with('-');
  e.longitude = e.west ? v[4].substr(1) : v[4];
  e.latitude = e.south ? v[5].substr(1) : v[5];
  FrameInfo info;
  EXPECT_TRUE(CollectFrameInfo(e, true, info).ok) << name;

  std::vector<FitStar> stars;
  std::ifstream csv(caseDir / (name + "_stars.csv"));
  std::string line;
  std::getline(csv, line);  // header
  while (std::getline(csv, line)) {
    double hip, v0, ra, dec, x, y;
    char c;
    std::istringstream in(line);
    if (in >> hip >> c >> v0 >> c >> ra >> c >> dec >> c >> x >> c >> y)
      stars.push_back({x, y, DegToRad(ra), DegToRad(dec)});
  }
  CrossingsInput input;
  input.appDir = appDir;
  input.imageWidth = truth["camera"]["width"];
  input.imageHeight = truth["camera"]["height"];
  // About the truth's own tangent point the gnomonic plate is exactly linear.
  const nlohmann::json& tan = truth["projection"]["j2000"];
  EXPECT_TRUE(FitPlate(stars, DegToRad(tan["crval_deg"][0].get<double>()), DegToRad(tan["crval_deg"][1].get<double>()),
                       tan["crpix"][0].get<double>(), tan["crpix"][1].get<double>(), input.plate));
  input.window = CrossingWindow(info);
  input.latitudeRad = info.latitudeRad;
  input.longitudeRad = info.longitudeRad;
  return input;
}

}  // namespace

// All eight frames: every object of the truth's list (and the streak's own satellite) is found, with
// entry and exit pixels within 2 px and times within 0.1 s of the truth; sunlit or not as the truth
// says where it stays lit or dark all the way, at a range near the truth's.
TEST(FrameCrossingsTest, EveryCrossingTheTruthNamesOnTheRenderedFrames) {
  ORVIA_REQUIRE_SHARED_FILE(SharedDataDir() / "streaks");
  ORVIA_REQUIRE_SHARED_FILE(SharedDataDir() / "tle" / "celestrak_active_2026-05-07_15347obj.txt");
  const std::string appDir = SharedDatabase().dir.appDir();
  int named = 0;
  for (int number = 901; number <= 908; ++number) {
    const fs::path caseDir = SharedDataDir() / "streaks" / ("case_s0" + std::to_string(number));
    std::ifstream in(caseDir / ("case_s0" + std::to_string(number) + "_truth.json"));
    const nlohmann::json truth = nlohmann::json::parse(in);
    const CrossingsInput input = FrameOf(caseDir, truth, appDir);
    SilentTask task;
    const CrossingsResult result = FrameCrossings(input, task);
    std::map<int, const FrameCrossing*> found;
    for (const FrameCrossing& c : result.crossings) found[c.catalogNumber] = &c;
    EXPECT_TRUE(found.count(truth["satellite"]["norad"].get<int>())) << number;
    for (const nlohmann::json& object : truth["other_satellites"]["list"]) {
      ++named;
      const int norad = object["norad"];
      ASSERT_TRUE(found.count(norad)) << number << ": " << norad << " missing";
      const FrameCrossing& c = *found[norad];
      const double seconds = (c.entry.mjd - input.window.t0Mjd) * 86400.0;
      const double exitSeconds = (c.exit.mjd - input.window.t0Mjd) * 86400.0;
      const double stated = (truth["time"]["stated_start_mjd"].get<double>() - input.window.t0Mjd) * 86400.0;
      EXPECT_NEAR(seconds - stated, object["t_enter_s"].get<double>(), 0.1) << number << ": " << norad;
      EXPECT_NEAR(exitSeconds - stated, object["t_exit_s"].get<double>(), 0.1) << number << ": " << norad;
      EXPECT_LT(std::hypot(c.entry.x - object["enter_px"][0].get<double>(), c.entry.y - object["enter_px"][1].get<double>()), 2.0)
          << number << ": " << norad << " entry " << CrossingText(c);
      EXPECT_LT(std::hypot(c.exit.x - object["exit_px"][0].get<double>(), c.exit.y - object["exit_px"][1].get<double>()), 2.0)
          << number << ": " << norad << " exit " << CrossingText(c);
      const nlohmann::json& shadow = object["shadow"];
      if (shadow.size() == 1 && shadow[0] != "penumbra") {
        EXPECT_EQ(c.sunlit, shadow[0] == "lit") << number << ": " << norad;
      }
      EXPECT_NEAR(c.rangeKm, object["range_km"].get<double>(), 0.15 * object["range_km"].get<double>()) << norad;
    }
  }
  EXPECT_EQ(named, 1 + 1 + 8 + 46 + 5 + 4 + 5 + 62);
}

