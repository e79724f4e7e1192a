#include "image/auto_detect.h"

#include <Eigen/Dense>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "base/numbers.h"
#include "image/star_trails.h"
#include "sky/angles.h"

namespace {

constexpr double kSqrt2 = 1.4142135623730951;
// Star trails among the streaks: at least this many others within this turn and share of the length,
// farther than this from the streak's line.
constexpr int kTrailFellows = 4;
constexpr double kTrailTurnRad = 6.0 * 3.14159265358979323846 / 180.0;
constexpr double kTrailLengthShare = 0.3;
constexpr double kTrailOffLinePx = 10.0;
constexpr double kSqrtPi = 1.7724538509055159;
constexpr double kSqrt2Pi = 2.5066282746310002;


// One connected group of pixels with its moments; coordinates are image pixels.
struct Blob {
  int area = 0;
  int saturated = 0;
  double sum = 0.0;  // summed residual
  double sx = 0.0, sy = 0.0;
  double peak = 0.0;
  double mx = 0.0, my = 0.0, mxx = 0.0, myy = 0.0, mxy = 0.0;  // unweighted moments
  int xMin = 1 << 30, xMax = -1, yMin = 1 << 30, yMax = -1;

  void Add(int x, int y, double residual, bool isSaturated) {
    area += 1;
    saturated += isSaturated ? 1 : 0;
    const double w = std::max(residual, 0.0);
    sum += w;
    sx += w * x;
    sy += w * y;
    peak = std::max(peak, residual);
    mx += x;
    my += y;
    mxx += static_cast<double>(x) * x;
    myy += static_cast<double>(y) * y;
    mxy += static_cast<double>(x) * y;
    xMin = std::min(xMin, x);
    xMax = std::max(xMax, x);
    yMin = std::min(yMin, y);
    yMax = std::max(yMax, y);
  }
  // Axis lengths: variances along the principal axes (pixels squared) and the major axis angle.
  void Axes(double& major, double& minor, double& angle) const {
    const double cx = mx / area, cy = my / area;
    const double vxx = mxx / area - cx * cx, vyy = myy / area - cy * cy, vxy = mxy / area - cx * cy;
    const double half = 0.5 * (vxx + vyy), root = std::sqrt(0.25 * (vxx - vyy) * (vxx - vyy) + vxy * vxy);
    major = std::max(half + root, 0.0);
    minor = std::max(half - root, 0.0);
    angle = 0.5 * std::atan2(2.0 * vxy, vxx - vyy);
  }
};

// Labels the 8-connected groups of grid cells for which above(i) holds, calling add(i) for each cell of a
// group and done() after each group. Cells are numbered row by row over width x height.
template <typename Above, typename Add, typename Done>
void ConnectedGroups(int width, int height, const Above& above, const Add& add, const Done& done) {
  std::vector<std::uint8_t> seen(static_cast<std::size_t>(width) * height, 0);
  std::vector<std::int64_t> stack;
  for (std::int64_t start = 0; start < static_cast<std::int64_t>(seen.size()); ++start) {
    if (seen[static_cast<std::size_t>(start)] || !above(start)) continue;
    seen[static_cast<std::size_t>(start)] = 1;
    stack.push_back(start);
    while (!stack.empty()) {
      const std::int64_t cell = stack.back();
      stack.pop_back();
      add(cell);
      const int cx = static_cast<int>(cell % width), cy = static_cast<int>(cell / width);
      for (int dy = -1; dy <= 1; ++dy) {
        const int ny = cy + dy;
        if (ny < 0 || ny >= height) continue;
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = cx + dx;
          if (nx < 0 || nx >= width) continue;
          const std::int64_t next = static_cast<std::int64_t>(ny) * width + nx;
          if (seen[static_cast<std::size_t>(next)] || !above(next)) continue;
          seen[static_cast<std::size_t>(next)] = 1;
          stack.push_back(next);
        }
      }
    }
    done();
  }
}

// Distance of a point from the segment between a streak's ends, pixels.
double DistanceFromStreak(const StreakCandidate& s, double x, double y) {
  const double dx = s.x2 - s.x1, dy = s.y2 - s.y1, len2 = dx * dx + dy * dy;
  double f = len2 > 0 ? ((x - s.x1) * dx + (y - s.y1) * dy) / len2 : 0.0;
  f = std::clamp(f, 0.0, 1.0);
  return std::hypot(x - (s.x1 + f * dx), y - (s.y1 + f * dy));
}

}  // namespace

double HistogramQuantile(const std::array<int, 256>& histogram, int total, double fraction) {
  const double wanted = fraction * total;
  double below = 0.0;
  for (int level = 0; level < 256; ++level) {
    const double count = histogram[static_cast<std::size_t>(level)];
    if (below + count >= wanted && count > 0) return level - 0.5 + (wanted - below) / count;
    below += count;
  }
  return 255.0;
}

double StreakCandidate::Length() const {
  return std::hypot(x2 - x1, y2 - y1);
}

