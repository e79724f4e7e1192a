// Track measurement: the sexagesimal texts, the local plate fit with rejection, the re-measurement of
// catalogue stars around the track, and whole measurements on generated frames with known plates.
#include "astrometry/track.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "../image/star_field.h"
#include "astrometry/catalogue.h"
#include "base/calendar.h"
#include "base/numbers.h"
#include "framegen/framegen.h"
#include "image/raster.h"
#include "sky/angles.h"
#include "sky/site.h"
#include "session/app_state.h"
#include "test_paths.h"

namespace {

using testing_support::TempDir;

constexpr double kDeg = Pi / 180.0;
constexpr double kArcsec = kDeg / 3600.0;

// Reads "hh" "h " "mm" "m " "ss" "s" back into seconds of time.
double RaTextSeconds(const std::string& text) {
  return std::stoi(text.substr(0, 2)) * 3600.0 + std::stoi(text.substr(4, 2)) * 60.0 + std::stoi(text.substr(8, 2));
}

// Reads "sdd° mm' ss\"" back into signed arcseconds.
double DecTextArcsec(const std::string& text) {
  const std::size_t degreeSign = text.find("°");
  const double d = std::stoi(text.substr(1, degreeSign - 1));
  const std::size_t rest = degreeSign + std::string("°").size();
  const double m = std::stoi(text.substr(rest + 1, 2));
  const double s = std::stoi(text.substr(rest + 5, 2));
  return (text[0] == '-' ? -1.0 : 1.0) * (d * 3600.0 + m * 60.0 + s);
}

// A plate of scale arcsecPerPx, rotation fDeg, skew gDeg about (ra0Deg, dec0Deg) at pixel (xo, yo).
PlateConstants MakePlate(double ra0Deg, double dec0Deg, double arcsecPerPx, double fDeg, double gDeg, double xo,
                         double yo) {
  PlateConstants p;
  p.ra0 = ra0Deg * kDeg;
  p.dec0 = dec0Deg * kDeg;
  p.mx = p.my = arcsecPerPx * kArcsec;
  p.f = fDeg * kDeg;
  p.g = gDeg * kDeg;
  p.xo = xo;
  p.yo = yo;
  return p;
}

// A local star at pixel (x, y) whose catalogue position is where the plate puts that pixel.
LocalStar StarAt(const PlateConstants& plate, double x, double y) {
  const SkyPosition sky = PixelToSky(x, y, plate);
  const StandardCoordinates sc = SkyToStandard(sky.ra, sky.dec, plate.ra0, plate.dec0);
  return {x, y, sky.ra, sky.dec, sc.xi, sc.eta};
}

// Scattered pixel positions over a 1000 x 700 area.
std::vector<LocalStar> ScatteredStars(const PlateConstants& plate, int count, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> ux(50.0, 1050.0), uy(50.0, 750.0);
  std::vector<LocalStar> stars;
  for (int i = 0; i < count; ++i) stars.push_back(StarAt(plate, ux(rng), uy(rng)));
  return stars;
}

void ExpectSamePlate(const PlateConstants& a, const PlateConstants& b, double pixelTolerance) {
  EXPECT_NEAR(a.ra0, b.ra0, 1e-12);
  EXPECT_NEAR(a.dec0, b.dec0, 1e-12);
  EXPECT_NEAR(a.mx / b.mx, 1.0, 1e-6);
  EXPECT_NEAR(a.my / b.my, 1.0, 1e-6);
  EXPECT_NEAR(a.f, b.f, 1e-6);
  EXPECT_NEAR(a.g, b.g, 1e-6);
  EXPECT_NEAR(a.xo, b.xo, pixelTolerance);
  EXPECT_NEAR(a.yo, b.yo, pixelTolerance);
}

}  // namespace

// ---- Texts ----

