#include "desktop/frame_render.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

QImage HalveImage(const QImage& image) {
  const int w = std::max(1, (image.width() + 1) / 2);
  const int h = std::max(1, (image.height() + 1) / 2);
  QImage half(w, h, QImage::Format_RGB32);
  for (int y = 0; y < h; ++y) {
    const int y0 = 2 * y;
    const int y1 = std::min(y0 + 1, image.height() - 1);
    const auto* a = reinterpret_cast<const QRgb*>(image.constScanLine(y0));
    const auto* b = reinterpret_cast<const QRgb*>(image.constScanLine(y1));
    auto* out = reinterpret_cast<QRgb*>(half.scanLine(y));
    for (int x = 0; x < w; ++x) {
      const int x0 = 2 * x;
      const int x1 = std::min(x0 + 1, image.width() - 1);
      const QRgb p[4] = {a[x0], a[x1], b[x0], b[x1]};
      int r = 0, g = 0, bl = 0;
      for (QRgb q : p) {
        r += qRed(q);
        g += qGreen(q);
        bl += qBlue(q);
      }
      out[x] = qRgb((r + 2) / 4, (g + 2) / 4, (bl + 2) / 4);
    }
  }
  return half;
}

void FramePyramid::SetImage(const QImage& frame, QSize displaySize) {
  levels_.clear();
  histogram_.fill(0);
  if (frame.isNull()) return;
  levels_.push_back(frame.convertToFormat(QImage::Format_RGB32));
  if (levels_.front().constBits() == frame.constBits()) levels_.front().detach();
  // Halve while a copy is still larger than twice the display size: the display copy covers the rest.
  while (levels_.back().width() > 2 * std::max(1, displaySize.width()) ||
         levels_.back().height() > 2 * std::max(1, displaySize.height()))
    levels_.push_back(HalveImage(levels_.back()));
  display_ = levels_.back().scaled(displaySize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  const QImage& sample = levels_.back();
  for (int y = 0; y < sample.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(sample.constScanLine(y));
    for (int x = 0; x < sample.width(); ++x)
      ++histogram_[static_cast<std::size_t>((qRed(row[x]) + qGreen(row[x]) + qBlue(row[x])) / 3)];
  }
}

void FramePyramid::SetStretchTable(const std::array<std::uint8_t, 256>& table) {
  table_ = table;
  gains_ = BrightnessGains(table);
  stretched_ = true;
}

void FramePyramid::ClearStretch() {
  stretched_ = false;
}

void FramePyramid::Draw(QPainter& painter, const QRectF& source, const QRect& target) const {
  if (levels_.empty() || target.isEmpty() || source.isEmpty()) return;
  const double fullWidth = levels_.front().width();
  const double wanted = target.width() / source.width();  // screen pixels per frame pixel
  // The smallest copy with at least the wanted resolution; the display copy when it is enough.
  const QImage* from = &levels_.front();
  for (const QImage& level : levels_)
    if (level.width() / fullWidth >= wanted * 0.999) from = &level;
  if (display_.width() / fullWidth >= wanted * 0.999) from = &display_;
  const double k = from->width() / fullWidth;
  // Keep the source inside the copy and the target in proportion.
  const QRectF inCopy(source.left() * k, source.top() * k, source.width() * k, source.height() * k);
  const QRectF clipped = inCopy.intersected(QRectF(0, 0, from->width(), from->height()));
  if (clipped.isEmpty()) return;
  const double sx = target.width() / inCopy.width();
  const double sy = target.height() / inCopy.height();
  const QRectF drawTo(target.left() + (clipped.left() - inCopy.left()) * sx,
                      target.top() + (clipped.top() - inCopy.top()) * sy, clipped.width() * sx, clipped.height() * sy);
  QImage buffer(target.size(), QImage::Format_RGB32);
  buffer.fill(Qt::black);
  {
    QPainter p(&buffer);
    // Enlarged frame pixels stay sharp squares; reduced ones are interpolated.
    p.setRenderHint(QPainter::SmoothPixmapTransform, sx < 1.0);
    p.drawImage(drawTo.translated(-target.topLeft()), *from, clipped);
  }
  if (stretched_) {
    for (int y = 0; y < buffer.height(); ++y) {
      auto* row = reinterpret_cast<QRgb*>(buffer.scanLine(y));
      for (int x = 0; x < buffer.width(); ++x) {
        const Rgb8 c =
            StretchColour(gains_, table_,
                          {static_cast<std::uint8_t>(qRed(row[x])), static_cast<std::uint8_t>(qGreen(row[x])),
                           static_cast<std::uint8_t>(qBlue(row[x]))});
        row[x] = qRgb(c.r, c.g, c.b);
      }
    }
  }
  painter.drawImage(target.topLeft(), buffer);
}
