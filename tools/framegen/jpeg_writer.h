#pragma once
// JPEG output of synthetic frames through QtGui (kept apart so the generator itself stays standard C++).

#include <string>

#include "framegen/framegen.h"

// Writes the frame as a greyscale JPEG of the given quality (0..100); false on a write error.
bool WriteJpeg(const std::string& path, const SyntheticFrame& frame, int quality);
