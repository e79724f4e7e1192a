#include "astrometry/verify.h"

#include <algorithm>
#include <cmath>

#include "base/calendar.h"
#include "sky/angles.h"
#include "sky/vec3.h"

namespace {

constexpr double kShallowestDepth = kIdTuning.shallowestDepth;
constexpr double kDeepestDepth = kIdTuning.deepestDepth;
constexpr double kDepthChoices = kVerificationDepths;

// Hypotheses a plate of the given depth competes with.
double TrialsAt(const VerificationOptions& o, double depth) {
  if (o.trialsAtDepth.size() != static_cast<std::size_t>(kVerificationDepths)) return std::max(o.trials, 1.0);
  return std::max(o.trialsAtDepth[static_cast<std::size_t>(VerificationDepthStep(depth))], 1.0);
}
// Sky radius of a frame about its tangent point: the farthest corner, radians (at least half a degree).
double FieldRadius(const PlateConstants& plate, int width, int height) {
  double radius = 0.0;
  const auto axis = std::array<double, 3>{std::cos(plate.dec0) * std::cos(plate.ra0),
                                          std::cos(plate.dec0) * std::sin(plate.ra0), std::sin(plate.dec0)};
  for (const auto& corner :
       {std::array<double, 2>{0.0, 0.0}, std::array<double, 2>{1.0 * width, 0.0},
        std::array<double, 2>{0.0, 1.0 * height}, std::array<double, 2>{1.0 * width, 1.0 * height}}) {
    const SkyPosition sky = PixelToSky(corner[0], corner[1], plate);
    const double c = std::cos(sky.dec);
    const double dot = axis[0] * c * std::cos(sky.ra) + axis[1] * c * std::sin(sky.ra) + axis[2] * std::sin(sky.dec);
    radius = std::max(radius, std::acos(std::clamp(dot, -1.0, 1.0)));
  }
  return std::clamp(radius, DegToRad(kIdTuning.minFieldRadiusDeg), Pi);
}

}  // namespace

double Log10PoissonTail(int k, double lambda) {
  if (k <= 0) return 0.0;
  if (!(lambda > 0.0)) return -300.0;
  // Terms in log space from k upwards; the first term dominates when lambda is small.
  double maxLog = -1e300;
  std::vector<double> logs;
  for (int i = k; i < k + 200; ++i) {
    const double l = -lambda + i * std::log(lambda) - std::lgamma(i + 1.0);
    logs.push_back(l);
    maxLog = std::max(maxLog, l);
    if (l < maxLog - 40.0) break;
  }
  double sum = 0.0;
  for (double l : logs) sum += std::exp(l - maxLog);
  return std::min(0.0, (maxLog + std::log(sum)) / std::log(10.0));
}

int VerificationDepthStep(double magnitude) {
  if (!(magnitude > kShallowestDepth)) return 0;
  return static_cast<int>(std::min<double>(kVerificationDepths - 1,
                                           std::ceil((magnitude - kShallowestDepth) / kIdTuning.depthStep - 1e-9)));
}

double MarkTolerancePx(const StarMark& mark, const VerificationOptions& o) {
  const double dx = mark.x - o.imageWidth / 2.0, dy = mark.y - o.imageHeight / 2.0;
  return o.tolerancePx + o.radialTolerance * std::sqrt(dx * dx + dy * dy);
}

