#include "astrometry/identify.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <random>
#include <tuple>

#include "astrometry/catalogue.h"
#include "framegen/framegen.h"
#include "base/calendar.h"
#include "sky/site.h"
#include "test_paths.h"

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

namespace {

constexpr double kPi = 3.14159265358979;
constexpr double kDeg = kPi / 180.0;
constexpr double kArcsec = kDeg / 3600.0;

StarMark Mark(double x, double y) {
  StarMark m;
  m.x = static_cast<float>(x);
  m.y = static_cast<float>(y);
  return m;
}

// A small sky of six stars seen by a 1000 x 800 camera at 100"/px, with the marks where they fall.
struct SmallSky {
  FrameSpec drawing;
  ReferenceList refs;
  std::vector<StarMark> marks;

  SmallSky() {
    drawing.width = 1000;
    drawing.height = 800;
    drawing.centreRaDeg = 150.0;
    drawing.centreDecDeg = 30.0;
    drawing.scaleArcsec = 100.0;
    drawing.rotationDeg = 20.0;
    const double stars[6][2] = {{150.0, 30.0}, {155.0, 33.0}, {146.0, 35.0},
                                {152.0, 26.0}, {147.0, 27.5}, {157.0, 28.0}};
    refs.map.push_back(0);
    for (int i = 0; i < 6; ++i) {
      refs.stars.push_back({stars[i][0] * kDeg, stars[i][1] * kDeg, 3.0f, 100 + i});
      refs.map.push_back(i + 1);
      double x = 0, y = 0;
      ProjectToFrame(drawing, stars[i][0], stars[i][1], x, y);
      marks.push_back(Mark(x, y));
    }
  }

  VerificationSetup Setup(const ExtensionStars& candidates) const {
    VerificationSetup setup;
    setup.marks = &marks;
    setup.refs = &refs;
    setup.candidates = &candidates;
    setup.mode = MakeIdentificationMode(true, 0.0, drawing.width, drawing.height);
    setup.centreX = drawing.width / 2.0;
    setup.centreY = drawing.height / 2.0;
    return setup;
  }
};

// Frame triangle of marks 1, 2, 3 and the catalogue triangle of reference stars 1, 2, 3.
void Triangles(const SmallSky& sky, AsterismRecord& frame, AsterismRecord& catalogue) {
  SilentTask task;
  std::vector<AsterismRecord> all;
  BuildFrameTriangles({sky.marks[0], sky.marks[1], sky.marks[2]}, all, task);
  ASSERT_EQ(all.size(), 1u);
  frame = all[0];
  std::array<SkyPoint, 3> points;
  std::array<std::int32_t, 3> ids;
  // Catalogue vertices in the order of the frame's sorted vertices.
  const std::array<std::int32_t, 3> order = {frame.star1, frame.star2, frame.star3};
  for (int v = 0; v < 3; ++v) {
    points[v] = {sky.refs.At(order[v]).ra, sky.refs.At(order[v]).dec};
    ids[v] = order[v];
  }
  ASSERT_TRUE(SphericalTriangleRecord(points, ids, catalogue));
  catalogue.star1 = order[0];
  catalogue.star2 = order[1];
  catalogue.star3 = order[2];
}

// A task that cancels itself after a number of yields.
class CancelAfter : public TaskControl {
public:
  explicit CancelAfter(int yields) : left_(yields) {}
  void Yield() override { --left_; }
  bool Cancelled() const override { return left_ <= 0; }

private:
  int left_;
};

IdentificationHypothesis Hypothesis(double raDeg, double decDeg, double scaleArcsec, double fDeg, double gDeg, int id) {
  IdentificationHypothesis h;
  h.plate = {raDeg * kDeg, decDeg * kDeg, scaleArcsec * kArcsec, scaleArcsec * kArcsec, fDeg * kDeg, gDeg * kDeg,
             500.0,        400.0};
  h.id = static_cast<std::int16_t>(id);
  h.er = 2.0 / 3600.0;
  h.marks = {1, 2, 3};
  h.stars = {4, 5, 6};
  return h;
}

}  // namespace

