#include "astrometry/overlay.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

#include "framegen/framegen.h"
#include "session/app_state.h"
#include "test_paths.h"

using testing_support::SourceDir;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

// The catalogue drawn over an open frame with a given catalogue file and colours.
CatalogueOverlay DrawOnFrame(const FrameState& frame, const CatalogueDisplayState& display, float depth,
                             const std::string& path, const MarkPalette& palette) {
  return DrawCatalogue(
      CatalogueFrame{true, frame.frameOpen, frame.plate, frame.imageWidth, frame.imageHeight, path, palette}, display,
      depth);
}

constexpr double kPi = 3.14159265358979;
constexpr double kDeg = kPi / 180.0;

CatalogueRecord Star(double raDeg, double decDeg, float mag) {
  return {static_cast<float>(raDeg * kDeg - kPi), static_cast<float>(decDeg * kDeg), mag};
}

// The plate solution that describes a generated frame: tangent point at the image centre, equal scales, the
// generator's rotation, and a skew of 180 degrees for a mirrored image.
PlateSolution TruthPlate(const FrameSpec& drawing) {
  PlateSolution plate;
  plate.ra0Deg = drawing.centreRaDeg;
  plate.dec0Deg = drawing.centreDecDeg;
  plate.mxArcsec = drawing.scaleArcsec;
  plate.myArcsec = drawing.scaleArcsec;
  plate.fDeg = drawing.rotationDeg;
  plate.gDeg = drawing.mirrored ? 180.0 : 0.0;
  plate.xo = drawing.width / 2.0;
  plate.yo = drawing.height / 2.0;
  DeriveWorkingForm(plate);
  return plate;
}

// An open frame calibrated with the truth plate of a generated frame.
FrameState CalibratedFrame(const FrameSpec& drawing) {
  FrameState frame;
  frame.frameOpen = true;
  frame.imageWidth = static_cast<std::int16_t>(drawing.width);
  frame.imageHeight = static_cast<std::int16_t>(drawing.height);
  frame.plate = TruthPlate(drawing);
  return frame;
}

bool Inside(double x, double y, const FrameSpec& drawing) {
  return x > 0 && x < drawing.width && y > 0 && y < drawing.height;
}

// Stars the generator drew strictly inside the frame and brighter than depth, in catalogue order.
std::vector<RenderedStar> ExpectedStars(const SyntheticFrame& frame, const FrameSpec& drawing, float depth) {
  std::vector<RenderedStar> out;
  for (const RenderedStar& s : frame.stars) {
    if (s.magnitude < depth && Inside(s.x, s.y, drawing)) out.push_back(s);
  }
  return out;
}

std::string ShippedCatalogue() {
  return (SourceDir() / "data" / "bin8.dat").string();
}

}  // namespace

// On frames drawn from the shipped catalogue, every star the generator put on the frame brighter than the depth
// gets a marker at its drawn position, in catalogue order, and nothing else does.
TEST(CatalogueOverlay, MarksTheGeneratedStarsWhereTheyWereDrawn) {
  FrameSpec plain;
  plain.centreRaDeg = 84.0;
  plain.centreDecDeg = -3.0;
  plain.scaleArcsec = 60.0;
  FrameSpec turned = plain;
  turned.width = 900;
  turned.height = 1100;
  turned.centreRaDeg = 250.0;
  turned.centreDecDeg = 42.0;
  turned.scaleArcsec = 45.0;
  turned.rotationDeg = 35.0;
  turned.mirrored = true;
  for (const FrameSpec& drawing : {plain, turned}) {
    SCOPED_TRACE(drawing.centreRaDeg);
    SyntheticFrame generated;
    ASSERT_TRUE(RenderFrameFromFile(ShippedCatalogue(), drawing, generated));
    FrameState frame = CalibratedFrame(drawing);
    const CatalogueDisplayState display{true, false, 6.5f};
    const CatalogueOverlay overlay = DrawOnFrame(frame, display, display.depth, ShippedCatalogue(), MarkPalette{});
    ASSERT_TRUE(overlay.drawn);
    const std::vector<RenderedStar> expected = ExpectedStars(generated, drawing, 6.5f);
    ASSERT_GT(expected.size(), 20u);
    ASSERT_EQ(overlay.markers.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const CatalogueMarker& m = overlay.markers[i];
      EXPECT_NEAR(m.x, expected[i].x, 0.5);
      EXPECT_NEAR(m.y, expected[i].y, 0.5);
      EXPECT_EQ(m.magnitude, expected[i].magnitude);
      EXPECT_TRUE(m.visible);
    }
    EXPECT_EQ(overlay.depthText, "6.5");
    EXPECT_TRUE(overlay.labels.empty());
  }
}

