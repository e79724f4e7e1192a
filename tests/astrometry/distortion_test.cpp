// Lens distortion on top of the linear plate: a synthetic 90 degree frame, the real meteor-network frame.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

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

// A camera written independently of the code: a known cubic barrel and quadratic tilt move the pixel, then
// the textbook gnomonic projection of focal length f pixels about (ra0, dec0), north turned by rot.
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
  lens.barrel = -40.0, lens.tilt = 6.0;
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> ux(5.0, 1275.0), uy(5.0, 715.0);
  std::normal_distribution<double> noise(0.0, 0.2);  // pixels
  std::vector<FitStar> stars;
  auto draw = [&](const KnownLens& camera, std::vector<FitStar>& out, int count) {
    for (int i = 0; i < count; ++i) {
      FitStar s{ux(rng), uy(rng), 0.0, 0.0};
      camera.Sky(s.x, s.y, s.ra, s.dec);
      out.push_back({s.x + noise(rng) + (i % 40 == 3 && count > 100 ? 25.0 : 0.0), s.y + noise(rng), s.ra, s.dec});
    }
  };
  draw(lens, stars, 150);  // four of them marked 25 px off
  double ra = 0.0, dec = 0.0;
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
  EXPECT_LT(std::max(worst, worstBack), 0.3);  // pixels (of sky for worst)

  // A plain gnomonic frame 30 degrees wide of good marks keeps its six constants untouched (bit for bit).
  KnownLens flat;
  flat.f = 2400.0;  // no distortion
  std::vector<FitStar> plain;
  draw(flat, plain, 40);
  PlateConstants narrow;
  ASSERT_TRUE(FitPlate(plain, flat.ra0, flat.dec0, 640.5, 360.5, narrow));
  const PlateConstants before = narrow;
  EXPECT_FALSE(AdoptDistortion(plain, 1280, 720, narrow));
  EXPECT_EQ(std::memcmp(&before, &narrow, sizeof narrow), 0);
}

// The network's star pairs, brightest first, pixels turned to this program's 1-based convention.
std::vector<FitStar> ReadStarPairs() {
  std::vector<std::pair<double, FitStar>> rows;
  std::ifstream in(GmnDir() / "uk0006_194911_starpairs.csv");
  std::string line;
  std::getline(in, line);
  for (double v[6]; std::getline(in, line);) {
    std::replace(line.begin(), line.end(), ',', ' ');
    std::stringstream(line) >> v[0] >> v[1] >> v[2] >> v[3] >> v[4] >> v[5];
    rows.push_back({-v[5], {v[0] + 1.0, v[1] + 1.0, v[2] * kDeg, v[3] * kDeg}});
  }
  std::stable_sort(rows.begin(), rows.end(), [](const auto& p, const auto& q) { return p.first < q.first; });
  std::vector<FitStar> stars;
  for (const auto& row : rows) stars.push_back(row.second);
  return stars;
}

// The meteor-network frame identified from its marked stars without a centre; the adopted plate leaves the
// network's star pairs within a pixel and a half and puts the meteor's first and last points within 2'.
// The same about its known centre and width, within seconds.
TEST(LensDistortion, GmnFrameIsIdentifiedBlindAndAboutItsCentreAndPlacesTheMeteorsEnds) {
  ORVIA_REQUIRE_SHARED_FILE(GmnDir() / "uk0006_194911_starpairs.csv");
  ORVIA_REQUIRE_SHARED_FILE(GmnDir() / "uk0006_194911_meteor.txt");
  const std::vector<FitStar> pairs = ReadStarPairs();
  ASSERT_EQ(pairs.size(), 150u);
  PlateConstants linear;
  ASSERT_TRUE(FitPlate(pairs, 248.7 * kDeg, 18.1 * kDeg, 640.5, 360.5, linear));
  EXPECT_GT(PlateRmsPx(pairs, linear), 20.0);

  testing_support::TempDir dir;
  IdentificationInput input;
  for (const FitStar& s : pairs) input.marks.push_back({static_cast<float>(s.x), static_cast<float>(s.y)});
  input.imageWidth = 1280, input.imageHeight = 720, input.considerVisibility = false;
  input.catalogPath = (testing_support::SourceDir() / "data" / "bin8.dat").string();
  input.asterismPath = (dir.path() / "tri4t.dat").string();
  input.diagnostics = [](const std::string&, const std::string&) {};
  SilentTask task;
  ASSERT_TRUE(BuildPatternIndexFile(input.catalogPath, PatternIndexPathBeside(input.asterismPath), task));
  input.raUserDeg = 248.7, input.decUserDeg = 18.1, input.fieldUserDeg = 89.0;  // for the second run
  for (const bool knownCentre : {false, true}) {
    const auto started = std::chrono::steady_clock::now();
    const IdentificationResult result = IdentifyStars(input, knownCentre, task);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(), 60.0);
    ASSERT_TRUE(result.success) << knownCentre;
    EXPECT_GE(result.solution.nid, 100);
    const PlateConstants& plate = result.solution.working;
    EXPECT_LE(PlateRmsPx(pairs, plate), 1.5);

    // The meteor's lines: frame, column, row, RA, Dec, ... (after six header lines).
    std::ifstream in(GmnDir() / "uk0006_194911_meteor.txt");
    std::string line;
    std::vector<std::array<double, 4>> points;
    for (double frame, col, row, ra, dec; std::getline(in, line);) {
      if (line.size() > 40 && (std::stringstream(line) >> frame >> col >> row >> ra >> dec))
        points.push_back({col + 1.0, row + 1.0, ra * kDeg, dec * kDeg});
    }
    ASSERT_GE(points.size(), 2u);
    for (const auto& p : {points.front(), points.back()}) {
      TrackPoint end{static_cast<float>(p[0]), static_cast<float>(p[1])};
      PlaceTrackEndOnSky(end, plate);
      EXPECT_LT(AngularSeparation(end.ra, end.dec, p[2], p[3]), 2.0 / 60.0 * kDeg) << p[0] << " " << p[1];
    }
  }
}

}  // namespace
