#include "astrometry/identify.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <memory>
#include <optional>

#include "astrometry/identification_tuning.h"
#include "astrometry/solver.h"
#include "astrometry/verify.h"
#include "base/calendar.h"
#include "base/file_utils.h"
#include "base/numbers.h"
#include "sky/angles.h"
#include "sky/site.h"

IdentificationPanelTexts MakePanelTexts(const PlateSolution& s, int markCount, int imageWidth, int imageHeight) {
  IdentificationPanelTexts t;
  t.stars = FormatNumber(markCount, "0") + "  Ид: " + FormatNumber(s.nid, "0");
  int hours = 0;
  double minutes = 0.0;
  SplitRaHours(s.ra0Deg, hours, minutes);
  t.ra = FormatNumber(hours, "00") + "h" + FormatNumber(minutes, "00.0") + "m";
  const SignedDms dec = SplitSignedDegrees(s.dec0Deg);
  t.dec = dec.sign + FormatNumber(dec.degrees, "00") + "°" + FormatNumber(dec.arcminutes, "00") + "'";
  t.scaleX = FormatNumber(s.mxArcsec, "0.0") + "\"/пикс";
  t.scaleY = FormatNumber(s.myArcsec, "0.0") + "\"/пикс";
  t.fieldSize = FormatNumber(imageWidth * s.mxArcsec / 3600.0, "0.0") + "° x " +
                FormatNumber(imageHeight * s.myArcsec / 3600.0, "0.0") + "°";
  t.rotation = FormatNumber(s.fDeg, "0.0") + "°";
  t.mirrored = std::fabs(s.gDeg) > 90.0 ? "Yes" : "No";
  t.depth = FormatNumber(kIdentifiedDisplayDepth, "0.0");
  return t;
}

