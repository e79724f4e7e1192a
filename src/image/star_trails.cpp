#include "image/star_trails.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "sky/angles.h"

namespace {

constexpr double kDegree = Pi / 180.0;
// An object is elongated when its core is this long (pixels) and its axes' variances differ this much.
constexpr double kElongatedLength = 3.0;
constexpr double kElongatedRatio = 1.5;
// Noise widths of the 3 x 3 mean a clicked trail's pixels must exceed.
constexpr double kClickTrailSigmas = 3.0;
// The fewest objects that make a population of trails.
constexpr int kMinTrailMembers = 5;
// One sigma of a normal distribution below its median, as a fraction of the count.
constexpr double kOneSigmaBelow = 0.158655;

// Index of the background tile holding image pixel (x, y), clamped to the grid.
std::size_t TileOf(const SkyBackground& sky, int x, int y) {
  const int i = std::clamp((x - 1) / sky.tile, 0, sky.columns - 1);
  const int j = std::clamp((y - 1) / sky.tile, 0, sky.rows - 1);
  return static_cast<std::size_t>(j) * static_cast<std::size_t>(sky.columns) + static_cast<std::size_t>(i);
}

// Difference of two axis directions (radians), folded into 0..pi/2.
double AxisDifference(double a, double b) {
  double d = std::fmod(std::fabs(a - b), Pi);
  return std::min(d, Pi - d);
}

// Whether two elongated objects look like the same trail: directions within a tolerance that widens for
// short objects (whose direction is uncertain), lengths within a quarter and a pixel and a half.
bool Agree(const TrailObject& a, const TrailObject& b) {
  const double shorter = std::min(a.length, b.length), longer = std::max(a.length, b.length);
  const double tolerance = std::max(10.0 * kDegree, std::atan2(2.0, shorter));
  return AxisDifference(a.angle, b.angle) <= tolerance && longer - shorter <= 0.25 * longer + 1.5;
}

bool Elongated(const TrailObject& o) {
  const double along = o.length * o.length / 12.0 + o.width * o.width;
  return o.saturated < 3 && o.length >= kElongatedLength && along >= kElongatedRatio * o.width * o.width;
}

// The level below which the given fraction of the values lies (the values are reordered).
double Quantile(std::vector<float>& values, double fraction) {
  if (values.empty()) return 0.0;
  const std::size_t k = std::min(values.size() - 1, static_cast<std::size_t>(fraction * values.size()));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
  return values[k];
}

}  // namespace

