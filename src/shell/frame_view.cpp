#include "shell/frame_view.h"

#include <algorithm>
#include <cmath>

#include "frameinfo/numbers.h"

int PointerToFrameCentre(double pointer, int displaySize, int frameHalfOnScreen) {
  if (pointer > displaySize) return displaySize - frameHalfOnScreen - 1;
  if (pointer < 1) return frameHalfOnScreen + 1;
  return RoundToInt(pointer);
}

std::string FormatRaSexagesimal(double degrees) {
  const double a = degrees / 15.0;
  int h = static_cast<int>(std::floor(a));
  int m = static_cast<int>(std::floor((a - h) * 60.0));
  double s = (a - h - m / 60.0) * 3600.0;
  s = std::floor(s * 1000.0 + 0.5) / 1000.0;
  int si = static_cast<int>(s);
  if (si >= 60) {
    si -= 60;
    m += 1;
  }
  if (m >= 60) {
    m -= 60;
    h += 1;
  }
  if (h > 23) h -= 24;
  return FormatNumber(h, "00") + "h " + FormatNumber(m, "00") + "m " + FormatNumber(si, "00") + "s";
}

std::string FormatDecSexagesimal(double degrees) {
  const std::string sign = degrees >= 0 ? "+" : "-";
  const double v = std::fabs(degrees);
  int d = static_cast<int>(v);
  int m = static_cast<int>((v - d) * 60.0);
  int s = static_cast<int>(std::floor(((v - d) * 60.0 - m) * 60.0));
  if (s >= 60) {
    s -= 60;
    m += 1;
  }
  if (m > 59) {
    m -= 60;
    d += 1;
  }
  return sign + FormatNumber(d, "00") + "° " + FormatNumber(m, "00") + "' " + FormatNumber(s, "00") + "\"";
}

void NudgeCursor(FrameState& frame, int dx, int dy) {
  frame.cursorX = static_cast<std::int16_t>(std::clamp(frame.cursorX + dx, 1, std::max<int>(1, frame.imageWidth)));
  frame.cursorY = static_cast<std::int16_t>(std::clamp(frame.cursorY + dy, 1, std::max<int>(1, frame.imageHeight)));
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
