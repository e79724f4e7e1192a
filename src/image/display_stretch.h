#pragma once
// The display stretch of the frame window: black and white points from the frame's histogram and a
// gamma, as a lookup table applied to what is shown only (never to the raster that detection measures).

#include <array>
#include <cstdint>

// How a stretch is applied to a colour pixel: its brightness (the mean of the three channels) goes through the
// table and every channel is scaled by the same factor, so that the pixel keeps its hue and the sky its
// colour; a channel that would pass full scale stops there.

// A histogram of 8-bit brightness values.
using Histogram256 = std::array<std::uint64_t, 256>;

// Black and white points of a stretch, 0..255, black < white.
struct StretchPoints {
  int black = 0;
  int white = 255;
};

// Automatic points: the black point at the sky background (the histogram's lowFraction quantile) and the
// white point at its highFraction quantile, kept at least 8 levels apart; the identity for an empty
// histogram.
StretchPoints AutoStretchPoints(const Histogram256& histogram, double lowFraction = 0.5, double highFraction = 0.9995);

// The table of a stretch: values up to black show black, from white show white, and in between
// ((v - black) / (white - black)) ^ (1 / gamma) of full scale, rounded; gamma above 1 brightens the faint.
std::array<std::uint8_t, 256> StretchTable(StretchPoints points, double gamma);

// Per brightness level v (the mean of a pixel's channels), the factor table[v] / v that scales each channel,
// in units of 1/65536; level 0 takes table[0] as its channels' value (see StretchColour).
std::array<std::uint32_t, 256> BrightnessGains(const std::array<std::uint8_t, 256>& table);

// A colour pixel through a stretch: the channels of a pixel of brightness v scaled by gains[v], each at most
// 255; a black pixel becomes the grey table[0] (gains from BrightnessGains of the same table).
struct Rgb8 {
  std::uint8_t r = 0, g = 0, b = 0;
};
inline Rgb8 StretchColour(const std::array<std::uint32_t, 256>& gains, const std::array<std::uint8_t, 256>& table,
                          Rgb8 c) {
  const unsigned sum = 0u + c.r + c.g + c.b;
  if (sum == 0) return {table[0], table[0], table[0]};
  const std::uint64_t gain = gains[sum / 3];
  auto scaled = [gain](std::uint8_t v) {
    const std::uint64_t out = (v * gain + 32768u) >> 16;
    return static_cast<std::uint8_t>(out > 255u ? 255u : out);
  };
  return {scaled(c.r), scaled(c.g), scaled(c.b)};
}
