#pragma once
// Automatic detection over the whole frame: the sky background and its noise estimated in tiles, stars
// found as local maxima above a threshold (saturated blobs, hot pixels and streaks left out), and straight
// streaks found as elongated objects of the smoothed residual whose two ends are then measured to a
// fraction of a pixel by fitting the streak's profile along and across its line.
//
// The marks themselves are made through the same calls a click makes, so that a frame marked
// automatically is indistinguishable from one marked by hand.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "base/log.h"
#include "base/task_control.h"
#include "image/detection.h"
#include "image/marks.h"
#include "image/raster.h"

// The sky of a frame in square tiles: per tile its background level and noise (brightness levels),
// with bilinear interpolation between tile centres.
struct SkyBackground {
  int tile = 64;  // side of a tile, pixels
  int columns = 0;
  int rows = 0;
  std::vector<float> level;  // columns x rows, row by row
  std::vector<float> noise;  // standard deviation of the sky, levels (at least 0.5)

  // Interpolated background at image pixel (x, y), 1-based.
  float LevelAt(double x, double y) const;
  // Interpolated noise at image pixel (x, y).
  float NoiseAt(double x, double y) const;
};

// The level below which the given fraction of a 256-level histogram's count (total) lies, interpolated
// inside the level's bin (each level spans level - 0.5 .. level + 0.5); 255 when the count is short.
double HistogramQuantile(const std::array<int, 256>& histogram, int total, double fraction);

// Estimates the background (median) and noise (from the lower half of the histogram, robust to stars)
// of every tile of the raster.
SkyBackground EstimateBackground(const BrightnessRaster& raster, int tile = 64);

// A star found over the whole frame, image pixels.
struct StarCandidate {
  double x = 0.0;  // intensity-weighted centroid
  double y = 0.0;
  double flux = 0.0;  // summed residual above the background, levels x pixels
  double peak = 0.0;  // brightest residual
  int area = 0;       // pixels above the threshold
  double trailDx = 0.0;  // a trailed star's extent from one end to the other, pixels (0 for a round star)
  double trailDy = 0.0;
};

// A straight streak: its two ends measured to a fraction of a pixel, its profile and its strength.
struct StreakCandidate {
  double x1 = 0.0;  // end points, image pixels (1-based, the centre of the top-left pixel is (1, 1))
  double y1 = 0.0;
  double x2 = 0.0;
  double y2 = 0.0;
  double width = 0.0;      // Gaussian sigma of the cross profile, pixels
  double amplitude = 0.0;  // peak level of the profile above the background
  double snr = 0.0;        // signal-to-noise of the whole streak
  bool fitted = false;     // the profile fit converged (otherwise the ends are those of the object)

  double Length() const;
};

// Settings of the automatic detection.
struct AutoDetectOptions {
  int starCount = 30;                // stars to mark
  double starThreshold = 6.0;        // noise sigmas a star's peak must rise above the background
  double streakThreshold = 2.5;      // noise sigmas of the smoothed residual a streak's pixels must exceed
  double minStreakLength = 25.0;     // pixels
  double minStreakElongation = 5.0;  // length over width
  int saturationLevel = 250;         // a blob with several pixels at or above this is saturated
  int edgeMargin = 20;               // pixels a marked star keeps from the frame's edges
};

// What the star search saw over the frame: enough to tell the user why too few stars were found.
struct StarCensus {
  int objects = 0;     // groups of three pixels or more above the star threshold
  int saturated = 0;   // left out as saturated
  int elongated = 0;   // left out as elongated (before the trails were looked for)
  int nearEdge = 0;    // left out near the frame's edges
  int nearStreak = 0;  // left out on or beside a streak
  int trailed = 0;     // stars taken as trails of the frame's common trail
  StarTrailShape trail;  // the trail the frame's stars share (not found for round stars)
  double level = 0.0;    // median sky level and noise over the frame, levels
  double noise = 0.0;
};

// Every star of the frame, brightest first, with saturated blobs, single hot pixels, elongated objects and
// anything within a few widths of the given streaks left out. When most elongated objects share one
// direction and length (the camera or the mount moved during the exposure) they are the frame's stars:
// each is taken at the centre of its trail, with the trail's extent. What was seen goes to census.
std::vector<StarCandidate> FindStars(const BrightnessRaster& raster, const SkyBackground& sky,
                                     const AutoDetectOptions& options,
                                     const std::vector<StreakCandidate>& streaks = {}, StarCensus* census = nullptr);

// Chooses up to count stars, brightest first, spread over the frame (the brightest of every region of
// a grid before the second brightest of any) and apart from each other (for trails: their segments apart).
std::vector<StarCandidate> ChooseSpreadStars(const std::vector<StarCandidate>& stars, int imageWidth, int imageHeight,
                                             int count);

// Every straight streak of the frame, strongest first, with both ends fitted.
std::vector<StreakCandidate> FindStreaks(const BrightnessRaster& raster, const SkyBackground& sky,
                                         const AutoDetectOptions& options, TaskControl& task);

// Refines a streak's ends, width and amplitude by a least-squares fit of a line-segment model (a Gaussian
// across, a blurred step at each end along) to the pixels of a band around its line. False (streak
// untouched) when the fit does not converge or leaves the band.
bool FitStreakProfile(const BrightnessRaster& raster, const SkyBackground& sky, StreakCandidate& streak);

// What automatic star marking did.
struct AutoStarMarking {
  int candidates = 0;  // stars found over the frame
  int marked = 0;      // marks made
  StarTrailShape trail;  // the trail the frame's stars share (not found for round stars)
  // With fewer than six marks, why: what was seen over the frame (one line, shown beside the usual text).
  std::string shortage;
};

// The fewest marks automatic marking should make; with fewer it says why.
constexpr int kWantedAutoStars = 6;

// Why automatic marking made only `marked` marks, from what the star search saw: the objects found and how
// many were elongated, saturated, at the edge or on a streak, or that too few rose above the noise.
std::string StarShortageText(const StarCensus& census, int marked);

// Automatic star marking: clears nothing, finds the stars of the frame (leaving out the given streaks) and
// clicks the chosen ones through the star request, so every mark and log line is that of a click.
// The frame's background is estimated unless given.
AutoStarMarking AutoMarkStars(const MarkingFrame& frame, std::vector<StarMark>& marks, LogFile& log,
                              const AutoDetectOptions& options, const std::vector<StreakCandidate>& streaks = {},
                              const SkyBackground* sky = nullptr);

// Marks a streak's two ends as track ends 1 and 2 through the manual end marking (the track record is
// emptied first). Returns the two additions (the slots filled and the hint after the second end).
std::vector<TrackEndAddition> MarkStreakEnds(TrackEnds& track, const StreakCandidate& streak, bool frameSolved);

// The line of a streak as the list of several streaks shows it: "1: (1946.0, 981.7) - (2112.2, 1270.9),
// 334 пикс., с/ш 85".
std::string StreakText(int number, const StreakCandidate& streak);