std::vector<TrailObject> FindTrailObjects(const BrightnessRaster& raster, const SkyBackground& sky, int x0, int y0,
                                          int x1, int y1, double sigmas, int saturationLevel) {
  std::vector<TrailObject> objects;
  x0 = std::max(x0, 1);
  y0 = std::max(y0, 1);
  x1 = std::min(x1, raster.width);
  y1 = std::min(y1, raster.height);
  if (x1 - x0 < 2 || y1 - y0 < 2 || sky.columns == 0 || sky.level.empty()) return objects;
  const int w = x1 - x0 + 1, h = y1 - y0 + 1;
  const auto level = [&](int x, int y) { return sky.level[TileOf(sky, x, y)]; };
  const auto noise = [&](int x, int y) { return sky.noise.empty() ? 1.0f : sky.noise[TileOf(sky, x, y)]; };

  // The 3 x 3 mean above the background, in units of the tile's noise (cut at the rectangle's edges).
  const auto meanAbove = [&](int x, int y) {
    int sum = 0, count = 0;
    for (int q = std::max(y - 1, y0); q <= std::min(y + 1, y1); ++q)
      for (int p = std::max(x - 1, x0); p <= std::min(x + 1, x1); ++p) {
        sum += raster.at(p, q);
        ++count;
      }
    return (static_cast<float>(sum) / static_cast<float>(count) - level(x, y)) / noise(x, y);
  };
  // The spread of that mean over the sky: its median and the distance down to one sigma below it, from a
  // sample of at most about 250,000 values.
  const std::size_t cells = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  std::vector<float> sample;
  const std::size_t stride = std::max<std::size_t>(1, cells / 250000);
  sample.reserve(cells / stride + 1);
  for (std::size_t k = 0; k < cells; k += stride)
    sample.push_back(meanAbove(x0 + static_cast<int>(k % w), y0 + static_cast<int>(k / w)));
  const double median = Quantile(sample, 0.5);
  const double spread = std::max(median - Quantile(sample, kOneSigmaBelow), 0.05);
  const float cut = static_cast<float>(median + sigmas * spread);
  // Per cell: 1 above the cut, 2 once taken into an object. The 3 x 3 sums come from column sums over
  // three rows; per tile the cut is the mean level it stands for.
  std::vector<float> cutLevel(sky.level.size());
  for (std::size_t k = 0; k < cutLevel.size(); ++k)
    cutLevel[k] = sky.level[k] + cut * (sky.noise.empty() ? 1.0f : sky.noise[k]);
  std::vector<int> tileColumn(static_cast<std::size_t>(w));
  for (int x = x0; x <= x1; ++x)
    tileColumn[static_cast<std::size_t>(x - x0)] = std::clamp((x - 1) / sky.tile, 0, sky.columns - 1);
  std::vector<std::uint8_t> above(cells, 0);
  std::vector<int> columns(static_cast<std::size_t>(w));
  for (int y = y0; y <= y1; ++y) {
    const int qa = std::max(y - 1, y0), qb = std::min(y + 1, y1);
    for (int x = x0; x <= x1; ++x) {
      int sum = 0;
      for (int q = qa; q <= qb; ++q) sum += raster.at(x, q);
      columns[static_cast<std::size_t>(x - x0)] = sum;
    }
    const float* cutRow =
        &cutLevel[static_cast<std::size_t>(std::clamp((y - 1) / sky.tile, 0, sky.rows - 1)) * sky.columns];
    std::uint8_t* out = &above[static_cast<std::size_t>(y - y0) * w];
    for (int i = 0; i < w; ++i) {
      const int pa = std::max(i - 1, 0), pb = std::min(i + 1, w - 1);
      int sum = 0;
      for (int p = pa; p <= pb; ++p) sum += columns[static_cast<std::size_t>(p)];
      const float count = static_cast<float>((qb - qa + 1) * (pb - pa + 1));
      out[i] = static_cast<float>(sum) >= count * cutRow[tileColumn[static_cast<std::size_t>(i)]] ? 1 : 0;
    }
  }

  std::vector<std::int64_t> stack, members;
  for (std::size_t start = 0; start < cells; ++start) {
    if (above[start] != 1) continue;
    above[start] = 2;
    stack.assign(1, static_cast<std::int64_t>(start));
    members.clear();
    while (!stack.empty()) {
      const std::int64_t cell = stack.back();
      stack.pop_back();
      members.push_back(cell);
      const int cx = static_cast<int>(cell % w), cy = static_cast<int>(cell / w);
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          const int nx = cx + dx, ny = cy + dy;
          if (nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
          const std::size_t next = static_cast<std::size_t>(ny) * w + nx;
          if (above[next] != 1) continue;
          above[next] = 2;
          stack.push_back(static_cast<std::int64_t>(next));
        }
    }
    if (members.size() < 4) continue;
    TrailObject o;
    o.xMin = o.yMin = 1 << 30;
    o.xMax = o.yMax = -1;
    double sw = 0.0, sx = 0.0, sy = 0.0, sxx = 0.0, syy = 0.0, sxy = 0.0;
    for (const std::int64_t cell : members) {
      const int x = x0 + static_cast<int>(cell % w), y = y0 + static_cast<int>(cell / w);
      const std::uint8_t v = raster.at(x, y);
      const double r = v - level(x, y);
      const double wt = std::max(r, 0.0);
      o.area += 1;
      o.saturated += v >= saturationLevel ? 1 : 0;
      o.peak = std::max(o.peak, r);
      o.flux += r;
      o.xMin = std::min(o.xMin, x);
      o.xMax = std::max(o.xMax, x);
      o.yMin = std::min(o.yMin, y);
      o.yMax = std::max(o.yMax, y);
      sw += wt;
      sx += wt * x;
      sy += wt * y;
      sxx += wt * x * x;
      syy += wt * y * y;
      sxy += wt * x * y;
    }
    if (!(sw > 0.0)) continue;
    o.x = sx / sw;
    o.y = sy / sw;
    const double vxx = std::max(sxx / sw - o.x * o.x, 0.0), vyy = std::max(syy / sw - o.y * o.y, 0.0);
    const double vxy = sxy / sw - o.x * o.y;
    const double half = 0.5 * (vxx + vyy), root = std::sqrt(0.25 * (vxx - vyy) * (vxx - vyy) + vxy * vxy);
    const double major = std::max(half + root, 0.0), minor = std::max(half - root, 0.0);
    // A line of length L blurred by a profile of variance s2 has variances L2 / 12 + s2 along, s2 across.
    o.length = std::sqrt(std::max(0.0, 12.0 * (major - minor)));
    o.width = std::sqrt(minor);
    o.angle = 0.5 * std::atan2(2.0 * vxy, vxx - vyy);
    if (!std::isfinite(o.x) || !std::isfinite(o.y) || !std::isfinite(o.length) || !std::isfinite(o.angle)) continue;
    objects.push_back(o);
  }
  return objects;
}