// A field of 111 x 83 degrees holds thousands of catalogue stars, and many within the search circle lie more
// than 90 degrees from the centre where the projection no longer applies: only the first 1000 stars on the
// frame in file order are marked, and none lands outside it.
TEST(CatalogueOverlay, WideFieldStopsAtAThousandMarkersAllOnTheFrame) {
  FrameSpec drawing;
  drawing.width = 2000;
  drawing.height = 1500;
  drawing.centreRaDeg = 100.0;
  drawing.centreDecDeg = 20.0;
  drawing.scaleArcsec = 200.0;
  drawing.noiseSigma = 0.0;
  SyntheticFrame generated;
  ASSERT_TRUE(RenderFrameFromFile(ShippedCatalogue(), drawing, generated));
  FrameState frame = CalibratedFrame(drawing);
  const CatalogueDisplayState display{true, true, 8.0f};
  const CatalogueOverlay overlay = DrawOnFrame(frame, display, display.depth, ShippedCatalogue(), MarkPalette{});
  const std::vector<RenderedStar> expected = ExpectedStars(generated, drawing, 8.0f);
  ASSERT_GT(expected.size(), kMaxCatalogueMarkers);
  ASSERT_EQ(overlay.markers.size(), kMaxCatalogueMarkers);
  ASSERT_EQ(overlay.labels.size(), kMaxCatalogueMarkers);
  for (std::size_t i = 0; i < overlay.markers.size(); ++i) {
    const CatalogueMarker& m = overlay.markers[i];
    ASSERT_TRUE(Inside(m.x, m.y, drawing)) << i;
    EXPECT_NEAR(m.x, expected[i].x, 0.5) << i;
    EXPECT_NEAR(m.y, expected[i].y, 0.5) << i;
  }
}

// Marker sizes from magnitude and display scale (rounded half to even, at least 1), screen rectangles and labels,
// the exclusive depth, colours from the palette, and records that cannot be placed.
TEST(CatalogueOverlay, SizesPositionsLabelsAndTheDepthBoundary) {
  FrameSpec drawing;
  drawing.width = 1000;
  drawing.height = 800;
  drawing.centreRaDeg = 120.0;
  drawing.centreDecDeg = 30.0;
  drawing.scaleArcsec = 36.0;  // 100 pixels per degree
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<CatalogueRecord> records = {
      Star(120.5, 30.5, 7.9f),  Star(119.5, 29.8, 0.0f), Star(120.2, 29.6, 5.0f), Star(119.8, 30.2, 3.0f),
      Star(120.0, 30.0, 4.0f),  Star(126.0, 30.0, 1.0f),  // inside the search circle, off the frame
      Star(300.0, -30.0, 1.0f),                           // the far side of the sky
      Star(120.1, 30.1, nan),                             // unreadable magnitude
  };
  records.push_back({static_cast<float>(120.3 * kDeg - kPi), nan, 1.0f});  // unreadable declination
  TempDir dir;
  const std::string path = (dir.path() / "bin8.dat").string();
  WriteFile(path, EncodeCatalogue(records));
  MarkPalette palette;
  palette.catalogueStar = {1, 2, 3};
  palette.catalogueAux = {4, 5, 6};

  FrameState frame = CalibratedFrame(drawing);
  CatalogueOverlay overlay = DrawOnFrame(frame, {false, false, 8.0f}, 8.0f, path, palette);
  ASSERT_EQ(overlay.markers.size(), 5u);
  for (std::size_t i = 0; i < 5; ++i) {
    const CatalogueMarker& m = overlay.markers[i];
    double x = 0, y = 0;
    ASSERT_TRUE(ProjectToFrame(drawing, (records[i].raOffset + kPi) / kDeg, records[i].dec / kDeg, x, y));
    EXPECT_NEAR(m.x, x, 0.01);
    EXPECT_NEAR(m.y, y, 0.01);
    EXPECT_FALSE(m.visible);  // with the overlay off the stars are only counted
    EXPECT_EQ(m.colour.r, 1);
  }

  // Shown, with the magnitudes beside the stars.
  overlay = DrawOnFrame(frame, {true, true, 8.0f}, 8.0f, path, palette);
  ASSERT_EQ(overlay.markers.size(), 5u);
  ASSERT_EQ(overlay.labels.size(), 5u);
  const char* texts[] = {"7.9", "0.0", "5.0", "3.0", "4.0"};
  for (std::size_t i = 0; i < 5; ++i) {
    const CatalogueMarker& m = overlay.markers[i];
    const MagnitudeLabel& l = overlay.labels[i];
    EXPECT_TRUE(m.visible);
    EXPECT_EQ(l.text, texts[i]);
    EXPECT_EQ(l.x, m.x);
    EXPECT_EQ(l.y, m.y);
    EXPECT_EQ(l.magnitude, m.magnitude);
    EXPECT_EQ(l.colour.b, 6);
  }

  // A star exactly at the depth is left out.
  overlay = DrawOnFrame(frame, {true, false, 4.0f}, 4.0f, path, palette);
  ASSERT_EQ(overlay.markers.size(), 2u);
  EXPECT_EQ(overlay.markers[0].magnitude, 0.0f);
  EXPECT_EQ(overlay.markers[1].magnitude, 3.0f);
  EXPECT_EQ(overlay.depthText, "4.0");

  // A missing catalogue draws nothing but still reports the depth; an uncalibrated frame is left alone.
  overlay = DrawOnFrame(frame, {true, false, 4.0f}, 4.0f, (dir.path() / "none.dat").string(), palette);
  EXPECT_TRUE(overlay.drawn);
  EXPECT_TRUE(overlay.markers.empty());
  EXPECT_EQ(overlay.depthText, "4.0");
  frame.plate.mxArcsec = 0.0;
  EXPECT_FALSE(DrawOnFrame(frame, {true, false, 4.0f}, 4.0f, path, palette).drawn);
}

