#include "session/identify_hint.h"

#include <algorithm>
#include <vector>

namespace {

// The marks crowd when their bounding box covers less than half the frame in width or in height.
constexpr double kSpreadFraction = 0.5;

}  // namespace

std::string FewMarksHint(std::span<const StarMark> marks, int imageWidth, int imageHeight) {
  const int count = static_cast<int>(marks.size());
  if (count >= kDependableMarkCount) return {};
  std::string hint = "Отмечено звезд: " + std::to_string(count) +
                     ". Надежно идентифицируются пять и более звезд, разнесенных по всему кадру.";
  if (count == 0 || imageWidth <= 0 || imageHeight <= 0) return hint;

  float left = marks[0].x, right = marks[0].x, top = marks[0].y, bottom = marks[0].y;
  for (const StarMark& m : marks) {
    left = std::min(left, m.x);
    right = std::max(right, m.x);
    top = std::min(top, m.y);
    bottom = std::max(bottom, m.y);
  }
  const bool narrow = right - left < kSpreadFraction * imageWidth;
  const bool low = bottom - top < kSpreadFraction * imageHeight;
  if (!narrow && !low) return hint;

  // The edges farthest from the crowd, in the order the user reads them.
  std::vector<std::string> edges;
  if (low) edges.push_back((top + bottom) / 2.0f < imageHeight / 2.0f ? "нижнему" : "верхнему");
  if (narrow) edges.push_back((left + right) / 2.0f < imageWidth / 2.0f ? "правому" : "левому");
  hint += " Звезды сгрудились в одной части кадра: добавьте звезды ближе к " + edges[0];
  if (edges.size() > 1) hint += " и " + edges[1];
  hint += edges.size() > 1 ? " краям." : " краю.";
  return hint;
}