PlateVerification VerifyPlate(const std::vector<StarMark>& marks, const PlateConstants& plate,
                              const SkyCatalogue& catalogue, const VerificationOptions& o) {
  PlateVerification v;
  v.numbers.assign(marks.size(), 0);
  v.log10FalseAlarm = 0.0;
  const double scale = 0.5 * (plate.mx + plate.my);
  if (!(scale > 0.0) || catalogue.Empty() || !std::isfinite(scale)) return v;
  std::vector<int> star(marks.size(), -1);
  std::vector<double> distance(marks.size(), 0.0), toleranceRad(marks.size(), 0.0);
  for (std::size_t m = 0; m < marks.size(); ++m) {
    // Pixels away from the centre cover less sky (by cos^2 of the distance from the tangent point, along
    // the radius), so the tolerance on the sky shrinks with them.
    const double offCentre = std::hypot(marks[m].x - plate.xo, marks[m].y - plate.yo) * scale;
    toleranceRad[m] = MarkTolerancePx(marks[m], o) * scale / (1.0 + offCentre * offCentre);
    const SkyPosition sky = PixelToSky(marks[m].x, marks[m].y, plate);
    if (!std::isfinite(sky.ra) || !std::isfinite(sky.dec)) continue;
    const UnitVector d = UnitVectorOf(sky.ra, sky.dec);
    star[m] = BrightestStarWithin(catalogue, d, toleranceRad[m]);
    const double fromCentre = std::hypot(marks[m].x - o.imageWidth / 2.0, marks[m].y - o.imageHeight / 2.0);
    const double rivalPx = o.rivalTolerancePx + o.rivalRadialTolerance * fromCentre;
    if (star[m] >= 0 && rivalPx > MarkTolerancePx(marks[m], o)) {
      const int rival = BrightestStarWithin(catalogue, d, rivalPx * scale / (1.0 + offCentre * offCentre));
      if (rival >= 0 && rival != star[m] && catalogue.stars[rival].magnitude < catalogue.stars[star[m]].magnitude) {
        star[m] = -1;
      }
    }
    if (star[m] >= 0) {
      const UnitVector& s = catalogue.stars[star[m]].direction;
      distance[m] = std::acos(std::clamp(Dot(d, s), -1.0, 1.0));
    }
  }
  // A star claimed by two marks stays with the one clearly nearer to it; when neither is (two noisy marks
  // beside one bright star), which of them it belongs to is undecided and neither keeps it.
  const std::vector<int> claimed = star;
  for (std::size_t m = 0; m < marks.size(); ++m) {
    for (std::size_t k = m + 1; k < marks.size(); ++k) {
      if (claimed[m] < 0 || claimed[m] != claimed[k]) continue;
      const bool kNearer = distance[k] < distance[m];
      const double nearer = kNearer ? distance[k] : distance[m], farther = kNearer ? distance[m] : distance[k];
      if (nearer > kIdTuning.clearlyNearerShare * farther) {
        star[m] = star[k] = -1;
      } else {
        star[kNearer ? m : k] = -1;
      }
    }
  }
  double maxMagnitude = kShallowestDepth;
  double squares = 0.0;
  for (std::size_t m = 0; m < marks.size(); ++m) {
    const bool excluded = m < o.excluded.size() && o.excluded[m];
    if (!excluded) ++v.tested;
    if (star[m] < 0) continue;
    const GridStar& s = catalogue.stars[star[m]];
    v.numbers[m] = s.number;
    ++v.identified;
    if (!excluded) ++v.confirmed;
    maxMagnitude = std::max(maxMagnitude, static_cast<double>(s.magnitude));
    squares += std::pow(distance[m] / scale, 2);
  }
  v.rmsPx = v.identified > 0 ? std::sqrt(squares / v.identified) : 0.0;
  v.depth = std::min(kDeepestDepth, std::ceil(maxMagnitude / kIdTuning.depthStep - 1e-9) * kIdTuning.depthStep);
  // Density of stars as bright as the depth over the frame's circle.
  const UnitVector axis = UnitVectorOf(plate.ra0, plate.dec0);
  const double radius = FieldRadius(plate, o.imageWidth, o.imageHeight);
  const double area = 2.0 * Pi * (1.0 - std::cos(radius));
  const double inField = FieldStarCount(catalogue, axis, radius, static_cast<float>(v.depth)) + 1.0;
  const double density = inField / area;
  double lambda = 0.0;
  for (std::size_t m = 0; m < marks.size(); ++m) {
    if (m < o.excluded.size() && o.excluded[m]) continue;
    lambda += 1.0 - std::exp(-density * Pi * toleranceRad[m] * toleranceRad[m]);
  }
  v.log10FalseAlarm = std::log10(TrialsAt(o, v.depth) * kDepthChoices) + Log10PoissonTail(v.confirmed, lambda);
  if (v.confirmed == 0) v.log10FalseAlarm = std::max(v.log10FalseAlarm, 0.0);
  v.accepted = v.identified >= kIdTuning.minIdentified && v.confirmed >= 1 && v.log10FalseAlarm <= o.maxLog10FalseAlarm;
  return v;
}

