#pragma once
// Star identification: finds which catalogue star each marked star is by matching the vertex angles of
// triangles of marks against catalogue triangles (asterisms), verifying every match by fitting a plate
// and looking for further marks near predicted catalogue positions, then ranking the hypotheses and
// adopting the best one, which calibrates the frame.
//
// Two modes: blind (the whole sky through the asterism file) and known centre (catalogue stars within
// the given field of view of a given centre, with their triangles formed on the spot).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "astrometry/asterism.h"
#include "astrometry/plate.h"
#include "base/log.h"
#include "base/task_control.h"
#include "image/marks.h"

// Messages of the identification, shown with the caption "Сообщение".
inline constexpr const char* kIdentificationFailedText = "Идентификация не произошла.";
inline constexpr const char* kLessThanHalfText =
    "Идентифицировано меньше половины звезд. Проверьте идентификацию визуально.";
inline constexpr const char* kBadFieldOfViewText = "Задан неподходящий размер поля зрения";
// Accepted range of the user's field of view in known-centre mode, degrees (inclusive).
inline constexpr double kMinFieldOfViewDeg = 3.0;
inline constexpr double kMaxFieldOfViewDeg = 70.0;
// Catalogue display depth after a successful identification, magnitudes.
inline constexpr double kIdentifiedDisplayDepth = 4.0;

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
// Mode numbers for a frame: blind 7..80 degrees and 4.5 mag; known centre 3 degrees .. 1.3 x FOV and 7.5 mag.
IdentificationMode MakeIdentificationMode(bool blind, double fieldOfViewDeg, int imageWidth, int imageHeight);

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
// Ranks the hypotheses by marks identified (stable), writes "hyp_id.txt" into appDir, and when the best
// has fewer than 10 marks groups them by similarity and ranks again; adopts the first.
Adoption RankHypotheses(std::vector<IdentificationHypothesis>& hypotheses, const std::string& appDir);

// How many hypotheses as well supported as h chance alone would be expected to produce over the given
// number of triangle trials: the marks beyond the matched triangle each fall within the six-pixel
// tolerance of some candidate star with the probability given by the candidates' density over the frame,
// and the count of such coincidences follows a Poisson law. A real identification gives a tiny value; a
// frame of unrelated marks gives values near or above 1.
double ChanceIdentifications(const IdentificationHypothesis& h, const ExtensionStars& candidates, int markCount,
                             int imageWidth, int imageHeight, std::size_t trials);

// The texts of the panel's program rows after a successful identification.
struct IdentificationPanelTexts {
  std::string stars;   // "15  Ид: 12"
  std::string ra;      // "05h34.5m"
  std::string dec;     // "+22°01'"
  std::string scaleX;  // "60.0\"/пикс"
  std::string scaleY;
  std::string fieldSize;  // "20.0° x 13.3°"
  std::string rotation;   // "30.0°"
  std::string mirrored;   // "Yes" / "No"
  std::string depth;      // "4.0"
};
// Panel texts of a plate solution for a frame of the given size with markCount marks.
IdentificationPanelTexts MakePanelTexts(const PlateSolution& solution, int markCount, int imageWidth, int imageHeight);

// What the identification command hands over.
struct IdentificationInput {
  std::vector<StarMark> marks;
  int imageWidth = 0;
  int imageHeight = 0;
  double midMjd = 0.0;
  double longitudeRad = 0.0;
  double latitudeRad = 0.0;
  bool considerVisibility = true;
  double raUserDeg = 0.0;  // known-centre mode: the given centre and field of view, degrees
  double decUserDeg = 0.0;
  double fieldUserDeg = 0.0;
  std::string catalogPath;   // "bin8.dat"
  std::string asterismPath;  // "tri4t.dat"
  std::string appDir;        // where "hyp_id.txt" goes (with a trailing separator)
  LogFile* log = nullptr;    // "Nid_id=" and the run time; may be null
  // Whether the pattern solver ("patterns.idx" beside the asterism file) may answer when the triangle
  // matcher fails or its plate does not pass the verification against every mark.
  bool patternSolver = true;
};

// What an identification run produced.
struct IdentificationResult {
  bool success = false;
  bool cancelled = false;
  PlateSolution solution;  // display and working form, nid and the field-size text (valid on success)
  // Per mark, as the frame keeps it: the reference positions of the adopted triangle's three marks, 0 for
  // the others (the working list itself is gone after the run).
  std::vector<std::int32_t> identities;
  // Per mark, the catalogue record number of every mark the adopted hypothesis identified, 0 for none.
  std::vector<std::int32_t> catalogueNumbers;
  std::size_t hypothesisCount = 0;
  double catalogueDepth = 0.0;        // kIdentifiedDisplayDepth after success
  IdentificationPanelTexts panel;     // filled on success
  std::vector<std::string> messages;  // to show in order ("Сообщение"), possibly none
  bool byPatterns = false;            // the pattern solver gave the answer
};

// Blind identification through the asterism file.
IdentificationResult RunBlindIdentification(const IdentificationInput& input, TaskControl& task);
// Identification about the given centre within the given field of view.
IdentificationResult RunKnownCentreIdentification(const IdentificationInput& input, TaskControl& task);
// The command's run: known-centre mode first checks the field of view (3..70 degrees inclusive) and
// fails with "Задан неподходящий размер поля зрения" alone; otherwise the mode's run.
IdentificationResult IdentifyStars(const IdentificationInput& input, bool knownCentre, TaskControl& task);
