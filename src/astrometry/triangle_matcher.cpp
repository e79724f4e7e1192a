#include "astrometry/triangle_matcher.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "astrometry/identification_tuning.h"
#include "astrometry/sky_grid.h"
#include "base/calendar.h"
#include "sky/angles.h"
#include "sky/site.h"
#include "sky/vec3.h"
#include "base/file_utils.h"
#include "base/numbers.h"

namespace {

// Sum of the three angle differences (hundredths of a degree) below which a triangle pair is verified.
constexpr int kMatchLimit = kIdTuning.matchLimit;

// Difference of two angles brought into [-180, 180) degrees.
double WrapDegrees(double difference) {
  return difference - 360.0 * std::floor((difference + 180.0) / 360.0);
}

// Scale test: nearly equal scales within the mode's window.
bool PlausibleScales(const PlateConstants& p, const IdentificationMode& mode) {
  const double lo = std::min(p.mx, p.my), hi = std::max(p.mx, p.my);
  return hi > 0.0 && lo / hi >= kIdTuning.minScaleRatio && p.mx >= mode.minScale && p.mx <= mode.maxScale &&
         p.my >= mode.minScale && p.my <= mode.maxScale;
}

// Stable ordering, largest key first: the order of equal keys is kept.
template <typename Key>
void SortDescending(std::vector<IdentificationHypothesis>& list, Key key) {
  std::stable_sort(list.begin(), list.end(), [&](const IdentificationHypothesis& a, const IdentificationHypothesis& b) {
    return key(a) > key(b);
  });
}

std::string HypothesisLine(const IdentificationHypothesis& h) {
  const PlateConstants& p = h.plate;
  const double arcsec = RadToDeg(1.0) * 3600.0;  // per radian
  const std::string sep = "  ";
  return FormatNumber(RadToDeg(p.ra0), "0.00") + sep + FormatNumber(RadToDeg(p.dec0), "0.00") + sep +
         FormatNumber(p.mx * arcsec, "0.0") + sep + FormatNumber(p.my * arcsec, "0.0") + sep +
         FormatNumber(RadToDeg(p.f), "0.0") + sep + FormatNumber(RadToDeg(p.g), "0.0") + sep +
         FormatNumber(p.xo, "0.0") + sep + FormatNumber(p.yo, "0.0") + sep + FormatNumber(h.id, "0") + sep +
         FormatNumber(h.er * 3600.0, "0.0");
}

std::string HeaderLine(const std::string& first) {
  return first + "  " + " Dec " + "  " + "  Mx " + "  " + "  My " + "  " + "  F " + "  " + " G  " + "  " + " xo " +
         "  " + "  yo " + "  " + " Id " + "  " + " er";
}

// Writes text to path through a temporary file renamed over it.
void WriteTextFile(const std::filesystem::path& path, const std::string& text) {
  WriteFileAtomically(path.string(), text);
}

}  // namespace

bool BuildFrameTriangles(const std::vector<StarMark>& marks, std::vector<AsterismRecord>& triangles,
                         TaskControl& task) {
  triangles.clear();
  const int n = static_cast<int>(marks.size());
  constexpr double kMinSide2 = kIdTuning.minFrameSidePx * kIdTuning.minFrameSidePx;
  for (int i = 0; i < n - 2; ++i) {
    if ((i + 1) % 10 == 0) {
      task.Yield();
      if (task.Cancelled()) return false;
    }
    const double x1 = marks[i].x, y1 = marks[i].y;
    for (int j = i + 1; j < n - 1; ++j) {
      const double x2 = marks[j].x, y2 = marks[j].y;
      const double c2 = (x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2);
      for (int k = j + 1; k < n; ++k) {
        const double x3 = marks[k].x, y3 = marks[k].y;
        const double a2 = (x2 - x3) * (x2 - x3) + (y2 - y3) * (y2 - y3);
        const double b2 = (x1 - x3) * (x1 - x3) + (y1 - y3) * (y1 - y3);
        if (!(a2 > kMinSide2 && b2 > kMinSide2 && c2 > kMinSide2)) continue;
        const double a = std::sqrt(a2), b = std::sqrt(b2), c = std::sqrt(c2);
        // Vertex angles from the dot products of the sides meeting at each vertex.
        const double cosA = ((x1 - x2) * (x1 - x3) + (y1 - y2) * (y1 - y3)) / (c * b);
        const double cosB = ((x2 - x3) * (x2 - x1) + (y2 - y3) * (y2 - y1)) / (c * a);
        const double cosC = ((x3 - x1) * (x3 - x2) + (y3 - y1) * (y3 - y2)) / (b * a);
        // Degrees in the very arithmetic of the asterism file's angles (times 180 / Pi, not RadToDeg's
        // times 180 then over Pi), so that an image triangle equal to a stored one rounds to the same
        // hundredths.
        const double toDeg = 180.0 / Pi;
        AsterismRecord t;
        if (MakeTriangleRecord({ArcCos(cosA) * toDeg, ArcCos(cosB) * toDeg, ArcCos(cosC) * toDeg},
                               {i + 1, j + 1, k + 1}, t)) {
          triangles.push_back(t);
        }
      }
      task.Yield();
    }
  }
  return !task.Cancelled();
}

