#pragma once
// Synthetic night-sky frames with known truth: stars of the catalogue drawn through a textbook gnomonic
// (TAN) projection about a tangent point at the image centre, with a given scale, rotation and optional
// mirroring, as Gaussian images whose flux follows magnitude, over a sky background with noise, plus
// optional straight satellite streaks. A camera that stood still is drawn too: its stars become the
// trails the sky's turning leaves over the exposure, worked out here from the hour angle that each
// pixel keeps (the mean equator of date and the change of Greenwich sidereal time). The projection is written here on its own, apart from the plate
// code it is used to test.
//
// Pixel coordinates are 1-based image pixels, x to the right, y downwards: the pixel in 0-based column c
// and row r has its centre at (c + 1, r + 1).

#include <cstdint>
#include <string>
#include <vector>

#include "astrometry/catalogue.h"
#include "image/decode.h"

// A straight streak between two pixel ends.
struct FrameStreak {
  double x1 = 0.0, y1 = 0.0, x2 = 0.0, y2 = 0.0;
  double peak = 120.0;   // brightness above the background on the streak's axis
  double sigmaPx = 1.2;  // Gaussian width across the streak, pixels
  // Ends as a moving star draws them: the point image smeared along the segment, so that the brightness
  // falls to half at each end. Otherwise the ends are round caps at full brightness.
  bool smearedEnds = false;
};

// What to draw.
struct FrameSpec {
  int width = 1200;
  int height = 800;
  double centreRaDeg = 0.0;  // tangent point, drawn at pixel (width / 2, height / 2)
  double centreDecDeg = 0.0;
  double scaleArcsec = 60.0;  // arcseconds per pixel at the tangent point
  double rotationDeg = 0.0;   // turns the sky clockwise on the image: 90 puts north to the right
  bool mirrored = false;      // east to the right instead of to the left
  // Radial lens distortion: a point at distance r from the centre is drawn at r (1 + k (r / R)^2), where R
  // is half the frame's diagonal; 0 draws the exact projection.
  double radialDistortion = 0.0;
  double limitMagnitude = 8.0;
  double referenceMagnitude = 2.0;  // a star of this magnitude peaks at referencePeak above the background
  double referencePeak = 230.0;
  double starSigmaPx = 1.2;
  double background = 20.0;
  double noiseSigma = 2.0;
  std::uint32_t seed = 1;
  std::vector<FrameStreak> streaks;
  // A camera that stood still during an exposure of fixedExposure seconds whose middle is fixedMidMjd
  // (MJD, UT); the projection above is its view at the middle. 0 draws round stars, as a mount that
  // followed the sky does.
  double fixedExposure = 0.0;
  double fixedMidMjd = 0.0;
};

// One drawn star: its catalogue record number (1-based), exact pixel position and magnitude.
struct RenderedStar {
  int number = 0;
  double x = 0.0;
  double y = 0.0;
  float magnitude = 0.0f;
  double peak = 0.0;  // brightness above the background at its centre before clipping
  // A still camera's trail: the vector from the star's place at the exposure's start to its place at the
  // end, pixels (0 for a round star); (x, y) is then the place at the middle.
  double trailDx = 0.0;
  double trailDy = 0.0;
};

// A drawn frame: 8-bit grey pixels row by row from the top, and the drawn stars in catalogue order.
struct SyntheticFrame {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> grey;
  std::vector<RenderedStar> stars;
};

// Textbook gnomonic projection of (raDeg, decDeg) onto the frame described by drawing; false for a star
// 90 degrees or more from the tangent point.
bool ProjectToFrame(const FrameSpec& drawing, double raDeg, double decDeg, double& x, double& y);

// Where a camera standing still as drawing describes sees (raDeg, decDeg) (J2000) at mjd (MJD, UT): the
// direction keeps its hour angle from the middle of the exposure on, so it is drawn at the pixel that
// looked at it then. With fixedExposure 0 the same as ProjectToFrame at any instant.
bool ProjectAtInstant(const FrameSpec& drawing, double raDeg, double decDeg, double mjd, double& x, double& y);

// Draws a frame from catalogue records; stars beyond the limit magnitude or outside the frame are left out.
SyntheticFrame RenderFrame(const std::vector<CatalogueRecord>& catalogue, const FrameSpec& drawing);
// Draws a frame from a catalogue file; false when the file cannot be read.
bool RenderFrameFromFile(const std::string& catalogPath, const FrameSpec& drawing, SyntheticFrame& frame);

// The frame as decoded 32-bit pixels (grey in all three colours), as the image decoder would deliver it.
DecodedImage ToDecodedImage(const SyntheticFrame& frame);

// Writes the frame as an uncompressed 24-bit BMP; false on a write error.
bool WriteBmp(const std::string& path, const SyntheticFrame& frame);

// Writes the truth file: the drawing parameters (plate constants) and one line per drawn star with its
// catalogue number, pixel position and magnitude; lines end with CR LF. False on a write error.
bool WriteTruthFile(const std::string& path, const FrameSpec& drawing, const SyntheticFrame& frame);
// Reads a truth file back; false when it cannot be read.
bool ReadTruthFile(const std::string& path, FrameSpec& drawing, std::vector<RenderedStar>& stars);