StarTrailShape FindTrailShape(const std::vector<TrailObject>& objects) {
  StarTrailShape shape;
  std::vector<const TrailObject*> elongated;
  for (const TrailObject& o : objects)
    if (Elongated(o)) elongated.push_back(&o);
  if (static_cast<int>(elongated.size()) < kMinTrailMembers) return shape;
  // The object that agrees with the most others stands for the population.
  std::size_t best = 0;
  int bestCount = 0;
  for (std::size_t i = 0; i < elongated.size(); ++i) {
    int count = 0;
    for (const TrailObject* other : elongated) count += Agree(*elongated[i], *other) ? 1 : 0;
    if (count > bestCount) {
      bestCount = count;
      best = i;
    }
  }
  if (bestCount < kMinTrailMembers || 2 * bestCount < static_cast<int>(elongated.size())) return shape;
  // The common direction (mean of the doubled angles) and the median length and width of the members.
  double c2 = 0.0, s2 = 0.0;
  std::vector<double> lengths, widths;
  for (const TrailObject* o : elongated) {
    if (!Agree(*elongated[best], *o)) continue;
    c2 += std::cos(2.0 * o->angle);
    s2 += std::sin(2.0 * o->angle);
    lengths.push_back(o->length);
    widths.push_back(o->width);
  }
  const auto median = [](std::vector<double>& v) {
    std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
    return v[v.size() / 2];
  };
  const double angle = 0.5 * std::atan2(s2, c2);
  const double length = median(lengths);
  shape.dx = static_cast<float>(length * std::cos(angle));
  shape.dy = static_cast<float>(length * std::sin(angle));
  shape.width = static_cast<float>(median(widths));
  shape.members = static_cast<int>(lengths.size());
  return shape;
}

bool MatchesTrail(const TrailObject& o, const StarTrailShape& trail) {
  const double length = trail.Length();
  if (!(length > 0.0) || o.saturated >= 3 || o.width < 0.4) return false;
  if (o.length < 0.7 * length - 2.0 || o.length > 1.3 * length + 2.0) return false;
  const double tolerance = std::max(12.0 * kDegree, std::atan2(2.5, std::max(o.length, 1.0)));
  return AxisDifference(o.angle, std::atan2(trail.dy, trail.dx)) <= tolerance;
}

bool RefineTrailCentre(const BrightnessRaster& raster, const SkyBackground& sky, const StarTrailShape& trail, double& x,
                       double& y, double& flux, double& peak) {
  const double length = trail.Length();
  if (!(length > 0.0)) return false;
  const double ux = trail.dx / length, uy = trail.dy / length;
  const double sigma = std::clamp(static_cast<double>(trail.width), 0.7, 4.0);
  const double alongHalf = 0.5 * length + 2.0 * sigma + 1.5, acrossHalf = 2.0 * sigma + 1.0;
  const double reachX = alongHalf * std::fabs(ux) + acrossHalf * std::fabs(uy);
  const double reachY = alongHalf * std::fabs(uy) + acrossHalf * std::fabs(ux);
  bool any = false;
  for (int pass = 0; pass < 30; ++pass) {
    double sw = 0.0, sx = 0.0, sy = 0.0;
    flux = 0.0;
    peak = 0.0;
    const int xa = std::max(1, static_cast<int>(std::floor(x - reachX))), xb = std::min(raster.width, static_cast<int>(std::ceil(x + reachX)));
    const int ya = std::max(1, static_cast<int>(std::floor(y - reachY))), yb = std::min(raster.height, static_cast<int>(std::ceil(y + reachY)));
    for (int py = ya; py <= yb; ++py)
      for (int px = xa; px <= xb; ++px) {
        const double along = (px - x) * ux + (py - y) * uy, across = -(px - x) * uy + (py - y) * ux;
        if (std::fabs(along) > alongHalf || std::fabs(across) > acrossHalf) continue;
        const std::size_t tile = TileOf(sky, px, py);
        const double r = raster.at(px, py) - sky.level[tile];
        const double noise = sky.noise.empty() ? 1.0 : sky.noise[tile];
        flux += r;
        peak = std::max(peak, r);
        // Only light above one noise width weighs, so that the sky's noise hardly pulls the centre about.
        const double wt = std::max(r - noise, 0.0);
        sw += wt;
        sx += wt * px;
        sy += wt * py;
      }
    if (!(sw > 0.0)) return any;
    const double nx = sx / sw, ny = sy / sw;
    if (!std::isfinite(nx) || !std::isfinite(ny)) return false;
    const double shift = std::hypot(nx - x, ny - y);
    x = nx;
    y = ny;
    any = true;
    if (shift < 0.002) break;
  }
  return any;
}

