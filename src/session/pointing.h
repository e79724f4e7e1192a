#pragma once
// A camera that stays pointed at one altitude and azimuth through a night: the sky centre of each of its
// frames follows from the frame's time and site, so that a whole batch needs one pointing and no centre
// typed frame by frame.

#include <optional>

#include "frameinfo/frame_info.h"
#include "sky/direction.h"

// The J2000 place the frame's pointing looks at at the middle of the exposure, from the frame's site
// (geodetic latitude and east longitude; the height does not turn a direction). None when the frame has no
// pointing, no mid time, or a site or time that is not a finite number. Refraction is left out: it lifts
// what the camera sees by at most 0.6 deg at the horizon and 1' at 45 deg, far inside the field a
// centre-guided identification searches.
std::optional<J2000Direction> PointingCentre(const FrameInfo& info);
