#pragma once
// The triangle matcher, the first proposer of star identification: matches the vertex angles of every
// triangle of marks against catalogue triangles (asterisms: the asterism file blind, the field's own
// triangles with a known centre), fits a plate to each close match and extends it to further marks near
// predicted catalogue positions, then ranks the hypotheses. Its best hypothesis goes to the verifier
// (verify.h) like every pattern-solver plate; the vertex-angle comparison is triangle matching between
// two coordinate lists (Groth 1986, AJ 91, 1244).
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "astrometry/asterism.h"
#include "astrometry/plate.h"
#include "astrometry/reference_stars.h"
#include "base/task_control.h"
#include "image/marks.h"

// One verified match of a frame triangle with a catalogue triangle.
struct IdentificationHypothesis {
  PlateConstants plate;  // working form
  std::int16_t id = 0;   // marks identified
  double er = 0.0;       // mean mark-to-star distance, degrees
  std::int16_t group = 0;
  std::array<std::int32_t, 3> marks{};   // mark numbers (1-based) of the frame triangle
  std::array<std::int32_t, 3> stars{};   // reference positions of the catalogue triangle, vertex order
  std::vector<std::int32_t> identities;  // reference position per mark after the last extension (0 = none)
};

// Every triangle of marks whose sides all exceed 2 pixels, with vertex angles (hundredths of a degree,
// ascending) and the 1-based mark numbers of its vertices. False when cancelled.
bool BuildFrameTriangles(const std::vector<StarMark>& marks, std::vector<AsterismRecord>& triangles, TaskControl& task);

// Fills a table with every triangle of the first count reference stars (positions as star numbers).
// False when cancelled.
bool BuildFieldAsterisms(const ReferenceList& refs, std::int32_t count, AsterismTable& table, TaskControl& task);

// The reference stars that may extend a hypothesis (magnitude below the limit), in position order, with
// their unit direction vectors for a fast nearest-star search. byZ orders the candidates by the z
// component of their directions (zSorted holds it), so a search looks only at a band of declination;
// a list filled by hand without them is searched whole.
struct ExtensionStars {
  std::vector<std::int32_t> positions;
  std::vector<std::array<double, 3>> directions;
  std::vector<std::uint32_t> byZ;
  std::vector<double> zSorted;
};
// Collects the reference stars with magnitude below magnitudeLimit.
ExtensionStars PrepareExtensionStars(const ReferenceList& refs, float magnitudeLimit);

// What verifying and extending a hypothesis needs besides the triangle pair.
struct VerificationSetup {
  const std::vector<StarMark>* marks = nullptr;
  const ReferenceList* refs = nullptr;
  const ExtensionStars* candidates = nullptr;  // PrepareExtensionStars(refs, mode.extendMagnitude)
  IdentificationMode mode;
  double centreX = 0.0;  // image centre, pixels: the tangent point's pixel after re-centring
  double centreY = 0.0;
  std::size_t* closePairs = nullptr;  // when set, counts the catalogue triangles within the match limit
};

// Result of an extension: marks identified and their mean distance to their stars, degrees.
struct ExtensionResult {
  std::int16_t id = 0;
  double er = 0.0;
};
// Gives unidentified marks the nearest reference star brighter than the magnitude limit when it lies
// within six pixels (along x) and no other mark has it; then counts the identified marks and averages
// their distances to their stars. identities holds a reference position per mark (0 = none).
ExtensionResult ExtendIdentification(const std::vector<StarMark>& marks, std::vector<std::int32_t>& identities,
                                     const PlateConstants& plate, const ReferenceList& refs,
                                     const ExtensionStars& candidates);

// Verifies a frame triangle against a catalogue triangle: three rounds of plate fit and extension, each
// needing at least four identified marks and plausible scales. Appends a hypothesis when all pass.
bool VerifyHypothesis(const VerificationSetup& setup, const AsterismRecord& frameTriangle,
                      const AsterismRecord& catalogueTriangle, std::vector<IdentificationHypothesis>& hypotheses);

// Matches every frame triangle with the closest catalogue triangle of the 27 neighbouring cells
// (summed angle difference) and verifies pairs closer than 3 degrees in total. False when cancelled.
bool SearchHypotheses(const VerificationSetup& setup, const std::vector<AsterismRecord>& frameTriangles,
                      const AsterismTable& table, std::vector<IdentificationHypothesis>& hypotheses, TaskControl& task);

// The adopted hypothesis.
struct Adoption {
  bool adopted = false;   // a hypothesis was adopted (there was at least one)
  std::size_t index = 0;  // in the ranked list
  bool grouped = false;   // the similarity ranking was needed
};
// True when two hypotheses describe nearly the same plate: tangent points within 0.5 degrees, scales
// within a factor of 1.9 of each other, rotations within 10 degrees and skews within 90 degrees.
bool SimilarHypotheses(const IdentificationHypothesis& h, const IdentificationHypothesis& k);
// Receives diagnostic texts by file name: "hyp_id.txt" gets the hypotheses as they were ranked.
using IdentificationDiagnostics = std::function<void(const std::string& name, const std::string& text)>;
// A sink that writes each text into the directory (with a trailing separator) under its name, through a
// temporary file renamed over the old one.
IdentificationDiagnostics DiagnosticFilesIn(const std::string& directory);

// Ranks the hypotheses by marks identified (stable), hands the "hyp_id.txt" listing to the sink, and when
// the best has fewer than 10 marks groups them by similarity and ranks again; adopts the first.
Adoption RankHypotheses(std::vector<IdentificationHypothesis>& hypotheses, const IdentificationDiagnostics& sink);
// The same with the listing written into appDir (with a trailing separator).
Adoption RankHypotheses(std::vector<IdentificationHypothesis>& hypotheses, const std::string& appDir);

// How many hypotheses as well supported as h chance alone would be expected to produce over the given
// number of triangle trials: the marks beyond the matched triangle each fall within the six-pixel
// tolerance of some candidate star with the probability given by the candidates' density over the frame,
// and the count of such coincidences follows a Poisson law. A real identification gives a tiny value; a
// frame of unrelated marks gives values near or above 1.
double ChanceIdentifications(const IdentificationHypothesis& h, const ExtensionStars& candidates, int markCount,
                             int imageWidth, int imageHeight, std::size_t trials);
