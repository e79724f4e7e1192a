// Still-camera frames drawn by the frame generator from real element sets, through the session's steps with
// the stars given at their trails' middles, as a user clicks them, and through the automatic chain.

#include "session/fixed_camera.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/calendar.h"
#include "framegen/satellite_scene.h"
#include "image/auto_detect.h"
#include "satdb/satdb.h"
#include "session/auto_chain.h"
#include "session/frame_session.h"
#include "sky/angles.h"
#include "test_paths.h"

namespace {

using namespace testing_support;

const std::filesystem::path kTleList = "tle/celestrak_active_2026-05-07_15347obj.txt";

// The list's database and its satellites of 100 minutes a turn or slower (their streaks fit narrow fields).
struct Database {
  Database() {
    std::filesystem::create_directories(dir.path() / "TLE");
    SilentTask task;
    ImportTleFiles({(SharedDataDir() / kTleList).string()}, -1, dir.appDir(), task);
    for (const std::string& path : ListDatabaseFiles(dir.appDir())) {
      TleRecord tle;
      if (ReadBestSet(path, MjdFromDate(2026, 5, 8, 0.0), tle) && tle.meanMotion < 14.4) slow.push_back(tle);
    }
  }
  TempDir dir;
  std::vector<TleRecord> slow;
};

// The streak's middle, "/px, pixels, the scene's seed, and whether the automatic chain is tried as well (at
// 20"/px the generator's 21 px trails of stars to V 8 hardly rise above the noise).
struct FixedCase { double decDeg, scale; int width; std::uint32_t seed; bool automatic; };

class FixedCameraFrames : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedCameraFrames, EndsAtTheirInstantsAndTheSatelliteFirst) {
  ORVIA_REQUIRE_SHARED_FILE(SharedDataDir() / kTleList);
  static const Database db;
  const FixedCase c = GetParam();
  const SceneLimits limits{.minWidth = c.width, .maxWidth = c.width, .minScaleArcsec = c.scale,
                           .maxScaleArcsec = c.scale, .maxClockLag = 0.0, .fixedCamera = true, .exposure = 30.0,
                           .minDecDeg = c.decDeg - 5.0, .maxDecDeg = c.decDeg + 5.0};
  SatelliteScene scene;
  ASSERT_TRUE(MakeSatelliteScene(db.slow, limits, c.seed, scene));
  const std::string catalogue = (SourceDir() / "data" / "bin8.dat").string();
  SyntheticFrame drawn;
  ASSERT_TRUE(RenderFrameFromFile(catalogue, scene.drawing, drawn));
  AppState app;
  app.appDir = db.dir.appDir();
  app.catalogPath = catalogue;
  FrameState frame;
  FrameSession session(app, frame);
  session.Open(db.dir.appDir() + "fixed.bmp", ToDecodedImage(drawn));
  PanelEntries entries = SceneEntries(scene, true);
  std::stable_sort(drawn.stars.begin(), drawn.stars.end(),
                   [](const RenderedStar& a, const RenderedStar& b) { return a.magnitude < b.magnitude; });
  for (const RenderedStar& s : drawn.stars) {
    if (frame.starCount() == 30) break;
    if (std::min({s.x, s.y, drawn.width - s.x, drawn.height - s.y}) < 40) continue;
    session.MarkStarAt(static_cast<float>(s.x), static_cast<float>(s.y), 3);
    frame.starMarks.back().trailDx = static_cast<float>(s.trailDx);
    frame.starMarks.back().trailDy = static_cast<float>(s.trailDy);
  }
  SilentTask task;
  for (const bool fixed : {false, true}) {  // the trails suggest the switch until it is set
    entries.fixedCamera = fixed;
    ASSERT_TRUE(session.Circumstances(entries, true).Ok());
    const IdentifyStep identified = session.Identify(true, false, task);
    ASSERT_TRUE(identified.Ok());
    EXPECT_EQ(std::count(identified.messages.begin(), identified.messages.end(), kFixedCameraHintText), fixed ? 0 : 1);
  }

  // The streak's ends either way round, the trajectory puts the start first: each end at its true place.
  session.AutoStreak(AutoDetectOptions{}, task, {});
  ASSERT_TRUE(session.Measure(task).Ok());
  ASSERT_TRUE(session.Candidates(CandidateFilter{}, task).Ok());
  const CandidateRow& best = frame.satellites.candidates.rows.front();
  EXPECT_EQ(best.catalogNumber, scene.catalogNumber) << CandidateRowText(best);
  ASSERT_TRUE(session.Trajectory(scene.catalogNumber, 1.0).Ok());
  for (int k = 0; k < 2; ++k)
    EXPECT_LT(RadToDeg(Separation(frame.trackEnds[k + 1].Sky(), scene.ends[k])) * 3600.0, 36.0) << "end " << k + 1;
  ASSERT_FALSE(frame.satellites.marks.empty());
  const TrajectoryMark& first = frame.satellites.marks.front();
  EXPECT_LT(std::hypot(first.x - scene.drawing.streaks[0].x1, first.y - scene.drawing.streaks[0].y1), 1.5);

  if (!c.automatic) return;
  // The automatic chain on the same frame: the trails marked as stars, the streak told apart from them, the
  // same satellite and the same ends.
  FrameState chained;
  FrameSession chain(app, chained);
  chain.Open(db.dir.appDir() + "fixed_auto.bmp", ToDecodedImage(drawn));
  ASSERT_TRUE(chain.Circumstances(entries, true).Ok());
  AutoChainOptions options;
  options.knownCentre = true;
  const AutoChainResult result = RunAutoChain(app, chained, options, task);
  ASSERT_TRUE(result.success) << result.message << " " << result.stars.shortage;
  EXPECT_EQ(chained.satellites.candidates.rows.front().catalogNumber, scene.catalogNumber);
  for (int k = 0; k < 2; ++k)
    EXPECT_LT(RadToDeg(Separation(chained.trackEnds[k + 1].Sky(), scene.ends[k])) * 3600.0, 36.0) << "auto end " << k + 1;
}

INSTANTIATE_TEST_SUITE_P(Declinations, FixedCameraFrames,
                         ::testing::Values(FixedCase{-64.0, 45.0, 1800, 11, true}, FixedCase{60.0, 90.0, 1600, 12, true},
                                           FixedCase{20.0, 20.0, 2400, 14, false}));

TEST(FixedCameraTurn, SiderealRate) {  // 15.041" a second of UT (1.00273790935 turns a day)
  EXPECT_NEAR(RadToDeg(SiderealTurn(61000.0, 61000.0 + 30.0 / 86400.0)) * 3600.0, 451.232, 0.002);
}

}  // namespace
