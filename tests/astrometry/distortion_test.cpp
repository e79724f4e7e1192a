// Lens distortion on top of the linear plate: the wide meteor-network frame (its star pairs, its marks
// identified without a centre, the meteor's ends measured on it), a synthetic frame drawn through a known
// distortion and a tangent point 45 degrees off the optical axis, and the stored form.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "astrometry/identify.h"
#include "astrometry/pattern_index.h"
#include "astrometry/plate.h"
#include "astrometry/track.h"
#include "sky/angles.h"
#include "test_paths.h"

using testing_support::SharedDataDir;

namespace {

constexpr double kDeg = Pi / 180.0;

std::filesystem::path GmnDir() { return SharedDataDir() / "real" / "gmn_uk0006_194911"; }

// The network's star pairs, pixels turned to this program's 1-based convention.
std::vector<FitStar> ReadStarPairs() {
  std::vector<FitStar> stars;
  std::ifstream in(GmnDir() / "uk0006_194911_starpairs.csv");
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::stringstream row(line);
    std::string cell;
    std::vector<double> v;
    while (std::getline(row, cell, ',')) v.push_back(std::stod(cell));
    if (v.size() >= 4) stars.push_back({v[0] + 1.0, v[1] + 1.0, v[2] * kDeg, v[3] * kDeg});
  }
  return stars;
}

// A camera written independently of the code under test: a measured pixel is moved by a known lens
// polynomial (a cubic barrel term and a quadratic tilt term in the offsets from the image centre over the
// half-diagonal), then projected by the textbook gnomonic projection of focal length f pixels about the
// axis (ra0, dec0), north turned by rot.
struct KnownLens {
  double ra0 = 1.0, dec0 = 0.6, f = 640.0, rot = 0.4;
  double barrel = 0.0, tilt = 0.0;  // pixels at the half-diagonal
  static constexpr double cx = 640.5, cy = 360.5, R = 734.4;  // 1280 x 720
  void Sky(double x, double y, double& ra, double& dec) const {
    const double u = (x - cx) / R, v = (y - cy) / R;
    const double dx = x - cx + barrel * u * (u * u + v * v) + tilt * u * v;
    const double dy = y - cy + barrel * v * (u * u + v * v);
    const double r = std::hypot(dx, dy), theta = std::atan(r / f);
    const double pa = std::atan2(dx, -dy) + rot;  // from north through east
    const double sd = std::sin(dec0) * std::cos(theta) + std::cos(dec0) * std::sin(theta) * std::cos(pa);
    dec = std::asin(sd);
    ra = ra0 + std::atan2(std::sin(pa) * std::sin(theta) * std::cos(dec0), std::cos(theta) - std::sin(dec0) * sd);
  }
};

TEST(LensDistortion, KnownPolynomialIsRecoveredOnANinetyDegreeFrameAndPlainFramesStayLinear) {
  // 150 stars over a 1280 x 720 frame 90 degrees wide (the corners 49 degrees out), a few marked wrongly.
  KnownLens lens;
  lens.barrel = -40.0;
  lens.tilt = 6.0;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> ux(5.0, 1275.0), uy(5.0, 715.0);
  std::normal_distribution<double> noise(0.0, 0.2);
  std::vector<FitStar> stars;
  for (int i = 0; i < 150; ++i) {
    FitStar s;
    s.x = ux(rng);
    s.y = uy(rng);
    lens.Sky(s.x, s.y, s.ra, s.dec);
    s.x += noise(rng);
    s.y += noise(rng);
    if (i % 40 == 3) s.x += 25.0;  // wrong marks
    stars.push_back(s);
  }
  double ra = 0.0, dec = 0.0;
  lens.Sky(1.0, 1.0, ra, dec);
  EXPECT_GT(AngularSeparation(ra, dec, lens.ra0, lens.dec0), 45.0 * kDeg);
  PlateConstants linear;
  ASSERT_TRUE(FitPlate(stars, lens.ra0, lens.dec0, 640.5, 360.5, linear));
  EXPECT_GT(PlateRmsPx(stars, linear), 5.0);
  PlateConstants plate = linear;
  ASSERT_TRUE(AdoptDistortion(stars, 1280, 720, plate));
  const PlateDistortion& d = plate.distortion;
  ASSERT_GE(d.order, 3);
  // Terms u^2, uv, v^2, then u^3, u^2 v, u v^2, v^3.
  const double a[7] = {0.0, lens.tilt, 0.0, lens.barrel, 0.0, lens.barrel, 0.0};
  const double b[7] = {0.0, 0.0, 0.0, 0.0, lens.barrel, 0.0, lens.barrel};
  for (int k = 0; k < 7; ++k) {
    EXPECT_NEAR(d.a[static_cast<std::size_t>(k)], a[k], 1.5) << k;
    EXPECT_NEAR(d.b[static_cast<std::size_t>(k)], b[k], 1.5) << k;
  }
  // Over a grid reaching the corners, both ways, against the lens itself.
  double worst = 0.0, worstBack = 0.0;
  for (double x = 1.0; x <= 1280.0; x += 91.0) {
    for (double y = 1.0; y <= 720.0; y += 59.0) {
      lens.Sky(x, y, ra, dec);
      const SkyPosition sky = PixelToSky(x, y, plate);
      const double pixel = 1.0 / lens.f * std::pow(std::cos(AngularSeparation(ra, dec, lens.ra0, lens.dec0)), 2);
      worst = std::max(worst, AngularSeparation(ra, dec, sky.ra, sky.dec) / pixel);
      const PixelPosition back = SkyToPixel(ra, dec, plate);
      ASSERT_TRUE(back.valid) << x << " " << y;
      worstBack = std::max(worstBack, std::hypot(back.x - x, back.y - y));
    }
  }
  EXPECT_LT(worst, 0.3);  // pixels' worth of sky
  EXPECT_LT(worstBack, 0.3);

  // A plain gnomonic frame 30 degrees wide of good marks keeps its six constants untouched (bit for bit).
  KnownLens flat;
  flat.f = 2400.0;
  std::vector<FitStar> plain;
  for (int i = 0; i < 40; ++i) {
    FitStar s{ux(rng), uy(rng), 0.0, 0.0};
    flat.Sky(s.x, s.y, s.ra, s.dec);
    s.x += noise(rng);
    s.y += noise(rng);
    plain.push_back(s);
  }
  PlateConstants narrow;
  ASSERT_TRUE(FitPlate(plain, flat.ra0, flat.dec0, 640.5, 360.5, narrow));
  const PlateConstants before = narrow;
  EXPECT_FALSE(AdoptDistortion(plain, 1280, 720, narrow));
  EXPECT_EQ(std::memcmp(&before, &narrow, sizeof narrow), 0);
}

