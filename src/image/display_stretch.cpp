#include "image/display_stretch.h"

#include <algorithm>
#include <cmath>

namespace {

// The smallest level whose cumulative count reaches the fraction of all counts.
int Quantile(const Histogram256& histogram, std::uint64_t total, double fraction) {
  const double wanted = fraction * static_cast<double>(total);
  std::uint64_t sum = 0;
  for (int level = 0; level < 256; ++level) {
    sum += histogram[static_cast<std::size_t>(level)];
    if (static_cast<double>(sum) >= wanted) return level;
  }
  return 255;
}

}  // namespace

StretchPoints AutoStretchPoints(const Histogram256& histogram, double lowFraction, double highFraction) {
  std::uint64_t total = 0;
  for (std::uint64_t count : histogram) total += count;
  if (total == 0) return {};
  constexpr int kLeastSpan = 8;
  StretchPoints p;
  p.black = Quantile(histogram, total, lowFraction);
  p.white = Quantile(histogram, total, highFraction);
  if (p.white - p.black < kLeastSpan) {
    // A nearly flat frame: open the span upwards, or downwards at the top of the range.
    p.white = std::min(255, p.black + kLeastSpan);
    p.black = std::max(0, p.white - kLeastSpan);
  }
  return p;
}

std::array<std::uint8_t, 256> StretchTable(StretchPoints points, double gamma) {
  std::array<std::uint8_t, 256> table{};
  const int black = std::clamp(points.black, 0, 254);
  const int white = std::clamp(points.white, black + 1, 255);
  const double exponent = gamma > 0 && std::isfinite(gamma) ? 1.0 / gamma : 1.0;
  for (int v = 0; v < 256; ++v) {
    const double t = std::clamp((v - black) / static_cast<double>(white - black), 0.0, 1.0);
    table[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(std::lround(255.0 * std::pow(t, exponent)));
  }
  return table;
}

std::array<std::uint32_t, 256> BrightnessGains(const std::array<std::uint8_t, 256>& table) {
  std::array<std::uint32_t, 256> gains{};
  // Level 0 has no channel to scale; StretchColour gives it table[0] directly.
  for (int v = 1; v < 256; ++v)
    gains[static_cast<std::size_t>(v)] =
        static_cast<std::uint32_t>(std::lround(65536.0 * table[static_cast<std::size_t>(v)] / v));
  return gains;
}
