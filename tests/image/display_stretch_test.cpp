#include "image/display_stretch.h"

#include <gtest/gtest.h>

namespace {

TEST(DisplayStretch, PointsSitAtTheSkyBackgroundAndTheBrightestStars) {
  // 1000 pixels: 900 of sky at 20..29 (90 each), 90 at 60, 10 stars at 250.
  Histogram256 h{};
  for (int v = 20; v < 30; ++v) h[v] = 90;
  h[60] = 90;
  h[250] = 10;
  const StretchPoints p = AutoStretchPoints(h);
  EXPECT_EQ(p.black, 25);   // the 500th pixel lies in the sixth sky level
  EXPECT_EQ(p.white, 250);  // the 999.5th pixel is a star
  const StretchPoints flat = AutoStretchPoints([] {
    Histogram256 one{};
    one[255] = 100;
    return one;
  }());
  EXPECT_EQ(flat.black, 247);
  EXPECT_EQ(flat.white, 255);
  const StretchPoints none = AutoStretchPoints(Histogram256{});
  EXPECT_EQ(none.black, 0);
  EXPECT_EQ(none.white, 255);
}

TEST(DisplayStretch, TableMapsTheSpanAndGammaBrightensTheFaint) {
  const auto linear = StretchTable({20, 220}, 1.0);
  EXPECT_EQ(linear[0], 0);
  EXPECT_EQ(linear[20], 0);
  EXPECT_EQ(linear[120], 128);  // half way: 127.5 rounds up
  EXPECT_EQ(linear[220], 255);
  EXPECT_EQ(linear[255], 255);
  const auto gamma2 = StretchTable({20, 220}, 2.0);
  EXPECT_EQ(gamma2[120], 180);  // 255 * sqrt(0.5) = 180.3
  EXPECT_EQ(gamma2[70], 128);   // 255 * sqrt(0.25) = 127.5
  for (int v = 1; v < 256; ++v) EXPECT_GE(gamma2[v], gamma2[v - 1]);
  const auto bad = StretchTable({200, 100}, 0.0);  // crossed points and no gamma: still a usable ramp
  EXPECT_EQ(bad[200], 0);
  EXPECT_EQ(bad[201], 255);
}

}  // namespace