TEST(Identify, FrameTrianglesHaveSortedPlaneAnglesAndSkipShortSides) {
  SilentTask task;
  std::vector<AsterismRecord> t;
  // A right isosceles triangle: 45, 45 and 90 degrees; equal angles keep their mark order.
  ASSERT_TRUE(BuildFrameTriangles({Mark(10, 10), Mark(110, 10), Mark(10, 110)}, t, task));
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].angle1, 4500);
  EXPECT_EQ(t[0].angle2, 4500);
  EXPECT_EQ(t[0].angle3, 9000);
  EXPECT_EQ(t[0].star1, 2);
  EXPECT_EQ(t[0].star2, 3);
  EXPECT_EQ(t[0].star3, 1);
  // A 3-4-5 triangle, against the angles' textbook values.
  ASSERT_TRUE(BuildFrameTriangles({Mark(0, 0), Mark(40, 0), Mark(0, 30)}, t, task));
  ASSERT_EQ(t.size(), 1u);
  EXPECT_EQ(t[0].angle1, std::lround(std::atan2(30.0, 40.0) / kDeg * 100));
  EXPECT_EQ(t[0].angle2, std::lround(std::atan2(40.0, 30.0) / kDeg * 100));
  // Marks exactly 2 px apart never share a triangle; 2.1 px apart they do.
  ASSERT_TRUE(BuildFrameTriangles({Mark(50, 50), Mark(52, 50), Mark(80, 90), Mark(20, 70)}, t, task));
  EXPECT_EQ(t.size(), 2u);
  for (const auto& r : t)
    EXPECT_FALSE((r.star1 == 1 || r.star2 == 1 || r.star3 == 1) && (r.star1 == 2 || r.star2 == 2 || r.star3 == 2));
  ASSERT_TRUE(BuildFrameTriangles({Mark(50, 50), Mark(52.1f, 50), Mark(80, 90), Mark(20, 70)}, t, task));
  EXPECT_EQ(t.size(), 4u);
  // Many marks: cancelling stops the build.
  std::vector<StarMark> many;
  for (int i = 0; i < 40; ++i) many.push_back(Mark(10 + 17 * i, 10 + (i * 37) % 300));
  CancelAfter cancel(5);
  EXPECT_FALSE(BuildFrameTriangles(many, t, cancel));
}

TEST(Identify, FieldTrianglesAreEveryTripleOfTheBrightestStarsInTheirCells) {
  // Sixty stars over 20 degrees, among them a pair too close to make triangles and a star listed twice.
  ReferenceList refs;
  refs.map.push_back(0);
  std::mt19937 random(77);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int s = 1; s <= 60; ++s) {
    refs.stars.push_back({1.0 + 0.35 * unit(random), 0.4 + 0.35 * unit(random), 5.0f, s});
    refs.map.push_back(s);
  }
  refs.stars[7] = {refs.stars[3].ra + 0.0005, refs.stars[3].dec, 5.0f, 8};
  refs.stars[9] = {refs.stars[2].ra, refs.stars[2].dec, 5.0f, 10};  // listed twice
  AsterismTable table;
  SilentTask task;
  ASSERT_TRUE(BuildFieldAsterisms(refs, 50, table, task));
  // The same triangles one at a time, in the order i < j < k, into their cells.
  std::map<int, std::vector<AsterismRecord>> expected;
  std::size_t count = 0;
  for (int i = 1; i <= 50; ++i) {
    for (int j = i + 1; j <= 50; ++j) {
      for (int k = j + 1; k <= 50; ++k) {
        AsterismRecord r;
        const ReferenceStar &p = refs.At(i), &q = refs.At(j), &o = refs.At(k);
        if (!SphericalTriangleRecord({SkyPoint{p.ra, p.dec}, {q.ra, q.dec}, {o.ra, o.dec}}, {i, j, k}, r)) continue;
        expected[AsterismCellOf(r)].push_back(r);
        ++count;
      }
    }
  }
  EXPECT_EQ(count, 50u * 49u * 48u / 6u - 2u * 48u);  // each close pair loses the 48 triangles it is a side of
  ASSERT_EQ(table.recordCount, count);
  for (const auto& [cell, records] : expected) {
    const AsterismTable::CellView got = table.CellAt(cell);
    ASSERT_EQ(got.size(), records.size()) << cell;
    for (std::size_t r = 0; r < records.size(); ++r) {
      ASSERT_EQ(std::tie(got[r].angle1, got[r].angle2, got[r].angle3, got[r].star1, got[r].star2, got[r].star3),
                std::tie(records[r].angle1, records[r].angle2, records[r].angle3, records[r].star1, records[r].star2,
                         records[r].star3))
          << cell << " " << r;
    }
  }
}

