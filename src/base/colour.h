#pragma once
// Colours of the marks and outlines Orvia draws over a frame.

#include <cstdint>

// An RGB colour.
struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
};

// Colours of marks and frame outlines.
struct MarkPalette {
  Rgb starMark{220, 10, 10};
  Rgb catalogueStar{250, 160, 190};
  Rgb trackEnd{255, 0, 255};
  Rgb catalogueAux{205, 216, 241};
  Rgb manualFrame{0, 200, 200};
  Rgb viewFrame{220, 230, 250};
  Rgb trajectory{200, 120, 0};
  Rgb trajectoryAux{120, 120, 120};
};
