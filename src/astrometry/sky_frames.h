#pragma once
// The conversions between equatorial frames now live in sky/frames.h; this header forwards to it for
// code that still includes the old name.

#include "sky/frames.h"