TEST(TrackTexts, RightAscensionAndDeclinationInSexagesimalForm) {
  // 05h 34m 31.94s, +22° 00' 52.2": the seconds are truncated after rounding to the millisecond.
  EXPECT_EQ(FormatRaHms(83.633083), "05h 34m 31s");
  EXPECT_EQ(FormatDecDms(22.0145), "+22° 00' 52\"");
  EXPECT_EQ(FormatRaHms(0.0), "00h 00m 00s");
  EXPECT_EQ(FormatDecDms(0.0), "+00° 00' 00\"");
  EXPECT_EQ(FormatDecDms(-0.5), "-00° 30' 00\"");
  EXPECT_EQ(FormatDecDms(-89.5), "-89° 30' 00\"");
  // 0.0003 s of time below 24 h rounds to 60.000 s and carries through to 00h; 0.0024 s below does not.
  EXPECT_EQ(FormatRaHms(360.0 - 0.0003 * 15.0 / 3600.0), "00h 00m 00s");
  EXPECT_EQ(FormatRaHms(360.0 - 0.0024 * 15.0 / 3600.0), "23h 59m 59s");
  // The same carry inside the day: 01h 59m 59.9997s.
  EXPECT_EQ(FormatRaHms((2.0 - 0.0003 / 3600.0) * 15.0), "02h 00m 00s");
  EXPECT_EQ(FormatRaHms(std::nan("")), "");
  EXPECT_EQ(FormatDecDms(INFINITY), "");

  // Over many angles the text falls short of the value by less than a second (RA: at most the 0.5 ms
  // rounding above it), so no carry is lost or doubled.
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> raDist(0.0, 360.0), decDist(-90.0, 90.0);
  for (int i = 0; i < 5000; ++i) {
    const double ra = raDist(rng), dec = decDist(rng);
    const std::string raText = FormatRaHms(ra), decText = FormatDecDms(dec);
    ASSERT_EQ(raText.size(), 11u) << raText;
    double shortfall = ra / 15.0 * 3600.0 - RaTextSeconds(raText);
    if (shortfall > 43200.0) shortfall -= 86400.0;
    EXPECT_GE(shortfall, -0.0005 - 1e-9) << ra << " " << raText;
    EXPECT_LT(shortfall, 1.0) << ra << " " << raText;
    const double decShortfall = std::fabs(dec * 3600.0) - std::fabs(DecTextArcsec(decText));
    EXPECT_GE(decShortfall, -1e-6) << dec << " " << decText;
    EXPECT_LT(decShortfall, 1.0) << dec << " " << decText;
    EXPECT_EQ(decText[0], dec >= 0.0 ? '+' : '-');
  }
}

TEST(TrackTexts, LinesAreJoinedByCrLfAndAFlaggedLineStartsAfresh) {
  std::string text = "old";
  AppendMeasurementLine(text, "Середина трека: ", true);
  AppendMeasurementLine(text, "RA = 1.00", false);
  AppendMeasurementLine(text, " ", false);
  EXPECT_EQ(text, "Середина трека: \r\nRA = 1.00\r\n ");
}

// ---- Geometry ----

TEST(TrackGeometry, SeparationAgreesWithTheLawOfCosinesAndStaysExactWhenTiny) {
  EXPECT_NEAR(AngularSeparation(0.0, 0.0, Pi / 2.0, 0.0), Pi / 2.0, 1e-15);
  EXPECT_NEAR(AngularSeparation(1.0, Pi / 2.0, 4.0, 0.0), Pi / 2.0, 1e-14);
  EXPECT_NEAR(AngularSeparation(359.9 * kDeg, 0.0, 0.1 * kDeg, 0.0), 0.2 * kDeg, 1e-14);
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> ra(0.0, 2.0 * Pi), dec(-1.4, 1.4), step(-0.3, 0.3);
  for (int i = 0; i < 200; ++i) {
    const double r1 = ra(rng), d1 = dec(rng), r2 = r1 + step(rng), d2 = d1 + step(rng);
    const double cosines = std::acos(std::sin(d1) * std::sin(d2) + std::cos(d1) * std::cos(d2) * std::cos(r2 - r1));
    EXPECT_NEAR(AngularSeparation(r1, d1, r2, d2), cosines, 1e-9);
  }
  // One arcsecond in declination, and one along a parallel at 60 degrees (half an arcsecond of arc).
  EXPECT_NEAR(AngularSeparation(1.0, 0.3, 1.0, 0.3 + kArcsec) / kArcsec, 1.0, 1e-9);
  EXPECT_NEAR(AngularSeparation(1.0, 60.0 * kDeg, 1.0 + kArcsec, 60.0 * kDeg) / kArcsec, 0.5, 1e-6);
}

TEST(TrackGeometry, TrackLineThroughTheEndsOrAlongTheRowsForOneEnd) {
  // A 3-4-5 line: points 10 pixels off it along its normal.
  const TrackLine inclined = MakeTrackLine(100.0, 100.0, 400.0, 500.0, true);
  EXPECT_NEAR(DistanceFromLine(inclined, 250.0, 300.0), 0.0, 1e-12);
  EXPECT_NEAR(DistanceFromLine(inclined, 250.0 + 8.0, 300.0 - 6.0), 10.0, 1e-12);
  EXPECT_NEAR(DistanceFromLine(inclined, 100.0 - 8.0, 100.0 + 6.0), 10.0, 1e-12);
  // One end, or two ends on the same pixel: the row through the (first) end.
  for (const TrackLine& row :
       {MakeTrackLine(50.0, 80.0, 0.0, 0.0, false), MakeTrackLine(50.0, 80.0, 50.0, 80.0, true)}) {
    EXPECT_NEAR(DistanceFromLine(row, 500.0, 80.0), 0.0, 1e-12);
    EXPECT_NEAR(DistanceFromLine(row, 3.0, 70.1), 9.9, 1e-12);
    EXPECT_TRUE(std::isfinite(DistanceFromLine(row, 1.0, 1.0)));
  }
}