// The search circle covers the whole of a frame much taller than it is wide, corners included.
TEST(CatalogueOverlay, ReachesTheCornersOfATallFrame) {
  FrameSpec drawing;
  drawing.width = 200;
  drawing.height = 1200;
  drawing.centreRaDeg = 120.0;
  drawing.centreDecDeg = 30.0;
  drawing.scaleArcsec = 36.0;
  const CatalogueRecord corner = Star(119.07, 24.2, 3.0f);
  double x = 0, y = 0;
  ASSERT_TRUE(ProjectToFrame(drawing, (corner.raOffset + kPi) / kDeg, corner.dec / kDeg, x, y));
  ASSERT_TRUE(Inside(x, y, drawing));
  ASSERT_GT(std::hypot(x - 100.0, y - 600.0), 2.0 * drawing.width);  // beyond the frame's width from the centre
  TempDir dir;
  const std::string path = (dir.path() / "bin8.dat").string();
  WriteFile(path, EncodeCatalogue({corner}));
  FrameState frame = CalibratedFrame(drawing);
  const CatalogueOverlay overlay = DrawOnFrame(frame, {true, false, 4.0f}, 4.0f, path, MarkPalette{});
  ASSERT_EQ(overlay.markers.size(), 1u);
  EXPECT_NEAR(overlay.markers[0].x, x, 0.01);
  EXPECT_NEAR(overlay.markers[0].y, y, 0.01);
}

// The loader keeps, in file order, the stars brighter than the depth within the radius, compared here with
// distances from the angle between unit vectors (atan2 of cross and dot products).
TEST(CatalogueOverlay, LoadsStarsByMagnitudeAndGreatCircleDistance) {
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> ra(0.0, 360.0), sinDec(-1.0, 1.0), mag(-1.0, 8.0);
  std::vector<CatalogueRecord> records;
  for (int i = 0; i < 3000; ++i) records.push_back(Star(ra(rng), std::asin(sinDec(rng)) / kDeg, float(mag(rng))));
  TempDir dir;
  const std::string path = (dir.path() / "bin8.dat").string();
  WriteFile(path, EncodeCatalogue(records));
  const double ra0 = 200.0 * kDeg, dec0 = -50.0 * kDeg, radiusDeg = 25.0;
  const std::vector<CatalogStar> kept = LoadCatalogueForDisplay(path, ra0, dec0, radiusDeg, 5.0f);
  std::vector<CatalogueRecord> expected;
  for (const CatalogueRecord& r : records) {
    const double a = r.raOffset + kPi, d = r.dec;
    const double ux = std::cos(d) * std::cos(a), uy = std::cos(d) * std::sin(a), uz = std::sin(d);
    const double vx = std::cos(dec0) * std::cos(ra0), vy = std::cos(dec0) * std::sin(ra0), vz = std::sin(dec0);
    const double cross = std::hypot(uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx);
    const double angleDeg = std::atan2(cross, ux * vx + uy * vy + uz * vz) / kDeg;
    if (r.magnitude < 5.0f && angleDeg < radiusDeg) expected.push_back(r);
  }
  ASSERT_GT(expected.size(), 30u);
  ASSERT_EQ(kept.size(), expected.size());
  for (std::size_t i = 0; i < kept.size(); ++i) {
    EXPECT_EQ(kept[i].magnitude, expected[i].magnitude);
    EXPECT_EQ(kept[i].dec, expected[i].dec);
    EXPECT_EQ(kept[i].ra, static_cast<float>(expected[i].raOffset + kPi));
  }
}

