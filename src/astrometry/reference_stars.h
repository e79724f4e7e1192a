#pragma once
// Reference stars, the first stage of star identification: the working list of catalogue stars a
// proposer may identify the marks with (the whole visible sky in blind mode, the stars about the typed
// centre otherwise), and the numbers of the mode a frame is identified in.
#include <cstdint>
#include <string>
#include <vector>

#include "base/task_control.h"

// A catalogue star of the working list: RA (stored offset plus Pi) and DEC in radians, magnitude, and
// the catalogue record number it came from.
struct ReferenceStar {
  double ra = 0.0;
  double dec = 0.0;
  float magnitude = 0.0f;
  std::int32_t number = 0;
};

// The working list (positions 1..size, stars[position - 1]) and the map from the numbers the triangles
// carry to positions (0 = not in the list): catalogue numbers in blind mode, positions themselves in
// known-centre mode.
struct ReferenceList {
  std::vector<ReferenceStar> stars;
  std::vector<std::int32_t> map;

  const ReferenceStar& At(std::int32_t position) const { return stars[static_cast<std::size_t>(position) - 1]; }
  std::int32_t size() const { return static_cast<std::int32_t>(stars.size()); }
};

// When and where the frame was taken, for the test that a star stood above the horizon.
struct VisibilityFilter {
  bool enabled = true;  // false: every star counts as visible
  double midMjd = 0.0;  // middle of the exposure, MJD UT
  double longitudeRad = 0.0;
  double latitudeRad = 0.0;
};

// The numbers a mode works with.
struct IdentificationMode {
  bool blind = true;
  double minFieldDeg = 7.0;      // smallest plausible frame width
  double maxFieldDeg = 80.0;     // largest plausible frame height
  float extendMagnitude = 4.5f;  // faint limit of stars that may extend a hypothesis (exclusive)
  double minScale = 0.0;         // radians per pixel
  double maxScale = 0.0;
};
// Mode numbers for a frame: blind 7..80 degrees and 4.5 mag; known centre 3 degrees .. 1.3 x FOV and 7.5 mag
// (kIdTuning).
IdentificationMode MakeIdentificationMode(bool blind, double fieldOfViewDeg, int imageWidth, int imageHeight);

// Loads every catalogue record whose stored RA offset and DEC are both non-zero and that is visible;
// the map is indexed by catalogue number. Returns the list length (0 when the file cannot be read or the
// task is cancelled).
std::int32_t LoadReferenceStarsBlind(const std::string& catalogPath, const VisibilityFilter& visibility,
                                     ReferenceList& refs, TaskControl& task);
// Loads the visible catalogue stars within fovDeg degrees (inclusive) of the centre (radians); the map
// is the identity on positions. A read error keeps the stars taken so far. Returns the list length.
std::int32_t LoadReferenceStarsInField(const std::string& catalogPath, const VisibilityFilter& visibility,
                                       double centreRa, double centreDec, double fovDeg, ReferenceList& refs,
                                       TaskControl& task);