namespace {

// The star a mark is identified with (by catalogue number).
const GridStar& StarNumbered(const SkyCatalogue& catalogue, std::int32_t number) {
  return catalogue.stars[catalogue.indexOfNumber[number]];
}

// Pixel distance between a mark and where a plate puts a star; huge when the star cannot be projected.
double OffsetPx(const StarMark& mark, const GridStar& star, const PlateConstants& plate) {
  const PixelPosition p = SkyToPixel(star.ra, star.dec, plate);
  return p.valid ? std::hypot(p.x - mark.x, p.y - mark.y) : 1e9;
}

// The identified marks with their stars as fit input, leaving out the marks for which skip(m) holds.
template <typename Skip>
std::vector<FitStar> FitStarsOf(const std::vector<StarMark>& marks, const std::vector<std::int32_t>& numbers,
                                const SkyCatalogue& catalogue, Skip skip) {
  std::vector<FitStar> fit;
  for (std::size_t m = 0; m < marks.size() && m < numbers.size(); ++m) {
    if (numbers[m] == 0 || skip(m)) continue;
    const GridStar& s = StarNumbered(catalogue, numbers[m]);
    fit.push_back({marks[m].x, marks[m].y, s.ra, s.dec});
  }
  return fit;
}

// Radial lens distortion about the image centre: a mark lies at c + (p - c)(1 + k (r / R)^2), p where the
// linear plate puts its star, r = |p - c| and R the half-diagonal. Fitted to the identified marks when
// there are enough of them; identities are then decided on the marks with the distortion taken out.
constexpr int kMinMarksForDistortion = kIdTuning.minMarksForDistortion;
// Identified marks from which the fit may leave out the ones far off.
constexpr int kMinMarksForRobustFit = kIdTuning.minMarksForRobustFit;

double HalfDiagonal(const VerificationOptions& o) {
  return std::max(1.0, 0.5 * std::hypot(o.imageWidth, o.imageHeight));
}

// The distortion coefficient that best explains the identified marks' radial offsets under a plate fitted
// to the undistorted marks; 0 with too few marks.
double FitDistortion(const std::vector<StarMark>& marks, const PlateConstants& plate, const SkyCatalogue& catalogue,
                     const std::vector<std::int32_t>& numbers, const VerificationOptions& o) {
  const double cx = o.imageWidth / 2.0, cy = o.imageHeight / 2.0, big = HalfDiagonal(o);
  double num = 0.0, den = 0.0;
  int used = 0;
  for (std::size_t m = 0; m < marks.size() && m < numbers.size(); ++m) {
    if (numbers[m] == 0) continue;
    const GridStar& s = catalogue.stars[catalogue.indexOfNumber[numbers[m]]];
    const PixelPosition p = SkyToPixel(s.ra, s.dec, plate);
    if (!p.valid) continue;
    const double qx = p.x - cx, qy = p.y - cy, rho2 = (qx * qx + qy * qy) / (big * big);
    num += ((marks[m].x - p.x) * qx + (marks[m].y - p.y) * qy) * rho2;
    den += (qx * qx + qy * qy) * rho2 * rho2;
    ++used;
  }
  if (used < kMinMarksForDistortion || !(den > 0.0)) return 0.0;
  return std::clamp(num / den, -kIdTuning.maxDistortion, kIdTuning.maxDistortion);
}

// The marks with a radial distortion k taken out.
std::vector<StarMark> Undistorted(const std::vector<StarMark>& marks, double k, const VerificationOptions& o) {
  std::vector<StarMark> out = marks;
  if (k == 0.0) return out;
  const double cx = o.imageWidth / 2.0, cy = o.imageHeight / 2.0, big = HalfDiagonal(o);
  for (StarMark& m : out) {
    const double dx = m.x - cx, dy = m.y - cy;
    // Inverts r' = r (1 + k r^2 / R^2) by two fixed-point steps.
    double factor = 1.0;
    for (int i = 0; i < 3; ++i) {
      const double r2 = (dx * dx + dy * dy) / (factor * factor) / (big * big);
      factor = 1.0 + k * r2;
    }
    m.x = static_cast<float>(cx + dx / factor);
    m.y = static_cast<float>(cy + dy / factor);
  }
  return out;
}

// Fits and re-decides until the identities settle (at most kRefineRounds rounds), fitting the lens
// distortion k as it goes (starting from the k given); plate is then the plate of the marks with the
// distortion taken out.
PlateVerification Refine(const std::vector<StarMark>& marks, PlateConstants& plate, const SkyCatalogue& catalogue,
                         const VerificationOptions& o, double& k) {
  std::vector<StarMark> work = Undistorted(marks, k, o);
  PlateVerification v = VerifyPlate(work, plate, catalogue, o);
  for (int round = 0; round < kIdTuning.refineRounds; ++round) {
    // The fit leaves out marks far off the current plate compared with the others (a wrong identity pulls
    // the whole fit towards it, and the mark beside it then loses its star).
    std::vector<double> offPx(work.size(), 0.0);
    std::vector<double> offs;
    for (std::size_t m = 0; m < work.size(); ++m) {
      if (v.numbers[m] == 0) continue;
      offPx[m] = OffsetPx(work[m], StarNumbered(catalogue, v.numbers[m]), plate);
      offs.push_back(offPx[m]);
    }
    double keepPx = 1e300;
    if (offs.size() >= static_cast<std::size_t>(kMinMarksForRobustFit)) {
      // Three times the lower third of the offsets: the good marks' scatter, which a wrong one can't raise.
      const std::size_t third = offs.size() / 3;
      std::nth_element(offs.begin(), offs.begin() + static_cast<std::ptrdiff_t>(third), offs.end());
      keepPx = std::max(kIdTuning.robustKeepMinPx, kIdTuning.robustKeepFactor * offs[third]);
    }
    const std::vector<FitStar> fit =
        FitStarsOf(work, v.numbers, catalogue, [&](std::size_t m) { return offPx[m] > keepPx; });
    PlateConstants next;
    if (fit.size() < 3 || !FitPlate(fit, plate.ra0, plate.dec0, o.imageWidth / 2.0, o.imageHeight / 2.0, next)) break;
    // A second fit about the re-centred tangent point: on wide fields one re-centring leaves pixels of error.
    PlateConstants settled;
    if (FitPlate(fit, next.ra0, next.dec0, o.imageWidth / 2.0, o.imageHeight / 2.0, settled)) next = settled;
    const double nextK = FitDistortion(marks, next, catalogue, v.numbers, o);
    const bool distortionMoved = std::fabs(nextK - k) > kIdTuning.distortionStep;
    if (distortionMoved) {
      k = nextK;
      work = Undistorted(marks, k, o);
    }
    PlateVerification again = VerifyPlate(work, next, catalogue, o);
    const bool same = again.numbers == v.numbers;
    plate = next;
    v = std::move(again);
    if (same && !distortionMoved) break;
  }
  v.distortion = k;
  return v;
}

// The linear plate of the raw marks with the given identities (the form the rest of the program uses);
// plate is kept when the fit fails.
void FitRawPlate(const std::vector<StarMark>& marks, const std::vector<std::int32_t>& numbers,
                 const SkyCatalogue& catalogue, const VerificationOptions& o, PlateConstants& plate) {
  const std::vector<FitStar> fit = FitStarsOf(marks, numbers, catalogue, [](std::size_t) { return false; });
  PlateConstants raw;
  if (fit.size() >= 3 && FitPlate(fit, plate.ra0, plate.dec0, o.imageWidth / 2.0, o.imageHeight / 2.0, raw))
    plate = raw;
}

// A quantile (share 0.5: the median) of the pixel distances between the identified marks and their stars
// under a plate.
double ResidualQuantilePx(const std::vector<StarMark>& marks, const PlateConstants& plate,
                          const SkyCatalogue& catalogue, const std::vector<std::int32_t>& numbers, double share) {
  std::vector<double> residuals;
  for (std::size_t m = 0; m < marks.size(); ++m) {
    if (numbers[m] == 0) continue;
    const GridStar& s = catalogue.stars[catalogue.indexOfNumber[numbers[m]]];
    const PixelPosition p = SkyToPixel(s.ra, s.dec, plate);
    if (p.valid) residuals.push_back(std::hypot(p.x - marks[m].x, p.y - marks[m].y));
  }
  if (residuals.empty()) return 0.0;
  const std::size_t at = std::min(residuals.size() - 1, static_cast<std::size_t>(share * residuals.size()));
  std::nth_element(residuals.begin(), residuals.begin() + static_cast<std::ptrdiff_t>(at), residuals.end());
  return residuals[at];
}

// The identified mark whose star lies farthest off the plate fitted to the other identified marks, when
// that is more than 2 px and three times the lower third of such offsets; -1 otherwise or with fewer
// than six.
int LeastVouchedMark(const std::vector<StarMark>& marks, const PlateConstants& plate, const SkyCatalogue& catalogue,
                     const std::vector<std::int32_t>& numbers, const VerificationOptions& o) {
  std::vector<int> identified;
  for (std::size_t m = 0; m < marks.size() && m < numbers.size(); ++m) {
    if (numbers[m] != 0) identified.push_back(static_cast<int>(m));
  }
  if (identified.size() < static_cast<std::size_t>(kMinMarksForRobustFit)) return -1;
  std::vector<double> offs;
  int worst = -1;
  double worstOff = 0.0;
  for (int left : identified) {
    const std::vector<FitStar> fit =
        FitStarsOf(marks, numbers, catalogue, [&](std::size_t m) { return static_cast<int>(m) == left; });
    PlateConstants without;
    if (!FitPlate(fit, plate.ra0, plate.dec0, o.imageWidth / 2.0, o.imageHeight / 2.0, without)) return -1;
    const double off = OffsetPx(marks[left], StarNumbered(catalogue, numbers[left]), without);
    offs.push_back(off);
    if (off > worstOff) worst = left, worstOff = off;
  }
  // The typical offset from the lower third: every other mark's fit holds the wrong one too.
  const std::size_t third = offs.size() / 3;
  std::nth_element(offs.begin(), offs.begin() + static_cast<std::ptrdiff_t>(third), offs.end());
  return worstOff > std::max(kIdTuning.unvouchedMinPx, kIdTuning.unvouchedFactor * offs[third]) ? worst : -1;
}

}  // namespace

