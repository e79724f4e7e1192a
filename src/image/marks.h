#pragma once
// What the user marks on a frame: star centroids in marking order and the track record (its middle and
// two ends), with the outlines the frame window draws for them.

#include <array>
#include <cstddef>
#include <cstdint>

#include "base/colour.h"
#include "sky/direction.h"

// A marked star: centroid in 1-based image pixels, the detected object's size, and its catalogue identity
// (0 while not identified). A star drawn out into a trail keeps the trail's full extent as a vector from
// one end to the other (pixels; both 0 for a round star); the centroid is then the trail's middle.
struct StarMark {
  float x = 0.0f;
  float y = 0.0f;
  std::int16_t size = 1;
  int identity = 0;
  float trailDx = 0.0f;
  float trailDy = 0.0f;
};

// One entry of the track record: image position, whether its mark is drawn, and its sky position once
// the frame is calibrated (J2000, radians).
struct TrackPoint {
  float x = 0.0f;
  float y = 0.0f;
  std::int16_t drawn = 0;
  double ra = 0.0;   // J2000 right ascension, radians
  double dec = 0.0;  // J2000 declination, radians

  J2000Direction Sky() const { return {ra, dec}; }
};

// The track record: entry 0 is the track's middle, 1 and 2 its ends; count says how many ends are marked.
struct TrackEnds {
  std::array<TrackPoint, 3> points{};
  std::uint8_t count = 0;

  TrackPoint& operator[](std::size_t i) { return points[i]; }
  const TrackPoint& operator[](std::size_t i) const { return points[i]; }
};

// A square outline in screen pixels of the shown picture (top-left corner and side) with its colour.
struct MarkOutline {
  int left = 0;
  int top = 0;
  int side = 0;
  Rgb colour;
};