bool BuildFieldAsterisms(const ReferenceList& refs, std::int32_t count, AsterismTable& table, TaskControl& task) {
  table = AsterismTable();
  const std::int32_t n = std::max<std::int32_t>(std::min(count, refs.size()), 0);
  const std::size_t size = static_cast<std::size_t>(n);
  // Every pair's side once (first star before second), then the triangles from them.
  std::vector<TriangleSide> sides(size * size);
  for (std::size_t i = 0; i < size; ++i) {
    const ReferenceStar& p = refs.At(static_cast<std::int32_t>(i) + 1);
    for (std::size_t j = i + 1; j < size; ++j) {
      const ReferenceStar& q = refs.At(static_cast<std::int32_t>(j) + 1);
      sides[i * size + j] = SideBetween({p.ra, p.dec}, {q.ra, q.dec});
    }
  }
  // The records in order, then into their cells (the cells keep that order).
  std::vector<AsterismRecord> records;
  if (size >= 3) records.reserve(size * (size - 1) * (size - 2) / 6);
  for (std::int32_t i = 1; i <= n - 2; ++i) {
    task.Yield();
    if (task.Cancelled()) return false;
    const std::size_t a = static_cast<std::size_t>(i - 1);
    for (std::int32_t j = i + 1; j <= n - 1; ++j) {
      // The row of third stars k = j + 1 .. n: sides j-k and i-k lie side by side in the pair table.
      const std::size_t b = static_cast<std::size_t>(j - 1);
      const std::size_t firstC = static_cast<std::size_t>(j);
      AppendTriangleRow(&sides[b * size + firstC], &sides[a * size + firstC], sides[a * size + b], i, j, j + 1, n - j,
                        records);
    }
  }
  FillAsterismTable(table, records);
  return true;
}

ExtensionStars PrepareExtensionStars(const ReferenceList& refs, float magnitudeLimit) {
  ExtensionStars out;
  for (std::int32_t p = 1; p <= refs.size(); ++p) {
    const ReferenceStar& s = refs.At(p);
    if (!(s.magnitude < magnitudeLimit)) continue;
    out.positions.push_back(p);
    out.directions.push_back(UnitVectorOf(s.ra, s.dec));
  }
  out.byZ.resize(out.positions.size());
  for (std::size_t c = 0; c < out.byZ.size(); ++c) out.byZ[c] = static_cast<std::uint32_t>(c);
  std::stable_sort(out.byZ.begin(), out.byZ.end(),
                   [&](std::uint32_t a, std::uint32_t b) { return out.directions[a][2] < out.directions[b][2]; });
  out.zSorted.reserve(out.byZ.size());
  for (std::uint32_t c : out.byZ) out.zSorted.push_back(out.directions[c][2]);
  return out;
}

namespace {

// The candidate nearest a direction (largest cosine; equal cosines go to the lowest position), or 0.
// Where the candidates are ordered by z only those within reachChord of the direction's z are looked
// at: a star farther in z is farther than reachChord in chord, so it can only matter when nothing
// nearer exists, and then no star lies within reach at all.
std::int32_t NearestCandidate(const ExtensionStars& candidates, const std::array<double, 3>& d, double reachChord) {
  double bestCos = -2.0;
  std::int32_t best = 0;
  auto consider = [&](std::size_t c) {
    const auto& v = candidates.directions[c];
    const double cosine = Dot(d, v);
    if (cosine > bestCos || (cosine == bestCos && candidates.positions[c] < best)) {
      bestCos = cosine;
      best = candidates.positions[c];
    }
  };
  const bool ordered =
      candidates.byZ.size() == candidates.positions.size() && candidates.zSorted.size() == candidates.byZ.size();
  if (!ordered || !(reachChord < 2.0)) {
    for (std::size_t c = 0; c < candidates.positions.size(); ++c) consider(c);
    return best;
  }
  const auto first = std::lower_bound(candidates.zSorted.begin(), candidates.zSorted.end(), d[2] - reachChord);
  for (auto it = first; it != candidates.zSorted.end() && *it <= d[2] + reachChord; ++it) {
    consider(candidates.byZ[static_cast<std::size_t>(it - candidates.zSorted.begin())]);
  }
  return best;
}

}  // namespace