namespace {

// Bilinear interpolation of a tile grid between tile centres (tile i spans pixels i * tile + 1 ..
// (i + 1) * tile, its centre is i * tile + (tile + 1) / 2), held constant beyond the outer centres.
float InterpolateTiles(const SkyBackground& sky, const std::vector<float>& grid, double x, double y) {
  if (sky.columns == 0 || grid.empty()) return 0.0f;
  const double u = std::clamp((x - 0.5 * (sky.tile + 1)) / sky.tile, 0.0, static_cast<double>(sky.columns - 1));
  const double v = std::clamp((y - 0.5 * (sky.tile + 1)) / sky.tile, 0.0, static_cast<double>(sky.rows - 1));
  const int i = std::min(static_cast<int>(u), sky.columns - 1), j = std::min(static_cast<int>(v), sky.rows - 1);
  const int i1 = std::min(i + 1, sky.columns - 1), j1 = std::min(j + 1, sky.rows - 1);
  const double fu = u - i, fv = v - j;
  const auto g = [&](int a, int b) { return grid[static_cast<std::size_t>(b) * sky.columns + a]; };
  return static_cast<float>((1 - fv) * ((1 - fu) * g(i, j) + fu * g(i1, j)) +
                            fv * ((1 - fu) * g(i, j1) + fu * g(i1, j1)));
}

}  // namespace

float SkyBackground::LevelAt(double x, double y) const {
  return InterpolateTiles(*this, level, x, y);
}

float SkyBackground::NoiseAt(double x, double y) const {
  return noise.empty() ? 1.0f : InterpolateTiles(*this, noise, x, y);
}

SkyBackground EstimateBackground(const BrightnessRaster& raster, int tile) {
  SkyBackground sky;
  sky.tile = std::max(tile, 8);
  if (raster.width <= 0 || raster.height <= 0) return sky;
  sky.columns = (raster.width + sky.tile - 1) / sky.tile;
  sky.rows = (raster.height + sky.tile - 1) / sky.tile;
  sky.level.assign(static_cast<std::size_t>(sky.columns) * sky.rows, 0.0f);
  sky.noise.assign(sky.level.size(), 1.0f);
  for (int tj = 0; tj < sky.rows; ++tj) {
    for (int ti = 0; ti < sky.columns; ++ti) {
      std::array<int, 256> histogram{};
      int total = 0;
      const int x0 = ti * sky.tile + 1, y0 = tj * sky.tile + 1;
      const int x1 = std::min(x0 + sky.tile - 1, raster.width), y1 = std::min(y0 + sky.tile - 1, raster.height);
      for (int y = y0; y <= y1; ++y) {
        const std::uint8_t* row = &raster.values[static_cast<std::size_t>(y) * (raster.width + 1)];
        for (int x = x0; x <= x1; ++x) ++histogram[row[x]];
        total += x1 - x0 + 1;
      }
      // The median and the distance down to the 15.9th percentile: one sigma of a normal sky, untouched by
      // the stars and streaks that only ever lift the upper half.
      const double median = HistogramQuantile(histogram, total, 0.5);
      const double low = HistogramQuantile(histogram, total, 0.158655);
      const std::size_t k = static_cast<std::size_t>(tj) * sky.columns + ti;
      sky.level[k] = static_cast<float>(median);
      sky.noise[k] = static_cast<float>(std::max(median - low, 0.5));
    }
  }
  return sky;
}