StarTrailShape FindFrameTrail(const BrightnessRaster& raster, const SkyBackground& sky, int saturationLevel) {
  return FindTrailShape(
      FindTrailObjects(raster, sky, 1, 1, raster.width, raster.height, kTrailSigmas, saturationLevel));
}

StarMeasurement MeasureTrailedStar(const BrightnessRaster& brightness, int x, int y, int frameHalf,
                                   const StarTrailShape& trail) {
  StarMeasurement result;
  const double length = trail.Length();
  if (!(length > 0.0) || frameHalf < 0 || brightness.width <= 0 || brightness.height <= 0 ||
      brightness.values.size() <
          static_cast<std::size_t>(brightness.width + 1) * static_cast<std::size_t>(brightness.height + 1))
    return result;
  // A rectangle that holds every trail whose centre lies in the marking frame, and a border of sky for
  // the sky's statistics.
  const int reach = frameHalf + static_cast<int>(std::ceil(0.5 * length)) + 24;
  const int x0 = std::max(1, x - reach), x1 = std::min(brightness.width, x + reach);
  const int y0 = std::max(1, y - reach), y1 = std::min(brightness.height, y + reach);
  if (x1 - x0 < 2 || y1 - y0 < 2) return result;
  // The rectangle's sky: its median and one sigma below it, as one tile.
  std::array<int, 256> histogram{};
  int total = 0;
  for (int q = y0; q <= y1; ++q)
    for (int p = x0; p <= x1; ++p) {
      ++histogram[brightness.at(p, q)];
      ++total;
    }
  SkyBackground sky;
  sky.tile = 1 << 20;
  sky.columns = sky.rows = 1;
  const double median = HistogramQuantile(histogram, total, 0.5);
  sky.level = {static_cast<float>(median)};
  sky.noise = {static_cast<float>(std::max(median - HistogramQuantile(histogram, total, kOneSigmaBelow), 0.5))};

  // The user pointed at the star, so a fainter trail is looked for than over the whole frame; what is
  // taken must still have the trail's direction and length.
  const std::vector<TrailObject> objects = FindTrailObjects(brightness, sky, x0, y0, x1, y1, kClickTrailSigmas, 250);
  const double ux = trail.dx / length, uy = trail.dy / length;
  const TrailObject* nearest = nullptr;
  double nearestDistance = 0.0;
  for (const TrailObject& o : objects) {
    if (!MatchesTrail(o, trail)) continue;
    if (std::fabs(o.x - x) > frameHalf + 0.5 * length || std::fabs(o.y - y) > frameHalf + 0.5 * length) continue;
    // Distance from the point to the object's trail segment.
    const double along = std::clamp((x - o.x) * ux + (y - o.y) * uy, -0.5 * length, 0.5 * length);
    const double distance = std::hypot(x - (o.x + along * ux), y - (o.y + along * uy));
    if (!nearest || distance < nearestDistance) {
      nearest = &o;
      nearestDistance = distance;
    }
  }
  if (!nearest) return result;
  double cx = nearest->x, cy = nearest->y, flux = 0.0, peak = 0.0;
  if (!RefineTrailCentre(brightness, sky, trail, cx, cy, flux, peak)) return result;
  result.found = true;
  result.sx = static_cast<float>(cx);
  result.sy = static_cast<float>(cy);
  result.size = static_cast<std::int16_t>(
      std::clamp(std::max(nearest->xMax - nearest->xMin, nearest->yMax - nearest->yMin), 1, 32767));
  result.trailDx = trail.dx;
  result.trailDy = trail.dy;
  return result;
}
