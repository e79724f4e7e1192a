#pragma once
// The identification bench: star lists drawn from the catalogue through the frame generator's own
// projection (random centres over the whole sky, random rotation, a fifth of them mirrored), in several
// variants, run through the program's identification and scored against the truth.
//
// Variants:
//   clean      the N brightest resolvable stars of the frame, 0.3 px centroid noise
//   random6    N random resolvable stars to V 6 (the brightest of the frame where there are too few)
//   spurious   clean plus one or two marks where there is no star (none within the resolving distance)
//   planet     clean plus a bright point marked first, off every star alike
//   noisy      clean with 1.5 px noise
//   distorted  clean through barrel or pincushion distortion moving the corners by 1 % of the half-diagonal
//   random     N marks at random pixels: every identification of them is wrong
// A star is resolvable when no star as bright or brighter lies within 8 px (a detector would merge them).
#include <cstdint>
#include <string>
#include <vector>

#include "astrometry/catalogue.h"
#include "astrometry/triangle_matcher.h"
#include "image/marks.h"

struct BenchCase {
  std::string variant;
  double fieldDeg = 0.0;  // frame width
  int width = 0;
  int height = 0;
  double centreRaDeg = 0.0;  // true tangent point
  double centreDecDeg = 0.0;
  double typedRaDeg = 0.0;  // the centre and field an observer would type (a little off)
  double typedDecDeg = 0.0;
  double typedFieldDeg = 0.0;
  std::vector<StarMark> marks;
  std::vector<std::int32_t> truth;  // catalogue number per mark, 0 for a mark on no star
};

struct BenchPlan {
  std::uint32_t seed = 1;
  std::vector<double> fieldsDeg = {5, 10, 20, 30, 45, 60, 70};
  std::vector<std::string> variants = {"clean", "random6", "spurious", "planet", "noisy", "distorted"};
  int listsPerCell = 10;  // per field and variant
  int randomLists = 0;    // lists of purely random marks (spread over the fields)
  int minMarks = 4;
  int maxMarks = 25;
};

// Draws the lists of a bench run; the same plan always gives the same lists.
std::vector<BenchCase> DrawBenchCases(const std::vector<CatalogueRecord>& catalogue, const BenchPlan& plan);

// Where the program's files are for a run.
struct BenchFiles {
  std::string catalogPath;
  std::string asterismPath;
  std::string workDir;  // with a trailing separator
  // Receives the identification's diagnostic texts ("hyp_id.txt"); when empty they go into workDir.
  IdentificationDiagnostics diagnostics;
};

// Which identification to run.
// Program: the command's identification (the triangle matcher, then the pattern solver); MatcherOnly:
// the triangle matcher alone; PatternsOnly: the pattern solver alone, as it runs after a failed matcher.
enum class BenchSolver { Program, MatcherOnly, PatternsOnly };

struct BenchOutcome {
  bool success = false;     // identified with no wrong identity
  bool wrong = false;       // reported success with a mark on the wrong star (or any success on random marks)
  bool byPatterns = false;  // the pattern solver answered
  double seconds = 0.0;     // processor time of the run
  int identified = 0;
};

BenchOutcome RunBenchCase(const BenchCase& c, bool knownCentre, BenchSolver solver, const BenchFiles& files);

// A known-centre list run through the triangle matcher alone and through the program.
struct BenchAnswers {
  bool matcherRight = false;      // the matcher answered with no wrong identity
  bool programSolved = false;
  bool sameIdentities = false;    // the program's catalogue numbers per mark equal the matcher's
  double plateDifferencePx = 0.0; // largest distance between the two plates' pixels for one sky point
};
BenchAnswers RunBothWays(const BenchCase& c, const BenchFiles& files);
