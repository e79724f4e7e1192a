#pragma once
// The arithmetic of the frame window: following the mouse, keyboard nudges and the sexagesimal readout.

#include <string>

#include "shell/app_state.h"

// Screen coordinate of the marking frame for a pointer coordinate: rounded to nearest, and outside
// the picture (beyond displaySize or below 1) put frameHalfOnScreen + 1 pixels inside its edge.
int PointerToFrameCentre(double pointer, int displaySize, int frameHalfOnScreen);
// Right ascension in degrees as "05h 34m 07s" (seconds truncated after millisecond rounding, with carries).
std::string FormatRaSexagesimal(double degrees);
// Declination in degrees as "+07° 24' 25\"" (seconds rounded down, with carries).
std::string FormatDecSexagesimal(double degrees);
// Moves the cursor by whole image pixels, clamped to the image.
void NudgeCursor(FrameState& frame, int dx, int dy);
