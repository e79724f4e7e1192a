#pragma once
// Verification of an identification against every mark: a plate is believed only when far more marks
// land on catalogue stars than chance would put there, given the catalogue's density over the field,
// the match tolerance and the number of hypotheses that were tried. Also the catalogue's sky grid that
// finds the brightest star near a direction, and the refinement that re-decides every mark's identity
// after each plate fit.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "astrometry/catalogue.h"
#include "astrometry/plate.h"
#include "image/marks.h"

using UnitVector = std::array<double, 3>;

// log10 of the Poisson probability of at least k events at mean lambda.
double Log10PoissonTail(int k, double lambda);

// Unit vector of a sky position (radians).
UnitVector UnitVectorOf(double ra, double dec);

// One catalogue star of the sky grid: direction, position (radians), magnitude and record number.
struct GridStar {
  UnitVector direction{};
  double ra = 0.0;
  double dec = 0.0;
  float magnitude = 0.0f;
  std::int32_t number = 0;  // 1-based catalogue record number
};

// The whole catalogue sorted into declination strips of one degree, each cut into cells of about one
// degree of right ascension, so that the stars near a direction are found without a full scan.
struct SkyCatalogue {
  std::vector<GridStar> stars;              // sorted by cell
  std::vector<std::uint32_t> cellStart;     // per cell, first star; one extra entry at the end
  std::vector<int> stripFirstCell;          // per declination strip, its first cell
  std::vector<int> stripCells;              // per declination strip, its cell count
  std::vector<std::int32_t> indexOfNumber;  // catalogue number -> index in stars (-1 none)
  // A coarse grid for star counts over wide circles: per coarse cell its centre direction and the number
  // of its stars at or brighter than each tenth of a magnitude from kCoarseFirstMagnitude.
  std::vector<std::array<double, 3>> coarseCentre;
  std::vector<std::uint32_t> coarseCount;  // coarseCentre.size() * kCoarseMagnitudeSteps, cumulative per cell
  bool Empty() const { return stars.empty(); }
};
inline constexpr double kCoarseFirstMagnitude = -2.0;
inline constexpr int kCoarseMagnitudeSteps = 111;  // -2.0 to 9.0 in tenths

// Builds the sky grid from catalogue records; records with a zero RA offset and a zero DEC are left out
// (they are no stars).
void BuildSkyCatalogue(const std::vector<CatalogueRecord>& records, SkyCatalogue& catalogue);
// The sky grid of a catalogue file, read once per program run and kept; null when it cannot be read.
std::shared_ptr<const SkyCatalogue> CachedSkyCatalogue(const std::string& catalogPath);

// Index (in catalogue.stars) of the brightest star within radius (radians) of a direction, the nearer
// one winning equal magnitudes; -1 when there is none.
int BrightestStarWithin(const SkyCatalogue& catalogue, const UnitVector& direction, double radius);
// Index of the star nearest a direction within radius (radians) among those no fainter than magnitudeLimit;
// -1 when there is none.
int NearestStarWithin(const SkyCatalogue& catalogue, const UnitVector& direction, double radius, float magnitudeLimit);
// Number of stars brighter than magnitudeLimit within radius (radians) of a direction.
std::size_t StarsWithin(const SkyCatalogue& catalogue, const UnitVector& direction, double radius,
                        float magnitudeLimit);
// The same count for statistics: exact for small circles, from the coarse grid (cells whose centre lies
// within the circle, the limit taken to a tenth of a magnitude) for circles wider than a few degrees.
double FieldStarCount(const SkyCatalogue& catalogue, const UnitVector& direction, double radius, float magnitudeLimit);

// What a verification needs besides the plate and the marks.
// Depths a verification may choose from: 2.0 to 8.5 magnitudes in steps of a half.
constexpr int kVerificationDepths = 14;
// The depth step a star of a magnitude needs (0 for 2.0 and brighter, kVerificationDepths - 1 for 8.5 and
// fainter).
int VerificationDepthStep(double magnitude);

