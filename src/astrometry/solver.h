#pragma once
// The pattern solver: identifies the marked stars through the pattern index, in blind mode or about a
// known centre, for frames from 3 to 90 degrees wide (the scale at the centre times the pixels: a wide
// lens compresses its edges, and a 100 degree meteor camera measures less), normal or mirrored.
//
// Triangles of marks are taken in the order the marks were made (every triangle of the first three
// marks, then every triangle that the fourth mark adds, and so on). For each scale band that a triangle's
// size fits, its marks are turned into directions with the band's scale about the image centre, which
// undoes most of the projection's stretching on wide fields, and every index triangle of nearly the same
// shape is tried, not only the nearest. A tried pair gives a plate from its three stars; a plate that is
// not nearly a rotation with equal scales is dropped at once, the others are checked against the
// remaining marks and, when enough land on stars, handed to the verifier (verify.h), which refits them to
// every mark and judges them with the number of pairs tried so far as the number of trials. A plate that
// passes only narrowly is held while the search goes on for a while (NarrowPassHold); the surest plate
// found by then is the answer. The second search, by pairs of marks, hands its plates to the same verifier.
#include <array>
#include <cstddef>
#include <vector>

#include "astrometry/identification_tuning.h"
#include "astrometry/pattern_index.h"
#include "astrometry/plate.h"
#include "astrometry/verify.h"
#include "base/task_control.h"
#include "image/marks.h"

struct PatternSolverInput {
  const std::vector<StarMark>* marks = nullptr;
  int imageWidth = 0;
  int imageHeight = 0;
  bool knownCentre = false;
  double centreRa = 0.0;  // the typed centre, radians (known-centre mode)
  double centreDec = 0.0;
  double fieldDeg = 0.0;     // the typed field of view, degrees (known-centre mode)
  // Blind: the widest frame dimension may lie between these, degrees.
  double minFieldDeg = kIdTuning.patternMinFieldDeg;
  double maxFieldDeg = kIdTuning.patternMaxFieldDeg;
  double maxLog10FalseAlarm = kIdTuning.maxLog10FalseAlarm;
};

struct PatternSolution {
  bool solved = false;
  PlateConstants plate;            // working form, tangent point at the image centre
  PlateVerification verification;  // identities per mark (catalogue numbers) and the false-alarm figure
  std::array<int, 3> triangle{};   // 0-based marks of the matched triangle
  std::size_t trials = 0;          // index triangles tried
};

// Searches the index for the marks' plate; solved only when the plate passes the verification (and, with
// a known centre, lies within half the field of the typed centre).
PatternSolution SolveWithPatterns(const PatternSolverInput& input, const PatternIndex& index,
                                  const SkyCatalogue& catalogue, TaskControl& task);

// True when the plate's tangent point lies within half the larger field dimension of (ra, dec).
bool PlateNearCentre(const PlateConstants& plate, int imageWidth, int imageHeight, double ra, double dec);