namespace {

// A calibrated frame of 1000 x 800 pixels at 100 pixels per degree around (120, 30) with seven catalogue stars
// on it: two brighter than the initial depth 4, three between 4 and 5.5, and two fainter than 7.
class CatalogueCommands : public ::testing::Test {
protected:
  void SetUp() override {
    spec_.width = 1000;
    spec_.height = 800;
    spec_.centreRaDeg = 120.0;
    spec_.centreDecDeg = 30.0;
    spec_.scaleArcsec = 36.0;
    app_.catalogueReady = true;
    app_.catalogPath = (dir_.path() / "bin8.dat").string();
    WriteFile(app_.catalogPath,
              EncodeCatalogue({Star(120.5, 30.5, 2.0f), Star(119.5, 29.8, 4.2f), Star(120.2, 29.6, 3.5f),
                               Star(119.8, 30.2, 4.8f), Star(121.0, 31.0, 5.3f), Star(119.2, 29.1, 7.2f),
                               Star(120.9, 29.2, 7.8f)}));
    frame_ = CalibratedFrame(spec_);
  }

  TempDir dir_;
  FrameSpec spec_;
  AppState app_;
  FrameState frame_;
  CatalogueDisplayState display_;
};

}  // namespace

TEST_F(CatalogueCommands, ShowingRaisesTheDepthOfANearlyEmptyFieldAndHidingKeepsIt) {
  CatalogueCommandResult r = ToggleCatalogueStars(CatalogueFrameOf(frame_, app_), display_);
  EXPECT_EQ(r.message, "");
  EXPECT_FLOAT_EQ(display_.depth, 5.5f);  // only two stars brighter than 4.0
  EXPECT_TRUE(display_.shown);
  EXPECT_TRUE(r.shownChecked);
  ASSERT_TRUE(r.overlay.drawn);
  EXPECT_EQ(r.overlay.markers.size(), 5u);
  EXPECT_TRUE(r.overlay.markers[0].visible);
  EXPECT_EQ(r.overlay.depthText, "5.5");

  r = ToggleCatalogueStars(CatalogueFrameOf(frame_, app_), display_);
  EXPECT_TRUE(r.removeMarkers);
  EXPECT_FALSE(r.removeLabels);
  EXPECT_FALSE(r.overlay.drawn);
  EXPECT_FALSE(display_.shown);
  EXPECT_FALSE(r.shownChecked);
  EXPECT_FLOAT_EQ(display_.depth, 5.5f);

  // Five stars are enough: the depth stays.
  r = ToggleCatalogueStars(CatalogueFrameOf(frame_, app_), display_);
  EXPECT_FLOAT_EQ(display_.depth, 5.5f);
  EXPECT_EQ(r.overlay.markers.size(), 5u);

  // A sparse field near the limit is deepened only up to 8.
  display_ = {false, false, 7.0f};
  WriteFile(app_.catalogPath, EncodeCatalogue({Star(120.5, 30.5, 2.0f), Star(119.5, 29.8, 7.5f)}));
  r = ToggleCatalogueStars(CatalogueFrameOf(frame_, app_), display_);
  EXPECT_FLOAT_EQ(display_.depth, 8.0f);
  EXPECT_EQ(r.overlay.markers.size(), 2u);
  EXPECT_EQ(r.overlay.depthText, "8.0");
}