int ClearChanceIdentities(const std::vector<StarMark>& marks, const PlateConstants& plate,
                          const SkyCatalogue& catalogue, const VerificationOptions& o, double maxChance,
                          PlateVerification& v) {
  const double radius = FieldRadius(plate, o.imageWidth, o.imageHeight);
  const UnitVector axis = UnitVectorOf(plate.ra0, plate.dec0);
  const double area = 2.0 * Pi * (1.0 - std::cos(radius));
  const double scale = 0.5 * (plate.mx + plate.my);
  // Per identified mark, the field's stars as bright as its star.
  std::vector<double> asBright(marks.size(), 0.0);
  for (std::size_t m = 0; m < marks.size() && m < v.numbers.size(); ++m) {
    if (v.numbers[m] != 0)
      asBright[m] = FieldStarCount(catalogue, axis, radius, StarNumbered(catalogue, v.numbers[m]).magnitude);
  }
  const bool fewMarks = v.identified < kMinMarksForDistortion;
  int cleared = 0;
  // Over the identities as they stood on entry (asBright is 0 for the others), whatever is cleared here.
  auto othersAsBright = [&](std::size_t m) {
    double others = 0.0;
    for (std::size_t j = 0; j < marks.size(); ++j) {
      if (j != m) others = std::max(others, asBright[j]);
    }
    return others;
  };
  for (std::size_t m = 0; m < marks.size() && m < v.numbers.size(); ++m) {
    if (v.numbers[m] == 0) continue;
    const GridStar& star = StarNumbered(catalogue, v.numbers[m]);
    const double density = (asBright[m] + 1.0) / area;
    // The chance that a random point lands as close to a star as bright: from the mark's own distance to
    // its star (at least half a pixel), capped by its tolerance.
    const double offPx = OffsetPx(marks[m], star, plate);
    const double distance = std::clamp(offPx, kIdTuning.chanceMinOffsetPx, MarkTolerancePx(marks[m], o)) * scale;
    bool keep = density * Pi * distance * distance <= maxChance;
    const double markCount = static_cast<double>(marks.size());
    if (keep && fewMarks) {
      // A plate fitted to few marks bends onto whatever star lies near each of them: a mark among bright
      // ones whose star is one of hundreds as faint (a planet, or a mark whose own star the plate puts
      // pixels off) is not trusted with it.
      keep = asBright[m] <= kIdTuning.faintRatioFew * (othersAsBright(m) + markCount);
    } else if (keep) {
      // Among many marks on bright stars, a mark whose star is one of a hundred as faint is a hot pixel or
      // a planet that chance put near a faint star, not one more star of the same marking.
      keep = asBright[m] <= kIdTuning.faintRatioMany * othersAsBright(m) + markCount;
    }
    if (keep) continue;
    v.numbers[m] = 0;
    --v.identified;
    ++cleared;
  }
  return cleared;
}

