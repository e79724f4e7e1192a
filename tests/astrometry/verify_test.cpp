#include "astrometry/verify.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A 1000 x 1000 px frame at 1e-4 rad/px (about 21"/px) about RA 180 deg, Dec 0 deg, where the catalogue's
// stored offsets from 180 deg are finest.
PlateConstants Plate() {
  return {.ra0 = kPi, .dec0 = 0.0, .mx = 1e-4, .my = 1e-4, .f = 0.0, .g = 0.0, .xo = 500.0, .yo = 500.0};
}

VerificationOptions Options(double tolerancePx) {
  VerificationOptions o;
  o.imageWidth = o.imageHeight = 1000;
  o.tolerancePx = tolerancePx;
  o.radialTolerance = 0.0;
  return o;
}

StarMark Mark(double x, double y) {
  return {static_cast<float>(x), static_cast<float>(y)};
}

// Catalogue stars placed where the plate puts the given pixels; star n is the n-th added (from 1).
struct Sky {
  std::vector<CatalogueRecord> records;
  void Add(double x, double y, float magnitude) {
    const SkyPosition s = PixelToSky(x, y, Plate());
    records.push_back({static_cast<float>(s.ra - kPi), static_cast<float>(s.dec), magnitude});
  }
  SkyCatalogue Build() const {
    SkyCatalogue c;
    BuildSkyCatalogue(records, c);
    return c;
  }
};

}  // namespace

// The false-alarm figure is the number of depth choices times the Poisson chance of at least k marks
// within tolerance of a star: on a uniform field of 5 mag stars, random marks must hit as often as the
// figure says, counted over 3,000 random marks lists.
TEST(Verifier, FalseAlarmFigureMatchesAMonteCarloCountOfChanceHits) {
  std::mt19937 random(20261208);
  std::uniform_real_distribution<double> around(-300.0, 1300.0), inFrame(0.0, 1000.0);
  Sky sky;
  for (int i = 0; i < 500; ++i) sky.Add(around(random), around(random), 5.0f);
  const SkyCatalogue catalogue = sky.Build();
  const VerificationOptions options = Options(5.0);
  constexpr int kLists = 3000, kMarks = 20;
  std::array<int, 4> atLeast{};   // lists with at least k hits
  std::array<double, 4> model{};  // the figure's chance of at least k hits, read off a list with k
  for (int list = 0; list < kLists; ++list) {
    std::vector<StarMark> marks;
    for (int m = 0; m < kMarks; ++m) marks.push_back(Mark(inFrame(random), inFrame(random)));
    const PlateVerification v = VerifyPlate(marks, Plate(), catalogue, options);
    for (int k = 1; k <= std::min(v.confirmed, 3); ++k) ++atLeast[k];
    if (v.confirmed >= 1 && v.confirmed <= 3)
      model[v.confirmed] = std::pow(10.0, v.log10FalseAlarm) / kVerificationDepths;
  }
  for (int k = 1; k <= 2; ++k) {
    const double p = model[k], sigma = std::sqrt(p * (1.0 - p) / kLists);
    EXPECT_NEAR(static_cast<double>(atLeast[k]) / kLists, p, 4.0 * sigma + 0.02 * p) << k << " hits";
  }
  EXPECT_GT(model[1], 0.2);  // about 0.26: the count is not trivially small
}

// Of the stars within a mark's tolerance the brightest is taken; a tightened verification leaves the mark
// without a star when a brighter rival lies within the wide tolerance. A star two marks claim stays with
// the clearly nearer (within a quarter of the other's distance) or with neither.
TEST(Verifier, ARivalOrASharedStarLeavesAMarkUnidentified) {
  Sky sky;
  sky.Add(203.0, 300.0, 4.0f);  // 1: the first mark's star, 3 px off
  sky.Add(208.0, 300.0, 2.0f);  // 2: a brighter rival 8 px off
  sky.Add(700.0, 300.0, 3.0f);  // 3: claimed 0.5 px and 3.5 px off
  sky.Add(700.0, 700.0, 3.0f);  // 4: claimed 2 px and 3 px off
  const SkyCatalogue catalogue = sky.Build();
  const std::vector<StarMark> marks = {Mark(200, 300), Mark(700.5, 300), Mark(696.5, 300), Mark(702, 700),
                                       Mark(697, 700)};
  VerificationOptions tight = Options(4.0);
  EXPECT_EQ(VerifyPlate(marks, Plate(), catalogue, tight).numbers, (std::vector<std::int32_t>{1, 3, 0, 0, 0}));
  EXPECT_EQ(VerifyPlate(marks, Plate(), catalogue, Options(10.0)).numbers[0], 2);
  tight.rivalTolerancePx = 10.0;
  const PlateVerification v = VerifyPlate(marks, Plate(), catalogue, tight);
  EXPECT_EQ(v.numbers, (std::vector<std::int32_t>{0, 3, 0, 0, 0}));
}

// A mark on a faint star among marks on bright ones loses it when the field holds far more stars as bright
// as that one than as the others' (ten times the others' and the marks' count with fewer than eight
// identified, five times the others' plus the count with more); fewer faint stars leave it.
TEST(Verifier, AMarkOnAFaintStarAmongMarksOnBrightOnesIsCleared) {
  struct Case {
    int bright, faint, cleared;
  };
  for (const Case c : {Case{6, 400, 1}, Case{6, 100, 0}, Case{9, 100, 1}, Case{9, 20, 0}}) {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> inFrame(20.0, 980.0);
    Sky sky;
    std::vector<StarMark> marks;
    for (int i = 0; i < c.bright; ++i) {
      marks.push_back(Mark(150.0 + 80.0 * i, 150.0 + 70.0 * (i % 3)));
      sky.Add(marks.back().x, marks.back().y, 1.5f);
    }
    marks.push_back(Mark(500.0, 800.0));
    sky.Add(500.0, 800.0, 6.0f);
    for (int i = 1; i < c.faint; ++i) sky.Add(inFrame(random), 300.0 + 0.5 * inFrame(random), 6.0f);
    const SkyCatalogue catalogue = sky.Build();
    const VerificationOptions options = Options(4.0);
    PlateVerification v = VerifyPlate(marks, Plate(), catalogue, options);
    ASSERT_EQ(v.identified, c.bright + 1);
    EXPECT_EQ(ClearChanceIdentities(marks, Plate(), catalogue, options, options.maxMarkChance, v), c.cleared)
        << c.bright << " bright, " << c.faint << " faint";
    EXPECT_EQ(v.numbers.back() == 0, c.cleared == 1);
    EXPECT_EQ(v.identified, c.bright + 1 - c.cleared);
  }
}

// A plate that passes only narrowly is held while the search tries three times its trials plus 2,000
// more; a surer one replaces it meanwhile, and a sure one (figure at or below 10^-6) ends the search.
TEST(Verifier, ANarrowPassIsHeldUntilASurerPlateOrTheEndOfItsWait) {
  NarrowPassHold<int> hold, sure;
  EXPECT_FALSE(hold.Offer(1, -4.5, 100) || hold.Offer(2, -4.2, 900));
  EXPECT_EQ(hold.Held(), 1);
  EXPECT_FALSE(hold.Offer(3, -5.5, 1500));
  EXPECT_EQ(hold.Held(), 3);
  EXPECT_FALSE(hold.Due(2300));
  EXPECT_TRUE(hold.Due(2301));
  EXPECT_TRUE(hold.Offer(4, -6.5, 2000));
  EXPECT_EQ(hold.Held(), 4);
  EXPECT_TRUE(sure.Offer(7, -6.0, 10));
}
