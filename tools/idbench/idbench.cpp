#include "idbench/idbench.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>

#include "astrometry/identify.h"
#include "astrometry/pattern_index.h"
#include "astrometry/solver.h"
#include "astrometry/verify.h"
#include "framegen/framegen.h"
#include "sky/angles.h"

namespace {

constexpr double kResolvePx = 8.0;

struct FrameStar {
  int number = 0;
  double x = 0.0;
  double y = 0.0;
  float magnitude = 0.0f;
};

// Stars of the catalogue on the frame, brightest first, leaving out those a brighter one would swallow;
// every star on the frame, swallowed ones too, goes to everything when given.
std::vector<FrameStar> StarsOnFrame(const std::vector<CatalogueRecord>& catalogue, const FrameSpec& drawing,
                                    std::vector<FrameStar>* everything = nullptr) {
  std::vector<FrameStar> all;
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    const CatalogueRecord& r = catalogue[i];
    if (r.raOffset == 0.0f && r.dec == 0.0f) continue;
    double x = 0.0, y = 0.0;
    const double ra = RadToDeg(static_cast<double>(r.raOffset) + Pi);
    if (!ProjectToFrame(drawing, ra, RadToDeg(r.dec), x, y)) continue;
    if (x < 1.0 || y < 1.0 || x > drawing.width || y > drawing.height) continue;
    all.push_back({static_cast<int>(i + 1), x, y, r.magnitude});
  }
  std::stable_sort(all.begin(), all.end(),
                   [](const FrameStar& a, const FrameStar& b) { return a.magnitude < b.magnitude; });
  std::vector<FrameStar> kept;
  for (std::size_t i = 0; i < all.size(); ++i) {
    bool merged = false;
    for (std::size_t j = 0; j < all.size() && !merged; ++j) {
      if (j == i || all[j].magnitude > all[i].magnitude) continue;
      merged = std::hypot(all[i].x - all[j].x, all[i].y - all[j].y) < kResolvePx;
    }
    if (!merged) kept.push_back(all[i]);
  }
  if (everything != nullptr) *everything = std::move(all);
  return kept;
}

// Moves a pixel radially about the image centre: r' = r (1 + k (r / R)^2), R the half-diagonal.
void Distort(double& x, double& y, int width, int height, double k) {
  const double cx = width / 2.0, cy = height / 2.0, big = std::hypot(cx, cy);
  const double dx = x - cx, dy = y - cy, r = std::hypot(dx, dy) / big;
  x = cx + dx * (1.0 + k * r * r);
  y = cy + dy * (1.0 + k * r * r);
}

}  // namespace