namespace {

// ----- Proposals of the triangle matcher -----

// A mark whose identity goes, in the verification, to the brighter star of a close pair: the mark and the
// working-list position of that star.
struct PairSwap {
  std::size_t mark = 0;
  std::int32_t position = 0;
};

// Hands the matcher's adopted hypothesis to the verifier, weighed over all the catalogue triangles it was
// compared with (trials) and on the plate of the matched triangle alone (the matcher's own plate is fitted
// to the marks it extended to). True when it passes, every mark the matcher identified still lies on the
// brightest star within the tolerance the marks call for (or on the fainter of a close pair: swaps) and,
// with a known centre, the plate lies near it.
bool MatcherHypothesisVerified(const IdentificationInput& in, bool blind, const IdentificationHypothesis& h,
                               const ReferenceList& refs, const SkyCatalogue& catalogue, std::size_t trials,
                               std::vector<PairSwap>& swaps) {
  swaps.clear();
  VerificationOptions options;
  options.imageWidth = in.imageWidth;
  options.imageHeight = in.imageHeight;
  options.trials = static_cast<double>(std::max<std::size_t>(trials, 1));
  options.maxLog10FalseAlarm = kIdTuning.maxLog10FalseAlarm;
  options.excluded.assign(in.marks.size(), false);
  for (std::int32_t mark : h.marks) {
    if (mark >= 1 && static_cast<std::size_t>(mark) <= in.marks.size()) options.excluded[mark - 1] = true;
  }
  std::vector<FitStar> triangle;
  for (int k = 0; k < 3; ++k) {
    const std::int32_t mark = h.marks[k];
    if (mark < 1 || static_cast<std::size_t>(mark) > in.marks.size() || h.stars[k] < 1 || h.stars[k] > refs.size()) {
      return false;
    }
    const ReferenceStar& s = refs.At(h.stars[k]);
    triangle.push_back({in.marks[mark - 1].x, in.marks[mark - 1].y, s.ra, s.dec});
  }
  PlateConstants first;
  if (!FitPlate(triangle, h.plate.ra0, h.plate.dec0, in.imageWidth / 2.0, in.imageHeight / 2.0, first)) return false;
  const PlateVerdict verdict = VerifyProposal(in.marks, {h.plate, first, false}, catalogue, options);
  if (!verdict.accepted) return false;
  const PlateVerification& v = verdict.verification;
  // The matcher's identities must hold at the tolerance the marks themselves call for (a few times their
  // typical offset): a planet or a neighbour taken under its six pixels refuses the hypothesis, and the
  // pattern solver answers instead. Where an identity differs from the verification's, the two stars
  // must be a close pair (closer than a detector separates): the mark then takes the brighter, as every
  // verified mark does. Any other difference, or an identity the verification leaves without a star, is a
  // wrong match.
  std::vector<double> offsets;
  std::vector<PixelPosition> matched(in.marks.size());
  for (std::size_t m = 0; m < in.marks.size() && m < h.identities.size(); ++m) {
    if (h.identities[m] == 0) continue;
    const ReferenceStar& s = refs.At(h.identities[m]);
    matched[m] = SkyToPixel(s.ra, s.dec, h.plate);
    if (!matched[m].valid) return false;
    offsets.push_back(std::hypot(matched[m].x - in.marks[m].x, matched[m].y - in.marks[m].y));
  }
  if (offsets.empty()) return false;
  std::nth_element(offsets.begin(), offsets.begin() + static_cast<std::ptrdiff_t>(offsets.size() / 2), offsets.end());
  const double typical = offsets[offsets.size() / 2];
  for (std::size_t m = 0; m < in.marks.size() && m < h.identities.size(); ++m) {
    if (h.identities[m] == 0) continue;
    const double tight = TightTolerancePx(typical, MarkTolerancePx(in.marks[m], options));
    if (std::hypot(matched[m].x - in.marks[m].x, matched[m].y - in.marks[m].y) > tight) return false;
    if (refs.At(h.identities[m]).number == v.numbers[m]) continue;
    if (v.numbers[m] <= 0) return false;
    const std::size_t number = static_cast<std::size_t>(v.numbers[m]);
    const std::int32_t at = number < catalogue.indexOfNumber.size() ? catalogue.indexOfNumber[number] : -1;
    if (at < 0) return false;
    const PixelPosition q = SkyToPixel(catalogue.stars[at].ra, catalogue.stars[at].dec, h.plate);
    if (!q.valid || std::hypot(q.x - matched[m].x, q.y - matched[m].y) > kIdTuning.closePairPx) return false;
    // The brighter star's place in the working list (whose map is by number blind, by place with a known
    // centre).
    std::int32_t brighter = 0;
    for (std::int32_t p = 1; p <= refs.size() && brighter == 0; ++p) {
      if (refs.At(p).number == v.numbers[m]) brighter = p;
    }
    if (brighter == 0) return false;
    swaps.push_back({m, brighter});
  }
  return blind ||
         PlateNearCentre(h.plate, in.imageWidth, in.imageHeight, DegToRad(in.raUserDeg), DegToRad(in.decUserDeg));
}

// What the proposer whose plate passed hands to adoption.
struct AcceptedPlate {
  PlateConstants plate;  // working form
  std::int16_t nid = 0;  // marks identified
  // Per mark, as the frame keeps it (working-list positions of the matched triangle's marks for the matcher,
  // of every identified mark for the pattern solver), and the catalogue number of every identified mark.
  std::vector<std::int32_t> identities;
  std::vector<std::int32_t> catalogueNumbers;
  bool byPatterns = false;
};

// The matcher's proposal: ranks the hypotheses, lists them, and hands the best to the verifier; empty when
// there is none or it does not pass.
std::optional<AcceptedPlate> ProposeByMatcher(const IdentificationInput& in, bool blind, const ReferenceList& refs,
                                              std::vector<IdentificationHypothesis>& hypotheses,
                                              const ExtensionStars& candidates, std::size_t frameTriangleCount,
                                              std::size_t closePairs, const IdentificationDiagnostics& sink) {
  const Adoption adoption = RankHypotheses(hypotheses, sink);
  if (!adoption.adopted) return std::nullopt;
  const IdentificationHypothesis& h = hypotheses[adoption.index];
  const std::size_t markCount = in.marks.size();
  if (in.log) in.log->Text("Nid_id=").Number(h.id).EndLine();
  const double chance = ChanceIdentifications(h, candidates, static_cast<int>(markCount), in.imageWidth, in.imageHeight,
                                              frameTriangleCount);
  if (in.log) in.log->Text("Chance_id=").Number(chance).EndLine();
  if (!(h.id >= kIdTuning.minIdentified && chance < kIdTuning.maxChanceIdentifications)) return std::nullopt;
  const std::shared_ptr<const SkyCatalogue> sky = CachedSkyCatalogue(in.catalogPath);
  std::vector<PairSwap> swaps;
  if (!sky || !MatcherHypothesisVerified(in, blind, h, refs, *sky, closePairs, swaps)) return std::nullopt;
  AcceptedPlate accepted;
  accepted.plate = h.plate;
  accepted.nid = h.id;
  accepted.identities.assign(markCount, 0);
  accepted.catalogueNumbers.assign(markCount, 0);
  for (int v = 0; v < 3; ++v) accepted.identities[h.marks[v] - 1] = h.stars[v];
  for (std::size_t m = 0; m < markCount; ++m) {
    if (h.identities[m] != 0) accepted.catalogueNumbers[m] = refs.At(h.identities[m]).number;
  }
  for (const PairSwap& swap : swaps) {
    accepted.identities[swap.mark] = swap.position;
    accepted.catalogueNumbers[swap.mark] = refs.At(swap.position).number;
  }
  return accepted;
}

// ----- Proposals of the pattern solver -----

// Runs the pattern solver (its plates pass the same verifier) and, when it succeeds, lists its one
// hypothesis as the matcher's would be and logs it.
std::optional<AcceptedPlate> ProposeByPatterns(const IdentificationInput& in, bool blind, const ReferenceList& refs,
                                               const SkyCatalogue& catalogue, const IdentificationDiagnostics& sink,
                                               TaskControl& task) {
  // Without the index file the pair search still runs.
  const std::shared_ptr<const PatternIndex> index = CachedPatternIndex(PatternIndexPathBeside(in.asterismPath));
  static const PatternIndex kNoIndex;
  PatternSolverInput input;
  input.marks = &in.marks;
  input.imageWidth = in.imageWidth;
  input.imageHeight = in.imageHeight;
  input.knownCentre = !blind;
  input.centreRa = DegToRad(in.raUserDeg);
  input.centreDec = DegToRad(in.decUserDeg);
  input.fieldDeg = in.fieldUserDeg;
  input.maxLog10FalseAlarm = kIdTuning.maxLog10FalseAlarm;
  const PatternSolution solution = SolveWithPatterns(input, index ? *index : kNoIndex, catalogue, task);
  if (!solution.solved || task.Cancelled()) return std::nullopt;
  std::vector<std::int32_t> positionOf(catalogue.indexOfNumber.size(), 0);
  for (std::int32_t p = 1; p <= refs.size(); ++p) {
    const std::int32_t number = refs.At(p).number;
    if (number > 0 && static_cast<std::size_t>(number) < positionOf.size()) positionOf[number] = p;
  }
  AcceptedPlate accepted;
  accepted.identities.assign(in.marks.size(), 0);
  accepted.catalogueNumbers.assign(in.marks.size(), 0);
  IdentificationHypothesis h;
  h.plate = solution.plate;
  h.id = static_cast<std::int16_t>(solution.verification.identified);
  double sum = 0.0;
  for (std::size_t m = 0; m < in.marks.size(); ++m) {
    const std::int32_t number = solution.verification.numbers[m];
    accepted.catalogueNumbers[m] = number;
    accepted.identities[m] =
        number > 0 && static_cast<std::size_t>(number) < positionOf.size() ? positionOf[number] : 0;
    if (number == 0) continue;
    const GridStar& s = catalogue.stars[catalogue.indexOfNumber[number]];
    const SkyPosition sky = PixelToSky(in.marks[m].x, in.marks[m].y, h.plate);
    sum += RadToDeg(AngularSeparation(sky.ra, sky.dec, s.ra, s.dec));
  }
  h.er = h.id > 0 ? sum / h.id : 0.0;
  std::vector<IdentificationHypothesis> one = {h};
  RankHypotheses(one, sink);
  if (in.log) {
    in.log->Text("Nid_id=").Number(h.id).EndLine();
    in.log->Text("Solver_id=patterns").EndLine();
  }
  accepted.plate = h.plate;
  accepted.nid = h.id;
  accepted.byPatterns = true;
  return accepted;
}

// ----- Adoption -----

// A wide frame's plate takes the lens distortion polynomial its identified marks call for (nothing changes
// when the linear plate already holds them within a pixel or the polynomial gains little).
void FitLensDistortion(const IdentificationInput& in, AcceptedPlate& accepted) {
  const PlateConstants& p = accepted.plate;
  const double width = std::max(in.imageWidth * p.mx, in.imageHeight * p.my);
  if (!(width >= DegToRad(kIdTuning.polynomialFromFieldDeg))) return;
  const std::shared_ptr<const SkyCatalogue> sky = CachedSkyCatalogue(in.catalogPath);
  if (!sky) return;
  std::vector<FitStar> stars;
  for (std::size_t m = 0; m < in.marks.size() && m < accepted.catalogueNumbers.size(); ++m) {
    const std::int32_t number = accepted.catalogueNumbers[m];
    if (number <= 0 || static_cast<std::size_t>(number) >= sky->indexOfNumber.size()) continue;
    const std::int32_t at = sky->indexOfNumber[static_cast<std::size_t>(number)];
    if (at < 0) continue;
    const GridStar& s = sky->stars[static_cast<std::size_t>(at)];
    stars.push_back({in.marks[m].x, in.marks[m].y, s.ra, s.dec});
  }
  AdoptDistortion(stars, in.imageWidth, in.imageHeight, accepted.plate);
}

// The accepted plate calibrates the frame: it becomes the frame's plate solution with its identities and
// the panel's texts; fewer than half the marks identified adds the warning. Without one the run fails with
// every identity cleared.
void Adopt(const std::optional<AcceptedPlate>& accepted, const IdentificationInput& in, IdentificationResult& result) {
  const std::size_t markCount = in.marks.size();
  result.success = accepted.has_value();
  if (!accepted) {
    result.solution = PlateSolution();
    result.identities.assign(markCount, 0);
    result.catalogueNumbers.assign(markCount, 0);
    result.messages.push_back(kIdentificationFailedText);
    return;
  }
  SetFromWorking(result.solution, accepted->plate);
  result.solution.nid = accepted->nid;
  result.identities = accepted->identities;
  result.catalogueNumbers = accepted->catalogueNumbers;
  result.byPatterns = accepted->byPatterns;
  result.catalogueDepth = kIdentifiedDisplayDepth;
  result.panel = MakePanelTexts(result.solution, static_cast<int>(markCount), in.imageWidth, in.imageHeight);
  result.solution.fieldSize = result.panel.fieldSize;
  if (static_cast<double>(result.solution.nid) / static_cast<double>(markCount) < 0.5) {
    result.messages.push_back(kLessThanHalfText);
  }
}

// One identification run in either mode: reference stars, the matcher's proposal, the pattern solver's
// when the matcher's does not pass, adoption.
IdentificationResult RunIdentification(const IdentificationInput& in, bool blind, TaskControl& task) {
  const auto started = std::chrono::steady_clock::now();
  IdentificationResult result;
  const std::size_t markCount = in.marks.size();
  result.identities.assign(markCount, 0);
  result.catalogueNumbers.assign(markCount, 0);
  const IdentificationDiagnostics sink = in.diagnostics ? in.diagnostics : DiagnosticFilesIn(in.appDir);

  // Reference stars and the triangles to match.
  const IdentificationMode mode = MakeIdentificationMode(blind, in.fieldUserDeg, in.imageWidth, in.imageHeight);
  const VisibilityFilter visibility{in.considerVisibility, in.midMjd, in.longitudeRad, in.latitudeRad};
  ReferenceList refs;
  std::vector<AsterismRecord> frameTriangles;
  std::shared_ptr<const AsterismTable> tableRef;
  std::vector<IdentificationHypothesis> hypotheses;
  bool ok = markCount >= 3;
  if (ok) {
    if (blind) {
      LoadReferenceStarsBlind(in.catalogPath, visibility, refs, task);
    } else {
      LoadReferenceStarsInField(in.catalogPath, visibility, DegToRad(in.raUserDeg), DegToRad(in.decUserDeg),
                                in.fieldUserDeg, refs, task);
    }
    ok = !task.Cancelled() && refs.size() >= 3;
  }
  // Known centre, the triangles come from the first marks alone (the table of stars grows with them).
  const std::size_t triangleMarks =
      blind ? markCount : std::min(markCount, static_cast<std::size_t>(kIdTuning.knownTriangleMarks));
  if (triangleMarks == markCount) {
    ok = ok && BuildFrameTriangles(in.marks, frameTriangles, task);
  } else {
    const std::vector<StarMark> first(in.marks.begin(), in.marks.begin() + static_cast<std::ptrdiff_t>(triangleMarks));
    ok = ok && BuildFrameTriangles(first, frameTriangles, task);
  }
  if (ok) {
    if (blind) {
      tableRef = CachedAsterismTable(in.asterismPath, refs.map, task);
      ok = tableRef != nullptr;
    } else {
      const std::int32_t count =
          std::min(static_cast<std::int32_t>(kIdTuning.knownTableStarsPerMark * triangleMarks), refs.size());
      auto built = std::make_shared<AsterismTable>();
      ok = BuildFieldAsterisms(refs, count, *built, task);
      tableRef = built;
    }
  }
  // The triangle matcher's hypotheses.
  ExtensionStars candidates;
  std::size_t closePairs = 0;
  if (ok) {
    candidates = PrepareExtensionStars(refs, mode.extendMagnitude);
    VerificationSetup setup;
    setup.marks = &in.marks;
    setup.refs = &refs;
    setup.candidates = &candidates;
    setup.mode = mode;
    setup.centreX = in.imageWidth / 2.0;
    setup.centreY = in.imageHeight / 2.0;
    setup.closePairs = &closePairs;
    ok = SearchHypotheses(setup, frameTriangles, *tableRef, hypotheses, task);
  }
  result.cancelled = task.Cancelled();
  result.hypothesisCount = hypotheses.size();
  std::optional<AcceptedPlate> accepted;
  if (ok) {
    accepted = ProposeByMatcher(in, blind, refs, hypotheses, candidates, frameTriangles.size(), closePairs, sink);
  }
  // The pattern solver's when the matcher's did not pass.
  if (!accepted && !task.Cancelled() && in.patternSolver && markCount >= 4) {
    const std::shared_ptr<const SkyCatalogue> sky = CachedSkyCatalogue(in.catalogPath);
    if (sky) accepted = ProposeByPatterns(in, blind, refs, *sky, sink, task);
  }
  result.cancelled = task.Cancelled();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (in.log) in.log->Text(blind ? "Time identif = " : "time identif = ").Number(seconds).EndLine();
  if (accepted) FitLensDistortion(in, *accepted);
  Adopt(accepted, in, result);
  return result;
}

}  // namespace

IdentificationResult RunBlindIdentification(const IdentificationInput& input, TaskControl& task) {
  return RunIdentification(input, true, task);
}

IdentificationResult RunKnownCentreIdentification(const IdentificationInput& input, TaskControl& task) {
  return RunIdentification(input, false, task);
}

IdentificationResult IdentifyStars(const IdentificationInput& input, bool knownCentre, TaskControl& task) {
  if (!knownCentre) return RunBlindIdentification(input, task);
  if (!(input.fieldUserDeg >= kMinFieldOfViewDeg && input.fieldUserDeg <= kMaxFieldOfViewDeg)) {
    IdentificationResult result;
    result.identities.assign(input.marks.size(), 0);
    result.catalogueNumbers.assign(input.marks.size(), 0);
    result.messages.push_back(kBadFieldOfViewText);
    result.fieldRefused = true;
    return result;
  }
  return RunKnownCentreIdentification(input, task);
}
