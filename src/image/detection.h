#pragma once
// Star and track-end detection around a requested image point: an analysis window cut out of the
// brightness raster, a running-median sky background, noise from the residual's histogram, a threshold
// at a fixed multiple of the noise, connected objects, and the star centroid or track end chosen from
// them. Marks found here are recorded in the frame state in image pixels; the frame window draws them.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/log.h"
#include "image/marks.h"
#include "image/raster.h"

// Half-size of the background median box (box 31 x 31 = 961 pixels).
constexpr int kBackgroundHalf = 15;
// Levels above this are not scanned for the median; a box whose median lies higher gets background 0.
constexpr int kMedianScanLimit = 250;
// Threshold factors: noise widths above the noise mode for a star and for a track end.
constexpr int kStarThresholdFactor = 10;
constexpr int kTrackThresholdFactor = 5;
// Objects peeled off per request at most.
constexpr int kMaxObjects = 30;

// The working arrays of one detection request, indexed 0..n in both axes (first index x, second y);
// index 0 is never filled. Local (i, j) stands for image pixel (centreX + i - a - 1, centreY + j - a - 1),
// so the requested point is local (a + 1, a + 1). The search region R is local 15..n - 15 in both axes.
struct AnalysisWindow {
  int centreX = 0;  // requested image pixel
  int centreY = 0;
  int a = 0;                         // margin: frame half-size + 15
  int n = 0;                         // side: 2a + 1
  std::vector<std::uint8_t> w;       // copied brightness, 0 beyond the image
  std::vector<std::uint8_t> b;       // background
  std::vector<std::uint8_t> d;       // residual max(0, w - b)
  std::vector<std::uint8_t> m;       // detection mask
  std::vector<std::int32_t> labels;  // object ids, 0 = unlabelled

  std::size_t Index(int i, int j) const { return static_cast<std::size_t>(j) * static_cast<std::size_t>(n + 1) + i; }
  // First and last local index of the search region R (same on both axes).
  int RegionFirst() const { return kBackgroundHalf; }
  int RegionLast() const { return n - kBackgroundHalf; }
};

// One connected object found in the search region; coordinates are local window indices.
struct ObjectCluster {
  std::int32_t id = 0;  // label value, 1, 2, ... in discovery order
  float xMin = 0.0f, xMax = 0.0f, yMin = 0.0f, yMax = 0.0f;
  std::int32_t area = 0;       // pixels
  std::int16_t width = 1;      // xMax - xMin, at least 1
  std::int16_t height = 1;     // yMax - yMin, at least 1
  float cx = 0.0f, cy = 0.0f;  // centre of the bounding box
};

// Noise of a residual: the most frequent level and the distance from it to the first level whose count
// is at most half the mode's (0 when there is none).
struct NoiseStatistics {
  int mode = 0;
  int width = 0;
};

// Builds the analysis window around image pixel (x, y) for a marking frame of half-size frameHalf
// (pixels): copies the brightness, computes the background and the residual. frameHalf must be >= 0.
AnalysisWindow PrepareAnalysisWindow(const BrightnessRaster& brightness, int x, int y, int frameHalf);

// Fills the background of a window whose brightness is set: the median of the 31 x 31 box around every
// local pixel 16..n - 16 (histogram median, first level reaching 481, 0 when that level is above 250);
// elsewhere the background equals the brightness. Uses a histogram slid along each row.
void ComputeBackground(AnalysisWindow& window);

// Median of a 961-value histogram as the background uses it: the first level from 0 upward at which the
// cumulative count reaches 481; 0 when no level up to 250 reaches it.
std::uint8_t BoxMedian(const std::array<int, 256>& histogram);

// Mode and noise width of the residual over the search region.
NoiseStatistics MeasureNoise(const AnalysisWindow& window);

// Detection threshold in residual levels: mode + factor x noise width.
float DetectionThreshold(const NoiseStatistics& noise, int factor);

// Splits the residual above threshold in the search region into connected objects (at most 30):
// masks, drops isolated pixels, then peels objects off from the brightest seed outwards. Labels are left
// in window.labels. Empty when nothing bright remains strictly inside the region.
std::vector<ObjectCluster> FindObjects(AnalysisWindow& window, float threshold);

