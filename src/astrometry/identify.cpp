#include "astrometry/identify.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "astrometry/catalogue.h"
#include "astrometry/solver.h"
#include "astrometry/verify.h"
#include "base/calendar.h"
#include "base/file_utils.h"
#include "base/numbers.h"
#include "sky/angles.h"
#include "sky/site.h"

namespace {

constexpr double kRadToDeg = 180.0 / Pi;
constexpr double kDegToRad = Pi / 180.0;
// Sum of the three angle differences (hundredths of a degree) below which a triangle pair is verified.
constexpr int kMatchLimit = 300;
// Rounds of fit and extension a hypothesis must pass.
constexpr int kVerificationRounds = 3;
// Fewest identified marks a hypothesis may keep.
constexpr int kMinIdentified = 4;
// Identified marks from which the best hypothesis is taken without grouping.
constexpr int kConfidentIdentified = 10;
// Extension tolerance: six pixels along x.
constexpr double kExtensionPixels = 6.0;
// Two stars closer than this on the frame, pixels, make one mark: a detector does not separate them.
constexpr double kClosePairPx = 3.0;
// Largest accepted number of equally supported hypotheses that chance alone would be expected to give:
// four of four marks on a frame of 1.5 to 3 arcminutes per pixel score about 0.015, random marks 0.18 and more.
constexpr double kMaxChanceIdentifications = 0.05;

std::array<double, 3> Direction(double ra, double dec) {
  return {std::cos(dec) * std::cos(ra), std::cos(dec) * std::sin(ra), std::sin(dec)};
}

// Difference of two angles brought into [-180, 180) degrees.
double WrapDegrees(double difference) {
  return difference - 360.0 * std::floor((difference + 180.0) / 360.0);
}

// Altitude above the horizon of a star, radians, from the local sidereal time.
bool AboveHorizon(const VisibilityFilter& v, double ra, double dec) {
  if (!v.enabled) return true;
  const double lst = GreenwichSiderealTime(v.midMjd) + v.longitudeRad;
  const double altitude = Pi / 2.0 - ArcCos(std::sin(v.latitudeRad) * std::sin(dec) +
                                            std::cos(v.latitudeRad) * std::cos(dec) * std::cos(lst - ra));
  return altitude > 0.0;
}

// Scale test: nearly equal scales within the mode's window.
bool PlausibleScales(const PlateConstants& p, const IdentificationMode& mode) {
  const double lo = std::min(p.mx, p.my), hi = std::max(p.mx, p.my);
  return hi > 0.0 && lo / hi >= 0.8 && p.mx >= mode.minScale && p.mx <= mode.maxScale && p.my >= mode.minScale &&
         p.my <= mode.maxScale;
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
  const double arcsec = kRadToDeg * 3600.0;
  const std::string sep = "  ";
  return FormatNumber(p.ra0 * kRadToDeg, "0.00") + sep + FormatNumber(p.dec0 * kRadToDeg, "0.00") + sep +
         FormatNumber(p.mx * arcsec, "0.0") + sep + FormatNumber(p.my * arcsec, "0.0") + sep +
         FormatNumber(p.f * kRadToDeg, "0.0") + sep + FormatNumber(p.g * kRadToDeg, "0.0") + sep +
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

IdentificationMode MakeIdentificationMode(bool blind, double fieldOfViewDeg, int imageWidth, int imageHeight) {
  IdentificationMode mode;
  mode.blind = blind;
  mode.minFieldDeg = blind ? 7.0 : 3.0;
  mode.maxFieldDeg = blind ? 80.0 : 1.3 * fieldOfViewDeg;
  mode.extendMagnitude = blind ? 4.0f + 0.5f : 7.0f + 0.5f;
  mode.minScale = imageWidth > 0 ? mode.minFieldDeg * kDegToRad / imageWidth : 0.0;
  mode.maxScale = imageHeight > 0 ? mode.maxFieldDeg * kDegToRad / imageHeight : 0.0;
  return mode;
}

std::int32_t LoadReferenceStarsBlind(const std::string& catalogPath, const VisibilityFilter& visibility,
                                     ReferenceList& refs, TaskControl& task) {
  refs = ReferenceList();
  std::vector<CatalogueRecord> records;
  if (!ReadCatalogueRecords(catalogPath, records)) return 0;
  refs.map.assign(records.size() + 1, 0);
  for (std::size_t j = 0; j < records.size(); ++j) {
    if (j % 4096 == 0) {
      if (task.Cancelled()) return 0;
      task.Yield();
    }
    const CatalogueRecord& r = records[j];
    const double ra = static_cast<double>(r.raOffset) + Pi, dec = r.dec;
    if (r.raOffset == 0.0f || r.dec == 0.0f || !AboveHorizon(visibility, ra, dec)) continue;
    refs.stars.push_back({ra, dec, r.magnitude, static_cast<std::int32_t>(j + 1)});
    refs.map[j + 1] = refs.size();
  }
  return refs.size();
}

std::int32_t LoadReferenceStarsInField(const std::string& catalogPath, const VisibilityFilter& visibility,
                                       double centreRa, double centreDec, double fovDeg, ReferenceList& refs,
                                       TaskControl& task) {
  refs = ReferenceList();
  std::vector<CatalogueRecord> records;
  ReadCatalogueRecords(catalogPath, records);  // a damaged file keeps what could be read
  refs.map.push_back(0);
  const SkyPoint centre{centreRa, centreDec};
  // A star farther in declination than the radius (with a margin well above the rounding of the
  // separation) lies outside without working out the separation.
  const double decReach = fovDeg * kDegToRad + 1e-6;
  for (std::size_t j = 0; j < records.size(); ++j) {
    if (j % 4096 == 0) {
      if (task.Cancelled()) return 0;
      task.Yield();
    }
    const CatalogueRecord& r = records[j];
    const double ra = static_cast<double>(r.raOffset) + Pi, dec = r.dec;
    if (std::fabs(dec - centreDec) > decReach) continue;
    if (SkySeparation({ra, dec}, centre) * kRadToDeg > fovDeg) continue;
    if (!AboveHorizon(visibility, ra, dec)) continue;
    refs.stars.push_back({ra, dec, r.magnitude, static_cast<std::int32_t>(j + 1)});
    refs.map.push_back(refs.size());
  }
  return refs.size();
}

bool BuildFrameTriangles(const std::vector<StarMark>& marks, std::vector<AsterismRecord>& triangles,
                         TaskControl& task) {
  triangles.clear();
  const int n = static_cast<int>(marks.size());
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
        if (!(a2 > 4.0 && b2 > 4.0 && c2 > 4.0)) continue;
        const double a = std::sqrt(a2), b = std::sqrt(b2), c = std::sqrt(c2);
        // Vertex angles from the dot products of the sides meeting at each vertex.
        const double cosA = ((x1 - x2) * (x1 - x3) + (y1 - y2) * (y1 - y3)) / (c * b);
        const double cosB = ((x2 - x3) * (x2 - x1) + (y2 - y3) * (y2 - y1)) / (c * a);
        const double cosC = ((x3 - x1) * (x3 - x2) + (y3 - y1) * (y3 - y2)) / (b * a);
        AsterismRecord t;
        if (MakeTriangleRecord({ArcCos(cosA) * kRadToDeg, ArcCos(cosB) * kRadToDeg, ArcCos(cosC) * kRadToDeg},
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
    out.directions.push_back(Direction(s.ra, s.dec));
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
    const double cosine = d[0] * v[0] + d[1] * v[1] + d[2] * v[2];
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
  const double toleranceDeg = plate.mx * kExtensionPixels * kRadToDeg;
  // The band searched: the tolerance as a chord, with a margin for rounding between the chord and
  // the separation the tolerance is tested on.
  const double reachChord = 2.0 * std::sin(std::min(std::fabs(toleranceDeg) * kDegToRad, Pi) / 2.0) * 1.01 + 1e-9;
  double sum = 0.0;
  int count = 0;
  const PixelToSkyTransform toSky(plate);
  for (std::size_t m = 0; m < marks.size(); ++m) {
    const SkyPosition sky = toSky(marks[m].x, marks[m].y);
    const SkyPoint here{sky.ra, sky.dec};
    if (identities[m] == 0) {
      const std::int32_t best = NearestCandidate(candidates, Direction(sky.ra, sky.dec), reachChord);
      if (best != 0) {
        const ReferenceStar& s = refs.At(best);
        const double distance = SkySeparation(here, {s.ra, s.dec}) * kRadToDeg;
        const bool taken = std::find(identities.begin(), identities.end(), best) != identities.end();
        if (distance < toleranceDeg && !taken) identities[m] = best;
      }
    }
    if (identities[m] != 0) {
      const ReferenceStar& s = refs.At(identities[m]);
      sum += SkySeparation(here, {s.ra, s.dec}) * kRadToDeg;
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
  for (int round = 0; round < kVerificationRounds; ++round) {
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
    if (extension.id < kMinIdentified || !PlausibleScales(plate, setup.mode)) return false;
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
  return SkySeparation({a.ra0, a.dec0}, {b.ra0, b.dec0}) * kRadToDeg <= 0.5 && std::fabs(a.mx / b.mx - 1.0) <= 0.9 &&
         std::fabs(a.my / b.my - 1.0) <= 0.9 && std::fabs(WrapDegrees((a.f - b.f) * kRadToDeg)) <= 10.0 &&
         std::fabs(WrapDegrees((a.g - b.g) * kRadToDeg)) <= 90.0;
}

Adoption RankHypotheses(std::vector<IdentificationHypothesis>& hypotheses, const std::string& appDir) {
  Adoption adoption;
  if (hypotheses.empty()) return adoption;
  std::ostringstream text;
  SortDescending(hypotheses, [](const IdentificationHypothesis& h) { return h.id; });
  text << HeaderLine("  Ra  ") << "\r\n";
  for (const auto& h : hypotheses) text << HypothesisLine(h) << "\r\n";
  if (hypotheses.front().id < kConfidentIdentified) {
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
  WriteTextFile(std::filesystem::path(appDir + "hyp_id.txt"), text.str());
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
  const SkyPoint centre{p.ra0, p.dec0};
  double radius = 0.0;
  for (const auto& corner :
       {std::array<double, 2>{0.5, 0.5}, std::array<double, 2>{imageWidth + 0.5, 0.5},
        std::array<double, 2>{0.5, imageHeight + 0.5}, std::array<double, 2>{imageWidth + 0.5, imageHeight + 0.5}}) {
    const SkyPosition sky = PixelToSky(corner[0], corner[1], p);
    radius = std::max(radius, SkySeparation(centre, {sky.ra, sky.dec}));
  }
  if (!(radius > 0.0)) return trialCount;
  const std::array<double, 3> axis = Direction(p.ra0, p.dec0);
  const double cosRadius = std::cos(radius);
  std::size_t inField = 0;
  for (const auto& d : candidates.directions) {
    if (d[0] * axis[0] + d[1] * axis[1] + d[2] * axis[2] >= cosRadius) ++inField;
  }
  // Probability that a mark falls within the tolerance of some candidate star by chance.
  const double density = static_cast<double>(inField) / (2.0 * Pi * (1.0 - cosRadius));  // per steradian
  const double tolerance = kExtensionPixels * p.mx;
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

// Largest accepted false-alarm figure (log10 of the expected number of chance plates as good).
constexpr double kMaxLog10FalseAlarm = -4.0;

// True when the matcher's adopted hypothesis stands up to the check against every mark: far more marks
// on stars than chance gives over all the catalogue triangles it was compared with, every mark it
// identified still on the brightest star within tolerance, and, with a known centre, the plate near it.
// A mark whose identity goes, in the verification, to the brighter star of a close pair: the mark and the
// working-list position of that star.
struct PairSwap {
  std::size_t mark = 0;
  std::int32_t position = 0;
};

bool HypothesisVerified(const IdentificationInput& in, bool blind, const IdentificationHypothesis& h,
                        const ReferenceList& refs, const SkyCatalogue& catalogue, std::size_t trials,
                        std::vector<PairSwap>& swaps) {
  swaps.clear();
  VerificationOptions options;
  options.imageWidth = in.imageWidth;
  options.imageHeight = in.imageHeight;
  options.trials = static_cast<double>(std::max<std::size_t>(trials, 1));
  options.maxLog10FalseAlarm = kMaxLog10FalseAlarm;
  options.excluded.assign(in.marks.size(), false);
  for (std::int32_t mark : h.marks) {
    if (mark >= 1 && static_cast<std::size_t>(mark) <= in.marks.size()) options.excluded[mark - 1] = true;
  }
  PlateVerification v = VerifyPlate(in.marks, h.plate, catalogue, options);
  if (!v.accepted) return false;
  ClearChanceIdentities(in.marks, h.plate, catalogue, options, options.maxMarkChance, v);
  // The matcher's plate is fitted to the marks it extended to; the evidence is weighed on the plate of
  // the matched triangle alone.
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
  if (HypothesisLog10FalseAlarm(in.marks, first, catalogue, v, options) > options.maxLog10FalseAlarm) return false;
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
    const double tight = std::clamp(4.0 * typical + 0.5, 1.5, MarkTolerancePx(in.marks[m], options));
    if (std::hypot(matched[m].x - in.marks[m].x, matched[m].y - in.marks[m].y) > tight) return false;
    if (refs.At(h.identities[m]).number == v.numbers[m]) continue;
    if (v.numbers[m] <= 0) return false;
    const std::size_t number = static_cast<std::size_t>(v.numbers[m]);
    const std::int32_t at = number < catalogue.indexOfNumber.size() ? catalogue.indexOfNumber[number] : -1;
    if (at < 0) return false;
    const PixelPosition q = SkyToPixel(catalogue.stars[at].ra, catalogue.stars[at].dec, h.plate);
    if (!q.valid || std::hypot(q.x - matched[m].x, q.y - matched[m].y) > kClosePairPx) return false;
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
         PlateNearCentre(h.plate, in.imageWidth, in.imageHeight, in.raUserDeg * kDegToRad, in.decUserDeg * kDegToRad);
}

// Runs the pattern solver and, when it succeeds, fills the result as the matcher's success would be:
// the plate, Nid, every mark's identity and "hyp_id.txt" with the one hypothesis.
bool SolveByPatterns(const IdentificationInput& in, bool blind, const ReferenceList& refs,
                     const SkyCatalogue& catalogue, IdentificationResult& result, TaskControl& task) {
  // Without the index file the pair search still runs.
  const std::shared_ptr<const PatternIndex> index = CachedPatternIndex(PatternIndexPathBeside(in.asterismPath));
  static const PatternIndex kNoIndex;
  PatternSolverInput input;
  input.marks = &in.marks;
  input.imageWidth = in.imageWidth;
  input.imageHeight = in.imageHeight;
  input.knownCentre = !blind;
  input.centreRa = in.raUserDeg * kDegToRad;
  input.centreDec = in.decUserDeg * kDegToRad;
  input.fieldDeg = in.fieldUserDeg;
  input.maxLog10FalseAlarm = kMaxLog10FalseAlarm;
  const PatternSolution solution = SolveWithPatterns(input, index ? *index : kNoIndex, catalogue, task);
  if (!solution.solved || task.Cancelled()) return false;
  std::vector<std::int32_t> positionOf(catalogue.indexOfNumber.size(), 0);
  for (std::int32_t p = 1; p <= refs.size(); ++p) {
    const std::int32_t number = refs.At(p).number;
    if (number > 0 && static_cast<std::size_t>(number) < positionOf.size()) positionOf[number] = p;
  }
  IdentificationHypothesis h;
  h.plate = solution.plate;
  h.id = static_cast<std::int16_t>(solution.verification.identified);
  double sum = 0.0;
  for (std::size_t m = 0; m < in.marks.size(); ++m) {
    const std::int32_t number = solution.verification.numbers[m];
    result.catalogueNumbers[m] = number;
    result.identities[m] = number > 0 && static_cast<std::size_t>(number) < positionOf.size() ? positionOf[number] : 0;
    if (number == 0) continue;
    const GridStar& s = catalogue.stars[catalogue.indexOfNumber[number]];
    const SkyPosition sky = PixelToSky(in.marks[m].x, in.marks[m].y, h.plate);
    sum += SkySeparation({sky.ra, sky.dec}, {s.ra, s.dec}) * kRadToDeg;
  }
  h.er = h.id > 0 ? sum / h.id : 0.0;
  std::vector<IdentificationHypothesis> one = {h};
  RankHypotheses(one, in.appDir);
  SetFromWorking(result.solution, h.plate);
  result.solution.nid = h.id;
  if (in.log) {
    in.log->Text("Nid_id=").Number(h.id).EndLine();
    in.log->Text("Solver_id=patterns").EndLine();
  }
  result.byPatterns = true;
  return true;
}

// One identification run in either mode.
IdentificationResult RunIdentification(const IdentificationInput& in, bool blind, TaskControl& task) {
  const auto started = std::chrono::steady_clock::now();
  IdentificationResult result;
  const std::size_t markCount = in.marks.size();
  result.identities.assign(markCount, 0);
  result.catalogueNumbers.assign(markCount, 0);

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
      LoadReferenceStarsInField(in.catalogPath, visibility, in.raUserDeg * kDegToRad, in.decUserDeg * kDegToRad,
                                in.fieldUserDeg, refs, task);
    }
    ok = !task.Cancelled() && refs.size() >= 3;
  }
  ok = ok && BuildFrameTriangles(in.marks, frameTriangles, task);
  if (ok) {
    if (blind) {
      tableRef = CachedAsterismTable(in.asterismPath, refs.map, task);
      ok = tableRef != nullptr;
    } else {
      const std::int32_t count = std::min(static_cast<std::int32_t>(6 * markCount), refs.size());
      auto built = std::make_shared<AsterismTable>();
      ok = BuildFieldAsterisms(refs, count, *built, task);
      tableRef = built;
    }
  }
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
  if (ok) {
    const Adoption adoption = RankHypotheses(hypotheses, in.appDir);
    if (adoption.adopted) {
      const IdentificationHypothesis& h = hypotheses[adoption.index];
      SetFromWorking(result.solution, h.plate);
      result.solution.nid = h.id;
      for (int v = 0; v < 3; ++v) result.identities[h.marks[v] - 1] = h.stars[v];
      for (std::size_t m = 0; m < markCount; ++m) {
        if (h.identities[m] != 0) result.catalogueNumbers[m] = refs.At(h.identities[m]).number;
      }
      if (in.log) in.log->Text("Nid_id=").Number(h.id).EndLine();
      const double chance = ChanceIdentifications(h, candidates, static_cast<int>(markCount), in.imageWidth,
                                                  in.imageHeight, frameTriangles.size());
      if (in.log) in.log->Text("Chance_id=").Number(chance).EndLine();
      result.success = h.id >= kMinIdentified && chance < kMaxChanceIdentifications;
      if (result.success) {
        const std::shared_ptr<const SkyCatalogue> sky = CachedSkyCatalogue(in.catalogPath);
        std::vector<PairSwap> swaps;
        result.success = sky && HypothesisVerified(in, blind, h, refs, *sky, closePairs, swaps);
        for (const PairSwap& swap : swaps) {
          result.identities[swap.mark] = swap.position;
          result.catalogueNumbers[swap.mark] = refs.At(swap.position).number;
        }
      }
    }
  }
  if (!result.success && !task.Cancelled() && in.patternSolver && markCount >= 4) {
    result.identities.assign(markCount, 0);
    result.catalogueNumbers.assign(markCount, 0);
    const std::shared_ptr<const SkyCatalogue> sky = CachedSkyCatalogue(in.catalogPath);
    result.success = sky && SolveByPatterns(in, blind, refs, *sky, result, task);
  }
  result.cancelled = task.Cancelled();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (in.log) in.log->Text(blind ? "Time identif = " : "time identif = ").Number(seconds).EndLine();

  if (!result.success) {
    result.solution = PlateSolution();
    result.identities.assign(markCount, 0);
    result.catalogueNumbers.assign(markCount, 0);
    result.messages.push_back(kIdentificationFailedText);
    return result;
  }
  result.catalogueDepth = kIdentifiedDisplayDepth;
  result.panel = MakePanelTexts(result.solution, static_cast<int>(markCount), in.imageWidth, in.imageHeight);
  result.solution.fieldSize = result.panel.fieldSize;
  if (static_cast<double>(result.solution.nid) / static_cast<double>(markCount) < 0.5) {
    result.messages.push_back(kLessThanHalfText);
  }
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
    return result;
  }
  return RunKnownCentreIdentification(input, task);
}