PlateVerification RefineAndVerify(const std::vector<StarMark>& marks, PlateConstants& plate,
                                  const SkyCatalogue& catalogue, const VerificationOptions& options) {
  double k = 0.0;
  PlateVerification v = Refine(marks, plate, catalogue, options, k);
  if (v.identified < kIdTuning.tightenFrom) {
    const int cleared =
        ClearChanceIdentities(Undistorted(marks, k, options), plate, catalogue, options, options.maxMarkChance, v);
    if (k != 0.0 || cleared > 0) FitRawPlate(marks, v.numbers, catalogue, options, plate);
    v.accepted = v.accepted && v.identified >= kIdTuning.minIdentified;
    return v;
  }
  // The tolerance the marks themselves call for: a few times their typical residual (distortion taken
  // out), with the radial share kept only as far as the residuals show more. A mark far off the fitted
  // plate (a planet beside a star, a brighter neighbour that won under the wide tolerance) then stays
  // unidentified or goes to its own star, and the verification weighs the tighter tolerance. The first
  // round takes the lower third of the residuals, since a wrong identity pulls the whole fit; the second
  // the median of the refitted plate.
  VerificationOptions used = options;
  for (int round = 0; round < 2; ++round) {
    const double typical =
        ResidualQuantilePx(Undistorted(marks, k, options), plate, catalogue, v.numbers,
                           round == 0 ? kIdTuning.tightFirstQuantile : kIdTuning.tightSecondQuantile);
    VerificationOptions tight = options;
    tight.tolerancePx = TightTolerancePx(typical, options.tolerancePx);
    tight.radialTolerance =
        options.radialTolerance *
        std::clamp((typical - kIdTuning.tightOffsetPx) / kIdTuning.tightRadialSpanPx, kIdTuning.tightRadialMin, 1.0);
    tight.rivalTolerancePx = options.tolerancePx;
    tight.rivalRadialTolerance = options.radialTolerance;
    PlateConstants refined = plate;
    double tightK = k;
    PlateVerification again = Refine(marks, refined, catalogue, tight, tightK);
    if (!(again.identified >= kIdTuning.minIdentified &&
          again.log10FalseAlarm <= v.log10FalseAlarm + kIdTuning.tightLog10Loss)) {
      // A right plate keeps its marks on their stars at their own scatter; one whose first tightening
      // loses them owed them to the wide tolerance.
      if (round == 0) v.accepted = false;
      break;
    }
    plate = refined;
    k = tightK;
    v = std::move(again);
    used = tight;
  }
  if (v.accepted) {
    // A mark the others do not vouch for: fitted without it, the plate puts its star far off (a wrong
    // identity at a vertex of the hypothesis is fitted exactly and pulls the plate by pixels). Its
    // identity is dropped and the identities re-decided about the plate of the others.
    const std::vector<StarMark> work = Undistorted(marks, k, options);
    const int outlier = LeastVouchedMark(work, plate, catalogue, v.numbers, options);
    if (outlier >= 0) {
      std::vector<std::int32_t> others = v.numbers;
      others[outlier] = 0;
      PlateConstants cleaner = plate;
      FitRawPlate(work, others, catalogue, options, cleaner);
      double cleanerK = k;
      PlateVerification again = Refine(marks, cleaner, catalogue, used, cleanerK);
      if (again.accepted && again.identified >= kIdTuning.minIdentified) {
        plate = cleaner;
        k = cleanerK;
        v = std::move(again);
      }
    }
  }
  const int cleared =
      ClearChanceIdentities(Undistorted(marks, k, options), plate, catalogue, used, options.maxMarkChance, v);
  // The plate of the identities that stay: a cleared one no longer pulls it.
  if (k != 0.0 || cleared > 0) FitRawPlate(marks, v.numbers, catalogue, options, plate);
  v.accepted = v.accepted && v.identified >= kIdTuning.minIdentified;
  return v;
}