TEST(Identify, VerificationNeedsFourMarksPlausibleScalesAndATrueMatch) {
  SmallSky sky;
  AsterismRecord frame, catalogue;
  Triangles(sky, frame, catalogue);
  const ExtensionStars candidates = PrepareExtensionStars(sky.refs, 4.5f);
  ASSERT_EQ(candidates.positions.size(), 6u);
  std::vector<IdentificationHypothesis> hyps;
  ASSERT_TRUE(VerifyHypothesis(sky.Setup(candidates), frame, catalogue, hyps));
  ASSERT_EQ(hyps.size(), 1u);
  EXPECT_EQ(hyps[0].id, 6);
  EXPECT_LT(hyps[0].er * 3600.0, 0.1);
  EXPECT_NEAR(hyps[0].plate.mx / kArcsec, 100.0, 0.01);
  EXPECT_NEAR(hyps[0].plate.ra0, 150.0 * kDeg, 1 * kArcsec);
  for (int m = 0; m < 6; ++m) EXPECT_EQ(hyps[0].identities[m], m + 1);

  // Only the triangle's own stars are bright enough to extend with: three marks are not enough.
  sky.refs.stars[3].magnitude = sky.refs.stars[4].magnitude = sky.refs.stars[5].magnitude = 6.0f;
  const ExtensionStars three = PrepareExtensionStars(sky.refs, 4.5f);
  hyps.clear();
  EXPECT_FALSE(VerifyHypothesis(sky.Setup(three), frame, catalogue, hyps));
  EXPECT_TRUE(hyps.empty());

  // A scale outside the mode's window drops the hypothesis.
  VerificationSetup narrow = sky.Setup(candidates);
  narrow.mode.maxScale = 90.0 * kArcsec;
  EXPECT_FALSE(VerifyHypothesis(narrow, frame, catalogue, hyps));
  // The wrong stars for the triangle (a rotated vertex order) fail too.
  AsterismRecord wrong = catalogue;
  std::swap(wrong.star1, wrong.star3);
  std::swap(wrong.star1, wrong.star2);
  EXPECT_FALSE(VerifyHypothesis(sky.Setup(candidates), frame, wrong, hyps));
  EXPECT_TRUE(hyps.empty());
}

TEST(Identify, SearchVerifiesOnlyPairsCloserThanThreeDegreesInTotal) {
  SmallSky sky;
  AsterismRecord frame, catalogue;
  Triangles(sky, frame, catalogue);
  const ExtensionStars candidates = PrepareExtensionStars(sky.refs, 4.5f);
  for (const int shift : {299, 300}) {
    // The only catalogue triangle carries the right stars but angles off by `shift` hundredths in total.
    AsterismRecord shifted = catalogue;
    shifted.angle1 = static_cast<std::int16_t>(frame.angle1 + shift / 2);
    shifted.angle2 = static_cast<std::int16_t>(frame.angle2 - (shift - shift / 2));
    shifted.angle3 = frame.angle3;
    AsterismTable table;
    FillAsterismTable(table, {shifted});
    std::vector<IdentificationHypothesis> hyps;
    SilentTask task;
    ASSERT_TRUE(SearchHypotheses(sky.Setup(candidates), {frame}, table, hyps, task));
    EXPECT_EQ(hyps.size(), shift < 300 ? 1u : 0u) << shift;
  }
}

