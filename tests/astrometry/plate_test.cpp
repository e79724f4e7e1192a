#include "astrometry/plate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "base/calendar.h"

namespace {

constexpr double kPi = 3.14159265358979;
constexpr double kDeg = kPi / 180.0;
constexpr double kArcsec = kDeg / 3600.0;

struct Vec {
  double x, y, z;
};
Vec Unit(double ra, double dec) {
  return {std::cos(dec) * std::cos(ra), std::cos(dec) * std::sin(ra), std::sin(dec)};
}
double Dot(Vec a, Vec b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

// A camera written from the textbook gnomonic projection, independent of the code under test: the star's
// direction is divided by its component along the optical axis and expressed in the east and north unit
// vectors of the tangent point; the image shows north rotated by rotDeg, east to the left unless mirrored.
struct Camera {
  double ra0, dec0, scaleArcsec, rotDeg;
  bool mirrored;
  double cx, cy;

  bool Project(double ra, double dec, double& x, double& y) const {
    const Vec s = Unit(ra, dec), t = Unit(ra0, dec0);
    const Vec east = {-std::sin(ra0), std::cos(ra0), 0.0};
    const Vec north = {-std::sin(dec0) * std::cos(ra0), -std::sin(dec0) * std::sin(ra0), std::cos(dec0)};
    const double d = Dot(s, t);
    if (d <= 0) return false;
    const double xi = Dot(s, east) / d, eta = Dot(s, north) / d;
    const double r = rotDeg * kDeg;
    const double u = xi * std::cos(r) - eta * std::sin(r), v = xi * std::sin(r) + eta * std::cos(r);
    const double scale = scaleArcsec * kArcsec;
    x = cx + (mirrored ? u : -u) / scale;
    y = cy - v / scale;
    return true;
  }
};

// Stars scattered over the camera's frame with their exact pixels.
std::vector<FitStar> StarsOnFrame(const Camera& cam, int count, double halfFieldDeg, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> offset(-halfFieldDeg, halfFieldDeg);
  std::vector<FitStar> stars;
  while (static_cast<int>(stars.size()) < count) {
    const double dec = cam.dec0 + offset(rng) * kDeg;
    const double ra = cam.ra0 + offset(rng) * kDeg / std::cos(dec);
    FitStar s{0, 0, std::fmod(ra + 2 * kPi, 2 * kPi), dec};
    if (cam.Project(s.ra, s.dec, s.x, s.y)) stars.push_back(s);
  }
  return stars;
}

}  // namespace

TEST(Plate, FitRecoversAKnownCameraAndTheTransformsInvertEachOther) {
  const Camera cam{80 * kDeg, 25 * kDeg, 10.0, 30.0, false, 500.0, 400.0};
  const auto stars = StarsOnFrame(cam, 12, 1.2, 1);
  PlateConstants plate;
  // Started a degree away, the one re-centring brings the tangent point close to the image centre and
  // the fit still maps every star within a thousandth of a pixel.
  ASSERT_TRUE(FitPlate(stars, 81 * kDeg, 24 * kDeg, 500.0, 400.0, plate));
  EXPECT_NEAR(plate.dec0, cam.dec0, 3 * kArcsec);
  for (const FitStar& s : stars) {
    const PixelPosition p = SkyToPixel(s.ra, s.dec, plate);
    EXPECT_NEAR(p.x, s.x, 1e-3);
    EXPECT_NEAR(p.y, s.y, 1e-3);
  }
  // Started at the true centre it finds the camera's constants again to rounding precision.
  ASSERT_TRUE(FitPlate(stars, cam.ra0, cam.dec0, 500.0, 400.0, plate));
  EXPECT_NEAR(plate.ra0, cam.ra0, 0.05 * kArcsec);
  EXPECT_NEAR(plate.dec0, cam.dec0, 0.05 * kArcsec);
  EXPECT_NEAR(plate.mx / kArcsec, 10.0, 1e-6);
  EXPECT_NEAR(plate.my / kArcsec, 10.0, 1e-6);
  EXPECT_NEAR(std::fabs(plate.f) / kDeg, 30.0, 1e-6);
  EXPECT_NEAR(plate.g, 0.0, 1e-8);
  EXPECT_NEAR(plate.xo, 500.0, 1e-4);
  EXPECT_NEAR(plate.yo, 400.0, 1e-4);
  for (const FitStar& s : stars) {
    const PixelPosition p = SkyToPixel(s.ra, s.dec, plate);
    ASSERT_TRUE(p.valid);
    EXPECT_NEAR(p.x, s.x, 1e-3);
    EXPECT_NEAR(p.y, s.y, 1e-3);
  }
  // Every pixel of a 1000 x 800 frame goes to the sky and back (single-precision pixels).
  double worst = 0.0;
  for (int y = 1; y <= 800; y += 7) {
    for (int x = 1; x <= 1000; x += 7) {
      const SkyPosition sky = PixelToSky(x, y, plate);
      double camX, camY;
      ASSERT_TRUE(cam.Project(sky.ra, sky.dec, camX, camY));
      worst = std::max(worst, std::hypot(camX - x, camY - y));
      const PixelPosition back = SkyToPixel(sky.ra, sky.dec, plate);
      ASSERT_TRUE(back.valid);
      ASSERT_NEAR(back.x, x, 1e-3);
      ASSERT_NEAR(back.y, y, 1e-3);
    }
  }
  EXPECT_LT(worst, 1e-4);
}

TEST(Plate, MirroredFramesAndThreeStarFitsAndWorkingForm) {
  for (double rot : {0.0, 75.0, -140.0}) {
    const Camera cam{200 * kDeg, -40 * kDeg, 60.0, rot, true, 600.0, 450.0};
    const auto stars = StarsOnFrame(cam, 8, 5.0, 2);
    PlateConstants plate;
    ASSERT_TRUE(FitPlate(stars, cam.ra0, cam.dec0, 600.0, 450.0, plate)) << rot;
    EXPECT_NEAR(std::fabs(plate.g) / kDeg, 180.0, 1e-6) << rot;
    EXPECT_NEAR(plate.mx / kArcsec, 60.0, 1e-6);
    const PixelPosition p = SkyToPixel(stars[3].ra, stars[3].dec, plate);
    EXPECT_NEAR(p.x, stars[3].x, 2e-3);
    EXPECT_NEAR(p.y, stars[3].y, 2e-3);
  }
  // Three stars fix all six constants exactly.
  const Camera cam{10 * kDeg, 60 * kDeg, 30.0, -20.0, false, 320.0, 240.0};
  const auto three = StarsOnFrame(cam, 3, 2.0, 7);
  PlateConstants plate;
  ASSERT_TRUE(FitPlate(three, cam.ra0, cam.dec0, 320.0, 240.0, plate));
  const auto others = StarsOnFrame(cam, 5, 2.0, 8);
  for (const FitStar& s : others) {
    const SkyPosition sky = PixelToSky(s.x, s.y, plate);
    EXPECT_NEAR(sky.dec, s.dec, 1e-3 * kArcsec);
    EXPECT_NEAR(std::remainder(sky.ra - s.ra, 2 * kPi) * std::cos(s.dec), 0.0, 1e-3 * kArcsec);
  }
  // Display form round trip.
  PlateSolution solution;
  EXPECT_FALSE(solution.Solved());
  SetFromWorking(solution, plate);
  EXPECT_TRUE(solution.Solved());
  EXPECT_NEAR(solution.mxArcsec, 30.0, 1e-6);
  EXPECT_NEAR(solution.fDeg, plate.f / kDeg, 1e-12);
  EXPECT_NEAR(solution.working.mx, plate.mx, 1e-18);
  EXPECT_NEAR(solution.working.dec0, plate.dec0, 1e-15);
}

TEST(Plate, DegenerateFitsFailWithoutTouchingThePlate) {
  const Camera cam{100 * kDeg, 10 * kDeg, 20.0, 10.0, false, 500.0, 500.0};
  auto stars = StarsOnFrame(cam, 6, 2.0, 3);
  PlateConstants plate;
  plate.mx = 123.0;
  const std::vector<FitStar> two(stars.begin(), stars.begin() + 2);
  EXPECT_FALSE(FitPlate(two, cam.ra0, cam.dec0, 500, 500, plate));
  // Collinear pixels (stars strung along one line).
  std::vector<FitStar> line;
  for (int i = 0; i < 5; ++i)
    line.push_back({100.0 + 50 * i, 200.0 + 20 * i, (100 + 0.1 * i) * kDeg, (10 + 0.03 * i) * kDeg});
  EXPECT_FALSE(FitPlate(line, cam.ra0, cam.dec0, 500, 500, plate));
  // All stars at one pixel.
  std::vector<FitStar> same(4, stars[0]);
  EXPECT_FALSE(FitPlate(same, cam.ra0, cam.dec0, 500, 500, plate));
  // A strongly sheared mapping fails the skew test.
  std::vector<FitStar> sheared = stars;
  for (FitStar& s : sheared) s.x += 0.6 * (s.y - 500.0);
  EXPECT_FALSE(FitPlate(sheared, cam.ra0, cam.dec0, 500, 500, plate));
  // A star on the far side of the sky from the tangent point.
  stars[0].ra += kPi;
  stars[0].dec = -stars[0].dec;
  EXPECT_FALSE(FitPlate(stars, cam.ra0, cam.dec0, 500, 500, plate));
  EXPECT_EQ(plate.mx, 123.0);
  EXPECT_FALSE(SkyToPixel(cam.ra0 + kPi, -cam.dec0, plate).valid);
}

TEST(Plate, RightAscensionStaysInOneTurnAcrossZeroHoursAndAtThePole) {
  PlateConstants plate{0.0, 0.0, 20 * kArcsec, 20 * kArcsec, 0.0, 0.0, 500.0, 500.0};
  const SkyPosition left = PixelToSky(400, 500, plate);   // east of the tangent point
  const SkyPosition right = PixelToSky(600, 500, plate);  // west of it
  EXPECT_NEAR(left.ra, std::atan(100 * 20 * kArcsec), 1e-12);
  EXPECT_NEAR(right.ra, 2 * kPi - std::atan(100 * 20 * kArcsec), 1e-12);
  EXPECT_LT(PixelToSky(500.0000001, 500, plate).ra, 2 * kPi);
  plate.dec0 = kPi / 2;
  const SkyPosition pole = PixelToSky(500, 500, plate);
  EXPECT_NEAR(pole.dec, kPi / 2, 1e-12);
  EXPECT_GE(pole.ra, 0.0);
  EXPECT_LT(pole.ra, 2 * kPi);
}

TEST(Plate, LeastSquaresAndSeriesStatistics) {
  // An overdetermined consistent system returns its exact solution.
  std::vector<std::array<double, 4>> rows;
  for (int i = 0; i < 7; ++i) {
    const double a = i * 1.7 - 3, b = (i * i) % 5 + 0.25, c = 1.0;
    rows.push_back({a, b, c, 2.5 * a - 4.0 * b + 0.125 * c});
  }
  LeastSquaresResult r = SolveLeastSquares(rows);
  EXPECT_EQ(r.rank, 3);
  EXPECT_NEAR(r.coefficients[0], 2.5, 1e-12);
  EXPECT_NEAR(r.coefficients[1], -4.0, 1e-12);
  EXPECT_NEAR(r.coefficients[2], 0.125, 1e-12);
  // Least squares of an inconsistent system: the mean of 1, 2, 4 for a single constant column, with
  // the two empty columns dropped as zero singular values.
  r = SolveLeastSquares({{0, 1, 0, 1}, {0, 1, 0, 2}, {0, 1, 0, 4}});
  EXPECT_EQ(r.rank, 1);
  EXPECT_NEAR(r.coefficients[1], 7.0 / 3.0, 1e-12);
  EXPECT_EQ(r.coefficients[0], 0.0);
  // Line fit y = m x + q by least squares, compared with the normal equations.
  std::vector<std::array<double, 4>> line = {{0, 1, 0, 1.1}, {1, 1, 0, 2.9}, {2, 1, 0, 5.2}, {3, 1, 0, 6.8}};
  r = SolveLeastSquares(line);
  EXPECT_NEAR(r.coefficients[0], 1.94, 1e-12);
  EXPECT_NEAR(r.coefficients[1], 1.09, 1e-12);

  MeanDeviation md = MeanAndDeviation({1.0, 2.0, 3.0}, 0, 2);
  EXPECT_DOUBLE_EQ(md.mean, 2.0);
  EXPECT_DOUBLE_EQ(md.deviation, 1.0);
  md = MeanAndDeviation({9.0, 5.0, 7.0}, 1, 1);
  EXPECT_DOUBLE_EQ(md.mean, 5.0);
  EXPECT_EQ(md.deviation, 0.0);
}