std::vector<StarCandidate> FindStars(const BrightnessRaster& raster, const SkyBackground& sky,
                                     const AutoDetectOptions& options, const std::vector<StreakCandidate>& streaks,
                                     StarCensus* census) {
  std::vector<StarCandidate> stars;
  StarCensus seen;
  if (census) *census = seen;
  if (raster.width <= 0 || raster.height <= 0 || sky.columns == 0) return stars;
  const int w = raster.width, h = raster.height;
  // Per tile, the lowest level counted as part of a star (above the background by starThreshold sigmas).
  std::vector<int> thresholds(sky.level.size());
  for (std::size_t k = 0; k < thresholds.size(); ++k)
    thresholds[k] = static_cast<int>(std::floor(sky.level[k] + options.starThreshold * sky.noise[k])) + 1;
  const auto tileOf = [&](int x, int y) {
    return static_cast<std::size_t>((y - 1) / sky.tile) * sky.columns + static_cast<std::size_t>((x - 1) / sky.tile);
  };
  const auto value = [&](std::int64_t cell) {
    const int x = static_cast<int>(cell % w) + 1, y = static_cast<int>(cell / w) + 1;
    return raster.at(x, y);
  };
  const auto onStreak = [&](double x, double y) {
    for (const StreakCandidate& streak : streaks)
      if (DistanceFromStreak(streak, x, y) < 4.0 * std::max(streak.width, 1.0) + 8.0) return true;
    return false;
  };
  const auto nearEdge = [&](double x, double y) {
    return x < options.edgeMargin || y < options.edgeMargin || x > w - options.edgeMargin ||
           y > h - options.edgeMargin;
  };
  Blob blob;
  ConnectedGroups(
      w, h,
      [&](std::int64_t cell) {
        const int x = static_cast<int>(cell % w) + 1, y = static_cast<int>(cell / w) + 1;
        return raster.at(x, y) >= thresholds[tileOf(x, y)];
      },
      [&](std::int64_t cell) {
        const int x = static_cast<int>(cell % w) + 1, y = static_cast<int>(cell / w) + 1;
        const std::uint8_t v = value(cell);
        blob.Add(x, y, v - sky.level[tileOf(x, y)], v >= options.saturationLevel);
      },
      [&] {
        const Blob b = blob;
        blob = Blob{};
        // A lone hot pixel or a pair is no star; a saturated blob has no usable centre.
        if (b.area < 3) return;
        ++seen.objects;
        if (b.saturated >= 3) {
          ++seen.saturated;
          return;
        }
        if (!(b.sum > 0.0)) return;
        double major, minor, angle;
        b.Axes(major, minor, angle);
        // A round star's axes differ little; a streak or a merged pair is elongated.
        if (b.area >= 8 && major > 6.25 * std::max(minor, 0.25)) {
          ++seen.elongated;
          return;
        }
        StarCandidate s;
        s.x = b.sx / b.sum;
        s.y = b.sy / b.sum;
        s.flux = b.sum;
        s.peak = b.peak;
        s.area = b.area;
        if (nearEdge(s.x, s.y)) {
          ++seen.nearEdge;
          return;
        }
        if (onStreak(s.x, s.y)) {
          ++seen.nearStreak;
          return;
        }
        stars.push_back(s);
      });

  // Stars drawn out into trails: the objects that agree with the frame's common trail, each taken at
  // its centre. The round objects that lie on a trail are pieces of it and go.
  const std::vector<TrailObject> objects =
      FindTrailObjects(raster, sky, 1, 1, w, h, kTrailSigmas, options.saturationLevel);
  seen.trail = FindTrailShape(objects);
  if (seen.trail.Found()) {
    const double length = seen.trail.Length();
    const double ux = seen.trail.dx / length, uy = seen.trail.dy / length;
    const double across = 2.5 * std::max(static_cast<double>(seen.trail.width), 0.7) + 3.0;
    // Where (x, y) lies from a trail centred at (cx, cy): along its line beyond its half-length, and across.
    const auto apart = [&](double cx, double cy, double x, double y, double& alongGap, double& acrossGap) {
      const double dx = x - cx, dy = y - cy;
      alongGap = std::max(0.0, std::fabs(dx * ux + dy * uy) - 0.5 * length);
      acrossGap = std::fabs(-dx * uy + dy * ux);
    };
    std::vector<StarCandidate> trails;
    for (const TrailObject& o : objects) {
      if (!MatchesTrail(o, seen.trail)) continue;
      StarCandidate s;
      s.x = o.x;
      s.y = o.y;
      if (!RefineTrailCentre(raster, sky, seen.trail, s.x, s.y, s.flux, s.peak) || !(s.flux > 0.0)) continue;
      // The whole trail inside the frame, its centre off the edges and off any streak.
      const double ex = 0.5 * std::fabs(seen.trail.dx), ey = 0.5 * std::fabs(seen.trail.dy);
      if (nearEdge(s.x, s.y) || s.x - ex < 3.0 || s.y - ey < 3.0 || s.x + ex > w - 2.0 || s.y + ey > h - 2.0) {
        ++seen.nearEdge;
        continue;
      }
      if (onStreak(s.x, s.y)) {
        ++seen.nearStreak;
        continue;
      }
      // Pieces of one trail settle on the same centre.
      bool repeated = false;
      for (const StarCandidate& t : trails) {
        double alongGap, acrossGap;
        apart(t.x, t.y, s.x, s.y, alongGap, acrossGap);
        repeated = repeated || (alongGap <= 0.0 && acrossGap < across);
      }
      if (repeated) continue;
      s.area = o.area;
      s.trailDx = seen.trail.dx;
      s.trailDy = seen.trail.dy;
      trails.push_back(s);
    }
    std::vector<StarCandidate> kept;
    for (const StarCandidate& s : stars) {
      bool onTrail = false;
      for (const StarCandidate& t : trails) {
        double alongGap, acrossGap;
        apart(t.x, t.y, s.x, s.y, alongGap, acrossGap);
        onTrail = onTrail || (alongGap < across && acrossGap < across);
      }
      if (!onTrail) kept.push_back(s);
    }
    seen.trailed = static_cast<int>(trails.size());
    kept.insert(kept.end(), trails.begin(), trails.end());
    stars = std::move(kept);
  }
  std::stable_sort(stars.begin(), stars.end(),
                   [](const StarCandidate& a, const StarCandidate& b) { return a.flux > b.flux; });
  if (census) {
    std::vector<float> levels = sky.level, noises = sky.noise;
    const auto median = [](std::vector<float>& v) {
      if (v.empty()) return 0.0;
      std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
      return static_cast<double>(v[v.size() / 2]);
    };
    seen.level = median(levels);
    seen.noise = median(noises);
    *census = seen;
  }
  return stars;
}

