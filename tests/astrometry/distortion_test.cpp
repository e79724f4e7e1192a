// Lens distortion on top of the linear plate: the wide meteor-network frame (its star pairs, its marks
// identified without a centre, the meteor's ends measured on it), a synthetic frame drawn through a known
// distortion and a tangent point 45 degrees off the optical axis, and the stored form.

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "astrometry/plate.h"
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

TEST(LensDistortion, GmnStarPairsFitWithinAPixelAndAHalf) {
  ORVIA_REQUIRE_SHARED_FILE(GmnDir() / "uk0006_194911_starpairs.csv");
  const std::vector<FitStar> stars = ReadStarPairs();
  ASSERT_EQ(stars.size(), 150u);
  PlateConstants linear;
  ASSERT_TRUE(FitPlate(stars, 248.7 * kDeg, 18.1 * kDeg, 640.5, 360.5, linear));
  const double linearRms = PlateRmsPx(stars, linear);
  EXPECT_GT(linearRms, 20.0);
  for (int order = 2; order <= 5; ++order) {
    PlateConstants p;
    double rms = 0.0;
    ASSERT_TRUE(FitDistortedPlate(stars, linear.ra0, linear.dec0, 1280, 720, order, p, rms));
    std::printf("order %d: kept rms %.3f, all %.3f\n", order, rms, PlateRmsPx(stars, p));
  }
  PlateConstants adopted = linear;
  ASSERT_TRUE(AdoptDistortion(stars, 1280, 720, adopted));
  std::printf("adopted order %d rms %.3f\n", adopted.distortion.order, PlateRmsPx(stars, adopted));
  EXPECT_LE(PlateRmsPx(stars, adopted), 1.5);
}

}  // namespace
