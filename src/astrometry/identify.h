#pragma once
// Star identification: finds which catalogue star each marked star is, in four stages.
//   1. Reference stars (reference_stars.h): the working list of catalogue stars for the mode.
//   2. Proposers: the triangle matcher (triangle_matcher.h) ranks its hypotheses and proposes the best;
//      when the verifier refuses it, the pattern solver (solver.h) proposes plates until one passes.
//   3. The verifier (verify.h) judges every proposed plate against every mark and the chance of it.
//   4. Adoption: the accepted plate calibrates the frame, its identities become the marks'.
// The tuned numbers of all stages are in identification_tuning.h.
//
// Two modes: blind (the whole sky through the asterism file) and known centre (catalogue stars within
// the given field of view of a given centre, with their triangles formed on the spot).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "astrometry/asterism.h"
#include "astrometry/plate.h"
#include "astrometry/reference_stars.h"
#include "astrometry/triangle_matcher.h"
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
inline constexpr double kMaxFieldOfViewDeg = 100.0;
// Catalogue display depth after a successful identification, magnitudes.
inline constexpr double kIdentifiedDisplayDepth = 4.0;

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
  std::string appDir;        // where "hyp_id.txt" goes (with a trailing separator) when diagnostics is empty
  // Receives the diagnostic texts ("hyp_id.txt"); when empty they are written into appDir.
  IdentificationDiagnostics diagnostics;
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
  bool fieldRefused = false;          // the typed field of view was out of range: nothing was tried
};

// Blind identification through the asterism file.
IdentificationResult RunBlindIdentification(const IdentificationInput& input, TaskControl& task);
// Identification about the given centre within the given field of view.
IdentificationResult RunKnownCentreIdentification(const IdentificationInput& input, TaskControl& task);
// The command's run: known-centre mode first checks the field of view (3..100 degrees inclusive) and
// fails with "Задан неподходящий размер поля зрения" alone; otherwise the mode's run.
IdentificationResult IdentifyStars(const IdentificationInput& input, bool knownCentre, TaskControl& task);
