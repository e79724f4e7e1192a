#pragma once
// The verifier: the one stage every proposed plate passes, whichever proposer (the triangle matcher or
// the pattern solver) found it. A plate is believed only when far more marks land on catalogue stars
// than chance would put there, given the catalogue's density over the field, the match tolerance and the
// number of hypotheses that were tried; marks whose identity chance explains too easily lose it. Also
// the refinement that re-decides every mark's identity after each plate fit, and the hold that keeps a
// plate that passed only narrowly while the search goes on.
//
// The test weighs a match against chance alignments of the catalogue's stars with the marks, in the
// manner of the verification step of blind astrometric calibration (Lang, Hogg, Mierle, Blanton &
// Roweis 2010, AJ 139, 1782): there a match is accepted on the odds of the "true match" hypothesis over
// the "chance alignment" one; here the chance side is the Poisson expectation of as many coincidences
// within tolerance, multiplied by the number of hypotheses tried, and a plate is accepted when that
// expected number of chance plates is tiny.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "astrometry/catalogue.h"
#include "astrometry/identification_tuning.h"
#include "astrometry/plate.h"
#include "astrometry/sky_grid.h"
#include "image/marks.h"

// log10 of the Poisson probability of at least k events at mean lambda.
double Log10PoissonTail(int k, double lambda);

// Depths a verification may choose from: 2.0 to 8.5 magnitudes in steps of a half.
constexpr int kVerificationDepths = 14;
static_assert((kIdTuning.deepestDepth - kIdTuning.shallowestDepth) / kIdTuning.depthStep + 1.0 == kVerificationDepths);
// The depth step a star of a magnitude needs (0 for 2.0 and brighter, kVerificationDepths - 1 for 8.5 and
// fainter).
int VerificationDepthStep(double magnitude);

// What a verification needs besides the plate and the marks.
struct VerificationOptions {
  int imageWidth = 0;
  int imageHeight = 0;
  double tolerancePx = kIdTuning.markTolerancePx;  // match tolerance at the image centre, pixels
  // The tolerance grows by this share of the distance from the image centre (lens distortion).
  double radialTolerance = kIdTuning.markRadialTolerance;
  double trials = 1.0;             // hypotheses tried before this one, including it
  // When not empty, the hypotheses tried counted by the faintest of their stars: entry i holds those with
  // no star fainter than 2.0 + i / 2 magnitudes (kVerificationDepths entries). A plate whose stars reach
  // only to some depth competes only with the hypotheses that could have reached it at that depth.
  std::vector<double> trialsAtDepth;
  double maxLog10FalseAlarm = kIdTuning.maxLog10FalseAlarm;
  double maxMarkChance = kIdTuning.maxMarkChance;  // per-mark chance above which an identity is not kept (see below)
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

// The tolerance a set of marks calls for by its own scatter, pixels: a few times their typical residual
// (pixels), at least a pixel and a half, at most the wide tolerance widePx.
double TightTolerancePx(double typicalPx, double widePx);

// A plate a proposer hands to the verifier.
struct PlateProposal {
  PlateConstants plate;       // the proposer's plate, working form
  PlateConstants hypothesis;  // the plate of the matched marks alone: the evidence is weighed on it too
  // The pattern solver's plates come from three stars and are refitted to every mark they identify
  // before they are judged; the matcher's are already fitted to the marks it extended to and are judged
  // as they stand.
  bool refine = false;
};

// The verifier's answer on a proposal.
struct PlateVerdict {
  bool accepted = false;
  PlateConstants plate;                    // the plate judged (refitted when the proposal asked for it)
  PlateVerification verification;          // identities per mark and the false-alarm figure of the plate
  double hypothesisLog10FalseAlarm = 0.0;  // the figure weighed on the proposal's hypothesis plate
  // The weaker of the two figures (log10): what a narrow pass is ranked by.
  double Strength() const;
};

// Judges a proposal against every mark: the plate's verification (after refinement when asked, which
// also needs the marks within a few pixels rms of their stars; otherwise with the identities chance
// explains too easily cleared), then the same evidence weighed on the hypothesis plate. options carries
// the trials and the marks that formed the hypothesis (options.excluded).
PlateVerdict VerifyProposal(const std::vector<StarMark>& marks, const PlateProposal& proposal,
                            const SkyCatalogue& catalogue, const VerificationOptions& options);

// Holds the surest accepted plate of a search while the search goes on: a plate that passes only
// narrowly (strength above the sure figure) is kept, and the search tries holdTrialsFactor times the
// trials so far plus holdExtraTrials more before it is taken; a surer plate found meanwhile replaces it,
// and a sure one ends the search at once. A plate of few faint stars can pass by chance where the
// frame's bright stars had not been tried yet.
template <typename Plate>
class NarrowPassHold {
public:
  // Offers an accepted plate found after the given trials; true when the search should end now with
  // Held() (the held plate is sure).
  bool Offer(Plate plate, double strength, std::size_t trials) {
    if (!holding_) lookUntil_ = kIdTuning.holdTrialsFactor * trials + kIdTuning.holdExtraTrials;
    if (!holding_ || strength < strength_) {
      held_ = std::move(plate);
      strength_ = strength;
      holding_ = true;
    }
    return !(strength_ > kIdTuning.sureLog10FalseAlarm);
  }
  // True when a plate is held and the search has gone on long enough after it.
  bool Due(std::size_t trials) const { return holding_ && trials > lookUntil_; }
  bool Holding() const { return holding_; }
  const Plate& Held() const { return held_; }

private:
  Plate held_{};
  double strength_ = 0.0;  // log10 false-alarm figure of the held plate
  bool holding_ = false;
  std::size_t lookUntil_ = 0;  // trials after which the held plate is taken
};