TEST(LensDistortion, GmnStarPairsFitWithinAPixelAndAHalf) {
  ORVIA_REQUIRE_SHARED_FILE(GmnDir() / "uk0006_194911_starpairs.csv");
  const std::vector<FitStar> stars = ReadStarPairs();
  ASSERT_EQ(stars.size(), 150u);
  PlateConstants plate;
  ASSERT_TRUE(FitPlate(stars, 248.7 * kDeg, 18.1 * kDeg, 640.5, 360.5, plate));
  EXPECT_GT(PlateRmsPx(stars, plate), 20.0);
  ASSERT_TRUE(AdoptDistortion(stars, 1280, 720, plate));
  EXPECT_LE(PlateRmsPx(stars, plate), 1.5);
}

// The meteor-network frame identified from its marked stars (brightest first) without a centre, then the
// meteor's first and last points placed on the sky with the adopted plate.
TEST(LensDistortion, GmnFrameIsIdentifiedBlindAndPlacesTheMeteorsEnds) {
  ORVIA_REQUIRE_SHARED_FILE(GmnDir() / "uk0006_194911_starpairs.csv");
  ORVIA_REQUIRE_SHARED_FILE(GmnDir() / "uk0006_194911_meteor.txt");
  std::vector<std::pair<double, FitStar>> byIntensity;
  {
    std::ifstream in(GmnDir() / "uk0006_194911_starpairs.csv");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
      std::stringstream row(line);
      std::string cell;
      std::vector<double> v;
      while (std::getline(row, cell, ',')) v.push_back(std::stod(cell));
      byIntensity.push_back({v[5], {v[0] + 1.0, v[1] + 1.0, v[2] * kDeg, v[3] * kDeg}});
    }
  }
  std::stable_sort(byIntensity.begin(), byIntensity.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  testing_support::TempDir dir;
  IdentificationInput input;
  for (const auto& [intensity, s] : byIntensity) input.marks.push_back({static_cast<float>(s.x), static_cast<float>(s.y)});
  input.imageWidth = 1280;
  input.imageHeight = 720;
  input.considerVisibility = false;
  input.catalogPath = (testing_support::SourceDir() / "data" / "bin8.dat").string();
  input.asterismPath = (dir.path() / "tri4t.dat").string();
  input.diagnostics = [](const std::string&, const std::string&) {};
  SilentTask task;
  ASSERT_TRUE(BuildPatternIndexFile(input.catalogPath, PatternIndexPathBeside(input.asterismPath), task));
  const IdentificationResult result = IdentifyStars(input, false, task);
  ASSERT_TRUE(result.success);
  EXPECT_GE(result.solution.nid, 100);
  const PlateConstants& plate = result.solution.working;
  EXPECT_GE(plate.distortion.order, 3);
  std::vector<FitStar> pairs;
  for (const auto& [intensity, s] : byIntensity) pairs.push_back(s);
  EXPECT_LE(PlateRmsPx(pairs, plate), 1.5);

  // The meteor's lines: frame, column, row, RA, Dec, ...; its first and last points.
  std::ifstream in(GmnDir() / "uk0006_194911_meteor.txt");
  std::string line;
  std::vector<std::array<double, 4>> points;
  while (std::getline(in, line)) {
    std::stringstream row(line);
    double frame = 0.0, col = 0.0, rowPx = 0.0, ra = 0.0, dec = 0.0;
    if (line.find('.') != std::string::npos && (row >> frame >> col >> rowPx >> ra >> dec) && line.size() > 40)
      points.push_back({col + 1.0, rowPx + 1.0, ra * kDeg, dec * kDeg});
  }
  ASSERT_GE(points.size(), 2u);
  for (const auto& p : {points.front(), points.back()}) {
    TrackPoint end;
    end.x = static_cast<float>(p[0]);
    end.y = static_cast<float>(p[1]);
    PlaceTrackEndOnSky(end, plate);
    EXPECT_LT(AngularSeparation(end.ra, end.dec, p[2], p[3]), 2.0 / 60.0 * kDeg) << p[0] << " " << p[1];
  }
}

}  // namespace