ExtensionResult ExtendIdentification(const std::vector<StarMark>& marks, std::vector<std::int32_t>& identities,
                                     const PlateConstants& plate, const ReferenceList& refs,
                                     const ExtensionStars& candidates) {
  const double toleranceDeg = RadToDeg(plate.mx * kIdTuning.extensionPx);
  // The band searched: the tolerance as a chord, with a margin for rounding between the chord and
  // the separation the tolerance is tested on.
  const double reachChord = 2.0 * std::sin(std::min(DegToRad(std::fabs(toleranceDeg)), Pi) / 2.0) * 1.01 + 1e-9;
  double sum = 0.0;
  int count = 0;
  const PixelToSkyTransform toSky(plate);
  for (std::size_t m = 0; m < marks.size(); ++m) {
    const SkyPosition sky = toSky(marks[m].x, marks[m].y);
    if (identities[m] == 0) {
      const std::int32_t best = NearestCandidate(candidates, UnitVectorOf(sky.ra, sky.dec), reachChord);
      if (best != 0) {
        const ReferenceStar& s = refs.At(best);
        const double distance = RadToDeg(AngularSeparation(sky.ra, sky.dec, s.ra, s.dec));
        const bool taken = std::find(identities.begin(), identities.end(), best) != identities.end();
        if (distance < toleranceDeg && !taken) identities[m] = best;
      }
    }
    if (identities[m] != 0) {
      const ReferenceStar& s = refs.At(identities[m]);
      sum += RadToDeg(AngularSeparation(sky.ra, sky.dec, s.ra, s.dec));
      ++count;
    }
  }
  ExtensionResult result;
  result.id = static_cast<std::int16_t>(count);
  result.er = count > 0 ? sum / count : 0.0;
  return result;
}

bool VerifyHypothesis(const VerificationSetup& setup, const AsterismRecord& frameTriangle,
                      const AsterismRecord& catalogueTriangle, std::vector<IdentificationHypothesis>& hypotheses) {
  const std::vector<StarMark>& marks = *setup.marks;
  const ReferenceList& refs = *setup.refs;
  const std::array<std::int32_t, 3> markNumbers = {frameTriangle.star1, frameTriangle.star2, frameTriangle.star3};
  const std::array<std::int32_t, 3> starNumbers = {catalogueTriangle.star1, catalogueTriangle.star2,
                                                   catalogueTriangle.star3};
  std::vector<std::int32_t> identities(marks.size(), 0);
  std::array<std::int32_t, 3> positions{};
  for (int v = 0; v < 3; ++v) {
    const std::int32_t number = starNumbers[v];
    if (number <= 0 || static_cast<std::size_t>(number) >= refs.map.size()) return false;
    positions[v] = refs.map[number];
    const std::int32_t mark = markNumbers[v];
    if (positions[v] <= 0 || positions[v] > refs.size() || mark <= 0 || static_cast<std::size_t>(mark) > marks.size()) {
      return false;
    }
    identities[mark - 1] = positions[v];
  }
  // Starting tangent point: the mean of the three stars, with right ascensions taken relative to the
  // first star so that a triangle across 0h is averaged on its own side of the sky.
  const double ra1 = refs.At(positions[0]).ra;
  double raSum = 0.0, decSum = 0.0;
  for (int v = 0; v < 3; ++v) {
    const ReferenceStar& s = refs.At(positions[v]);
    raSum += std::remainder(s.ra - ra1, 2.0 * Pi);
    decSum += s.dec;
  }
  double ra0 = ra1 + raSum / 3.0;
  ra0 -= 2.0 * Pi * std::floor(ra0 / (2.0 * Pi));
  double dec0 = decSum / 3.0;

  PlateConstants plate;
  ExtensionResult extension;
  for (int round = 0; round < kIdTuning.extensionRounds; ++round) {
    std::vector<FitStar> fitStars;
    for (std::size_t m = 0; m < marks.size(); ++m) {
      if (identities[m] == 0) continue;
      const ReferenceStar& s = refs.At(identities[m]);
      fitStars.push_back({marks[m].x, marks[m].y, s.ra, s.dec});
    }
    if (!FitPlate(fitStars, ra0, dec0, setup.centreX, setup.centreY, plate)) return false;
    ra0 = plate.ra0;
    dec0 = plate.dec0;
    extension = ExtendIdentification(marks, identities, plate, refs, *setup.candidates);
    if (extension.id < kIdTuning.minIdentified || !PlausibleScales(plate, setup.mode)) return false;
  }
  IdentificationHypothesis h;
  h.plate = plate;
  h.id = extension.id;
  h.er = extension.er;
  h.marks = markNumbers;
  h.stars = positions;
  h.identities = std::move(identities);
  hypotheses.push_back(std::move(h));
  return true;
}