// ---- Local plate ----

TEST(LocalPlate, FitRecoversTheConstantsAboutTheGivenTangentPoint) {
  for (const double g : {0.0, 180.0}) {
    const PlateConstants truth = MakePlate(75.0, 30.0, 60.0, 30.0, g, 612.3, 401.7);
    const std::vector<LocalStar> stars = ScatteredStars(truth, 12, 11);
    PlateConstants local;
    ASSERT_TRUE(FitLocalPlate(stars, truth.ra0, truth.dec0, local)) << g;
    ExpectSamePlate(local, truth, 1e-6);
  }
  // About a tangent point a little away from the plate's: the fit keeps that point (no re-centring) and
  // still maps the stars' pixels onto their positions over a field of 3 x 2 degrees.
  const PlateConstants truth = MakePlate(75.0, 30.0, 10.0, -20.0, 0.0, 600.0, 400.0);
  std::vector<LocalStar> stars = ScatteredStars(truth, 12, 12);
  const double ra0 = 75.1 * kDeg, dec0 = 30.05 * kDeg;
  for (LocalStar& s : stars) {
    const StandardCoordinates sc = SkyToStandard(s.ra, s.dec, ra0, dec0);
    s.xi = sc.xi;
    s.eta = sc.eta;
  }
  PlateConstants local;
  ASSERT_TRUE(FitLocalPlate(stars, ra0, dec0, local));
  EXPECT_EQ(local.ra0, ra0);
  EXPECT_EQ(local.dec0, dec0);
  for (const LocalStar& s : stars) {
    const SkyPosition sky = PixelToSky(s.cx, s.cy, local);
    EXPECT_LT(AngularSeparation(sky.ra, sky.dec, s.ra, s.dec) / kArcsec, 0.5);  // gnomonic vs affine: tiny
  }
}

TEST(LocalPlate, DegenerateOrSkewedFitsFail) {
  const PlateConstants truth = MakePlate(75.0, 30.0, 60.0, 30.0, 0.0, 600.0, 400.0);
  PlateConstants local = MakePlate(1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0);
  const PlateConstants untouched = local;
  std::vector<LocalStar> line;
  for (int i = 0; i < 8; ++i) line.push_back(StarAt(truth, 100.0 + 50.0 * i, 200.0 + 20.0 * i));
  EXPECT_FALSE(FitLocalPlate(line, truth.ra0, truth.dec0, local));
  EXPECT_FALSE(FitLocalPlate(ScatteredStars(truth, 2, 1), truth.ra0, truth.dec0, local));
  // A sheared plate (skew 10 degrees) is refused, one of 4 degrees passes.
  EXPECT_FALSE(FitLocalPlate(ScatteredStars(MakePlate(75.0, 30.0, 60.0, 30.0, 10.0, 600.0, 400.0), 10, 2), truth.ra0,
                             truth.dec0, local));
  EXPECT_EQ(local.mx, untouched.mx);
  EXPECT_EQ(local.xo, untouched.xo);
  EXPECT_TRUE(FitLocalPlate(ScatteredStars(MakePlate(75.0, 30.0, 60.0, 30.0, 4.0, 600.0, 400.0), 10, 2), truth.ra0,
                            truth.dec0, local));
}

TEST(LocalPlate, RejectionDropsTheWorstStarAfterEachFit) {
  const PlateConstants truth = MakePlate(120.0, -40.0, 30.0, 75.0, 0.0, 500.0, 350.0);
  // Six stars, the second one measured 4 pixels off: one fit over all six, then the bad star goes and the
  // last star takes its place.
  std::vector<LocalStar> six;
  for (const auto& [x, y] : std::vector<std::pair<double, double>>{
           {100.0, 100.0}, {480.0, 330.0}, {900.0, 120.0}, {130.0, 600.0}, {880.0, 620.0}, {520.0, 90.0}})
    six.push_back(StarAt(truth, x, y));
  six[1].cx += 4.0;
  PlateConstants allSix;
  ASSERT_TRUE(FitLocalPlate(six, truth.ra0, truth.dec0, allSix));
  std::vector<LocalStar> stars = six;
  PlateConstants local;
  ASSERT_TRUE(FitWithRejection(stars, truth.ra0, truth.dec0, local));
  ASSERT_EQ(stars.size(), 5u);
  ExpectSamePlate(local, allSix, 1e-9);
  const std::vector<std::size_t> order = {0, 5, 2, 3, 4};
  for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(stars[i].cx, six[order[i]].cx) << i;

  // Twenty-five stars with three bad ones: ten rounds leave fifteen good stars, and the last fit, made
  // without the bad ones, is the true plate.
  stars = ScatteredStars(truth, 25, 22);
  stars[3].cy += 6.0;
  stars[10].cx -= 3.0;
  stars[17].cx += 2.0;
  const std::vector<LocalStar> bad = {stars[3], stars[10], stars[17]};
  ASSERT_TRUE(FitWithRejection(stars, truth.ra0, truth.dec0, local));
  EXPECT_EQ(stars.size(), 15u);
  for (const LocalStar& s : stars)
    for (const LocalStar& b : bad) EXPECT_FALSE(s.cx == b.cx && s.cy == b.cy);
  ExpectSamePlate(local, truth, 1e-4);

  // Five stars are too few for a fit.
  std::vector<LocalStar> five = ScatteredStars(truth, 5, 23);
  EXPECT_FALSE(FitWithRejection(five, truth.ra0, truth.dec0, local));
}