namespace {

// How far apart two stars are, pixels: between their centres, or for two trails of the same extent the
// shortest distance between their segments.
double Separation(const StarCandidate& a, const StarCandidate& b) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double length = std::hypot(a.trailDx, a.trailDy);
  if (!(length > 0.0) || a.trailDx != b.trailDx || a.trailDy != b.trailDy) return std::hypot(dx, dy);
  const double ux = a.trailDx / length, uy = a.trailDy / length;
  return std::hypot(std::max(0.0, std::fabs(dx * ux + dy * uy) - length), -dx * uy + dy * ux);
}

}  // namespace

std::vector<StarCandidate> ChooseSpreadStars(const std::vector<StarCandidate>& stars, int imageWidth, int imageHeight,
                                             int count) {
  std::vector<StarCandidate> chosen;
  if (count <= 0 || imageWidth <= 0 || imageHeight <= 0) return chosen;
  // A star with a neighbour of comparable brightness nearby would share the marking frame with it.
  constexpr double kCrowdRadius = 16.0;
  std::vector<StarCandidate> isolated;
  for (std::size_t i = 0; i < stars.size(); ++i) {
    bool crowded = false;
    for (std::size_t j = 0; j < stars.size() && !crowded; ++j)
      crowded = j != i && stars[j].flux > 0.2 * stars[i].flux && Separation(stars[i], stars[j]) < kCrowdRadius;
    if (!crowded) isolated.push_back(stars[i]);
    if (isolated.size() >= static_cast<std::size_t>(count) * 6) break;  // enough to choose from
  }
  // A 4 x 3 grid (3 x 4 on an upright frame); every round takes the brightest remaining star of each region.
  const int gx = imageWidth >= imageHeight ? 4 : 3, gy = imageWidth >= imageHeight ? 3 : 4;
  std::vector<std::vector<StarCandidate>> regions(static_cast<std::size_t>(gx * gy));
  for (const StarCandidate& s : isolated) {
    const int i = std::clamp(static_cast<int>((s.x - 1) * gx / imageWidth), 0, gx - 1);
    const int j = std::clamp(static_cast<int>((s.y - 1) * gy / imageHeight), 0, gy - 1);
    regions[static_cast<std::size_t>(j * gx + i)].push_back(s);
  }
  for (std::size_t round = 0; chosen.size() < static_cast<std::size_t>(count); ++round) {
    std::vector<StarCandidate> picks;
    for (const auto& region : regions)
      if (round < region.size()) picks.push_back(region[round]);
    if (picks.empty()) break;
    std::stable_sort(picks.begin(), picks.end(),
                     [](const StarCandidate& a, const StarCandidate& b) { return a.flux > b.flux; });
    for (const StarCandidate& s : picks)
      if (chosen.size() < static_cast<std::size_t>(count)) chosen.push_back(s);
  }
  return chosen;
}

