#pragma once
// A frame taken with a camera that stood still: how its pixels look at the sky over the exposure, the
// instants of its track ends, and whether its marked stars' trails show that the camera stood still
// though the frame is not marked so.

#include <cstdint>
#include <vector>

#include "frameinfo/frame_info.h"
#include "image/marks.h"
#include "astrometry/plate.h"
#include "sky/fixed_camera.h"

// The hint the identification adds when the stars' trails show a camera that stood still.
inline constexpr const char* kFixedCameraHintText =
    "Звёзды вытянуты так, как их вытягивает вращение неба: вероятно, камера была неподвижна. "
    "Отметьте «Неподвижная камера».";

// The view of the frame's pixels: fixed as the circumstances say, the plate's instant the exposure's middle.
CameraView CameraViewOf(const FrameInfo& info);
// The instant a track end was recorded: slot 1 at the exposure's start, slot 2 at its end (MJD, UT).
double TrackEndMjd(const FrameInfo& info, int slot);

// True when at least three identified marks (catalogueNumbers[i] != 0) can be judged and at least two
// thirds of them are trails whose length and direction (either way round) are what the sky's turning
// draws in a still camera during the frame's exposure under the frame's plate, within a fifth of the
// length or a pixel. A mark can be judged when the sky draws it 2 pixels or longer.
bool TrailsShowFixedCamera(const std::vector<StarMark>& marks, const std::vector<std::int32_t>& catalogueNumbers,
                           const PlateConstants& plate, const FrameInfo& info);