// ---- Catalogue stars re-measured around the track ----

namespace {

// A small frame of Gaussian stars drawn at chosen pixels, with the plate that names their sky positions.
struct StarPatch {
  FrameState frame;
  AppState app;
  PlateConstants plate;
  std::vector<ReferenceStar> catalogue;  // one per drawn star, in drawing order

  StarPatch(int width, int height, const PlateConstants& p) : plate(p) {
    frame.brightness = star_field::MakeSky(width, height, 30.0, 1.0, 5);
    frame.imageWidth = static_cast<std::int16_t>(width);
    frame.imageHeight = static_cast<std::int16_t>(height);
    ApplyFrameSize(frame, app.frameSizes);
    frame.plate.working = p;
    frame.plate.mxArcsec = frame.plate.myArcsec = 1.0;
  }
  // Draws a star at (x, y) and lists the sky position the plate gives that pixel.
  void AddStar(double x, double y, bool drawn = true) {
    if (drawn) star_field::AddStar(frame.brightness, x, y, 150.0, 1.3);
    const SkyPosition sky = PixelToSky(x, y, plate);
    catalogue.push_back({sky.ra, sky.dec, 5.0f, static_cast<std::int32_t>(catalogue.size() + 1)});
  }
};

}  // namespace

TEST(CollectLocalStars, KeepsTenPixelsFromTheEdgesAndFromTheTrackLine) {
  // The tangent point sits on pixel (10, 150), so the star there projects to exactly 10 pixels from the
  // left edge.
  StarPatch patch(400, 300, MakePlate(200.0, 10.0, 30.0, 15.0, 0.0, 10.0, 150.0));
  patch.AddStar(10.0, 150.0);         // on the edge limit: used
  patch.AddStar(9.9, 60.0);           // 9.9 pixels in: not used
  patch.AddStar(200.0, 290.1);        // 9.9 pixels from the bottom: not used
  patch.AddStar(120.0, 80.0, false);  // nothing on the image there: not used
  patch.AddStar(300.0, 100.0);
  const TrackLine farLine = MakeTrackLine(0.0, 1000.0, 100.0, 1000.0, true);
  std::vector<LocalStar> stars = CollectLocalStars(TrackFrameOf(patch.frame, patch.app), patch.catalogue, farLine);
  ASSERT_EQ(stars.size(), 2u);
  EXPECT_NEAR(stars[0].cx, 10.0, 0.2);
  EXPECT_NEAR(stars[0].cy, 150.0, 0.2);
  EXPECT_NEAR(stars[1].cx, 300.0, 0.2);
  EXPECT_NEAR(stars[1].ra, patch.catalogue[4].ra, 1e-15);
  const StandardCoordinates sc =
      SkyToStandard(patch.catalogue[4].ra, patch.catalogue[4].dec, patch.plate.ra0, patch.plate.dec0);
  EXPECT_EQ(stars[1].xi, sc.xi);
  EXPECT_EQ(stars[1].eta, sc.eta);

  // A row 10 pixels below the detected centroid keeps the star; 9.9 pixels drops it.
  const double cy = stars[1].cy;
  std::vector<ReferenceStar> one = {patch.catalogue[4]};
  EXPECT_EQ(CollectLocalStars(TrackFrameOf(patch.frame, patch.app), one,
                              MakeTrackLine(0.0, cy + 10.0, 100.0, cy + 10.0, true))
                .size(),
            1u);
  EXPECT_TRUE(
      CollectLocalStars(TrackFrameOf(patch.frame, patch.app), one, MakeTrackLine(0.0, cy + 9.9, 100.0, cy + 9.9, true))
          .empty());
  // Nothing was recorded as a star mark.
  EXPECT_TRUE(patch.frame.starMarks.empty());
}

