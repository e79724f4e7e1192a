#pragma once
// The frame window's picture at any zoom: the frame at full resolution, copies halved again and again
// (a pyramid), the display-size copy, and the display stretch applied to what is drawn. Drawing costs
// about the drawn area, whatever the frame's size.

#include <QImage>
#include <QRectF>
#include <array>
#include <cstdint>
#include <vector>

#include "image/display_stretch.h"

class QPainter;

class FramePyramid {
public:
  // Takes a copy of the frame (RGB32) and builds the halved copies and the copy of the display size.
  void SetImage(const QImage& frame, QSize displaySize);
  bool IsNull() const { return levels_.empty(); }
  QSize ImageSize() const { return levels_.empty() ? QSize() : levels_.front().size(); }
  // Histogram of the frame's brightness (mean of the three channels), taken from a reduced copy.
  const Histogram256& BrightnessHistogram() const { return histogram_; }
  // The stretch of what is drawn: the table maps each pixel's brightness, its channels follow it in
  // proportion (the hue stays); the identity when unset.
  void SetStretchTable(const std::array<std::uint8_t, 256>& table);
  void ClearStretch();
  // Draws the frame's area source (0-based image pixels, pixel k covering [k, k + 1)) into the painter's
  // target rectangle, from the smallest copy that still has at least the target's resolution.
  void Draw(QPainter& painter, const QRectF& source, const QRect& target) const;

private:
  std::vector<QImage> levels_;  // levels_[0]: the frame; each next one half the size
  QImage display_;              // the frame smoothed to the display size
  Histogram256 histogram_{};
  std::array<std::uint8_t, 256> table_{};
  std::array<std::uint32_t, 256> gains_{};
  bool stretched_ = false;
};

// Halves an RGB32 image by averaging each 2 x 2 block (a last odd row or column is averaged alone).
QImage HalveImage(const QImage& image);