bool FitStreakProfile(const BrightnessRaster& raster, const SkyBackground& sky, StreakCandidate& streak) {
  const double length = streak.Length();
  if (!(length > 2.0) || raster.width <= 0) return false;
  const double cx = 0.5 * (streak.x1 + streak.x2), cy = 0.5 * (streak.y1 + streak.y2);
  double theta = std::atan2(streak.y2 - streak.y1, streak.x2 - streak.x1);
  // Parameters: amplitude, cross offset, start and end along the line, sigma, angle, background offset.
  double amp = std::max(streak.amplitude, 1.0), d0 = 0.0, t1 = -0.5 * length, t2 = 0.5 * length;
  double sigma = std::clamp(streak.width > 0 ? streak.width : 1.5, 0.6, 6.0), offset = 0.0;

  // The band of pixels around the first guess: a few widths across, some way beyond each end.
  const double halfBand = 3.0 * sigma + 4.0, beyond = 12.0 + 3.0 * sigma;
  struct Sample {
    double x, y, r, noise;
  };
  std::vector<Sample> samples;
  {
    const double c = std::cos(theta), s = std::sin(theta);
    const double reach = 0.5 * length + beyond;
    const int xa = std::max(1, static_cast<int>(std::floor(cx - reach * std::fabs(c) - halfBand)));
    const int xb = std::min(raster.width, static_cast<int>(std::ceil(cx + reach * std::fabs(c) + halfBand)));
    const int ya = std::max(1, static_cast<int>(std::floor(cy - reach * std::fabs(s) - halfBand)));
    const int yb = std::min(raster.height, static_cast<int>(std::ceil(cy + reach * std::fabs(s) + halfBand)));
    for (int y = ya; y <= yb; ++y)
      for (int x = xa; x <= xb; ++x) {
        const double along = (x - cx) * c + (y - cy) * s, across = -(x - cx) * s + (y - cy) * c;
        if (std::fabs(across) > halfBand || std::fabs(along) > reach) continue;
        const std::uint8_t v = raster.at(x, y);
        if (v >= 250) continue;  // clipped pixels say nothing of the profile
        samples.push_back({static_cast<double>(x), static_cast<double>(y), v - sky.LevelAt(x, y), sky.NoiseAt(x, y)});
      }
  }
  if (samples.size() < 20) return false;

  using Vec = Eigen::Matrix<double, 7, 1>;
  using Mat = Eigen::Matrix<double, 7, 7>;
  std::vector<std::uint8_t> use(samples.size(), 1);
  const auto evaluate = [&](const Vec& p, const Sample& q, Vec* gradient) {
    const double A = p[0], D0 = p[1], T1 = p[2], T2 = p[3], S = p[4], TH = p[5], C = p[6];
    const double c = std::cos(TH), s = std::sin(TH);
    const double along = (q.x - cx) * c + (q.y - cy) * s;
    const double d = -(q.x - cx) * s + (q.y - cy) * c - D0;
    const double g = std::exp(-d * d / (2 * S * S));
    const double a1 = (along - T1) / (kSqrt2 * S), a2 = (along - T2) / (kSqrt2 * S);
    const double h = 0.5 * (std::erf(a1) - std::erf(a2));
    if (gradient) {
      const double e1 = std::exp(-a1 * a1), e2 = std::exp(-a2 * a2);
      Vec& j = *gradient;
      j[0] = g * h;
      j[1] = A * h * g * d / (S * S);
      j[2] = -A * g * e1 / (kSqrt2Pi * S);
      j[3] = A * g * e2 / (kSqrt2Pi * S);
      j[4] = A * (h * g * d * d / (S * S * S) - g * (e1 * a1 - e2 * a2) / (kSqrtPi * S));
      // d(along)/d(theta) = d + D0, d(d)/d(theta) = -along
      j[5] = A * (g * d / (S * S) * along * h + g * (e1 - e2) / (kSqrt2Pi * S) * (d + D0));
      j[6] = 1.0;
    }
    return A * g * h + C;
  };
  Vec p;
  p << amp, d0, t1, t2, sigma, theta, offset;
  // A first amplitude from the pixels nearest the line's middle half.
  {
    double sum = 0.0;
    int n = 0;
    for (const Sample& q : samples) {
      const double c = std::cos(theta), s = std::sin(theta);
      const double along = (q.x - cx) * c + (q.y - cy) * s, across = -(q.x - cx) * s + (q.y - cy) * c;
      if (std::fabs(across) < 0.7 && std::fabs(along) < 0.25 * length) {
        sum += q.r;
        ++n;
      }
    }
    if (n > 0 && sum / n > 1.0) p[0] = sum / n;
  }
  const auto cost = [&](const Vec& v) {
    double total = 0.0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
      if (!use[i]) continue;
      const double e = (samples[i].r - evaluate(v, samples[i], nullptr)) / samples[i].noise;
      total += e * e;
    }
    return total;
  };
  double lambda = 1e-3;
  double current = cost(p);
  bool clipped = false;
  for (int iteration = 0; iteration < 60; ++iteration) {
    Mat normal = Mat::Zero();
    Vec rhs = Vec::Zero();
    for (std::size_t i = 0; i < samples.size(); ++i) {
      if (!use[i]) continue;
      Vec j;
      const double weight = 1.0 / (samples[i].noise * samples[i].noise);
      const double e = samples[i].r - evaluate(p, samples[i], &j);
      normal.selfadjointView<Eigen::Lower>().rankUpdate(j, weight);
      rhs += weight * e * j;
    }
    normal = normal.selfadjointView<Eigen::Lower>();
    bool settled = true;  // no step lowers the cost, or the last one was negligible
    for (int attempt = 0; attempt < 10; ++attempt) {
      Mat damped = normal;
      for (int k = 0; k < 7; ++k) damped(k, k) *= 1.0 + lambda;
      const Vec step = damped.ldlt().solve(rhs);
      if (!step.allFinite()) return false;
      Vec next = p + step;
      next[4] = std::clamp(next[4], 0.4, 8.0);
      const double trial = cost(next);
      if (trial < current) {
        settled = std::fabs(step[2]) < 1e-4 && std::fabs(step[3]) < 1e-4 && std::fabs(step[1]) < 1e-4;
        p = next;
        current = trial;
        lambda = std::max(lambda * 0.3, 1e-7);
        break;
      }
      lambda *= 10.0;
    }
    if (!settled && iteration != 8) continue;
    if (clipped) {
      if (settled) break;
      continue;
    }
    // Once the fit has settled, leave out the pixels the model cannot explain (stars on the band) and fit
    // again without them.
    for (std::size_t i = 0; i < samples.size(); ++i)
      use[i] = std::fabs(samples[i].r - evaluate(p, samples[i], nullptr)) < 5.0 * samples[i].noise;
    clipped = true;
    current = cost(p);
    lambda = 1e-3;
  }
  if (!p.allFinite() || !(p[0] > 0.0) || !(p[3] > p[2])) return false;
  if (std::fabs(p[1]) > halfBand || p[2] < -0.5 * length - beyond || p[3] > 0.5 * length + beyond) return false;
  const double c = std::cos(p[5]), s = std::sin(p[5]);
  const double ox = cx - s * p[1], oy = cy + c * p[1];  // the point of the fitted line nearest the old middle
  streak.x1 = ox + c * p[2];
  streak.y1 = oy + s * p[2];
  streak.x2 = ox + c * p[3];
  streak.y2 = oy + s * p[3];
  streak.amplitude = p[0];
  streak.width = p[4];
  const double noise = sky.NoiseAt(cx, cy);
  // Signal over noise of the streak's summed light within two sigmas of its line.
  streak.snr = p[0] * kSqrt2Pi * p[4] * 0.954 * (p[3] - p[2]) / (noise * std::sqrt(4.0 * p[4] * (p[3] - p[2])));
  streak.fitted = true;
  return true;
}