TEST(CollectLocalStars, StopsAtTwentyFiveStarsInListOrder) {
  StarPatch patch(700, 500, MakePlate(30.0, 60.0, 40.0, 0.0, 0.0, 350.0, 250.0));
  for (int i = 0; i < 30; ++i) patch.AddStar(60.0 + 100.0 * (i % 6), 50.0 + 90.0 * (i / 6));
  const std::vector<LocalStar> stars = CollectLocalStars(TrackFrameOf(patch.frame, patch.app), patch.catalogue,
                                                         MakeTrackLine(0.0, 2000.0, 1.0, 2000.0, true));
  ASSERT_EQ(stars.size(), 25u);
  EXPECT_EQ(stars[24].ra, patch.catalogue[24].ra);
}

// ---- Whole measurements on generated frames ----

namespace {

// A frame drawn from the shipped catalogue with a satellite streak, its frame state with the truth plate
// as the frame's solution, and an application state pointing at the same catalogue.
struct TrackScene {
  FrameSpec drawing;
  SyntheticFrame image;
  FrameState frame;
  AppState app;
  PlateConstants truth;
  SilentTask task;

  explicit TrackScene(const FrameStreak& streak, double scaleArcsec = 60.0) {
    drawing.width = 1200;
    drawing.height = 800;
    drawing.centreRaDeg = 75.0;
    drawing.centreDecDeg = 30.0;
    drawing.scaleArcsec = scaleArcsec;
    drawing.rotationDeg = 20.0;
    drawing.referenceMagnitude = 5.0;
    drawing.referencePeak = 200.0;
    drawing.noiseSigma = 1.5;
    drawing.seed = 17;
    drawing.streaks.push_back(streak);
    app.catalogPath = (testing_support::SourceDir() / "data" / "bin8.dat").string();
    app.catalogueReady = true;
    loaded = RenderFrameFromFile(app.catalogPath, drawing, image);
    frame.frameOpen = true;
    frame.imageWidth = static_cast<std::int16_t>(drawing.width);
    frame.imageHeight = static_cast<std::int16_t>(drawing.height);
    frame.brightness = MakeBrightness(ToDecodedImage(image));
    ApplyFrameSize(frame, app.frameSizes);
    frame.info.considerVisibility = false;
    // The generator draws about the image centre with north turned by the rotation; in plate constants
    // that is scale Mx = My, rotation F, no skew.
    truth = MakePlate(drawing.centreRaDeg, drawing.centreDecDeg, scaleArcsec, drawing.rotationDeg, 0.0,
                      drawing.width / 2.0, drawing.height / 2.0);
    SetFromWorking(frame.plate, truth);
  }

  // The truth plate's sky position of a pixel.
  SkyPosition Truth(double x, double y) const { return PixelToSky(x, y, truth); }

  bool loaded = false;
};

// Distance in pixels (at the frame's scale) between an end's measured position and the truth plate's
// position of the same pixel.
double EndErrorPx(const TrackScene& scene, const TrackPoint& end) {
  const SkyPosition t = scene.Truth(end.x, end.y);
  return AngularSeparation(end.ra, end.dec, t.ra, t.dec) / (scene.drawing.scaleArcsec * kArcsec);
}

std::size_t CountLines(const TrackMeasurement& m, const std::string& start) {
  std::size_t n = 0;
  for (const std::string& line : m.lines) n += line.rfind(start, 0) == 0 ? 1 : 0;
  return n;
}

const FrameStreak kStreak{380.0, 320.0, 720.0, 470.0, 120.0, 1.2};

}  // namespace

TEST(MeasureTrackOnFrames, TheTruthPlateAgreesWithTheGenerator) {
  TrackScene scene(kStreak);
  ASSERT_TRUE(scene.loaded);
  ASSERT_GT(scene.image.stars.size(), 100u);
  std::vector<CatalogueRecord> records;
  ASSERT_TRUE(ReadCatalogueRecords(scene.app.catalogPath, records));
  for (std::size_t i = 0; i < scene.image.stars.size(); i += 10) {
    const RenderedStar& s = scene.image.stars[i];
    const CatalogueRecord& r = records[static_cast<std::size_t>(s.number) - 1];
    const PixelPosition p = SkyToPixel(static_cast<double>(r.raOffset) + Pi, r.dec, scene.truth);
    ASSERT_TRUE(p.valid);
    EXPECT_NEAR(p.x, s.x, 1e-3);
    EXPECT_NEAR(p.y, s.y, 1e-3);
  }
}

