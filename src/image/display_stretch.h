#pragma once
// The display stretch of the frame window: black and white points from the frame's histogram and a
// gamma, as a lookup table applied to what is shown only (never to the raster that detection measures).

#include <array>
#include <cstdint>

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