double HypothesisLog10FalseAlarm(const std::vector<StarMark>& marks, const PlateConstants& hypothesis,
                                 const SkyCatalogue& catalogue, const PlateVerification& v,
                                 const VerificationOptions& o) {
  const double scale = 0.5 * (hypothesis.mx + hypothesis.my);
  if (!(scale > 0.0) || !std::isfinite(scale) || catalogue.Empty()) return 0.0;
  const double radius = FieldRadius(hypothesis, o.imageWidth, o.imageHeight);
  const UnitVector axis = UnitVectorOf(hypothesis.ra0, hypothesis.dec0);
  const double area = 2.0 * Pi * (1.0 - std::cos(radius));
  const double density = (FieldStarCount(catalogue, axis, radius, static_cast<float>(v.depth)) + 1.0) / area;
  // The sky radius of a circle of r pixels about a mark (pixels off the centre cover less sky).
  auto onSky = [&](const StarMark& mark, double r) {
    const double offCentre = std::hypot(mark.x - hypothesis.xo, mark.y - hypothesis.yo) * scale;
    return r * scale / (1.0 + offCentre * offCentre);
  };
  int confirmed = 0, missed = 0;
  double lambda = 0.0;
  std::vector<double> offsets;
  for (std::size_t m = 0; m < marks.size() && m < v.numbers.size(); ++m) {
    if (m < o.excluded.size() && o.excluded[m]) continue;
    if (v.numbers[m] == 0) {
      ++missed;
      continue;
    }
    const double off =
        std::max(OffsetPx(marks[m], StarNumbered(catalogue, v.numbers[m]), hypothesis), kIdTuning.markPrecisionPx);
    const double r = onSky(marks[m], std::min(off, MarkTolerancePx(marks[m], o)));
    lambda += 1.0 - std::exp(-density * Pi * r * r);
    offsets.push_back(off);
    ++confirmed;
  }
  if (confirmed == 0) return std::log10(TrialsAt(o, v.depth) * kDepthChoices);
  // A mark that found no star could have done so within the typical offset of those that did.
  std::nth_element(offsets.begin(), offsets.begin() + static_cast<std::ptrdiff_t>(offsets.size() / 2), offsets.end());
  const double typical = offsets[offsets.size() / 2];
  for (std::size_t m = 0; m < marks.size() && m < v.numbers.size() && missed > 0; ++m) {
    if ((m < o.excluded.size() && o.excluded[m]) || v.numbers[m] != 0) continue;
    const double r = onSky(marks[m], std::min(typical, MarkTolerancePx(marks[m], o)));
    lambda += 1.0 - std::exp(-density * Pi * r * r);
  }
  return std::log10(TrialsAt(o, v.depth) * kDepthChoices) + Log10PoissonTail(confirmed, lambda);
}

