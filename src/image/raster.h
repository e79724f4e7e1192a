#pragma once
// The brightness raster of a frame and the screen/image coordinate conversions.

#include <cstdint>
#include <vector>

#include "image/decode.h"

// 8-bit brightness per image pixel, 1-based: valid at x in 1..width, y in 1..height (y = 1 the top row);
// row and column 0 exist and stay 0.
struct BrightnessRaster {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> values;  // (width + 1) * (height + 1), x fastest

  std::uint8_t at(int x, int y) const { return values[static_cast<std::size_t>(y) * (width + 1) + x]; }
  std::uint8_t& at(int x, int y) { return values[static_cast<std::size_t>(y) * (width + 1) + x]; }
};

// Brightness of one pixel: 0.587 G + 0.299 R + 0.114 B in double precision, rounded half to even.
std::uint8_t PixelBrightness(std::uint32_t pixel);
// The brightness raster of a decoded picture.
BrightnessRaster MakeBrightness(const DecodedImage& image);

// Size of the picture in the frame window: the longer side at most 600 screen pixels.
struct DisplayGeometry {
  int displayWidth = 0;
  int displayHeight = 0;
  float displayScale = 1.0f;  // image pixels per screen pixel, never below 1
  float aspect = 1.0f;        // width / height
};
// Display size and scale of a picture of the given size.
DisplayGeometry ComputeDisplayGeometry(int imageWidth, int imageHeight);

// Image coordinate of a screen position: p * displayScale rounded to nearest.
int ScreenToImage(double screen, double displayScale);
// Screen position of an image coordinate: q / displayScale rounded to nearest.
int ImageToScreen(double image, double displayScale);

// The colour pixels of the image rectangle x0..x1 x y0..y1 (1-based, inclusive) as a w x h picture;
// pixels outside the image are black. Empty when the rectangle lies wholly outside the image.
DecodedImage FragmentPixels(const DecodedImage& image, int x0, int y0, int x1, int y1);