TEST(MeasureTrackOnFrames, AutomaticEndsMeasuredAndRefinedOnTheStarsAroundTheTrack) {
  TrackScene scene(kStreak);
  ASSERT_TRUE(scene.loaded);
  ASSERT_TRUE(DetectTrackEnd(MarkingOf(scene.frame), scene.frame.trackEnds, scene.app.logFile, 384, 323, true).found);
  ASSERT_TRUE(DetectTrackEnd(MarkingOf(scene.frame), scene.frame.trackEnds, scene.app.logFile, 716, 466, true).found);
  ASSERT_EQ(scene.frame.trackEnds.count, 2);
  TrackPoint& first = scene.frame.trackEnds[1];
  TrackPoint& second = scene.frame.trackEnds[2];
  // The streak's rounded caps reach a few pixels past its drawn ends above the detection threshold.
  EXPECT_NEAR(first.x, kStreak.x1, 6.0);
  EXPECT_NEAR(first.y, kStreak.y1, 6.0);
  EXPECT_NEAR(second.x, kStreak.x2, 6.0);
  EXPECT_NEAR(second.y, kStreak.y2, 6.0);
  EXPECT_EQ(TrackMeasurementRefusal(scene.frame.frameOpen, scene.frame.trackEnds, scene.frame.plate), "");

  std::vector<std::pair<std::string, bool>> streamed;
  const TrackMeasurement m =
      MeasureTrack(TrackFrameOf(scene.frame, scene.app), scene.frame.trackEnds, scene.task,
                   [&](const std::string& line, bool replace) { streamed.emplace_back(line, replace); });
  ASSERT_TRUE(m.refined) << m.text;
  EXPECT_EQ(m.failureText, "");
  for (const TrackPoint* end : {&first, &second}) EXPECT_LT(EndErrorPx(scene, *end), 0.2);

  // The local solution stands on catalogue stars drawn near the track, away from the track line.
  ASSERT_GE(m.localMarks.size(), 5u);
  const TrackLine line = MakeTrackLine(first.x, first.y, second.x, second.y, true);
  const double lengthPx = std::hypot(second.x - first.x, second.y - first.y);
  for (const LocalReferenceMark& mark : m.localMarks) {
    double nearest = 1e9;
    for (const RenderedStar& s : scene.image.stars) nearest = std::min(nearest, std::hypot(s.x - mark.x, s.y - mark.y));
    EXPECT_LT(nearest, 1.0) << mark.x << " " << mark.y;
    EXPECT_GE(DistanceFromLine(line, mark.x, mark.y), 10.0);
    const double fromMiddle = std::hypot(mark.x - scene.frame.trackEnds[0].x, mark.y - scene.frame.trackEnds[0].y);
    EXPECT_LT(fromMiddle, 1.5 * 1.5 * lengthPx * 1.05);
  }

  // The text: middle, length against the truth, both ends, then the refinement.
  const SkyPosition t1 = scene.Truth(first.x, first.y), t2 = scene.Truth(second.x, second.y);
  const SkyPosition tm = scene.Truth((first.x + second.x) / 2.0, (first.y + second.y) / 2.0);
  ASSERT_GE(m.lines.size(), 12u);
  EXPECT_EQ(m.lines[0], "Середина трека: ");
  EXPECT_EQ(m.lines[1], "RA = " + FormatNumber(RadToDeg(tm.ra), "0.00"));
  EXPECT_EQ(m.lines[2], "DEC = " + FormatNumber(RadToDeg(tm.dec), "0.00"));
  EXPECT_EQ(
      m.lines[3],
      "Длина трека = " + FormatNumber(RadToDeg(AngularSeparation(t1.ra, t1.dec, t2.ra, t2.dec)), "0.00") + " град.");
  EXPECT_EQ(m.lines[4].rfind("X=" + FormatNumber(first.x, "0.0") + " Y=" + FormatNumber(first.y, "0.0") + " RA = ", 0),
            0u);
  EXPECT_EQ(m.lines[5], FormatRaHms(RadToDeg(first.ra)) + "  " + FormatDecDms(RadToDeg(first.dec)));
  EXPECT_EQ(m.lines[8], "Уточняем... ");
  EXPECT_EQ(m.lines[9], " ");
  EXPECT_EQ(m.lines[10], "O-C звезд:");
  EXPECT_EQ(CountLines(m, "X=") - 2, m.localMarks.size());
  EXPECT_EQ(CountLines(m, "dRA = "), 1u);
  EXPECT_EQ(CountLines(m, "dDEC = "), 1u);
  EXPECT_EQ(CountLines(m, "Трек:"), 1u);
  EXPECT_EQ(m.lines[m.lines.size() - 4].rfind("X = " + FormatNumber(first.x, "0.0") + "   Y = ", 0), 0u);
  EXPECT_EQ(m.lines.back(), FormatRaHms(RadToDeg(second.ra)) + "  " + FormatDecDms(RadToDeg(second.dec)));
  // The window got the same lines as they came, the first one replacing its text.
  ASSERT_EQ(streamed.size(), m.lines.size());
  EXPECT_TRUE(streamed[0].second);
  for (std::size_t i = 1; i < streamed.size(); ++i) EXPECT_FALSE(streamed[i].second);
  std::string joined;
  for (const auto& [line, replace] : streamed) AppendMeasurementLine(joined, line, replace);
  EXPECT_EQ(joined, m.text);
}