double TightTolerancePx(double typicalPx, double widePx) {
  return std::clamp(kIdTuning.tightFactor * typicalPx + kIdTuning.tightOffsetPx, kIdTuning.tightMinPx, widePx);
}

double PlateVerdict::Strength() const {
  return std::max(verification.log10FalseAlarm, hypothesisLog10FalseAlarm);
}

namespace {

// A wide lens the radial term cannot follow (a meteor camera's 90 degrees, pixels of error from a third of
// the way out): the refinement's identities are refitted with the distortion polynomial and re-decided on
// it until they settle, the order rising with the identified marks as the polynomial reaches further out.
// plate is then the distorted plate; the verification is of it, on the raw marks.
PlateVerification RefineWithPolynomial(const std::vector<StarMark>& marks, PlateConstants& plate,
                                       const SkyCatalogue& catalogue, const VerificationOptions& o) {
  // The first identities are those of the linear plate within the inner part of the frame, where it
  // holds; each round fits the marks out to a larger radius and decides every identity again at the
  // tolerance the marks call for on the fitted plate (a few times the lower third of their offsets), so
  // that the polynomial reaches the edges on marks it already nearly explains and a wide frame's faint
  // stars do not answer for marks by chance.
  PlateVerification v = VerifyPlate(marks, plate, catalogue, o);
  PlateConstants current = plate;
  bool fitted = false;
  const double cx = o.imageWidth / 2.0, cy = o.imageHeight / 2.0, big = HalfDiagonal(o);
  for (int round = 0; round < 3 * kIdTuning.refineRounds; ++round) {
    const double reach = (kIdTuning.wideInnerShare + kIdTuning.polynomialReachStep * round) * big;
    const std::vector<FitStar> fit = FitStarsOf(marks, v.numbers, catalogue, [&](std::size_t m) {
      return std::hypot(marks[m].x - cx, marks[m].y - cy) > reach;
    });
    const int order = std::min(DistortionOrderFor(fit.size()), 3 + round / 2);
    PlateConstants next;
    double rms = 0.0;
    if (order < 3 && !fitted) continue;  // too few marks yet in the inner part: reach further
    if (order < 3 ||
        !FitDistortedPlate(fit, current.ra0, current.dec0, o.imageWidth, o.imageHeight, order, next, rms))
      break;
    const double typical = ResidualQuantilePx(marks, next, catalogue, v.numbers, kIdTuning.tightFirstQuantile);
    VerificationOptions tight = o;
    tight.tolerancePx = std::clamp(kIdTuning.polynomialTightFactor * typical + kIdTuning.tightOffsetPx, kIdTuning.tightMinPx, o.tolerancePx);
    tight.radialTolerance =
        o.radialTolerance *
        std::clamp((typical - kIdTuning.tightOffsetPx) / kIdTuning.tightRadialSpanPx, kIdTuning.tightRadialMin, 1.0);
    PlateVerification again = VerifyPlate(marks, next, catalogue, tight);
    const bool same = again.numbers == v.numbers && next.distortion.order == current.distortion.order &&
                      reach > 1.2 * big;
    current = next;
    v = std::move(again);
    fitted = true;
    if (same) break;
  }
  if (!fitted) {
    PlateVerification none = v;
    none.accepted = false;
    return none;
  }
  // The per-mark chance rule is left out here: it is scaled for frames whose pixels are arcseconds, and on
  // a frame of arcminutes per pixel it would clear marks that sit a pixel from bright stars; the tight
  // tolerance and the fit's rejection of far marks decide instead.
  plate = current;
  v.distortion = 0.0;
  v.accepted = v.accepted && v.identified >= kIdTuning.minIdentified;
  return v;
}

}  // namespace

