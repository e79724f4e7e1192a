#include "desktop/frame_view.h"

#include <algorithm>
#include <cmath>

#include "base/numbers.h"
#include "image/raster.h"

MarkOutline StarMarkOutline(const StarMark& mark, float displayScale, const MarkPalette& palette) {
  const double scale = displayScale > 0.0f ? displayScale : 1.0;
  const int centreX = ImageToScreen(mark.x, scale);
  const int centreY = ImageToScreen(mark.y, scale);
  const int half = std::max(2, RoundToInt(mark.size / scale));
  return MarkOutline{centreX - half, centreY - half, 2 * half, palette.starMark};
}

MarkOutline TrackEndOutline(const TrackPoint& end, float displayScale, const MarkPalette& palette) {
  const double scale = displayScale > 0.0f ? displayScale : 1.0;
  return MarkOutline{ImageToScreen(end.x, scale) - 2, ImageToScreen(end.y, scale) - 2, 4, palette.trackEnd};
}

MarkOutline LocalReferenceOutline(const LocalReferenceMark& mark, float displayScale, const MarkPalette& palette) {
  const double scale = displayScale > 0.0f ? displayScale : 1.0;
  return MarkOutline{ImageToScreen(mark.x, scale) - 2, ImageToScreen(mark.y, scale) - 2, 4, palette.catalogueStar};
}

int CatalogueMarkerHalfSide(float magnitude, float displayScale) {
  const double scale = displayScale > 0.0f ? displayScale : 1.0;
  return std::max(1, RoundToInt((8.0 - magnitude) / scale));
}

LabelCorner LabelOnScreen(const TrajectoryLabel& label, float displayScale, float pictureWidth, float pictureHeight,
                          float width, float height) {
  const float scale = displayScale > 0.0f ? displayScale : 1.0f;
  const float x = label.x / scale, y = label.y / scale;
  return LabelCorner{std::max(0.0f, std::min(x, pictureWidth - width - 3.0f)),
                     std::max(0.0f, std::min(y, pictureHeight - height - 3.0f))};
}

int PointerToFrameCentre(double pointer, int displaySize, int frameHalfOnScreen) {
  if (pointer > displaySize) return displaySize - frameHalfOnScreen - 1;
  if (pointer < 1) return frameHalfOnScreen + 1;
  return RoundToInt(pointer);
}

void ApplyFrameSizeOnScreen(FrameViewState& view, const FrameSizeRow& row, float displayScale) {
  view.zoom = row.zoom;
  view.fragmentSide = row.fragmentSide;
  const double scale = displayScale > 0 ? displayScale : 1.0;
  view.frameSideOnScreen = static_cast<std::int16_t>(RoundToInt(row.side / scale));
  view.frameHalfOnScreen = static_cast<std::int16_t>(RoundToInt(row.half / scale));
}

void NudgeCursor(FrameViewState& view, const FrameState& frame, int dx, int dy) {
  view.cursorX = static_cast<std::int16_t>(std::clamp(view.cursorX + dx, 1, std::max<int>(1, frame.imageWidth)));
  view.cursorY = static_cast<std::int16_t>(std::clamp(view.cursorY + dy, 1, std::max<int>(1, frame.imageHeight)));
}

int NearestTrajectoryPoint(const std::vector<TrajectoryScreenPoint>& points, int cx, int cy, int displayWidth) {
  double smallest = 5.0 * displayWidth;
  int nearest = -1;
  for (std::size_t k = 0; k < points.size(); ++k) {
    const double dx = points[k].x - cx;
    const double dy = points[k].y - cy;
    const double d2 = dx * dx + dy * dy;
    if (d2 < smallest) {
      smallest = d2;
      nearest = static_cast<int>(k);
    }
  }
  if (nearest < 0 || !(std::sqrt(smallest) < 2.0)) return -1;
  return nearest;
}
