#pragma once
// Generated night-sky rasters with known truth for the detection tests and benchmark: a flat sky with
// Gaussian noise, Gaussian stars at exact positions, straight streaks and single pixels.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

#include "image/raster.h"

namespace star_field {

// A raster of width x height pixels at sky level with Gaussian noise of the given sigma (levels), rounded
// and clamped to 0..255.
inline BrightnessRaster MakeSky(int width, int height, double level, double sigma, unsigned seed) {
  BrightnessRaster r;
  r.width = width;
  r.height = height;
  r.values.assign(static_cast<std::size_t>(width + 1) * static_cast<std::size_t>(height + 1), 0);
  std::mt19937 rng(seed);
  std::normal_distribution<double> noise(0.0, sigma > 0.0 ? sigma : 1.0);
  for (int y = 1; y <= height; ++y)
    for (int x = 1; x <= width; ++x) {
      const double v = level + (sigma > 0.0 ? noise(rng) : 0.0);
      r.at(x, y) = static_cast<std::uint8_t>(std::clamp(std::nearbyint(v), 0.0, 255.0));
    }
  return r;
}

// Adds amplitude x value to a pixel inside the raster, saturating at 255.
inline void AddToPixel(BrightnessRaster& r, int x, int y, double value) {
  if (x < 1 || y < 1 || x > r.width || y > r.height) return;
  const double v = r.at(x, y) + value;
  r.at(x, y) = static_cast<std::uint8_t>(std::clamp(std::nearbyint(v), 0.0, 255.0));
}

// Adds a circular Gaussian star of peak amplitude amp (levels) and sigma psf (pixels) centred on the real
// image position (x, y), sampled at pixel centres.
inline void AddStar(BrightnessRaster& r, double x, double y, double amp, double psf) {
  const int reach = static_cast<int>(std::ceil(5.0 * psf));
  const int x0 = static_cast<int>(std::floor(x)), y0 = static_cast<int>(std::floor(y));
  for (int py = y0 - reach; py <= y0 + reach + 1; ++py)
    for (int px = x0 - reach; px <= x0 + reach + 1; ++px) {
      const double d2 = (px - x) * (px - x) + (py - y) * (py - y);
      AddToPixel(r, px, py, amp * std::exp(-d2 / (2.0 * psf * psf)));
    }
}

// Adds a straight streak from (x0, y0) to (x1, y1) with a Gaussian cross-profile of peak amp and sigma
// psf; the streak stops sharply at its two ends.
inline void AddStreak(BrightnessRaster& r, double x0, double y0, double x1, double y1, double amp, double psf) {
  const double len = std::hypot(x1 - x0, y1 - y0);
  const double ux = (x1 - x0) / len, uy = (y1 - y0) / len;
  const int reach = static_cast<int>(std::ceil(4.0 * psf)) + 1;
  const int minX = static_cast<int>(std::floor(std::min(x0, x1))) - reach;
  const int maxX = static_cast<int>(std::ceil(std::max(x0, x1))) + reach;
  const int minY = static_cast<int>(std::floor(std::min(y0, y1))) - reach;
  const int maxY = static_cast<int>(std::ceil(std::max(y0, y1))) + reach;
  for (int py = minY; py <= maxY; ++py)
    for (int px = minX; px <= maxX; ++px) {
      const double along = (px - x0) * ux + (py - y0) * uy;
      if (along < 0.0 || along > len) continue;
      const double across = -(px - x0) * uy + (py - y0) * ux;
      AddToPixel(r, px, py, amp * std::exp(-across * across / (2.0 * psf * psf)));
    }
}

// Sets every pixel of the rectangle x0..x1 x y0..y1 (inclusive) to value.
inline void FillRect(BrightnessRaster& r, int x0, int y0, int x1, int y1, std::uint8_t value) {
  for (int y = std::max(1, y0); y <= std::min(r.height, y1); ++y)
    for (int x = std::max(1, x0); x <= std::min(r.width, x1); ++x) r.at(x, y) = value;
}

}  // namespace star_field
