#include "image/raster.h"

#include <cmath>

#include "base/numbers.h"

std::uint8_t PixelBrightness(std::uint32_t pixel) {
  const double b = pixel & 0xFF;
  const double g = (pixel >> 8) & 0xFF;
  const double r = (pixel >> 16) & 0xFF;
  const double l = 0.587 * g + 0.299 * r + 0.114 * b;
  return static_cast<std::uint8_t>(std::nearbyint(l));
}

BrightnessRaster MakeBrightness(const DecodedImage& image) {
  BrightnessRaster raster;
  raster.width = image.width;
  raster.height = image.height;
  raster.values.assign(static_cast<std::size_t>(image.width + 1) * static_cast<std::size_t>(image.height + 1), 0);
  for (int y = 1; y <= image.height; ++y) {
    const std::uint32_t* row = image.pixels.data() + static_cast<std::size_t>(y - 1) * image.width;
    for (int x = 1; x <= image.width; ++x) raster.at(x, y) = PixelBrightness(row[x - 1]);
  }
  return raster;
}

DisplayGeometry ComputeDisplayGeometry(int imageWidth, int imageHeight) {
  DisplayGeometry g;
  if (imageWidth < 1 || imageHeight < 1) return g;
  g.aspect = static_cast<float>(imageWidth) / static_cast<float>(imageHeight);
  if (g.aspect >= 1.0f) {
    const int d = imageWidth < 600 ? imageWidth : 600;
    g.displayWidth = d;
    g.displayHeight = RoundToInt(d / static_cast<double>(g.aspect));
    g.displayScale = static_cast<float>(imageWidth) / static_cast<float>(d);
  } else {
    const int d = imageHeight < 600 ? imageHeight : 600;
    g.displayHeight = d;
    g.displayWidth = RoundToInt(d * static_cast<double>(g.aspect));
    g.displayScale = static_cast<float>(imageHeight) / static_cast<float>(d);
  }
  if (g.displayWidth < 1) g.displayWidth = 1;
  if (g.displayHeight < 1) g.displayHeight = 1;
  return g;
}

int ScreenToImage(double screen, double displayScale) {
  return RoundToInt(screen * displayScale);
}

int ImageToScreen(double image, double displayScale) {
  return RoundToInt(image / displayScale);
}

DecodedImage FragmentPixels(const DecodedImage& image, int x0, int y0, int x1, int y1) {
  DecodedImage out;
  if ((x0 < 1 && x1 < 1) || (x0 > image.width && x1 > image.width)) return out;
  if ((y0 < 1 && y1 < 1) || (y0 > image.height && y1 > image.height)) return out;
  if (x1 < x0 || y1 < y0) return out;
  out.width = x1 - x0 + 1;
  out.height = y1 - y0 + 1;
  out.pixels.assign(static_cast<std::size_t>(out.width) * out.height, 0xFF000000u);
  for (int y = y0; y <= y1; ++y) {
    if (y < 1 || y > image.height) continue;
    for (int x = x0; x <= x1; ++x) {
      if (x < 1 || x > image.width) continue;
      out.pixels[static_cast<std::size_t>(y - y0) * out.width + (x - x0)] =
          image.pixels[static_cast<std::size_t>(y - 1) * image.width + (x - 1)];
    }
  }
  return out;
}
