// End-to-end identification on frames drawn by the synthetic frame generator from the shipped catalogue:
// the brightest drawn stars are marked, identified through the same entry points the menu command uses,
// and the adopted plate and identities are compared with the generator's truth.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include "astrometry/asterism.h"
#include "astrometry/catalogue.h"
#include "astrometry/identify.h"
#include "framegen/framegen.h"
#include "image/detection.h"
#include "session/app_state.h"
#include "image/raster.h"
#include "test_paths.h"

using testing_support::ReadFile;
using testing_support::SourceDir;
using testing_support::TempDir;

namespace {

// The shipped catalogue and an asterism file built from it once for the whole suite.
class IdentifyFrames : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    catalogPath_ = (SourceDir() / "data" / "bin8.dat").string();
    asterismPath_ = (dir_->path() / "tri4t.dat").string();
    catalogue_ = new std::vector<CatalogueRecord>();
    ReadCatalogueRecords(catalogPath_, *catalogue_);
    SilentTask task;
    built_ = BuildAsterismFile(catalogPath_, asterismPath_, task);
  }
  static void TearDownTestSuite() {
    delete dir_;
    delete catalogue_;
  }
  void SetUp() override {
    ASSERT_GT(catalogue_->size(), 40000u) << "the shipped catalogue data/bin8.dat is missing";
    ASSERT_TRUE(built_);
  }

  // Marks up to count of the brightest drawn stars that lie well inside the frame and have no drawn
  // neighbour bright enough to disturb their centroid.
  static std::vector<RenderedStar> PickMarks(const SyntheticFrame& frame, std::size_t count) {
    std::vector<RenderedStar> picked;
    for (const RenderedStar& s : frame.stars) {
      if (picked.size() == count) break;
      if (s.x < 20 || s.y < 20 || s.x > frame.width - 20 || s.y > frame.height - 20) continue;
      bool crowded = false;
      for (const RenderedStar& o : frame.stars) {
        if (o.number != s.number && std::hypot(o.x - s.x, o.y - s.y) < 16.0 && o.magnitude < s.magnitude + 4.0f) {
          crowded = true;
        }
      }
      if (!crowded) picked.push_back(s);
    }
    return picked;
  }

  // The identification input for marks placed by the star detection at the drawn positions of the given
  // stars, as clicks of the star-marking mode would place them. Stars it does not find are left out.
  IdentificationInput MarkAndMakeInput(const FrameSpec& drawing, const SyntheticFrame& frame,
                                       std::vector<RenderedStar>& stars) const {
    FrameState state;
    AppState app;
    state.frameOpen = true;
    state.brightness = MakeBrightness(ToDecodedImage(frame));
    state.imageWidth = static_cast<std::int16_t>(frame.width);
    state.imageHeight = static_cast<std::int16_t>(frame.height);
    ApplyFrameSize(state, app.frameSizes);
    std::vector<RenderedStar> marked;
    for (const RenderedStar& s : stars) {
      const StarDetection d =
          DetectStar(MarkingOf(state), state.starMarks, app.logFile, static_cast<int>(std::lround(s.x)), static_cast<int>(std::lround(s.y)), true);
      if (d.marked) marked.push_back(s);
    }
    stars = marked;
    IdentificationInput in = MakeInput(drawing, {});
    in.marks = state.starMarks;
    return in;
  }

  IdentificationInput MakeInput(const FrameSpec& drawing, const std::vector<RenderedStar>& marks) const {
    IdentificationInput in;
    for (const RenderedStar& s : marks) {
      StarMark m;
      m.x = static_cast<float>(s.x);
      m.y = static_cast<float>(s.y);
      in.marks.push_back(m);
    }
    in.imageWidth = drawing.width;
    in.imageHeight = drawing.height;
    in.considerVisibility = false;
    in.catalogPath = catalogPath_;
    in.asterismPath = asterismPath_;
    in.appDir = work_.appDir();
    in.log = nullptr;
    return in;
  }

  // Checks an identification against the truth: success, identities of the truth, and every identified
  // star within 0.5 px of its drawn position under the adopted plate.
  void ExpectIdentified(const IdentificationResult& r, const std::vector<RenderedStar>& marks, int minIdentified) {
    ASSERT_TRUE(r.success) << (r.messages.empty() ? "" : r.messages[0]);
    ASSERT_EQ(r.catalogueNumbers.size(), marks.size());
    int identified = 0;
    for (std::size_t m = 0; m < marks.size(); ++m) {
      if (r.catalogueNumbers[m] == 0) continue;
      ++identified;
      EXPECT_EQ(r.catalogueNumbers[m], marks[m].number) << "mark " << m + 1;
      const CatalogueRecord& star = (*catalogue_)[marks[m].number - 1];
      const PixelPosition p =
          SkyToPixel(static_cast<double>(star.raOffset) + 3.14159265358979, star.dec, r.solution.working);
      ASSERT_TRUE(p.valid);
      EXPECT_NEAR(p.x, marks[m].x, 0.5) << "mark " << m + 1;
      EXPECT_NEAR(p.y, marks[m].y, 0.5) << "mark " << m + 1;
    }
    EXPECT_EQ(identified, r.solution.nid);
    EXPECT_GE(identified, minIdentified);
  }

  static TempDir* dir_;
  static std::string catalogPath_;
  static std::string asterismPath_;
  static std::vector<CatalogueRecord>* catalogue_;
  static bool built_;
  TempDir work_;
};