std::vector<StreakCandidate> FindStreaks(const BrightnessRaster& raster, const SkyBackground& sky,
                                         const AutoDetectOptions& options, TaskControl& task) {
  std::vector<StreakCandidate> streaks;
  if (raster.width <= 0 || raster.height <= 0 || sky.columns == 0) return streaks;
  // Large frames are binned 2 x 2 first; then a 3 x 3 mean lifts a faint streak above the noise.
  const int bin = static_cast<double>(raster.width) * raster.height > 12e6 ? 2 : 1;
  const int bw = raster.width / bin, bh = raster.height / bin;
  if (bw < 8 || bh < 8) return streaks;
  std::vector<float> binned(static_cast<std::size_t>(bw) * bh);
  for (int j = 0; j < bh; ++j) {
    for (int i = 0; i < bw; ++i) {
      double sum = 0.0;
      for (int q = 0; q < bin; ++q)
        for (int p = 0; p < bin; ++p) sum += raster.at(i * bin + p + 1, j * bin + q + 1);
      const double x = i * bin + 0.5 * (bin + 1), y = j * bin + 0.5 * (bin + 1);
      binned[static_cast<std::size_t>(j) * bw + i] = static_cast<float>(sum / (bin * bin) - sky.LevelAt(x, y));
    }
  }
  task.Yield();
  if (task.Cancelled()) return streaks;
  std::vector<float> rows(binned.size()), smooth(binned.size());
  for (int j = 0; j < bh; ++j)
    for (int i = 0; i < bw; ++i) {
      const std::size_t k = static_cast<std::size_t>(j) * bw + i;
      rows[k] = (binned[k] + binned[k - (i > 0)] + binned[k + (i + 1 < bw)]) / 3.0f;
    }
  for (int j = 0; j < bh; ++j)
    for (int i = 0; i < bw; ++i) {
      const std::size_t k = static_cast<std::size_t>(j) * bw + i;
      smooth[k] = (rows[k] + rows[j > 0 ? k - bw : k] + rows[j + 1 < bh ? k + bw : k]) / 3.0f;
    }
  // The smoothed residual's own noise: the spread of its lower half, scaled by each tile's noise.
  std::vector<float> sample;
  for (std::size_t k = 0; k < smooth.size(); k += 7) sample.push_back(smooth[k]);
  if (sample.size() < 16) return streaks;
  const auto nth = [&](double f) {
    std::vector<float> copy = sample;
    auto at = copy.begin() + static_cast<std::ptrdiff_t>(f * (copy.size() - 1));
    std::nth_element(copy.begin(), at, copy.end());
    return static_cast<double>(*at);
  };
  const double smoothMedian = nth(0.5);
  const double smoothSigma = std::max(smoothMedian - nth(0.158655), 0.05);
  std::vector<float> tileNoise = sky.noise;
  std::nth_element(tileNoise.begin(), tileNoise.begin() + static_cast<std::ptrdiff_t>(tileNoise.size() / 2),
                   tileNoise.end());
  const double medianNoise = std::max(static_cast<double>(tileNoise[tileNoise.size() / 2]), 0.1);
  const auto threshold = [&](int i, int j) {
    const double scale = sky.NoiseAt(i * bin + 0.5 * (bin + 1), j * bin + 0.5 * (bin + 1)) / medianNoise;
    return smoothMedian + options.streakThreshold * smoothSigma * scale;
  };
  // Thresholds per binned tile row and column, to keep the mask test cheap.
  const int tileBinned = std::max(sky.tile / bin, 1);
  const int tcols = (bw + tileBinned - 1) / tileBinned, trows = (bh + tileBinned - 1) / tileBinned;
  std::vector<float> tileThreshold(static_cast<std::size_t>(tcols) * trows);
  for (int tj = 0; tj < trows; ++tj)
    for (int ti = 0; ti < tcols; ++ti)
      tileThreshold[static_cast<std::size_t>(tj) * tcols + ti] =
          static_cast<float>(threshold(ti * tileBinned + tileBinned / 2, tj * tileBinned + tileBinned / 2));

  // Elongated groups of the mask: a piece of a streak.
  struct Piece {
    Blob blob;
    double cx, cy, angle, length, width;
  };
  std::vector<Piece> pieces;
  Blob blob;
  const double minLength = options.minStreakLength / bin;
  ConnectedGroups(
      bw, bh,
      [&](std::int64_t cell) {
        const int i = static_cast<int>(cell % bw), j = static_cast<int>(cell / bw);
        return smooth[static_cast<std::size_t>(cell)] >
               tileThreshold[static_cast<std::size_t>(j / tileBinned) * tcols + i / tileBinned];
      },
      [&](std::int64_t cell) {
        blob.Add(static_cast<int>(cell % bw), static_cast<int>(cell / bw), smooth[static_cast<std::size_t>(cell)],
                 false);
      },
      [&] {
        Blob b = blob;
        blob = Blob{};
        if (b.area < 6) return;
        double major, minor, angle;
        b.Axes(major, minor, angle);
        const double length = std::sqrt(12.0 * major), width = std::sqrt(std::max(minor, 0.0)) * 2.0 + 1.0;
        if (length < 0.4 * minLength || length < 3.0 * width) return;
        pieces.push_back({b, b.mx / b.area, b.my / b.area, angle, length, width});
      });
  task.Yield();
  if (task.Cancelled()) return streaks;

  // Pieces that lie on one line with small gaps between them are one streak broken by the noise.
  std::vector<int> owner(pieces.size());
  std::iota(owner.begin(), owner.end(), 0);
  const auto root = [&](int k) {
    while (owner[static_cast<std::size_t>(k)] != k) k = owner[static_cast<std::size_t>(k)];
    return k;
  };
  for (std::size_t a = 0; a < pieces.size(); ++a)
    for (std::size_t b = a + 1; b < pieces.size(); ++b) {
      const Piece& p = pieces[a];
      const Piece& q = pieces[b];
      double dAngle = std::fabs(p.angle - q.angle);
      dAngle = std::min(dAngle, Pi - dAngle);
      if (dAngle > 0.06) continue;
      const double c = std::cos(p.angle), s = std::sin(p.angle);
      const double along = (q.cx - p.cx) * c + (q.cy - p.cy) * s, across = -(q.cx - p.cx) * s + (q.cy - p.cy) * c;
      const double gap = std::fabs(along) - 0.5 * (p.length + q.length);
      if (std::fabs(across) > 2.0 + 0.5 * (p.width + q.width) || gap > 0.5 * (p.length + q.length) + 10.0) continue;
      owner[static_cast<std::size_t>(root(static_cast<int>(b)))] = root(static_cast<int>(a));
    }
  std::vector<Blob> merged(pieces.size());
  std::vector<std::uint8_t> used(pieces.size(), 0);
  for (std::size_t k = 0; k < pieces.size(); ++k) {
    Blob& m = merged[static_cast<std::size_t>(root(static_cast<int>(k)))];
    const Blob& b = pieces[k].blob;
    used[static_cast<std::size_t>(root(static_cast<int>(k)))] = 1;
    m.area += b.area;
    m.sum += b.sum;
    m.mx += b.mx;
    m.my += b.my;
    m.mxx += b.mxx;
    m.myy += b.myy;
    m.mxy += b.mxy;
    m.xMin = std::min(m.xMin, b.xMin);
    m.xMax = std::max(m.xMax, b.xMax);
    m.yMin = std::min(m.yMin, b.yMin);
    m.yMax = std::max(m.yMax, b.yMax);
  }
  for (std::size_t k = 0; k < merged.size(); ++k) {
    if (!used[k]) continue;
    const Blob& m = merged[k];
    double major, minor, angle;
    m.Axes(major, minor, angle);
    const double length = std::sqrt(12.0 * major), width = 2.0 * std::sqrt(minor) + 1.0;
    if (length < minLength || length < options.minStreakElongation * width) continue;
    const double cx = m.mx / m.area, cy = m.my / m.area;
    StreakCandidate streak;
    const double c = std::cos(angle), s = std::sin(angle);
    // Binned cell (i, j) covers image pixels i * bin + 1 .. (i + 1) * bin: its centre in image pixels.
    const auto image = [&](double v) { return v * bin + 0.5 * (bin + 1); };
    streak.x1 = image(cx - 0.5 * length * c);
    streak.y1 = image(cy - 0.5 * length * s);
    streak.x2 = image(cx + 0.5 * length * c);
    streak.y2 = image(cy + 0.5 * length * s);
    streak.width = std::clamp(std::sqrt(minor) * bin, 0.8, 4.0);
    streak.amplitude = m.sum / m.area;
    streak.snr = m.sum / (smoothSigma * std::sqrt(static_cast<double>(m.area)));
    FitStreakProfile(raster, sky, streak);
    // A fit may have let one end slide along; keep only what still looks like a streak.
    if (streak.Length() < options.minStreakLength || !(streak.snr > 5.0)) continue;
    streaks.push_back(streak);
    task.Yield();
    if (task.Cancelled()) return {};
  }
  std::stable_sort(streaks.begin(), streaks.end(),
                   [](const StreakCandidate& a, const StreakCandidate& b) { return a.snr > b.snr; });
  // One streak found twice (two groups of pieces that did not join) is listed once.
  std::vector<StreakCandidate> distinct;
  for (const StreakCandidate& s : streaks) {
    bool repeat = false;
    for (const StreakCandidate& d : distinct)
      repeat = repeat || (DistanceFromStreak(d, s.x1, s.y1) < 3.0 + 2 * d.width &&
                          DistanceFromStreak(d, s.x2, s.y2) < 3.0 + 2 * d.width);
    if (!repeat) distinct.push_back(s);
  }
  // Star trails of a camera that stood still (or of a mount that moved) share one direction and length
  // all over the frame; a satellite's streak differs from them in one or the other. A streak that has
  // kTrailFellows others of its direction and length beside it, off its own line, is one of those trails.
  // (Streaks of a train follow one line and are kept.)
  const auto fellows = [&distinct](const StreakCandidate& s) {
    const double angle = std::atan2(s.y2 - s.y1, s.x2 - s.x1), length = s.Length();
    const double c = std::cos(angle), n = std::sin(angle);
    int count = 0;
    for (const StreakCandidate& t : distinct) {
      if (&t == &s) continue;
      const double turn = std::fabs(std::remainder(std::atan2(t.y2 - t.y1, t.x2 - t.x1) - angle, Pi));
      const double across = std::fabs(-(0.5 * (t.x1 + t.x2) - s.x1) * n + (0.5 * (t.y1 + t.y2) - s.y1) * c);
      if (turn < kTrailTurnRad && std::fabs(t.Length() - length) < kTrailLengthShare * length &&
          across > kTrailOffLinePx)
        ++count;
    }
    return count;
  };
  std::vector<const StreakCandidate*> trails;
  for (const StreakCandidate& s : distinct)
    if (fellows(s) >= kTrailFellows) trails.push_back(&s);
  // Trails that the noise joined end to end along their common line: the trails' direction and a whole
  // multiple of their length.
  const auto joinedTrails = [&trails](const StreakCandidate& s) {
    const double angle = std::atan2(s.y2 - s.y1, s.x2 - s.x1);
    for (const StreakCandidate* t : trails) {
      const double turn = std::fabs(std::remainder(std::atan2(t->y2 - t->y1, t->x2 - t->x1) - angle, Pi));
      const double times = s.Length() / t->Length();
      if (turn < kTrailTurnRad && times > 1.5 && std::fabs(times - std::round(times)) < kTrailLengthShare) return true;
    }
    return false;
  };
  std::vector<StreakCandidate> kept;
  for (const StreakCandidate& s : distinct)
    if (std::find(trails.begin(), trails.end(), &s) == trails.end() && !joinedTrails(s)) kept.push_back(s);
  return kept;
}

