#include "session/fixed_camera.h"

#include <algorithm>
#include <cmath>

#include "astrometry/track.h"

namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr double kShortestJudgedTrailPx = 2.0;
constexpr double kTrailToleranceShare = 0.2;
constexpr double kTrailTolerancePx = 1.0;
constexpr std::size_t kLeastJudgedMarks = 3;

}  // namespace

CameraView CameraViewOf(const FrameInfo& info) {
  return CameraView{info.fixedCamera, info.startMjd + info.exposure / kSecondsPerDay / 2.0};
}

double TrackEndMjd(const FrameInfo& info, int slot) {
  return slot == 1 ? info.startMjd : info.startMjd + info.exposure / kSecondsPerDay;
}

bool TrailsShowFixedCamera(const std::vector<StarMark>& marks, const std::vector<std::int32_t>& catalogueNumbers,
                           const PlateConstants& plate, const FrameInfo& info) {
  if (!(info.exposure > 0.0) || !info.startTime.IsSet()) return false;
  const double plateMjd = CameraViewOf(info).plateMjd;
  const double start = TrackEndMjd(info, 1), end = TrackEndMjd(info, 2);
  std::size_t judged = 0, matching = 0;
  for (std::size_t i = 0; i < marks.size() && i < catalogueNumbers.size(); ++i) {
    if (catalogueNumbers[i] == 0) continue;
    const StarMark& mark = marks[i];
    // The star stays where the plate puts the trail's middle; the still camera sees it move over the pixels.
    const SkyPosition star = PixelToSky(mark.x, mark.y, plate);
    double dx = 0.0, dy = 0.0;
    if (!StillCameraTrail(plate, plateMjd, star.ra, star.dec, start, end, dx, dy)) continue;
    const double length = std::hypot(dx, dy);
    if (!(length >= kShortestJudgedTrailPx)) continue;
    ++judged;
    const double off = std::min(std::hypot(mark.trailDx - dx, mark.trailDy - dy),
                                std::hypot(mark.trailDx + dx, mark.trailDy + dy));
    if (off <= std::max(kTrailTolerancePx, kTrailToleranceShare * length)) ++matching;
  }
  return judged >= kLeastJudgedMarks && 3 * matching >= 2 * judged;
}