bool SearchHypotheses(const VerificationSetup& setup, const std::vector<AsterismRecord>& frameTriangles,
                      const AsterismTable& table, std::vector<IdentificationHypothesis>& hypotheses,
                      TaskControl& task) {
  hypotheses.clear();
  auto binRange = [](int angle, int& lo, int& hi) {
    lo = std::max(0, RoundToInt(static_cast<double>(angle - kAsterismBinWidth) / kAsterismBinWidth));
    hi =
        std::min(kAsterismBinCount - 1, RoundToInt(static_cast<double>(angle + kAsterismBinWidth) / kAsterismBinWidth));
  };
  const std::size_t total = frameTriangles.size();
  for (std::size_t t = 0; t < total; ++t) {
    if (task.Cancelled()) return false;
    const AsterismRecord& f = frameTriangles[t];
    int lo1, hi1, lo2, hi2, lo3, hi3;
    binRange(f.angle1, lo1, hi1);
    binRange(f.angle2, lo2, hi2);
    binRange(f.angle3, lo3, hi3);
    int bestD = 9999;
    const AsterismRecord* best = nullptr;
    // A record of bin b lies within half a bin of b's centre, so no record of a cell is nearer than the
    // sum of these gaps; a cell no nearer than the match limit holds nothing that could be verified or
    // counted as a close pair.
    auto gap = [](int angle, int bin) {
      return std::max(0, std::abs(angle - bin * kAsterismBinWidth) - kAsterismBinWidth / 2);
    };
    for (int i = lo1; i <= hi1; ++i) {
      const int gap1 = gap(f.angle1, i);
      for (int j = lo2; j <= hi2; ++j) {
        const int gap2 = gap1 + gap(f.angle2, j);
        if (gap2 >= kMatchLimit) continue;
        for (int k = lo3; k <= hi3; ++k) {
          if (gap2 + gap(f.angle3, k) >= kMatchLimit) continue;
          for (const AsterismRecord& r : table.Cell(i, j, k)) {
            const int d = std::abs(r.angle1 - f.angle1) + std::abs(r.angle2 - f.angle2) + std::abs(r.angle3 - f.angle3);
            if (setup.closePairs != nullptr && d < kMatchLimit) ++*setup.closePairs;
            if (d < bestD) {
              bestD = d;
              best = &r;
            }
          }
        }
      }
    }
    if (best != nullptr && bestD < kMatchLimit) VerifyHypothesis(setup, f, *best, hypotheses);
    if ((t + 1) % 100 == 0) {
      task.SetLabel(FormatNumber(100.0 * static_cast<double>(t + 1) / static_cast<double>(total), "0.0") + "%");
      task.Yield();
    }
  }
  return !task.Cancelled();
}

bool SimilarHypotheses(const IdentificationHypothesis& h, const IdentificationHypothesis& k) {
  const PlateConstants& a = h.plate;
  const PlateConstants& b = k.plate;
  if (!(b.mx > 0.0 && b.my > 0.0)) return false;
  const IdentificationTuning& t = kIdTuning;
  return RadToDeg(AngularSeparation(a.ra0, a.dec0, b.ra0, b.dec0)) <= t.similarCentreDeg &&
         std::fabs(a.mx / b.mx - 1.0) <= t.similarScaleShare && std::fabs(a.my / b.my - 1.0) <= t.similarScaleShare &&
         std::fabs(WrapDegrees(RadToDeg(a.f - b.f))) <= t.similarRotationDeg &&
         std::fabs(WrapDegrees(RadToDeg(a.g - b.g))) <= t.similarSkewDeg;
}