AutoStarMarking AutoMarkStars(const MarkingFrame& frame, std::vector<StarMark>& marks, LogFile& log,
                              const AutoDetectOptions& options, const std::vector<StreakCandidate>& streaks,
                              const SkyBackground* sky) {
  AutoStarMarking result;
  const SkyBackground own = sky ? SkyBackground{} : EstimateBackground(frame.brightness);
  StarCensus census;
  const std::vector<StarCandidate> stars = FindStars(frame.brightness, sky ? *sky : own, options, streaks, &census);
  result.candidates = static_cast<int>(stars.size());
  result.trail = census.trail;
  // On a trailed frame the clicks take the trails whole.
  const MarkingFrame marking{frame.brightness, frame.frameHalf, census.trail.Found() ? &result.trail : frame.trails};
  const std::vector<StarCandidate> order =
      ChooseSpreadStars(stars, frame.brightness.width, frame.brightness.height, static_cast<int>(stars.size()));
  for (const StarCandidate& s : order) {
    if (result.marked >= options.starCount) break;
    const StarDetection found =
        DetectStar(marking, marks, log, static_cast<int>(std::lround(s.x)), static_cast<int>(std::lround(s.y)), true);
    if (!found.marked) continue;
    ++result.marked;
  }
  if (result.marked < kWantedAutoStars) result.shortage = StarShortageText(census, result.marked);
  return result;
}

