#pragma once
// The arithmetic of the frame window: following the mouse, keyboard nudges and the sexagesimal readout.

#include <string>
#include <vector>

#include "astrometry/track.h"
#include "base/colour.h"
#include "image/marks.h"
#include "orbit/trajectories.h"
#include "session/app_state.h"

// Outline of a star mark: a square centred on the mark's screen position (image pixels / displayScale,
// rounded) with half-side size / displayScale rounded, at least 2 screen pixels.
MarkOutline StarMarkOutline(const StarMark& mark, float displayScale, const MarkPalette& palette);
// Outline of a track-end mark: a 4 x 4 square whose top-left corner is 2 screen pixels up and left of the
// end's screen position.
MarkOutline TrackEndOutline(const TrackPoint& end, float displayScale, const MarkPalette& palette);
// Outline of a star of the local solution: a 4 x 4 square centred on its screen position, in the
// catalogue-star colour.
MarkOutline LocalReferenceOutline(const LocalReferenceMark& mark, float displayScale, const MarkPalette& palette);

// Half-side of a catalogue star's square, screen pixels: (8 - magnitude) / displayScale rounded, at least 1.
int CatalogueMarkerHalfSide(float magnitude, float displayScale);

// Top-left corner of a satellite's name label on the picture, screen pixels.
struct LabelCorner {
  float left = 0.0f;
  float top = 0.0f;
};
// Where a label whose text is width x height screen pixels stands: at its place on screen (image pixels /
// displayScale), moved left and up so that the text ends 3 screen pixels inside the right and bottom edges of
// the picture (pictureWidth x pictureHeight screen pixels), and never beyond its left or top edge.
LabelCorner LabelOnScreen(const TrajectoryLabel& label, float displayScale, float pictureWidth, float pictureHeight,
                          float width, float height);

// Screen coordinate of the marking frame for a pointer coordinate: rounded to nearest, and outside
// the picture (beyond displaySize or below 1) put frameHalfOnScreen + 1 pixels inside its edge.
int PointerToFrameCentre(double pointer, int displaySize, int frameHalfOnScreen);
// What the frame window shows beside the analysis: the picture's size and scale on screen, the marking frame's side and
// half-side on screen, the fragment window's zoom and side (screen pixels), the cursor (the marking frame's centre,
// image pixels) and whether a click is being served.
struct FrameViewState {
  std::int16_t displayWidth = 0;  // the shown picture, screen pixels
  std::int16_t displayHeight = 0;
  float displayScale = 1.0f;  // image pixels per screen pixel
  std::int16_t zoom = 0;
  std::int16_t fragmentSide = 0;
  std::int16_t frameSideOnScreen = 0;
  std::int16_t frameHalfOnScreen = 0;
  std::int16_t cursorX = 0;
  std::int16_t cursorY = 0;
  bool busy = false;
};

// Takes the zoom and fragment side of a marking-frame size and its side and half-side on screen at the
// display scale (image pixels per screen pixel), rounded to nearest.
void ApplyFrameSizeOnScreen(FrameViewState& view, const FrameSizeRow& row, float displayScale);
// Moves the cursor by whole image pixels, clamped to the frame's image.
void NudgeCursor(FrameViewState& view, const FrameState& frame, int dx, int dy);

// A predicted trajectory point as the frame window shows it: position in the picture (screen pixels) and the
// time text of its label.
struct TrajectoryScreenPoint {
  double x = 0.0;
  double y = 0.0;
  std::string time;
};
// Index of the trajectory point nearest to the marking frame's centre (cx, cy), screen pixels, when it lies
// closer than 2 screen pixels; -1 otherwise. Squared distances are compared, starting from 5 x displayWidth
// as the smallest so far; a point must be strictly closer to replace it, so on a tie the first one wins.
int NearestTrajectoryPoint(const std::vector<TrajectoryScreenPoint>& points, int cx, int cy, int displayWidth);