TEST(MeasureTrackOnFrames, AfterIdentifyingTheMarkedStarsTheEndsMatchTheTruth) {
  TrackScene scene(kStreak);
  ASSERT_TRUE(scene.loaded);
  scene.frame.plate = PlateSolution();
  // Mark fifteen bright, uncrowded stars by clicks a pixel off their drawn centres.
  for (const RenderedStar& s : scene.image.stars) {
    if (scene.frame.starMarks.size() == 15) break;
    if (s.x < 30 || s.y < 30 || s.x > scene.drawing.width - 30 || s.y > scene.drawing.height - 30) continue;
    bool crowded = false;
    for (const RenderedStar& o : scene.image.stars)
      crowded = crowded || (o.number != s.number && std::hypot(o.x - s.x, o.y - s.y) < 20.0);
    if (!crowded)
      DetectStar(MarkingOf(scene.frame), scene.frame.starMarks, scene.app.logFile, static_cast<int>(s.x) + 1,
                 static_cast<int>(s.y), true);
  }
  ASSERT_EQ(scene.frame.starMarks.size(), 15u);
  IdentificationInput in;
  in.marks = scene.frame.starMarks;
  in.imageWidth = scene.drawing.width;
  in.imageHeight = scene.drawing.height;
  in.considerVisibility = false;
  in.catalogPath = scene.app.catalogPath;
  TempDir work;
  in.appDir = work.appDir();
  in.raUserDeg = 76.0;  // the observer's rough idea of the centre
  in.decUserDeg = 29.2;
  in.fieldUserDeg = 20.0;
  const IdentificationResult id = IdentifyStars(in, true, scene.task);
  ASSERT_TRUE(id.success);
  scene.frame.plate = id.solution;

  ASSERT_TRUE(DetectTrackEnd(MarkingOf(scene.frame), scene.frame.trackEnds, scene.app.logFile, 384, 323, true).found);
  ASSERT_TRUE(DetectTrackEnd(MarkingOf(scene.frame), scene.frame.trackEnds, scene.app.logFile, 716, 466, true).found);
  const TrackMeasurement m = MeasureTrack(TrackFrameOf(scene.frame, scene.app), scene.frame.trackEnds, scene.task);
  ASSERT_TRUE(m.refined) << m.text;
  EXPECT_GE(m.localMarks.size(), 5u);
  for (int slot : {1, 2}) EXPECT_LT(EndErrorPx(scene, scene.frame.trackEnds[static_cast<std::size_t>(slot)]), 0.2);
}

TEST(MeasureTrackOnFrames, ManualEndsOnAnImperfectPlateAreRefinedToTheTruth) {
  TrackScene scene(kStreak);
  ASSERT_TRUE(scene.loaded);
  // The frame's solution is slightly off, as an identification from few stars may leave it.
  PlateConstants rough = scene.truth;
  rough.mx *= 1.003;
  rough.my *= 0.998;
  rough.f += 0.04 * kDeg;
  rough.xo += 1.5;
  rough.yo -= 1.0;
  SetFromWorking(scene.frame.plate, rough);
  ASSERT_TRUE(AddTrackEnd(scene.frame.trackEnds, 380.0f, 320.0f, true).added);
  ASSERT_TRUE(AddTrackEnd(scene.frame.trackEnds, 720.0f, 470.0f, true).added);

  const TrackMeasurement m = MeasureTrack(TrackFrameOf(scene.frame, scene.app), scene.frame.trackEnds, scene.task);
  ASSERT_TRUE(m.refined) << m.text;
  for (int slot : {1, 2}) {
    const TrackPoint& end = scene.frame.trackEnds[static_cast<std::size_t>(slot)];
    // The frame's plate alone misplaces the end by more than a pixel; the local solution brings it back.
    const SkyPosition roughSky = PixelToSky(end.x, end.y, rough);
    const SkyPosition t = scene.Truth(end.x, end.y);
    EXPECT_GT(AngularSeparation(roughSky.ra, roughSky.dec, t.ra, t.dec) / (60.0 * kArcsec), 1.0);
    EXPECT_LT(EndErrorPx(scene, end), 0.2) << slot;
  }
  // The middle keeps the frame's plate.
  const TrackPoint& middle = scene.frame.trackEnds[0];
  const SkyPosition roughMiddle = PixelToSky(550.0, 395.0, rough);
  EXPECT_NEAR(middle.ra, roughMiddle.ra, 1e-12);
  EXPECT_NEAR(middle.dec, roughMiddle.dec, 1e-12);
}