TEST(Identify, ExtensionTakesTheNearestFreeBrightStarWithinSixPixels) {
  SmallSky sky;
  const PlateConstants plate = [&] {
    std::vector<FitStar> fit;
    for (int i = 0; i < 6; ++i)
      fit.push_back({sky.marks[i].x, sky.marks[i].y, sky.refs.At(i + 1).ra, sky.refs.At(i + 1).dec});
    PlateConstants p;
    EXPECT_TRUE(FitPlate(fit, 150 * kDeg, 30 * kDeg, 500, 400, p));
    return p;
  }();
  std::vector<StarMark> marks = sky.marks;
  marks[3].x += 5.5f;  // still within six pixels of its star
  marks[4].x += 6.5f;  // too far
  std::vector<std::int32_t> ids = {1, 2, 3, 0, 0, 0};
  ExtensionStars candidates = PrepareExtensionStars(sky.refs, 4.5f);
  ExtensionResult r = ExtendIdentification(marks, ids, plate, sky.refs, candidates);
  EXPECT_EQ(ids, (std::vector<std::int32_t>{1, 2, 3, 4, 0, 6}));
  EXPECT_EQ(r.id, 5);
  EXPECT_NEAR(r.er * 3600.0, 5.5 * 100.0 / 5.0, 2.0);  // one mark 5.5 px off, four on their stars
  // A star already carried by another mark is not given again.
  ids = {1, 2, 3, 0, 0, 4};
  marks = sky.marks;
  r = ExtendIdentification(marks, ids, plate, sky.refs, candidates);
  EXPECT_EQ(ids[3], 0);
  EXPECT_EQ(r.id, 5);
  // Stars at or beyond the magnitude limit are never candidates.
  sky.refs.stars[4].magnitude = 4.5f;
  candidates = PrepareExtensionStars(sky.refs, 4.5f);
  ids = {1, 2, 3, 0, 0, 0};
  ExtendIdentification(marks, ids, plate, sky.refs, candidates);
  EXPECT_EQ(ids, (std::vector<std::int32_t>{1, 2, 3, 4, 0, 6}));
}

TEST(Identify, RankingWritesTheListAndGroupsOnlyBelowTenMarks) {
  TempDir dir;
  std::vector<IdentificationHypothesis> hyps = {Hypothesis(10, 20, 60, 5, 0, 7), Hypothesis(200, -30, 90, 40, 180, 10),
                                                Hypothesis(10.2, 20.1, 61, 6, 1, 8), Hypothesis(300, 5, 30, 0, 0, 10)};
  Adoption a = RankHypotheses(hyps, dir.appDir());
  ASSERT_TRUE(a.adopted);
  EXPECT_FALSE(a.grouped);
  EXPECT_EQ(hyps[0].id, 10);
  EXPECT_NEAR(hyps[0].plate.ra0, 200 * kDeg, 1e-12);  // equal Id keeps the earlier one first
  EXPECT_NEAR(hyps[1].plate.ra0, 300 * kDeg, 1e-12);
  std::string text = ReadFile(dir.path() / "hyp_id.txt");
  EXPECT_EQ(text.substr(0, text.find("\r\n")), "  Ra     Dec     Mx     My     F    G     xo     yo    Id    er");
  EXPECT_NE(text.find("\r\n200.00  -30.00  90.0  90.0  40.0  180.0  500.0  400.0  10  2.0\r\n"), std::string::npos);
  EXPECT_EQ(text.find("Сортировка"), std::string::npos);

  // Best Id 9: the similar pair (tangent points 0.22 degrees apart) is ranked first by its group count.
  hyps = {Hypothesis(300, 5, 30, 0, 0, 9), Hypothesis(10, 20, 60, 5, 0, 7), Hypothesis(10.2, 20.1, 61, -4.5, 1, 8)};
  a = RankHypotheses(hyps, dir.appDir());
  EXPECT_TRUE(a.grouped);
  text = ReadFile(dir.path() / "hyp_id.txt");
  EXPECT_NE(text.find("\r\n---------Сортировка гипотез---------------------------\r\n"
                      "Group Ra     Dec     Mx     My     F    G     xo     yo    Id    er\r\n"
                      "1  10.20  20.10  61.0  61.0  -4.5  1.0  500.0  400.0  8  2.0\r\n"
                      "0  300.00  5.00  30.0  30.0  0.0  0.0  500.0  400.0  9  2.0\r\n"),
            std::string::npos);
  EXPECT_NEAR(hyps[0].plate.ra0, 10.2 * kDeg, 1e-12);
  EXPECT_EQ(hyps[0].group, 1);

  // Similarity: rotation and skew compared as angles (179 and -179 degrees are 2 degrees apart).
  EXPECT_TRUE(SimilarHypotheses(Hypothesis(10, 20, 60, 179, 179, 5), Hypothesis(10, 20.4, 100, -179, -179, 5)));
  EXPECT_FALSE(SimilarHypotheses(Hypothesis(10, 20, 60, 5, 0, 5), Hypothesis(10, 20.6, 60, 5, 0, 5)));
  EXPECT_FALSE(SimilarHypotheses(Hypothesis(10, 20, 60, 5, 0, 5), Hypothesis(10, 20, 60, 16, 0, 5)));
  EXPECT_FALSE(SimilarHypotheses(Hypothesis(10, 20, 60, 5, 0, 5), Hypothesis(10, 20, 20, 5, 0, 5)));

  hyps.clear();
  EXPECT_FALSE(RankHypotheses(hyps, dir.appDir()).adopted);
}