std::vector<BenchCase> DrawBenchCases(const std::vector<CatalogueRecord>& catalogue, const BenchPlan& plan) {
  std::mt19937_64 rng(plan.seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::normal_distribution<double> gauss(0.0, 1.0);
  std::vector<BenchCase> cases;
  auto drawFrame = [&](double field, BenchCase& c, FrameSpec& drawing) {
    c.fieldDeg = field;
    c.width = 1500 + static_cast<int>(unit(rng) * 2500.0);
    c.height = static_cast<int>(c.width / 1.5);
    c.centreRaDeg = unit(rng) * 360.0;
    c.centreDecDeg = RadToDeg(std::asin(2.0 * unit(rng) - 1.0));
    drawing.width = c.width;
    drawing.height = c.height;
    drawing.centreRaDeg = c.centreRaDeg;
    drawing.centreDecDeg = c.centreDecDeg;
    drawing.scaleArcsec = field * 3600.0 / c.width;
    drawing.rotationDeg = unit(rng) * 360.0;
    drawing.mirrored = unit(rng) < 0.2;
    // What an observer types: a centre up to a fifth of the field off, the width within 10 %.
    const double off = unit(rng) * 0.2 * field, bearing = unit(rng) * 2.0 * Pi;
    c.typedDecDeg = std::clamp(c.centreDecDeg + off * std::cos(bearing), -89.9, 89.9);
    const double cosDec = std::max(0.05, std::cos(DegToRad(c.centreDecDeg)));
    c.typedRaDeg = std::fmod(c.centreRaDeg + off * std::sin(bearing) / cosDec + 360.0, 360.0);
    c.typedFieldDeg = std::clamp(field * (0.9 + 0.2 * unit(rng)), 3.0, 70.0);
  };
  for (double field : plan.fieldsDeg) {
    for (const std::string& variant : plan.variants) {
      for (int l = 0; l < plan.listsPerCell; ++l) {
        BenchCase c;
        c.variant = variant;
        FrameSpec drawing;
        drawFrame(field, c, drawing);
        std::vector<FrameStar> onFrame;
        const std::vector<FrameStar> stars = StarsOnFrame(catalogue, drawing, &onFrame);
        int n = plan.minMarks + static_cast<int>(unit(rng) * (plan.maxMarks - plan.minMarks + 1));
        n = std::min(n, static_cast<int>(stars.size()));
        if (n < plan.minMarks) {
          --l;  // too few stars here (a very sparse narrow field): draw another frame
          continue;
        }
        std::vector<FrameStar> chosen;
        if (variant == "random6") {
          std::vector<FrameStar> bright;
          for (const FrameStar& s : stars) {
            if (s.magnitude <= 6.0f) bright.push_back(s);
          }
          if (static_cast<int>(bright.size()) < n) {
            chosen.assign(stars.begin(), stars.begin() + n);
          } else {
            std::shuffle(bright.begin(), bright.end(), rng);
            chosen.assign(bright.begin(), bright.begin() + n);
          }
        } else {
          chosen.assign(stars.begin(), stars.begin() + n);
        }
        std::shuffle(chosen.begin(), chosen.end(), rng);
        const double noise = variant == "noisy" ? 1.5 : 0.3;
        const double k = variant == "distorted" ? (unit(rng) < 0.5 ? 0.01 : -0.01) : 0.0;
        for (const FrameStar& s : chosen) {
          double x = s.x, y = s.y;
          if (k != 0.0) Distort(x, y, c.width, c.height, k);
          x += noise * gauss(rng);
          y += noise * gauss(rng);
          StarMark m;
          m.x = static_cast<float>(x);
          m.y = static_cast<float>(y);
          c.marks.push_back(m);
          c.truth.push_back(s.number);
        }
        // A point where there is no star: within the resolving distance of one it would be that star's
        // mark (a detector merges them), so such a point is drawn again.
        auto addPoint = [&](std::size_t at) {
          StarMark m;
          bool onStar = true;
          for (int attempt = 0; attempt < 100 && onStar; ++attempt) {
            m.x = static_cast<float>(1.0 + unit(rng) * (c.width - 2));
            m.y = static_cast<float>(1.0 + unit(rng) * (c.height - 2));
            onStar = std::any_of(onFrame.begin(), onFrame.end(), [&](const FrameStar& s) {
              return std::hypot(s.x - m.x, s.y - m.y) < kResolvePx;
            });
          }
          c.marks.insert(c.marks.begin() + static_cast<std::ptrdiff_t>(at), m);
          c.truth.insert(c.truth.begin() + static_cast<std::ptrdiff_t>(at), 0);
        };
        if (variant == "spurious") {
          const int extra = unit(rng) < 0.5 ? 1 : 2;
          for (int e = 0; e < extra; ++e) addPoint(static_cast<std::size_t>(unit(rng) * (c.marks.size() + 1)));
        } else if (variant == "planet") {
          addPoint(0);
        }
        cases.push_back(std::move(c));
      }
    }
  }
  for (int r = 0; r < plan.randomLists; ++r) {
    BenchCase c;
    c.variant = "random";
    FrameSpec drawing;
    drawFrame(plan.fieldsDeg[static_cast<std::size_t>(r) % plan.fieldsDeg.size()], c, drawing);
    const int n = plan.minMarks + static_cast<int>(unit(rng) * (plan.maxMarks - plan.minMarks + 1));
    for (int i = 0; i < n; ++i) {
      StarMark m;
      m.x = static_cast<float>(1.0 + unit(rng) * (c.width - 2));
      m.y = static_cast<float>(1.0 + unit(rng) * (c.height - 2));
      c.marks.push_back(m);
      c.truth.push_back(0);
    }
    cases.push_back(std::move(c));
  }
  return cases;
}

namespace {

// The command's input for a list: its marks, frame and typed circumstances, the program's files.
IdentificationInput InputOf(const BenchCase& c, const BenchFiles& files) {
  IdentificationInput in;
  in.marks = c.marks;
  in.imageWidth = c.width;
  in.imageHeight = c.height;
  in.considerVisibility = false;
  in.raUserDeg = c.typedRaDeg;
  in.decUserDeg = c.typedDecDeg;
  in.fieldUserDeg = c.typedFieldDeg;
  in.catalogPath = files.catalogPath;
  in.asterismPath = files.asterismPath;
  in.appDir = files.workDir;
  in.diagnostics = files.diagnostics;
  return in;
}

}  // namespace

BenchOutcome RunBenchCase(const BenchCase& c, bool knownCentre, BenchSolver solver, const BenchFiles& files) {
  IdentificationInput in = InputOf(c, files);
  in.patternSolver = solver == BenchSolver::Program;
  SilentTask task;
  BenchOutcome out;
  bool success = false;
  std::vector<std::int32_t> numbers;
  const std::clock_t started = std::clock();
  if (solver == BenchSolver::PatternsOnly) {
    const auto index = CachedPatternIndex(PatternIndexPathBeside(files.asterismPath));
    const auto catalogue = CachedSkyCatalogue(files.catalogPath);
    if (index && catalogue) {
      PatternSolverInput p;
      p.marks = &c.marks;
      p.imageWidth = c.width;
      p.imageHeight = c.height;
      p.knownCentre = knownCentre;
      p.centreRa = DegToRad(c.typedRaDeg);
      p.centreDec = DegToRad(c.typedDecDeg);
      p.fieldDeg = c.typedFieldDeg;
      const PatternSolution s = SolveWithPatterns(p, *index, *catalogue, task);
      success = s.solved;
      numbers = s.verification.numbers;
      if (std::getenv("ORVIA_BENCH_DEBUG") && s.solved) {
        std::printf("  FA %.2f confirmed %d/%d identified %d depth %.1f rms %.2f trials %zu width %.1f\n",
                    s.verification.log10FalseAlarm, s.verification.confirmed, s.verification.tested,
                    s.verification.identified, s.verification.depth, s.verification.rmsPx, s.trials,
                    RadToDeg(s.plate.mx * c.width));
        for (std::size_t m = 0; m < c.marks.size(); ++m) {
          if (std::getenv("ORVIA_BENCH_DEBUG")[0] == '2' && c.truth[m] > 0) {
            const GridStar& t = catalogue->stars[catalogue->indexOfNumber[c.truth[m]]];
            const PixelPosition pt = SkyToPixel(t.ra, t.dec, s.plate);
            std::printf("    mark %zu (%.0f,%.0f) truth %d mag %.2f at %.1f px, got %d\n", m, c.marks[m].x, c.marks[m].y,
                        c.truth[m], t.magnitude, std::hypot(pt.x - c.marks[m].x, pt.y - c.marks[m].y), numbers[m]);
          }
          if (numbers[m] != 0 && numbers[m] != c.truth[m]) {
            const GridStar& got = catalogue->stars[catalogue->indexOfNumber[numbers[m]]];
            const PixelPosition pg = SkyToPixel(got.ra, got.dec, s.plate);
            double trueOff = -1.0;
            if (c.truth[m] > 0) {
              const GridStar& t = catalogue->stars[catalogue->indexOfNumber[c.truth[m]]];
              const PixelPosition pt = SkyToPixel(t.ra, t.dec, s.plate);
              trueOff = std::hypot(pt.x - c.marks[m].x, pt.y - c.marks[m].y);
            }
            std::printf("  mark %zu (%.0f,%.0f) truth %d (%.1f px off) got %d (mag %.2f, %.1f px off)\n", m,
                        c.marks[m].x, c.marks[m].y, c.truth[m], trueOff, numbers[m], got.magnitude,
                        std::hypot(pg.x - c.marks[m].x, pg.y - c.marks[m].y));
          }
        }
      }
      out.byPatterns = true;
      out.identified = s.verification.identified;
    }
  } else {
    const IdentificationResult result = IdentifyStars(in, knownCentre, task);
    success = result.success;
    numbers = result.catalogueNumbers;
    out.byPatterns = result.byPatterns;
    out.identified = result.solution.nid;
  }
  out.seconds = static_cast<double>(std::clock() - started) / CLOCKS_PER_SEC;
  if (!success) return out;
  for (std::size_t m = 0; m < c.marks.size(); ++m) {
    const std::int32_t got = m < numbers.size() ? numbers[m] : 0;
    if (got != 0 && got != c.truth[m]) {
      out.wrong = true;
      if (std::getenv("ORVIA_BENCH_DEBUG"))
        std::printf("  mark %zu (%.0f,%.0f) truth %d got %d\n", m, c.marks[m].x, c.marks[m].y, c.truth[m], got);
    }
  }
  if (c.variant == "random") out.wrong = true;
  out.success = !out.wrong;
  return out;
}

BenchAnswers RunBothWays(const BenchCase& c, const BenchFiles& files) {
  IdentificationInput in = InputOf(c, files);
  SilentTask task;
  BenchAnswers out;
  in.patternSolver = false;
  const IdentificationResult matcher = IdentifyStars(in, true, task);
  if (!matcher.success) return out;
  out.matcherRight = true;
  for (std::size_t m = 0; m < c.marks.size(); ++m) {
    if (matcher.catalogueNumbers[m] != 0 && matcher.catalogueNumbers[m] != c.truth[m]) out.matcherRight = false;
  }
  in.patternSolver = true;
  const IdentificationResult program = IdentifyStars(in, true, task);
  out.programSolved = program.success;
  if (!program.success) return out;
  out.sameIdentities = program.catalogueNumbers == matcher.catalogueNumbers;
  if (std::getenv("ORVIA_BENCH_DEBUG") && !out.sameIdentities) {
    for (std::size_t m = 0; m < c.marks.size(); ++m) {
      std::printf("  mark %zu truth %d matcher %d program %d\n", m, c.truth[m], matcher.catalogueNumbers[m], program.catalogueNumbers[m]);
    }
  }
  // Where each plate puts the sky point the matcher's plate sees at every pixel of a coarse grid.
  for (int i = 0; i <= 8; ++i) {
    for (int j = 0; j <= 8; ++j) {
      const double x = 0.5 + c.width * i / 8.0, y = 0.5 + c.height * j / 8.0;
      const SkyPosition sky = PixelToSky(x, y, matcher.solution.working);
      const PixelPosition p = SkyToPixel(sky.ra, sky.dec, program.solution.working);
      out.plateDifferencePx = std::max(out.plateDifferencePx, p.valid ? std::hypot(p.x - x, p.y - y) : 1e9);
    }
  }
  return out;
}