TEST(MeasureTrackOnFrames, ASingleEndSearchesAHundredPixelsAroundIt) {
  TrackScene scene(kStreak);
  ASSERT_TRUE(scene.loaded);
  ASSERT_TRUE(AddTrackEnd(scene.frame.trackEnds, 720.0f, 470.0f, true).added);
  const TrackMeasurement m = MeasureTrack(TrackFrameOf(scene.frame, scene.app), scene.frame.trackEnds, scene.task);
  ASSERT_TRUE(m.refined) << m.text;
  EXPECT_EQ(CountLines(m, "Длина трека"), 0u);
  const TrackPoint& end = scene.frame.trackEnds[1];
  EXPECT_EQ(scene.frame.trackEnds[0].x, end.x);
  EXPECT_EQ(scene.frame.trackEnds[0].y, end.y);
  EXPECT_LT(EndErrorPx(scene, end), 0.2);
  EXPECT_EQ(CountLines(m, "X = "), 1u);
  // Stars come from at most 100 x 1.5 x 1.5 pixels around the end (the catalogue search radius).
  for (const LocalReferenceMark& mark : m.localMarks)
    EXPECT_LT(std::hypot(mark.x - end.x, mark.y - end.y), 225.0 * 1.05);
}

TEST(MeasureTrackOnFrames, WithoutStarsAboveTheHorizonTheFramePlateStays) {
  TrackScene scene(kStreak);
  ASSERT_TRUE(scene.loaded);
  // RA 75, DEC +30 at local midnight in midsummer from latitude 60 S: far below the horizon.
  scene.frame.info.considerVisibility = true;
  scene.frame.info.midMjd = MjdFromDate(2026, 1, 1, 0.0) + 0.5;
  scene.frame.info.latitudeRad = -60.0 * kDeg;
  const double lst = GreenwichSiderealTime(scene.frame.info.midMjd);
  scene.frame.info.longitudeRad = (75.0 + 180.0) * kDeg - lst;  // the field on the lower meridian
  ASSERT_TRUE(AddTrackEnd(scene.frame.trackEnds, 380.0f, 320.0f, true).added);
  ASSERT_TRUE(AddTrackEnd(scene.frame.trackEnds, 720.0f, 470.0f, true).added);
  const TrackMeasurement m = MeasureTrack(TrackFrameOf(scene.frame, scene.app), scene.frame.trackEnds, scene.task);
  EXPECT_FALSE(m.refined);
  EXPECT_EQ(m.failureText, kLocalSolutionFailedText);
  EXPECT_EQ(m.lines.back(), kLocalSolutionFailedText);
  EXPECT_EQ(m.lines[m.lines.size() - 2], " ");
  EXPECT_TRUE(m.localMarks.empty());
  const SkyPosition frameSky = PixelToSky(720.0, 470.0, scene.truth);
  EXPECT_EQ(scene.frame.trackEnds[2].ra, frameSky.ra);
  EXPECT_EQ(scene.frame.trackEnds[2].dec, frameSky.dec);

  // A missing catalogue fails the same way.
  scene.frame.info.considerVisibility = false;
  scene.app.catalogPath = "/nonexistent/bin8.dat";
  EXPECT_EQ(MeasureTrack(TrackFrameOf(scene.frame, scene.app), scene.frame.trackEnds, scene.task).failureText,
            kLocalSolutionFailedText);
}

TEST(MeasureTrackOnFrames, PreconditionsInTheirOrder) {
  FrameState frame;
  EXPECT_EQ(TrackMeasurementRefusal(frame.frameOpen, frame.trackEnds, frame.plate), kMeasureNoFrameText);
  frame.frameOpen = true;
  EXPECT_EQ(TrackMeasurementRefusal(frame.frameOpen, frame.trackEnds, frame.plate), kMeasureNoEndsText);
  frame.trackEnds.count = 1;
  EXPECT_EQ(TrackMeasurementRefusal(frame.frameOpen, frame.trackEnds, frame.plate), kMeasureNotSolvedText);
  frame.plate.mxArcsec = 60.0;
  EXPECT_EQ(TrackMeasurementRefusal(frame.frameOpen, frame.trackEnds, frame.plate), kMeasureNotSolvedText);
  frame.plate.myArcsec = 60.0;
  EXPECT_EQ(TrackMeasurementRefusal(frame.frameOpen, frame.trackEnds, frame.plate), "");
}