struct VerificationOptions {
  int imageWidth = 0;
  int imageHeight = 0;
  double tolerancePx = 5.0;        // match tolerance at the image centre, pixels
  double radialTolerance = 0.012;  // grows by this share of the distance from the image centre (lens distortion)
  double trials = 1.0;             // hypotheses tried before this one, including it
  // When not empty, the hypotheses tried counted by the faintest of their stars: entry i holds those with
  // no star fainter than 2.0 + i / 2 magnitudes (kVerificationDepths entries). A plate whose stars reach
  // only to some depth competes only with the hypotheses that could have reached it at that depth.
  std::vector<double> trialsAtDepth;
  double maxLog10FalseAlarm = -4.0;
  double maxMarkChance = 3e-4;  // per-mark chance above which an identity is not kept (see below)
  // A tightened verification keeps the tolerance it tightened (0: none): a mark whose star within the
  // tight tolerance has a brighter rival within the wide one (its own star pushed out by noise, or two
  // stars where it could be either) stays unidentified.
  double rivalTolerancePx = 0.0;
  double rivalRadialTolerance = 0.0;
  std::vector<bool> excluded;   // marks that formed the hypothesis: they are identified but prove nothing
};

// The outcome of verifying a plate against every mark.
struct PlateVerification {
  bool accepted = false;
  int tested = 0;                     // marks that could confirm the plate (not excluded)
  int confirmed = 0;                  // of those, marks on a catalogue star
  int identified = 0;                 // all marks with a star, excluded ones included
  double log10FalseAlarm = 0.0;       // expected number of equally good chance plates, log10
  double depth = 0.0;                 // faintest magnitude needed to explain the identified marks
  std::vector<std::int32_t> numbers;  // per mark, catalogue number of its star (0 = none)
  double rmsPx = 0.0;                 // pixel residual of the identified marks
  double distortion = 0.0;            // fitted radial distortion at the half-diagonal (share of the radius)
};

// Match tolerance of a mark, pixels: the base tolerance plus the radial share of its distance from the
// image centre.
double MarkTolerancePx(const StarMark& mark, const VerificationOptions& options);

// Gives every mark the brightest catalogue star within its tolerance (a star claimed by two marks goes
// to the nearer one), counts the marks that confirm the plate and computes the false-alarm figure:
// the number of trials times the number of depth choices times the Poisson probability that chance
// alone puts at least that many of the tested marks within tolerance of a star as bright as the depth.
PlateVerification VerifyPlate(const std::vector<StarMark>& marks, const PlateConstants& plate,
                              const SkyCatalogue& catalogue, const VerificationOptions& options);

// Keeps a mark's identity only when chance would rarely put a star as bright as close to it: the density
// of such stars over the field times the circle of the mark's distance to its star (at least half a
// pixel) must stay below maxChance. With fewer than eight identified marks, a mark whose star has more
// than ten times as many field stars as bright as the other identified marks' stars and the marks together
// is not kept either (a plate of few marks bends onto a faint star near a mark); with eight or more, one
// whose star has more than five times as many as the other identified marks' stars, plus the marks' count
// (a spurious mark near a faint star among marks on bright ones). Identities that fail are cleared and the
// identified count updated. Returns the number of cleared identities.
int ClearChanceIdentities(const std::vector<StarMark>& marks, const PlateConstants& plate,
                          const SkyCatalogue& catalogue, const VerificationOptions& options, double maxChance,
                          PlateVerification& verification);

// Refits the plate to every identified mark and re-decides every identity after each fit, up to four
// rounds or until the identities stop changing; a round whose fit fails ends the refinement with the
// last good plate. The result is the verification of the final plate.
PlateVerification RefineAndVerify(const std::vector<StarMark>& marks, PlateConstants& plate,
                                  const SkyCatalogue& catalogue, const VerificationOptions& options);

// The false-alarm figure (log10) of a verified plate weighed on the hypothesis plate it was refined from.
// A refinement fits the plate to the very marks it then counts, and on a list of few marks such a fit can
// slide onto a chance set of stars; here each confirming mark counts with the chance that a random point
// lands as near a star as bright as the hypothesis put it (at least a pixel, at most its tolerance), and
// a mark with no star with the chance it had within the typical offset of the others. The marks that
// formed the hypothesis (options.excluded) prove nothing.
double HypothesisLog10FalseAlarm(const std::vector<StarMark>& marks, const PlateConstants& hypothesis,
                                 const SkyCatalogue& catalogue, const PlateVerification& verification,
                                 const VerificationOptions& options);
