// The shipped star catalogue data/bin8.dat, read as raw records: size, order, and positions of a few
// bright or fast-moving stars at epoch 2026.0 worked out here from their published J2000 places.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "test_paths.h"

namespace {

struct RawStar {
  float raOffset = 0.0f;
  float dec = 0.0f;
  float mag = 0.0f;
};

float SingleAt(const std::string& bytes, size_t offset) {
  std::uint32_t bits = 0;
  for (int k = 0; k < 4; ++k)
    bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + k])) << (8 * k);
  float value = 0.0f;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

std::vector<RawStar> LoadShipped() {
  const std::string bytes = testing_support::ReadFile(testing_support::SourceDir() / "data" / "bin8.dat");
  std::vector<RawStar> stars;
  for (size_t offset = 0; offset + 12 <= bytes.size(); offset += 12) {
    stars.push_back({SingleAt(bytes, offset), SingleAt(bytes, offset + 4), SingleAt(bytes, offset + 8)});
  }
  return stars;
}

constexpr double kPi = 3.14159265358979;
constexpr double kDeg = kPi / 180.0;

// A star's published ICRS place at epoch J2000 with its Hipparcos proper motion (mas/yr, RA one times cos Dec).
struct Reference {
  const char* name;
  int raH, raM;
  double raS;
  int decSign, decD, decM;
  double decS;
  double pmRaCosDec, pmDec;
  float mag;
};

// Angular distance in arcseconds (haversine form, good at small separations).
double SeparationArcsec(double ra1, double dec1, double ra2, double dec2) {
  const double sDec = std::sin((dec2 - dec1) / 2.0);
  const double sRa = std::sin((ra2 - ra1) / 2.0);
  const double h = sDec * sDec + std::cos(dec1) * std::cos(dec2) * sRa * sRa;
  return 2.0 * std::asin(std::sqrt(h)) / kDeg * 3600.0;
}

TEST(ShippedCatalogueTest, HoldsEveryStarBrightestFirst) {
  const std::vector<RawStar> stars = LoadShipped();
  ASSERT_EQ(stars.size(), 41411u);
  for (size_t i = 1; i < stars.size(); ++i) ASSERT_LE(stars[i - 1].mag, stars[i].mag) << i;
  EXPECT_FLOAT_EQ(stars.front().mag, -1.44f);  // Sirius
  EXPECT_LE(stars.back().mag, 8.0f);
  for (const RawStar& s : stars) {
    ASSERT_TRUE(std::isfinite(s.raOffset) && std::isfinite(s.dec) && std::isfinite(s.mag));
    ASSERT_GE(s.raOffset, -kPi - 1e-6);
    ASSERT_LT(s.raOffset, kPi + 1e-6);
    ASSERT_LE(std::fabs(s.dec), kPi / 2.0 + 1e-6);
  }
}

TEST(ShippedCatalogueTest, StarsSitAtTheirPlacesOfEpoch2026) {
  const Reference references[] = {
      {"Sirius", 6, 45, 8.91728, -1, 16, 42, 58.0171, -546.01, -1223.07, -1.44f},
      {"alpha Cen A", 14, 39, 36.49400, -1, 60, 50, 2.3737, -3678.19, 481.84, -0.01f},
      {"Arcturus", 14, 15, 39.67207, 1, 19, 10, 56.6730, -1093.39, -2000.06, -0.05f},
      {"Polaris", 2, 31, 49.09456, 1, 89, 15, 50.7923, 44.48, -11.85, 1.97f},
      {"Groombridge 1830", 11, 52, 58.7683, 1, 37, 43, 7.240, 4003.98, -5813.62, 6.42f},
  };
  const std::vector<RawStar> stars = LoadShipped();
  ASSERT_FALSE(stars.empty());
  const double years = 26.0;
  for (const Reference& r : references) {
    const double ra0 = (r.raH + r.raM / 60.0 + r.raS / 3600.0) * 15.0 * kDeg;
    const double dec0 = r.decSign * (r.decD + r.decM / 60.0 + r.decS / 3600.0) * kDeg;
    // First-order motion in the coordinates: fine for 26 years, even for Polaris.
    const double mas = kDeg / 3.6e6;
    const double ra = ra0 + r.pmRaCosDec * mas * years / std::cos(dec0);
    const double dec = dec0 + r.pmDec * mas * years;
    // The nearest catalogue star of the right brightness.
    double best = 1e9;
    for (const RawStar& s : stars) {
      if (std::fabs(s.mag - r.mag) > 0.005f) continue;
      best = std::min(best, SeparationArcsec(s.raOffset + kPi, s.dec, ra, dec));
    }
    EXPECT_LT(best, 1.5) << r.name;
    // The same star left at its J2000 place would be far off for the fast movers.
    if (std::hypot(r.pmRaCosDec, r.pmDec) > 1000.0) {
      double atJ2000 = 1e9;
      for (const RawStar& s : stars) {
        if (std::fabs(s.mag - r.mag) > 0.005f) continue;
        atJ2000 = std::min(atJ2000, SeparationArcsec(s.raOffset + kPi, s.dec, ra0, dec0));
      }
      EXPECT_GT(atJ2000, 20.0) << r.name;
    }
  }
}

}  // namespace