// Where a star search ended: the centroid in image pixels and the object's size (pixels); for a star drawn
// out into a trail, the trail's extent from one end to the other (pixels, both 0 for a round star).
struct StarMeasurement {
  bool found = false;
  float sx = 0.0f;
  float sy = 0.0f;
  std::int16_t size = 0;
  float trailDx = 0.0f;
  float trailDy = 0.0f;
};

// The trail every star of a frame is drawn out into when the camera or the mount moved during the
// exposure: the extent from one end to the other (pixels) and the width across it (Gaussian sigma,
// pixels). No extent means the frame's stars are round.
struct StarTrailShape {
  float dx = 0.0f;
  float dy = 0.0f;
  float width = 0.0f;
  int members = 0;  // objects of the frame that share this trail

  bool Found() const { return dx != 0.0f || dy != 0.0f; }
  double Length() const;
};

// Measures the star around image pixel (x, y): the largest object above
// ten noise widths, refined by the residual-weighted centroid over a box of its size. Records nothing.
StarMeasurement MeasureStar(const BrightnessRaster& brightness, int x, int y, int frameHalf);

// Where a track-end search ended: the end point in image pixels (real values).
struct TrackEndMeasurement {
  bool found = false;
  float ex = 0.0f;
  float ey = 0.0f;
};

// Finds the end, nearest to the window's middle, of the largest elongated object (more than 10 scan lines
// and more than 10 pixels) above five noise widths around image pixel (x, y). Writes the per-object trace
// to the log.
TrackEndMeasurement MeasureTrackEnd(const BrightnessRaster& brightness, int x, int y, int frameHalf, LogFile& log);

// Result of a star request.
struct StarDetection {
  bool found = false;
  float sx = 0.0f;  // centroid, image pixels
  float sy = 0.0f;
  std::int16_t size = 0;
  bool marked = false;  // a new star mark was recorded (the last of the marks)
  float trailDx = 0.0f;  // the trail's extent for a trailed star (pixels), 0 for a round one
  float trailDy = 0.0f;
};

// What a marking request reads of the open frame.
struct MarkingFrame {
  const BrightnessRaster& brightness;
  int frameHalf = 0;  // half-size of the marking frame, image pixels
  // The trail the frame's stars share, when they are trailed (nullptr or not found: round stars).
  const StarTrailShape* trails = nullptr;
};

// Star request at image pixel (x, y) with the frame's current marking-frame size. On a frame whose stars
// are trailed the trail near the point is taken whole (its centre and extent); a point with no such
// trail is measured as a round star. With record = true a
// found star becomes a new star mark (and a log line) unless it lies within 5 pixels of an existing mark,
// in which case nothing changes and the result is not found. With record = false marks are not consulted.
StarDetection DetectStar(const MarkingFrame& frame, std::vector<StarMark>& marks, LogFile& log, int x, int y,
                         bool record);

// Appends a star mark at (x, y) image pixels with the object's size and its trail's extent (0 for a round
// star) and logs it ("Ob x y").
void AddStarMark(std::vector<StarMark>& marks, LogFile& log, float x, float y, std::int16_t size,
                 float trailDx = 0.0f, float trailDy = 0.0f);

// Result of adding a track end.
struct TrackEndAddition {
  bool added = false;  // a slot was filled: slot (1 or 2)
  int slot = 0;
  bool showHint = false;  // the second end was added: show hintLines in the hint window
  std::array<std::string, 3> hintLines;
};

// Fills the next track-end slot with (x, y) image pixels, unless it lies closer than 5 (|dx| + |dy|) to
// the previous end or both slots are filled. frameSolved tells which hint follows the second end.
TrackEndAddition AddTrackEnd(TrackEnds& track, float x, float y, bool frameSolved);

// Result of a track-end request.
struct TrackEndDetection {
  bool found = false;
  int ex = 0;  // end point rounded down, image pixels
  int ey = 0;
  TrackEndAddition addition;  // what was recorded (nothing when both slots were already filled)
};

// Track-end request at image pixel (x, y) with the frame's current marking-frame size; a found end is
// added to the next free track-end slot.
TrackEndDetection DetectTrackEnd(const MarkingFrame& frame, TrackEnds& track, LogFile& log, int x, int y,
                                 bool frameSolved);
