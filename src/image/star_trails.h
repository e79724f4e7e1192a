#pragma once
// Stars drawn out into trails. When the camera or the mount moves during the exposure every star of the
// frame becomes a short trail of the same direction and length. Such trails are found as objects of the
// residual smoothed over 3 x 3 pixels (a trail spreads its light, so it is fainter per pixel than a round
// star), recognised as a population (elongated objects whose direction and length agree with most of the
// others), and measured at their centre: the residual-weighted centroid over a window laid along the
// common trail. A satellite streak differs from the population in direction or length and is not taken.

#include <vector>

#include "image/auto_detect.h"
#include "image/detection.h"
#include "image/raster.h"

// Noise widths of the 3 x 3 mean a trail's pixels must exceed.
constexpr double kTrailSigmas = 4.0;

// One object of the smoothed residual, measured as a possible trail. Coordinates in image pixels.
struct TrailObject {
  double x = 0.0;  // residual-weighted centroid
  double y = 0.0;
  double length = 0.0;  // end-to-end length of the light's core along the major axis, pixels
  double angle = 0.0;   // direction of the major axis, radians in (-pi/2, pi/2]
  double width = 0.0;   // spread across (weighted standard deviation), pixels
  double flux = 0.0;    // summed residual, levels x pixels
  double peak = 0.0;    // brightest residual
  int area = 0;         // pixels of the object
  int saturated = 0;    // pixels at or above the saturation level
  int xMin = 0, xMax = 0, yMin = 0, yMax = 0;
};

// Every object of the residual over the rectangle x0..x1 x y0..y1 (image pixels, inclusive) whose 3 x 3
// mean rises above the background by `sigmas` noise widths of that mean. Objects of fewer than four
// pixels are left out.
std::vector<TrailObject> FindTrailObjects(const BrightnessRaster& raster, const SkyBackground& sky, int x0, int y0,
                                          int x1, int y1, double sigmas, int saturationLevel);

// The trail the frame's stars share: found when at least five unsaturated elongated objects, and at
// least half of all elongated ones, agree in direction and length with each other. Not found otherwise.
StarTrailShape FindTrailShape(const std::vector<TrailObject>& objects);

// True when the object agrees with the trail in direction and length.
bool MatchesTrail(const TrailObject& object, const StarTrailShape& trail);

// Moves (x, y) to the residual-weighted centroid of the trail near it, over a window laid along the trail
// (its length and a few widths more). Sets the summed residual and the brightest residual in the
// window. False when the window holds no light.
bool RefineTrailCentre(const BrightnessRaster& raster, const SkyBackground& sky, const StarTrailShape& trail, double& x,
                       double& y, double& flux, double& peak);

// The trail of the frame's stars, from the whole raster (not found for a frame of round stars).
StarTrailShape FindFrameTrail(const BrightnessRaster& raster, const SkyBackground& sky, int saturationLevel = 250);

// Measures the trailed star near image pixel (x, y): of the objects of the marking frame around it that
// agree with the frame's trail, the one nearest to the point, at its centre. Not found when there is none.
StarMeasurement MeasureTrailedStar(const BrightnessRaster& brightness, int x, int y, int frameHalf,
                                   const StarTrailShape& trail);