IdentificationDiagnostics DiagnosticFilesIn(const std::string& directory) {
  return [directory](const std::string& name, const std::string& text) {
    WriteTextFile(std::filesystem::path(directory + name), text);
  };
}

Adoption RankHypotheses(std::vector<IdentificationHypothesis>& hypotheses, const std::string& appDir) {
  return RankHypotheses(hypotheses, DiagnosticFilesIn(appDir));
}

Adoption RankHypotheses(std::vector<IdentificationHypothesis>& hypotheses, const IdentificationDiagnostics& sink) {
  Adoption adoption;
  if (hypotheses.empty()) return adoption;
  std::ostringstream text;
  SortDescending(hypotheses, [](const IdentificationHypothesis& h) { return h.id; });
  text << HeaderLine("  Ra  ") << "\r\n";
  for (const auto& h : hypotheses) text << HypothesisLine(h) << "\r\n";
  if (hypotheses.front().id < kIdTuning.confidentIdentified) {
    adoption.grouped = true;
    for (auto& h : hypotheses) h.group = 0;
    for (std::size_t h = 0; h < hypotheses.size(); ++h) {
      for (std::size_t k = h + 1; k < hypotheses.size(); ++k) {
        if (SimilarHypotheses(hypotheses[h], hypotheses[k])) ++hypotheses[h].group;
      }
    }
    SortDescending(hypotheses, [](const IdentificationHypothesis& h) { return h.group; });
    text << "---------Сортировка гипотез---------------------------"
         << "\r\n";
    text << HeaderLine("Group Ra  ") << "\r\n";
    for (const auto& h : hypotheses) text << FormatNumber(h.group, "0") << "  " << HypothesisLine(h) << "\r\n";
  }
  if (sink) sink("hyp_id.txt", text.str());
  adoption.adopted = true;
  adoption.index = 0;
  return adoption;
}

double ChanceIdentifications(const IdentificationHypothesis& h, const ExtensionStars& candidates, int markCount,
                             int imageWidth, int imageHeight, std::size_t trials) {
  const double trialCount = static_cast<double>(std::max<std::size_t>(trials, 1));
  const int extra = h.id - 3;  // identifications beyond the matched triangle
  if (extra <= 0) return trialCount;
  // Sky radius of the frame: the farthest corner from the tangent point.
  const PlateConstants& p = h.plate;
  double radius = 0.0;
  for (const auto& corner :
       {std::array<double, 2>{0.5, 0.5}, std::array<double, 2>{imageWidth + 0.5, 0.5},
        std::array<double, 2>{0.5, imageHeight + 0.5}, std::array<double, 2>{imageWidth + 0.5, imageHeight + 0.5}}) {
    const SkyPosition sky = PixelToSky(corner[0], corner[1], p);
    radius = std::max(radius, AngularSeparation(p.ra0, p.dec0, sky.ra, sky.dec));
  }
  if (!(radius > 0.0)) return trialCount;
  const Vec3 axis = UnitVectorOf(p.ra0, p.dec0);
  const double cosRadius = std::cos(radius);
  std::size_t inField = 0;
  for (const auto& d : candidates.directions) {
    if (Dot(d, axis) >= cosRadius) ++inField;
  }
  // Probability that a mark falls within the tolerance of some candidate star by chance.
  const double density = static_cast<double>(inField) / (2.0 * Pi * (1.0 - cosRadius));  // per steradian
  const double tolerance = kIdTuning.extensionPx * p.mx;
  const double perMark = std::min(1.0, density * Pi * tolerance * tolerance);
  const double lambda = std::max(markCount - 3, 0) * perMark;
  if (!(lambda > 0.0)) return 0.0;
  // Poisson tail P(X >= extra), summed upwards from its first term.
  double tail = 0.0;
  for (int i = extra; i < extra + 200; ++i) {
    const double term = std::exp(-lambda + i * std::log(lambda) - std::lgamma(i + 1.0));
    tail += term;
    if (term < tail * 1e-17) break;
  }
  const double expected = trialCount * std::min(tail, 1.0);
  return std::isfinite(expected) ? expected : trialCount;
}