TEST(Identify, PanelTextsOfASolution) {
  PlateSolution s;
  s.ra0Deg = 83.8;  // 5h 35.2m
  s.dec0Deg = -5.51;
  s.mxArcsec = 90.04;
  s.myArcsec = 89.96;
  s.fDeg = -15.04;
  s.gDeg = -179.2;
  s.nid = 12;
  const IdentificationPanelTexts t = MakePanelTexts(s, 15, 1200, 800);
  EXPECT_EQ(t.stars, "15  Ид: 12");
  EXPECT_EQ(t.ra, "05h35.2m");
  EXPECT_EQ(t.dec, "-05°30'");
  EXPECT_EQ(t.scaleX, "90.0\"/пикс");
  EXPECT_EQ(t.fieldSize, "30.0° x 20.0°");
  EXPECT_EQ(t.rotation, "-15.0°");
  EXPECT_EQ(t.mirrored, "Yes");
  EXPECT_EQ(t.depth, "4.0");
  s.gDeg = 89.0;
  EXPECT_EQ(MakePanelTexts(s, 15, 1200, 800).mirrored, "No");
}

TEST(Identify, ReferenceStarsHonourVisibilityAndTheField) {
  TempDir dir;
  // Site at latitude 50 N, longitude 0, and the local sidereal time of the moment.
  const double mjd = 61000.25;
  const double lst = GreenwichSiderealTime(mjd);
  auto record = [](double ra, double dec) {
    return CatalogueRecord{static_cast<float>(ra - kPi), static_cast<float>(dec), 5.0f};
  };
  const std::vector<CatalogueRecord> cat = {record(lst, 50 * kDeg),         // zenith
                                            record(lst + kPi, -50 * kDeg),  // nadir
                                            record(lst, -39 * kDeg),        // 1 degree above the southern horizon
                                            record(lst, -41 * kDeg),        // 1 degree below it
                                            {0.0f, 0.3f, 5.0f},  // zero RA offset: not a blind reference star
                                            record(lst + 0.1, 45 * kDeg)};
  WriteFile(dir.path() / "bin8.dat", EncodeCatalogue(cat));
  const std::string path = (dir.path() / "bin8.dat").string();
  ReferenceList refs;
  SilentTask task;
  const VisibilityFilter visible{true, mjd, 0.0, 50 * kDeg};
  ASSERT_EQ(LoadReferenceStarsBlind(path, visible, refs, task), 3);
  EXPECT_EQ(refs.map, (std::vector<std::int32_t>{0, 1, 0, 2, 0, 0, 3}));
  EXPECT_EQ(refs.At(3).number, 6);
  EXPECT_NEAR(refs.At(1).ra, std::fmod(lst, 2 * kPi), 1e-6);
  EXPECT_EQ(LoadReferenceStarsBlind(path, {false, mjd, 0.0, 50 * kDeg}, refs, task), 5);

  // Within 10.5 degrees of the zenith: the zenith star and star 6 (5.5 degrees away).
  ASSERT_EQ(LoadReferenceStarsInField(path, visible, lst, 50 * kDeg, 10.5, refs, task), 2);
  EXPECT_EQ(refs.map, (std::vector<std::int32_t>{0, 1, 2}));
  EXPECT_EQ(refs.At(2).number, 6);
  EXPECT_EQ(LoadReferenceStarsInField(path, visible, lst, 50 * kDeg, 5.0, refs, task), 1);
  EXPECT_EQ(LoadReferenceStarsInField((dir.path() / "none.dat").string(), visible, 0, 0, 10, refs, task), 0);
}

