// Frames of a camera that stood still on its tripod, drawn by the frame generator from real element sets:
// the stars are trails, the streak's ends lie where the still camera saw the satellite at the exposure's
// start and end. Through the session's steps as a user clicks them: the ends come out at the satellite's
// true places at their instants, the satellite heads the candidate list and its drawn path starts at the
// streak's start; the trails alone make the identification suggest the fixed camera.

#include "session/fixed_camera.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "astrometry/catalogue.h"
#include "base/calendar.h"
#include "framegen/framegen.h"
#include "framegen/satellite_scene.h"
#include "image/auto_detect.h"
#include "satdb/satdb.h"
#include "session/frame_session.h"
#include "sky/angles.h"
#include "test_paths.h"

namespace {

using testing_support::SharedDataDir;
using testing_support::SourceDir;
using testing_support::TempDir;

const std::filesystem::path kTleList = "tle/celestrak_active_2026-05-07_15347obj.txt";

// The database of the public list and its element sets slower than 100 minutes a turn (so that a 30-second
// streak fits into a narrow field), made once.
struct Database {
  Database() {
    std::filesystem::create_directories(dir.path() / "TLE");
    SilentTask task;
    ImportTleFiles({(SharedDataDir() / kTleList).string()}, -1, dir.appDir(), task);
    for (const std::string& path : ListDatabaseFiles(dir.appDir())) {
      TleRecord record;
      if (ReadBestSet(path, MjdFromDate(2026, 5, 8, 0.0), record) && record.meanMotion < 1440.0 / 100.0)
        slow.push_back(record);
    }
    ReadCatalogueRecords((SourceDir() / "data" / "bin8.dat").string(), stars);
  }
  TempDir dir;
  std::vector<TleRecord> slow;
  std::vector<CatalogueRecord> stars;
};

const Database& Shared() {
  static const Database database;
  return database;
}

struct FixedCase {
  double decDeg;      // the streak's middle within 5 degrees of it
  double scale;       // arcseconds per pixel
  int width;          // pixels
  std::uint32_t seed;
};

void PrintTo(const FixedCase& c, std::ostream* out) {
  *out << "dec " << c.decDeg << " scale " << c.scale;
}

class FixedCameraFrames : public ::testing::TestWithParam<FixedCase> {};

// Marks the brightest drawn stars well inside the frame at their trails' middles, with their trails.
void MarkBrightStars(FrameSession& session, const SyntheticFrame& drawn) {
  std::vector<RenderedStar> stars = drawn.stars;
  std::stable_sort(stars.begin(), stars.end(),
                   [](const RenderedStar& a, const RenderedStar& b) { return a.magnitude < b.magnitude; });
  for (const RenderedStar& s : stars) {
    if (session.Frame().starCount() >= 30) break;
    if (s.x < 40 || s.y < 40 || s.x > drawn.width - 40 || s.y > drawn.height - 40) continue;
    session.MarkStarAt(static_cast<float>(s.x), static_cast<float>(s.y), 3);
    session.Frame().starMarks.back().trailDx = static_cast<float>(s.trailDx);
    session.Frame().starMarks.back().trailDy = static_cast<float>(s.trailDy);
  }
}

bool HasHint(const IdentifyStep& step) {
  return std::find(step.messages.begin(), step.messages.end(), kFixedCameraHintText) != step.messages.end();
}

TEST_P(FixedCameraFrames, EndsAtTheirInstantsAndTheSatelliteFirst) {
  ORVIA_REQUIRE_SHARED_FILE(SharedDataDir() / kTleList);
  const FixedCase c = GetParam();
  SceneLimits limits;
  limits.fixedCamera = true;
  limits.exposure = 30.0;
  limits.minScaleArcsec = limits.maxScaleArcsec = c.scale;
  limits.minWidth = limits.maxWidth = c.width;
  limits.minDecDeg = c.decDeg - 5.0;
  limits.maxDecDeg = c.decDeg + 5.0;
  limits.maxClockLag = 0.0;
  SatelliteScene scene;
  ASSERT_TRUE(MakeSatelliteScene(Shared().slow, limits, c.seed, scene));
  const SyntheticFrame drawn = RenderFrame(Shared().stars, scene.drawing);

  AppState app;
  app.appDir = Shared().dir.appDir();
  app.catalogPath = (SourceDir() / "data" / "bin8.dat").string();
  FrameState frame;
  FrameSession session(app, frame);
  TempDir images;
  session.Open((images.path() / "fixed.bmp").string(), ToDecodedImage(drawn));
  PanelEntries entries = SceneEntries(scene, true);
  ASSERT_TRUE(session.Circumstances(entries, true).Ok());
  MarkBrightStars(session, drawn);
  SilentTask task;

  // Not marked fixed: the trails give the hint, and the plate is the sky at the middle all the same.
  IdentifyStep identified = session.Identify(true, false, task);
  ASSERT_TRUE(identified.Ok()) << (identified.messages.empty() ? "" : identified.messages.front());
  EXPECT_TRUE(HasHint(identified));
  entries.fixedCamera = true;
  ASSERT_TRUE(session.Circumstances(entries, true).Ok());
  identified = session.Identify(true, false, task);
  ASSERT_TRUE(identified.Ok());
  EXPECT_FALSE(HasHint(identified));

  // The streak's ends as the automatic search finds them, either way round; measured, searched for.
  session.AutoStreak(AutoDetectOptions{}, task, {});
  ASSERT_EQ(frame.trackEnds.count, 2);
  const MeasureStep measured = session.Measure(task);
  ASSERT_TRUE(measured.Ok());
  ASSERT_TRUE(session.Candidates(CandidateFilter{}, task).Ok());
  const CandidateList& list = frame.satellites.candidates;
  ASSERT_FALSE(list.rows.empty());
  EXPECT_EQ(list.rows.front().catalogNumber, scene.catalogNumber) << CandidateRowText(list.rows.front());

  // The drawn path starts on the streak's start; end 1 becomes the start, each end at its own instant.
  const TrajectoryStep path = session.Trajectory(scene.catalogNumber, 1.0);
  ASSERT_TRUE(path.Ok());
  ASSERT_FALSE(frame.satellites.marks.empty());
  const FrameStreak& streak = scene.drawing.streaks.front();
  const double off1 = RadToDeg(Separation(frame.trackEnds[1].Sky(), scene.ends[0]));
  const double off2 = RadToDeg(Separation(frame.trackEnds[2].Sky(), scene.ends[1]));
  EXPECT_LT(std::max(off1, off2), 0.01);
  const TrajectoryMark& first = frame.satellites.marks.front();
  const double startOff = std::hypot(first.x - streak.x1, first.y - streak.y1);
  EXPECT_LT(startOff, 1.5);
  std::printf("dec %+.1f, %.0f\"/px, %zu stars, refined %d: ends off %.1f\" %.1f\", path start off %.2f px; %s\n",
              RadToDeg(scene.ends[0].decRad), c.scale, drawn.stars.size(), measured.measurement.refined,
              off1 * 3600.0, off2 * 3600.0, startOff, CandidateRowText(list.rows.front()).c_str());
}

INSTANTIATE_TEST_SUITE_P(Declinations, FixedCameraFrames,
                         ::testing::Values(FixedCase{-64.0, 45.0, 1800, 11}, FixedCase{60.0, 90.0, 1600, 12},
                                           FixedCase{20.0, 20.0, 2400, 14}));

// The sky turns 15.041" in a second of UT (1.00273790935 turns a day).
TEST(FixedCameraTurn, SiderealRate) {
  EXPECT_NEAR(SiderealTurn(61000.0, 61000.0 + 30.0 / 86400.0) * 180.0 / Pi * 3600.0, 451.232, 0.002);
}

}  // namespace
