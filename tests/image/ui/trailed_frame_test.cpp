// A real finder frame whose stars are short trails (the mount moved during the exposure): the automatic
// road marks them and identifies the frame over the whole sky, and clicks on the trails mark them too.
#include <gtest/gtest.h>

#include <cmath>

#include "astrometry/asterism.h"
#include "astrometry/pattern_index.h"
#include "astrometry/plate.h"
#include "frameinfo/frame_info.h"
#include "image/decode.h"
#include "session/auto_chain.h"
#include "sky/angles.h"
#include "test_paths.h"

namespace {

using testing_support::SharedDataDir;
using testing_support::SourceDir;
using testing_support::TempDir;

// The frame's independent solution: the sky at the image's middle (J2000, degrees).
constexpr double kTruthRa = 359.9388;
constexpr double kTruthDec = 11.7176;

TEST(TrailedFrame, FinderFrameIdentifiedBlindByTheAutomaticRoad) {
  const auto path = SharedDataDir() / "real" / "pifinder_7221cf4c" / "pifinder_7221cf4c.jpg";
  ORVIA_REQUIRE_SHARED_FILE(path);
  TempDir dir;
  AppState app;
  app.appDir = dir.appDir();
  app.catalogPath = (SourceDir() / "data" / "bin8.dat").string();
  app.asterismPath = (dir.path() / "tri4t.dat").string();
  SilentTask task;
  ASSERT_TRUE(BuildAsterismFile(app.catalogPath, app.asterismPath, task));
  ASSERT_TRUE(BuildPatternIndexFile(app.catalogPath, PatternIndexPathBeside(app.asterismPath), task));

  DecodedImage decoded;
  ASSERT_TRUE(DecodeFrameFile(path.string(), decoded));
  FrameState frame;
  PutDecodedFrame(std::move(decoded), app, frame);
  PanelEntries e;  // the time and site, no centre
  e.date = "20.11.2022";
  e.time = "02:31:31";
  e.exposure = "1";
  e.longitude = "118.49";
  e.west = true;
  e.latitude = "34.03";
  ASSERT_TRUE(CollectFrameInfo(e, true, frame.info).ok);
  const AutoChainResult result = RunAutoChain(app, frame, AutoChainOptions{}, task);
  ASSERT_TRUE(frame.plate.Solved()) << result.message << " / " << result.stars.shortage;
  EXPECT_GE(result.stars.marked, 8);
  EXPECT_TRUE(result.identifiedBlind);
  const SkyPosition middle = PixelToSky(256.5, 256.5, frame.plate.working);
  const double off = AngularSeparation(middle.ra, middle.dec, kTruthRa * Pi / 180.0, kTruthDec * Pi / 180.0);
  EXPECT_LT(off * 180.0 / Pi, 0.05);
  // The stars' trails run about 8 pixels nearly along the rows.
  for (const StarMark& mark : frame.starMarks) {
    EXPECT_NEAR(std::hypot(mark.trailDx, mark.trailDy), 8.0, 2.0);
    EXPECT_LT(std::fabs(mark.trailDy), 0.35 * std::fabs(mark.trailDx));
  }

  // Clicks two pixels off each automatic mark, along its trail, mark the same middles.
  const std::vector<StarMark> automatic = frame.starMarks;
  frame.starMarks.clear();
  FrameSession session(app, frame);
  for (const StarMark& mark : automatic) {
    const float along = 2.0f / std::hypot(mark.trailDx, mark.trailDy);
    const StarStep step = session.MarkStar(static_cast<int>(std::lround(mark.x + along * mark.trailDx)),
                                           static_cast<int>(std::lround(mark.y + along * mark.trailDy)));
    ASSERT_TRUE(step.Ok()) << mark.x << ", " << mark.y;
    EXPECT_LT(std::hypot(step.detection.sx - mark.x, step.detection.sy - mark.y), 0.3);
  }
}

}  // namespace
