#pragma once
// What to tell a user whose few marked stars were not identified: how many there were, that five or
// more well-spread stars identify reliably, and, when the marks crowd into one part of the frame, towards
// which edges more stars should be added.

#include <span>
#include <string>

#include "image/marks.h"

// Identification is dependable from this many star marks on; below it a failure carries the hint.
inline constexpr int kDependableMarkCount = 6;

// The hint line for a failed identification of these marks on a frame of the given size; empty when
// there were kDependableMarkCount marks or more.
std::string FewMarksHint(std::span<const StarMark> marks, int imageWidth, int imageHeight);