TempDir* IdentifyFrames::dir_ = nullptr;
std::string IdentifyFrames::catalogPath_;
std::string IdentifyFrames::asterismPath_;
std::vector<CatalogueRecord>* IdentifyFrames::catalogue_ = nullptr;
bool IdentifyFrames::built_ = false;

FrameSpec FrameDrawing(double ra, double dec, double scale, double rotation, bool mirrored, int width = 1200,
                       int height = 800) {
  FrameSpec drawing;
  drawing.width = width;
  drawing.height = height;
  drawing.centreRaDeg = ra;
  drawing.centreDecDeg = dec;
  drawing.scaleArcsec = scale;
  drawing.rotationDeg = rotation;
  drawing.mirrored = mirrored;
  drawing.referenceMagnitude = 6.0;  // 7th-magnitude stars still stand well above the noise
  return drawing;
}

}  // namespace

TEST_F(IdentifyFrames, BlindFieldsFromThirtyToSixtyDegrees) {
  struct Case {
    FrameSpec drawing;
    std::size_t marks;
  };
  const Case cases[] = {
      {FrameDrawing(84.0, 0.0, 90.0, 15.0, false), 15},      // 30 x 20 degrees, Orion
      {FrameDrawing(200.0, 45.0, 180.0, -70.0, false), 20},  // 60 x 40 degrees
      {FrameDrawing(130.0, -35.0, 135.0, 160.0, true), 12},  // 45 x 30 degrees, mirrored
      {FrameDrawing(1.5, 20.0, 120.0, 5.0, false), 15},      // across 0h
      {FrameDrawing(300.0, 83.0, 105.0, -30.0, false), 15},  // 35 x 23 degrees, the north pole inside the field
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.drawing.centreRaDeg);
    c.drawing.limitMagnitude = 6.5;  // what a wide-angle lens shows
    const SyntheticFrame frame = RenderFrame(*catalogue_, c.drawing);
    std::vector<RenderedStar> marks = PickMarks(frame, c.marks);
    const IdentificationInput in = MarkAndMakeInput(c.drawing, frame, marks);
    ASSERT_GE(marks.size(), 8u);
    SilentTask task;
    const IdentificationResult r = RunBlindIdentification(in, task);
    ExpectIdentified(r, marks, static_cast<int>(marks.size()) / 2);
    if (r.success) {
      EXPECT_TRUE(r.messages.empty());
      EXPECT_EQ(r.panel.mirrored, c.drawing.mirrored ? "Yes" : "No");
      EXPECT_NEAR(r.solution.mxArcsec, c.drawing.scaleArcsec, 0.02 * c.drawing.scaleArcsec);
    }
  }
}

TEST_F(IdentifyFrames, FourMarkedStarsOnAWideFieldAreNeverMisidentified) {
  // Four marks on a field of 1.5 to 2 arcminutes per pixel: the fourth mark landing on a bright star is
  // no longer proof enough against the thousands of catalogue triangles compared, so the blind run may
  // refuse; when it answers, the answer is right.
  for (double scale : {90.0, 120.0}) {
    SCOPED_TRACE(scale);
    FrameSpec drawing = FrameDrawing(84.0, 0.0, scale, 15.0, false);
    drawing.limitMagnitude = 6.5;
    const SyntheticFrame frame = RenderFrame(*catalogue_, drawing);
    std::vector<RenderedStar> marks = PickMarks(frame, 4);
    const IdentificationInput in = MarkAndMakeInput(drawing, frame, marks);
    ASSERT_EQ(marks.size(), 4u);
    SilentTask task;
    const IdentificationResult r = RunBlindIdentification(in, task);
    std::printf("%.0f\"/px, four marks: %s\n", scale, r.success ? "identified" : "refused");
    if (r.success) {
      ExpectIdentified(r, marks, 4);
    } else {
      // A refusal leaves nothing behind: the one message, no plate, no mark identified.
      EXPECT_EQ(r.messages, std::vector<std::string>{"Идентификация не произошла."});
      EXPECT_FALSE(r.solution.Solved());
      EXPECT_EQ(std::count(r.catalogueNumbers.begin(), r.catalogueNumbers.end(), 0), 4);
    }
  }
}