PlateVerdict VerifyProposal(const std::vector<StarMark>& marks, const PlateProposal& proposal,
                            const SkyCatalogue& catalogue, const VerificationOptions& options) {
  PlateVerdict verdict;
  verdict.plate = proposal.plate;
  PlateVerification& v = verdict.verification;
  if (proposal.refine) {
    v = RefineAndVerify(marks, verdict.plate, catalogue, options);
    if (!v.accepted || !(v.rmsPx <= kIdTuning.maxPlateRmsPx)) {
      // Enough marks on a wide frame for the distortion polynomial: the plate may be right and the lens
      // beyond the radial term.
      const double width = std::max(options.imageWidth * verdict.plate.mx, options.imageHeight * verdict.plate.my);
      if (!(width >= DegToRad(kIdTuning.polynomialFromFieldDeg)) ||
          v.identified < kMinMarksForDistortion)
        return verdict;
      v = RefineWithPolynomial(marks, verdict.plate, catalogue, options);
      if (!v.accepted || !(v.rmsPx <= kIdTuning.maxPlateRmsPx)) return verdict;
    }
  } else {
    v = VerifyPlate(marks, verdict.plate, catalogue, options);
    if (!v.accepted) return verdict;
    ClearChanceIdentities(marks, verdict.plate, catalogue, options, options.maxMarkChance, v);
  }
  // A plate fitted to the marks it counts can slide onto chance stars: the evidence must hold on the
  // hypothesis too.
  verdict.hypothesisLog10FalseAlarm = HypothesisLog10FalseAlarm(marks, proposal.hypothesis, catalogue, v, options);
  verdict.accepted = verdict.hypothesisLog10FalseAlarm <= options.maxLog10FalseAlarm;
  return verdict;
}
