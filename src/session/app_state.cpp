#include "session/app_state.h"

#include "base/numbers.h"
#include "session/fixed_camera.h"

FrameSizeTable MakeFrameSizeTable() {
  FrameSizeTable t{};
  const std::uint8_t halves[8] = {9, 10, 12, 15, 18, 25, 35, 70};
  const std::uint8_t zooms[8] = {8, 7, 6, 5, 4, 3, 2, 1};
  for (int i = 0; i < 8; ++i) {
    t[i].half = halves[i];
    t[i].side = static_cast<std::uint8_t>(2 * halves[i] + 1);
    t[i].zoom = zooms[i];
    t[i].fragmentSide = static_cast<std::uint8_t>(zooms[i] * t[i].side);
  }
  return t;
}

const FrameSizeRow& FrameSizeOf(const FrameState& frame, const FrameSizeTable& table) {
  return table[frame.frameSizeIndex < 8 ? frame.frameSizeIndex : 3];
}

void ApplyFrameSize(FrameState& frame, const FrameSizeTable& table) {
  const FrameSizeRow& row = FrameSizeOf(frame, table);
  frame.frameHalf = row.half;
  frame.frameSide = row.side;
}

MarkingFrame MarkingOf(const FrameState& frame) {
  return MarkingFrame{frame.brightness, frame.frameHalf};
}

TrackFrame TrackFrameOf(const FrameState& frame, const AppState& app) {
  const FrameInfo& info = frame.info;
  return TrackFrame{
      frame.brightness, frame.frameHalf,
      frame.imageWidth, frame.imageHeight,
      frame.plate,      VisibilityFilter{info.considerVisibility, info.midMjd, info.longitudeRad, info.latitudeRad},
      app.catalogPath,  CameraViewOf(info),
      TrackEndMjd(info, 1), TrackEndMjd(info, 2)};
}

CatalogueFrame CatalogueFrameOf(const FrameState& frame, const AppState& app) {
  return CatalogueFrame{app.catalogueReady, frame.frameOpen, frame.plate, frame.imageWidth,
                        frame.imageHeight,  app.catalogPath, app.palette};
}