TEST_F(IdentifyFrames, FewerThanHalfIdentifiedIsReported) {
  // Blind mode extends only with stars brighter than 4.5 mag: seven bright marks among thirteen fainter
  // ones leave most marks unidentified, though the frame is calibrated correctly.
  FrameSpec drawing = FrameDrawing(84.0, 0.0, 90.0, 15.0, false);
  drawing.limitMagnitude = 6.5;
  const SyntheticFrame frame = RenderFrame(*catalogue_, drawing);
  std::vector<RenderedStar> marks;
  for (const RenderedStar& s : PickMarks(frame, 200)) {
    const bool bright = marks.size() < 7;
    if ((bright || s.magnitude > 4.8f) && marks.size() < 20) marks.push_back(s);
  }
  IdentificationInput in = MarkAndMakeInput(drawing, frame, marks);
  ASSERT_EQ(marks.size(), 20u);
  LogFile log;
  ASSERT_TRUE(log.Open((work_.path() / "log.txt").string()));
  in.log = &log;
  SilentTask task;
  const IdentificationResult r = RunBlindIdentification(in, task);
  log.Close();
  ExpectIdentified(r, marks, 7);
  // The log gives the marks identified, the chance estimate and the run time, one line each.
  const std::string logText = ReadFile(work_.path() / "log.txt");
  EXPECT_EQ(logText.rfind("Nid_id= " + std::to_string(r.solution.nid) + " \r\nChance_id= ", 0), 0u) << logText;
  EXPECT_NE(logText.find(" \r\nTime identif =  "), std::string::npos) << logText;
  EXPECT_LT(r.solution.nid, 10);
  EXPECT_EQ(r.messages,
            std::vector<std::string>{"Идентифицировано меньше половины звезд. Проверьте идентификацию визуально."});
  EXPECT_EQ(r.panel.stars, "20  Ид: " + std::to_string(r.solution.nid));
}

TEST_F(IdentifyFrames, KnownCentreFieldsFromTenToThirtyDegrees) {
  struct Case {
    FrameSpec drawing;
    double offRa, offDec, fov;
    std::size_t marks;
  };
  const Case cases[] = {
      {FrameDrawing(280.0, 30.0, 30.0, 25.0, false), 1.5, -1.0, 10.0, 12},     // 10 x 6.7 degrees
      {FrameDrawing(100.0, -20.0, 60.0, -120.0, false), -1.0, 1.2, 20.0, 15},  // 20 x 13 degrees
      {FrameDrawing(359.0, -10.0, 90.0, 80.0, true), 1.4, 1.4, 30.0, 15},      // 30 x 20, mirrored, across 0h
      {FrameDrawing(250.0, -82.0, 60.0, 0.0, false), 0.0, 2.0, 20.0, 15},      // 8 degrees from the south pole
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.drawing.centreRaDeg);
    const SyntheticFrame frame = RenderFrame(*catalogue_, c.drawing);
    std::vector<RenderedStar> marks = PickMarks(frame, c.marks);
    IdentificationInput in = MarkAndMakeInput(c.drawing, frame, marks);
    ASSERT_GE(marks.size(), 8u);
    in.raUserDeg = c.drawing.centreRaDeg + c.offRa;
    in.decUserDeg = c.drawing.centreDecDeg + c.offDec;
    in.fieldUserDeg = c.fov;
    LogFile log;
    ASSERT_TRUE(log.Open((work_.path() / "log.txt").string()));
    in.log = &log;
    SilentTask task;
    const IdentificationResult r = IdentifyStars(in, true, task);
    log.Close();
    ExpectIdentified(r, marks, static_cast<int>(marks.size()) / 2);
    EXPECT_NE(ReadFile(work_.path() / "log.txt").find(" \r\ntime identif =  "), std::string::npos);
  }
}

TEST_F(IdentifyFrames, RandomMarksAreNotIdentified) {
  const FrameSpec drawing = FrameDrawing(84.0, 0.0, 90.0, 0.0, false);
  for (unsigned seed = 1; seed <= 4; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> ux(30, 1170), uy(30, 770);
    std::vector<RenderedStar> marks;
    for (int i = 0; i < 15; ++i) marks.push_back({0, ux(rng), uy(rng), 0.0f, 0.0});
    IdentificationInput in = MakeInput(drawing, marks);
    in.raUserDeg = 84.0;
    in.fieldUserDeg = 30.0;
    SilentTask task;
    for (const bool knownCentre : {false, true}) {
      const IdentificationResult r = IdentifyStars(in, knownCentre, task);
      EXPECT_FALSE(r.success);
      ASSERT_EQ(r.messages.size(), 1u);
      EXPECT_EQ(r.messages[0], "Идентификация не произошла.");
      EXPECT_FALSE(r.solution.Solved());
      EXPECT_EQ(std::count(r.catalogueNumbers.begin(), r.catalogueNumbers.end(), 0), 15);
    }
  }
}