TEST_F(CatalogueCommands, DepthStepsStopAtEightButHaveNoLowerLimit) {
  display_ = {true, false, 7.5f};
  CatalogueCommandResult r = IncreaseCatalogueDepth(CatalogueFrameOf(frame_, app_), display_);
  EXPECT_EQ(r.message, "");
  EXPECT_FLOAT_EQ(display_.depth, 8.0f);
  EXPECT_EQ(r.overlay.markers.size(), 7u);
  r = IncreaseCatalogueDepth(CatalogueFrameOf(frame_, app_), display_);
  EXPECT_EQ(r.message, "Предел каталога 8 mag");
  EXPECT_FLOAT_EQ(display_.depth, 8.0f);
  EXPECT_FALSE(r.overlay.drawn);

  r = DecreaseCatalogueDepth(CatalogueFrameOf(frame_, app_), display_);
  EXPECT_FLOAT_EQ(display_.depth, 7.5f);
  EXPECT_EQ(r.overlay.markers.size(), 6u);

  display_.depth = 0.5f;
  r = DecreaseCatalogueDepth(CatalogueFrameOf(frame_, app_), display_);
  EXPECT_TRUE(r.overlay.drawn);
  EXPECT_TRUE(r.overlay.markers.empty());
  EXPECT_EQ(r.overlay.depthText, "0.0");
  r = DecreaseCatalogueDepth(CatalogueFrameOf(frame_, app_), display_);
  EXPECT_FLOAT_EQ(display_.depth, -0.5f);
  EXPECT_EQ(r.overlay.depthText, "-0.5");

  // While the overlay is hidden both steps do nothing at all.
  display_ = {false, false, 5.0f};
  for (auto* command : {&IncreaseCatalogueDepth, &DecreaseCatalogueDepth}) {
    r = command(CatalogueFrameOf(frame_, app_), display_);
    EXPECT_EQ(r.message, "");
    EXPECT_FALSE(r.overlay.drawn);
    EXPECT_FLOAT_EQ(display_.depth, 5.0f);
  }
}

TEST_F(CatalogueCommands, MagnitudeLabelsFollowTheirToggleAndIdentificationResetsTheDepth) {
  display_ = {true, false, 6.0f};
  CatalogueCommandResult r = ToggleMagnitudeLabels(CatalogueFrameOf(frame_, app_), display_);
  EXPECT_TRUE(r.magnitudesChecked);
  EXPECT_TRUE(r.shownChecked);
  ASSERT_EQ(r.overlay.markers.size(), 5u);
  ASSERT_EQ(r.overlay.labels.size(), 5u);
  EXPECT_EQ(r.overlay.labels[2].text, "3.5");
  r = ToggleMagnitudeLabels(CatalogueFrameOf(frame_, app_), display_);
  EXPECT_TRUE(r.removeLabels);
  EXPECT_FALSE(r.removeMarkers);
  EXPECT_FALSE(r.overlay.drawn);
  EXPECT_FALSE(display_.magnitudes);

  display_ = {false, true, 6.0f};
  r = ShowCatalogueAfterIdentification(CatalogueFrameOf(frame_, app_), display_);
  EXPECT_FLOAT_EQ(display_.depth, 4.0f);
  EXPECT_TRUE(display_.shown);
  EXPECT_TRUE(r.shownChecked);
  EXPECT_EQ(r.overlay.markers.size(), 2u);
  EXPECT_EQ(r.overlay.labels.size(), 2u);
}

TEST_F(CatalogueCommands, RefusalsBeforeAnythingChanges) {
  using Command = CatalogueCommandResult (*)(const CatalogueFrame&, CatalogueDisplayState&);
  const Command all[] = {&ToggleCatalogueStars, &ToggleMagnitudeLabels, &DecreaseCatalogueDepth,
                         &IncreaseCatalogueDepth};
  const CatalogueDisplayState before{true, false, 5.0f};
  // While a long task runs every command is silent.
  app_.catalogueReady = false;
  for (Command command : all) {
    display_ = before;
    const CatalogueCommandResult r = command(CatalogueFrameOf(frame_, app_), display_);
    EXPECT_EQ(r.message, "");
    EXPECT_FALSE(r.removeMarkers || r.removeLabels || r.overlay.drawn);
    EXPECT_TRUE(display_.shown);
    EXPECT_FLOAT_EQ(display_.depth, 5.0f);
  }
  app_.catalogueReady = true;
  frame_.plate = PlateSolution{};
  const char* expected[] = {"Звезды кадра не идентифицированы.", "Звезды кадра не идентифицированы.",
                            "Звезды кадра не идентифицированы.", "Звезды кадра не идентифицированы."};
  for (int noFrame = 0; noFrame < 2; ++noFrame) {
    frame_.frameOpen = noFrame == 0;
    for (int i = 0; i < 4; ++i) {
      display_ = before;
      const CatalogueCommandResult r = all[i](CatalogueFrameOf(frame_, app_), display_);
      // Without a frame the two toggles say so; the depth steps only ask for a calibration.
      EXPECT_EQ(r.message, noFrame && i < 2 ? "Кадр не открыт." : expected[i]) << i;
      EXPECT_FALSE(r.removeMarkers || r.removeLabels || r.overlay.drawn);
      EXPECT_TRUE(display_.shown);
      EXPECT_FALSE(display_.magnitudes);
      EXPECT_FLOAT_EQ(display_.depth, 5.0f);
    }
  }
}