TEST(Identify, FieldOfViewCheckAndCancellationEndInFailure) {
  TempDir dir;
  IdentificationInput in;
  for (int i = 0; i < 6; ++i) in.marks.push_back(Mark(100 + 90 * i, 100 + (i * 53) % 200));
  in.imageWidth = 800;
  in.imageHeight = 600;
  in.catalogPath = (dir.path() / "bin8.dat").string();
  in.appDir = dir.appDir();
  SilentTask task;
  for (const double fov : {2.99, 100.01, 0.0}) {
    in.fieldUserDeg = fov;
    const IdentificationResult r = IdentifyStars(in, true, task);
    EXPECT_FALSE(r.success);
    EXPECT_EQ(r.messages, std::vector<std::string>{"Задан неподходящий размер поля зрения"}) << fov;
  }
  // 3 and 100 degrees pass the check (and then fail for want of a catalogue).
  for (const double fov : {3.0, 100.0}) {
    in.fieldUserDeg = fov;
    EXPECT_EQ(IdentifyStars(in, true, task).messages, std::vector<std::string>{"Идентификация не произошла."});
  }
  // A cancelled run fails at once, writes no hypothesis list, and logs its time.
  WriteFile(dir.path() / "bin8.dat", EncodeCatalogue({{0.1f, 0.1f, 1.0f}, {0.2f, 0.1f, 1.0f}, {0.1f, 0.2f, 1.0f}}));
  LogFile log;
  ASSERT_TRUE(log.Open((dir.path() / "log.txt").string()));
  in.log = &log;
  CancelAfter cancelled(0);
  const IdentificationResult r = RunBlindIdentification(in, cancelled);
  EXPECT_FALSE(r.success);
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(r.messages, std::vector<std::string>{"Идентификация не произошла."});
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "hyp_id.txt"));
  log.Close();
  EXPECT_EQ(ReadFile(dir.path() / "log.txt").rfind("Time identif = ", 0), 0u);
}

TEST(Identify, ChanceOfAnEquallySupportedHypothesisFollowsThePoissonLaw) {
  // A 1000 x 800 frame at 100"/px centred on its tangent point: every corner lies atan(640.3 px * scale)
  // from the centre, which fixes the sky cap the candidate density is taken over.
  IdentificationHypothesis h;
  const double scale = 100.0 * kArcsec;
  h.plate = {1.0, 0.3, scale, scale, 0.0, 0.0, 500.5, 400.5};
  const double radius = std::atan(std::hypot(500.0, 400.0) * scale);
  // 2000 candidate stars inside the cap (bunched near its centre) and 500 on the far side of the sky.
  ExtensionStars candidates;
  for (int i = 0; i < 2500; ++i) {
    const bool inside = i < 2000;
    const double ra = inside ? 1.0 + 1e-4 * (i % 50) : 1.0 + kPi;
    const double dec = inside ? 0.3 + 1e-4 * (i / 50) : -0.3;
    candidates.positions.push_back(i + 1);
    candidates.directions.push_back({std::cos(dec) * std::cos(ra), std::cos(dec) * std::sin(ra), std::sin(dec)});
  }
  const int marks = 20;
  const std::size_t trials = 1140;
  // Chance that one mark falls within six pixels of some candidate, and the expected count among the
  // 17 marks outside the matched triangle.
  const double density = 2000.0 / (2.0 * kPi * (1.0 - std::cos(radius)));
  const double perMark = density * kPi * (6.0 * scale) * (6.0 * scale);
  const double lambda = (marks - 3) * perMark;
  ASSERT_GT(lambda, 1.0);  // a crowded field, where chance coincidences are common
  for (const int id : {4, 6, 12}) {
    // P(X >= id - 3) as one minus the lower terms of the Poisson distribution.
    double below = 0.0, term = std::exp(-lambda);
    for (int i = 0; i < id - 3; ++i) {
      below += term;
      term *= lambda / (i + 1);
    }
    h.id = static_cast<std::int16_t>(id);
    const double expected = trials * (1.0 - below);
    EXPECT_NEAR(ChanceIdentifications(h, candidates, marks, 1000, 800, trials), expected, 1e-9 * expected) << id;
  }
  // With few marks beyond the triangle and a sparse sky the same support is far from chance.
  candidates.directions.resize(20);
  h.id = 6;
  EXPECT_LT(ChanceIdentifications(h, candidates, 6, 1000, 800, 20), 1e-6);
}