std::string StarShortageText(const StarCensus& census, int marked) {
  const auto number = [](double v) { return FormatNumber(v, "0"); };
  if (census.objects == 0 && census.trailed == 0)
    return "Над шумом не поднимается ни одного объекта (фон " + number(census.level) + ", шум " +
           FormatNumber(census.noise, "0.0") + ").";
  std::string text = "Найдено объектов: " + number(census.objects);
  const auto part = [&](int count, const char* what) {
    if (count > 0) text += std::string(", ") + what + ": " + number(count);
  };
  part(census.elongated, "вытянутых (треки звёзд?)");
  part(census.saturated, "насыщенных");
  part(census.nearEdge, "у края кадра");
  part(census.nearStreak, "на треке ИСЗ");
  if (census.trail.Found())
    text += "; звёзды вытянуты в треки длиной " + number(census.trail.Length()) +
            " пикс., таких треков: " + number(census.trailed);
  text += "; отмечено звёзд: " + number(marked) + ".";
  if (census.objects + census.trailed < kWantedAutoStars) text += " Слишком мало звёзд над шумом.";
  return text;
}

std::vector<TrackEndAddition> MarkStreakEnds(TrackEnds& track, const StreakCandidate& streak, bool frameSolved) {
  track = TrackEnds{};
  return {AddTrackEnd(track, static_cast<float>(streak.x1), static_cast<float>(streak.y1), frameSolved),
          AddTrackEnd(track, static_cast<float>(streak.x2), static_cast<float>(streak.y2), frameSolved)};
}

std::string StreakText(int number, const StreakCandidate& streak) {
  char text[160];
  std::snprintf(text, sizeof text, "%d: (%.1f, %.1f) - (%.1f, %.1f), %.0f пикс., с/ш %.0f", number, streak.x1,
                streak.y1, streak.x2, streak.y2, streak.Length(), streak.snr);
  return text;
}
