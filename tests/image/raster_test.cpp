#include "image/raster.h"

#include <gtest/gtest.h>

namespace {

std::uint32_t Rgb32(int r, int g, int b) {
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

TEST(PixelBrightness, WeightsGreenRedBlueAndRoundsHalfToEven) {
  EXPECT_EQ(PixelBrightness(Rgb32(255, 255, 255)), 255);
  EXPECT_EQ(PixelBrightness(Rgb32(0, 255, 0)), 150);  // 149.685
  EXPECT_EQ(PixelBrightness(Rgb32(255, 0, 0)), 76);   // 76.245
  EXPECT_EQ(PixelBrightness(Rgb32(0, 0, 255)), 29);   // 29.07
  EXPECT_EQ(PixelBrightness(Rgb32(0, 0, 0)), 0);
  // Sums that come out exactly half-way in double precision go to the even neighbour.
  EXPECT_EQ(PixelBrightness(Rgb32(0, 0, 250)), 28);  // 28.5
  EXPECT_EQ(PixelBrightness(Rgb32(0, 12, 4)), 8);    // 7.5
  EXPECT_EQ(PixelBrightness(Rgb32(0, 8, 86)), 14);   // 14.5
  // The fourth byte is not read.
  EXPECT_EQ(PixelBrightness(0x00FFFFFFu), 255);
}

TEST(MakeBrightness, IsOneBasedWithAZeroBorderRowAndColumn) {
  DecodedImage image;
  image.width = 3;
  image.height = 2;
  image.pixels = {Rgb32(255, 255, 255), Rgb32(0, 255, 0), Rgb32(255, 0, 0),
                  Rgb32(0, 0, 255),     Rgb32(0, 0, 0),   Rgb32(10, 10, 10)};
  const BrightnessRaster r = MakeBrightness(image);
  ASSERT_EQ(r.width, 3);
  ASSERT_EQ(r.height, 2);
  EXPECT_EQ(r.at(1, 1), 255);
  EXPECT_EQ(r.at(2, 1), 150);
  EXPECT_EQ(r.at(3, 1), 76);
  EXPECT_EQ(r.at(1, 2), 29);
  EXPECT_EQ(r.at(3, 2), 10);
  for (int x = 0; x <= 3; ++x) EXPECT_EQ(r.at(x, 0), 0);
  for (int y = 0; y <= 2; ++y) EXPECT_EQ(r.at(0, y), 0);
}

TEST(ComputeDisplayGeometry, LimitsTheLongerSideTo600) {
  struct Case {
    int w, h, dw, dh;
    float scale;
  } cases[] = {
      {400, 300, 400, 300, 1.0f}, {3000, 2000, 600, 400, 5.0f},      {2000, 3000, 400, 600, 5.0f},
      {600, 600, 600, 600, 1.0f}, {601, 1, 600, 1, 601.0f / 600.0f}, {1, 32767, 1, 600, 32767.0f / 600.0f},
      {1, 1, 1, 1, 1.0f},
  };
  for (const Case& c : cases) {
    const DisplayGeometry g = ComputeDisplayGeometry(c.w, c.h);
    EXPECT_EQ(g.displayWidth, c.dw) << c.w << "x" << c.h;
    EXPECT_EQ(g.displayHeight, c.dh) << c.w << "x" << c.h;
    EXPECT_FLOAT_EQ(g.displayScale, c.scale) << c.w << "x" << c.h;
    EXPECT_GE(g.displayScale, 1.0f);
  }
}

TEST(ScreenImageConversion, RoundsToNearest) {
  EXPECT_EQ(ScreenToImage(100, 5.0), 500);
  EXPECT_EQ(ScreenToImage(100.3, 5.0), 502);  // 501.5 -> 502 (half to even)
  EXPECT_EQ(ImageToScreen(512, 5.0), 102);
  EXPECT_EQ(ImageToScreen(513, 5.0), 103);
}

TEST(FragmentPixels, IsBlackOutsideTheImageAndEmptyWhenWhollyOutside) {
  DecodedImage image;
  image.width = 4;
  image.height = 4;
  for (int i = 0; i < 16; ++i) image.pixels.push_back(Rgb32(i, i, i));
  const DecodedImage corner = FragmentPixels(image, -1, -1, 2, 2);
  ASSERT_EQ(corner.width, 4);
  ASSERT_EQ(corner.height, 4);
  EXPECT_EQ(corner.pixels[0], 0xFF000000u);             // (-1,-1) outside
  EXPECT_EQ(corner.pixels[2 * 4 + 2], Rgb32(0, 0, 0));  // (1,1) is pixel 0
  EXPECT_EQ(corner.pixels[3 * 4 + 3], Rgb32(5, 5, 5));  // (2,2) is pixel 5
  EXPECT_TRUE(FragmentPixels(image, 5, 1, 9, 3).pixels.empty());
  EXPECT_TRUE(FragmentPixels(image, 1, -5, 3, 0).pixels.empty());
}

}  // namespace
