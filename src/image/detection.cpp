#include "image/detection.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "base/numbers.h"
#include "image/star_trails.h"

namespace {

// Side of the background box and the count the median must reach: 961 / 2 + 0.5 rounded, 481.
constexpr int kBoxSide = 2 * kBackgroundHalf + 1;
constexpr int kMedianRank = (kBoxSide * kBoxSide + 1) / 2;
// Distances below which a new mark repeats an existing one (pixels).
constexpr double kStarMarkSpacing = 5.0;
constexpr double kTrackEndSpacing = 5.0;
// Relaxation passes per object at most.
constexpr int kRelaxationPasses = 10;
// A track object needs more scan lines and more pixels than these.
constexpr int kTrackMinScanLines = 10;
constexpr int kTrackMinArea = 10;

constexpr const char* kHintSolved = "Для измерения трека выберите Меню: Идентификация-> Измерить трек ";
constexpr const char* kHintUnsolved = "Кадр не привязан. Нужно идентифицировать звезды.";

// The double that prints with the same shortest digits as a single-precision value, so that the log
// shows 12.5 rather than the float's full binary expansion.
double ShortestAsDouble(float value) {
  if (!std::isfinite(value)) return 0.0;
  char buf[32];
  const auto res = std::to_chars(buf, buf + sizeof buf, value);
  double out = 0.0;
  std::from_chars(buf, res.ptr, out);
  return out;
}

void LogFloat(LogFile& log, float value) {
  log.Number(ShortestAsDouble(value));
}

// Largest residual over the search region.
int RegionMaximum(const AnalysisWindow& win) {
  int m = 0;
  for (int j = win.RegionFirst(); j <= win.RegionLast(); ++j)
    for (int i = win.RegionFirst(); i <= win.RegionLast(); ++i) m = std::max<int>(m, win.d[win.Index(i, j)]);
  return m;
}

// Median tracker over a 256-level histogram of a sliding 961-value box: keeps the current median level
// and the number of values below it, so each step moves the median only as far as the data moved it.
struct SlidingMedian {
  std::array<int, 256> histogram{};
  int median = 0;
  int below = 0;  // values < median

  void Add(std::uint8_t v) {
    ++histogram[v];
    if (v < median) ++below;
  }
  void Remove(std::uint8_t v) {
    --histogram[v];
    if (v < median) --below;
  }
  // The first level at which the cumulative count reaches 481, with the scan limit applied.
  std::uint8_t Current() {
    while (below >= kMedianRank) {
      --median;
      below -= histogram[median];
    }
    while (below + histogram[median] < kMedianRank) {
      below += histogram[median];
      ++median;
    }
    return median > kMedianScanLimit ? 0 : static_cast<std::uint8_t>(median);
  }
};

// Labels (i, j) with id when it is unlabelled, in the mask, and one of its eight neighbours carries id.
bool GrowEight(AnalysisWindow& win, int i, int j, std::int32_t id) {
  const std::size_t k = win.Index(i, j);
  if (win.labels[k] != 0 || win.m[k] == 0) return false;
  for (int q = -1; q <= 1; ++q)
    for (int p = -1; p <= 1; ++p)
      if (win.labels[win.Index(i + p, j + q)] == id) {
        win.labels[k] = id;
        return true;
      }
  return false;
}

// One quadrant sweep from the seed: rows from the seed row stepping by dj up to the region's first or last
// inner row, and in each row columns from the seed column stepping by di up to the first or last inner column.
void Sweep(AnalysisWindow& win, int si, int sj, int di, int dj, std::int32_t id) {
  const int rowEnd = dj < 0 ? win.RegionFirst() + 1 : win.RegionLast() - 1;
  const int colEnd = di < 0 ? win.RegionFirst() + 1 : win.RegionLast() - 1;
  for (int j = sj; dj < 0 ? j >= rowEnd : j <= rowEnd; j += dj)
    for (int i = si; di < 0 ? i >= colEnd : i <= colEnd; i += di) GrowEight(win, i, j, id);
}

// Passes over the region's inner part that give id to masked pixels with a four-neighbour carrying it,
// until a pass changes nothing (at most ten passes).
void Relax(AnalysisWindow& win, std::int32_t id) {
  const int lo = win.RegionFirst() + 1;
  const int hi = win.RegionLast() - 1;
  for (int pass = 0; pass < kRelaxationPasses; ++pass) {
    bool changed = false;
    for (int j = lo; j <= hi; ++j) {
      for (int i = lo; i <= hi; ++i) {
        const std::size_t k = win.Index(i, j);
        if (win.m[k] == 0 || win.labels[k] == id) continue;
        if (win.labels[win.Index(i - 1, j)] == id || win.labels[win.Index(i + 1, j)] == id ||
            win.labels[win.Index(i, j - 1)] == id || win.labels[win.Index(i, j + 1)] == id) {
          win.labels[k] = id;
          changed = true;
        }
      }
    }
    if (!changed) break;
  }
}

// Clears the object's pixels from the mask and measures its area and bounding box.
ObjectCluster Collect(AnalysisWindow& win, int si, int sj, std::int32_t id) {
  ObjectCluster obj;
  obj.id = id;
  int xMin = si, xMax = si, yMin = sj, yMax = sj;
  for (int j = win.RegionFirst(); j <= win.RegionLast(); ++j) {
    for (int i = win.RegionFirst(); i <= win.RegionLast(); ++i) {
      const std::size_t k = win.Index(i, j);
      if (win.labels[k] != id) continue;
      win.m[k] = 0;
      ++obj.area;
      xMin = std::min(xMin, i);
      xMax = std::max(xMax, i);
      yMin = std::min(yMin, j);
      yMax = std::max(yMax, j);
    }
  }
  obj.xMin = static_cast<float>(xMin);
  obj.xMax = static_cast<float>(xMax);
  obj.yMin = static_cast<float>(yMin);
  obj.yMax = static_cast<float>(yMax);
  obj.width = static_cast<std::int16_t>(std::max(1, xMax - xMin));
  obj.height = static_cast<std::int16_t>(std::max(1, yMax - yMin));
  obj.cx = (obj.xMin + obj.xMax) / 2.0f;
  obj.cy = (obj.yMin + obj.yMax) / 2.0f;
  return obj;
}

// Residual above threshold in the region, then isolated pixels strictly inside the region removed.
void BuildMask(AnalysisWindow& win, float threshold) {
  const int r0 = win.RegionFirst(), r1 = win.RegionLast();
  for (int j = r0; j <= r1; ++j)
    for (int i = r0; i <= r1; ++i) {
      const std::size_t k = win.Index(i, j);
      win.m[k] = static_cast<float>(win.d[k]) > threshold ? win.d[k] : 0;
    }
  for (int j = r0 + 1; j <= r1 - 1; ++j)
    for (int i = r0 + 1; i <= r1 - 1; ++i) {
      const std::size_t k = win.Index(i, j);
      if (win.m[k] != 0 && win.m[win.Index(i - 1, j)] == 0 && win.m[win.Index(i + 1, j)] == 0 &&
          win.m[win.Index(i, j - 1)] == 0 && win.m[win.Index(i, j + 1)] == 0)
        win.m[k] = 0;
    }
}

bool AnyMaskedInside(const AnalysisWindow& win) {
  for (int j = win.RegionFirst() + 1; j <= win.RegionLast() - 1; ++j)
    for (int i = win.RegionFirst() + 1; i <= win.RegionLast() - 1; ++i)
      if (win.m[win.Index(i, j)] != 0) return true;
  return false;
}

// A scan-line point of a track object, local indices.
struct ScanPoint {
  double i = 0.0;
  double j = 0.0;
};

// The object's scan lines: per row (object taller than wide) the mean column, else per column the mean row.
std::vector<ScanPoint> ScanLines(const AnalysisWindow& win, const ObjectCluster& obj) {
  const bool alongY = obj.width < obj.height;
  std::vector<ScanPoint> lines;
  for (int u = win.RegionFirst(); u <= win.RegionLast(); ++u) {
    double sum = 0.0;
    int count = 0;
    for (int v = win.RegionFirst(); v <= win.RegionLast(); ++v) {
      const int i = alongY ? v : u;
      const int j = alongY ? u : v;
      if (win.labels[win.Index(i, j)] != obj.id) continue;
      sum += v;
      ++count;
    }
    if (count == 0) continue;
    const double mean = sum / count;
    lines.push_back(alongY ? ScanPoint{mean, static_cast<double>(u)} : ScanPoint{static_cast<double>(u), mean});
  }
  return lines;
}

// Image coordinate of a local index along one axis.
double LocalToImage(int centre, int a, double local) {
  return centre - a - 1 + local;
}

// Clamps a rounded-down image coordinate to the 16-bit range of the frame's coordinates.
std::int16_t ClampToInt16(double v) {
  return static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
}

// True for a marking-frame half-size a window can be built for (the size table holds them as bytes).
bool UsableHalf(int frameHalf) {
  return frameHalf >= 0 && frameHalf <= 255;
}

}  // namespace

std::uint8_t BoxMedian(const std::array<int, 256>& histogram) {
  int cumulative = 0;
  for (int level = 0; level <= kMedianScanLimit; ++level) {
    cumulative += histogram[level];
    if (cumulative >= kMedianRank) return static_cast<std::uint8_t>(level);
  }
  return 0;
}

void ComputeBackground(AnalysisWindow& win) {
  win.b = win.w;
  const int lo = kBackgroundHalf + 1;
  const int hi = win.n - kBackgroundHalf - 1;
  for (int j = lo; j <= hi; ++j) {
    SlidingMedian box;
    for (int q = j - kBackgroundHalf; q <= j + kBackgroundHalf; ++q)
      for (int p = lo - kBackgroundHalf; p <= lo + kBackgroundHalf; ++p) box.Add(win.w[win.Index(p, q)]);
    win.b[win.Index(lo, j)] = box.Current();
    for (int i = lo + 1; i <= hi; ++i) {
      for (int q = j - kBackgroundHalf; q <= j + kBackgroundHalf; ++q) {
        box.Remove(win.w[win.Index(i - kBackgroundHalf - 1, q)]);
        box.Add(win.w[win.Index(i + kBackgroundHalf, q)]);
      }
      win.b[win.Index(i, j)] = box.Current();
    }
  }
}

AnalysisWindow PrepareAnalysisWindow(const BrightnessRaster& brightness, int x, int y, int frameHalf) {
  AnalysisWindow win;
  win.centreX = x;
  win.centreY = y;
  win.a = std::max(0, frameHalf) + kBackgroundHalf;
  win.n = 2 * win.a + 1;
  const std::size_t cells = static_cast<std::size_t>(win.n + 1) * static_cast<std::size_t>(win.n + 1);
  win.w.assign(cells, 0);
  win.m.assign(cells, 0);
  win.labels.assign(cells, 0);
  const bool hasPixels = brightness.values.size() >= static_cast<std::size_t>(brightness.width + 1) *
                                                         static_cast<std::size_t>(brightness.height + 1);
  for (int j = 1; j <= win.n && hasPixels; ++j) {
    const int iy = y + j - win.a - 1;
    if (iy < 1 || iy > brightness.height) continue;
    for (int i = 1; i <= win.n; ++i) {
      const int ix = x + i - win.a - 1;
      if (ix >= 1 && ix <= brightness.width) win.w[win.Index(i, j)] = brightness.at(ix, iy);
    }
  }
  ComputeBackground(win);
  win.d.assign(cells, 0);
  for (std::size_t k = 0; k < cells; ++k) win.d[k] = win.w[k] >= win.b[k] ? win.w[k] - win.b[k] : 0;
  return win;
}

NoiseStatistics MeasureNoise(const AnalysisWindow& win) {
  const int top = RoundToInt(RegionMaximum(win) + 0.5);
  std::vector<int> counts(static_cast<std::size_t>(top) + 1, 0);
  for (int j = win.RegionFirst(); j <= win.RegionLast(); ++j)
    for (int i = win.RegionFirst(); i <= win.RegionLast(); ++i) ++counts[win.d[win.Index(i, j)]];
  NoiseStatistics noise;
  for (int level = 1; level <= top; ++level)
    if (counts[level] > counts[noise.mode]) noise.mode = level;
  const double half = counts[noise.mode] / 2.0;
  for (int level = noise.mode; level <= top; ++level)
    if (counts[level] <= half) {
      noise.width = level - noise.mode;
      break;
    }
  return noise;
}

float DetectionThreshold(const NoiseStatistics& noise, int factor) {
  return static_cast<float>(noise.mode + factor * noise.width);
}

std::vector<ObjectCluster> FindObjects(AnalysisWindow& win, float threshold) {
  std::vector<ObjectCluster> objects;
  std::fill(win.labels.begin(), win.labels.end(), 0);
  std::fill(win.m.begin(), win.m.end(), 0);
  if (win.RegionLast() - win.RegionFirst() < 2) return objects;
  BuildMask(win, threshold);
  if (!AnyMaskedInside(win)) return objects;
  const int r0 = win.RegionFirst(), r1 = win.RegionLast();
  for (std::int32_t id = 1; id <= kMaxObjects; ++id) {
    int si = 0, sj = 0, best = 0;
    for (int j = r0; j <= r1; ++j)
      for (int i = r0; i <= r1; ++i)
        if (win.m[win.Index(i, j)] > best) {
          best = win.m[win.Index(i, j)];
          si = i;
          sj = j;
        }
    if (best == 0) break;
    win.labels[win.Index(si, sj)] = id;
    for (int q = -1; q <= 1; ++q)
      for (int p = -1; p <= 1; ++p) {
        const std::size_t k = win.Index(si + p, sj + q);
        if (win.labels[k] == 0 && win.m[k] != 0) win.labels[k] = id;
      }
    Sweep(win, si, sj, -1, -1, id);
    Sweep(win, si, sj, +1, -1, id);
    Sweep(win, si, sj, -1, +1, id);
    Sweep(win, si, sj, +1, +1, id);
    Relax(win, id);
    objects.push_back(Collect(win, si, sj, id));
  }
  return objects;
}

StarMeasurement MeasureStar(const BrightnessRaster& brightness, int x, int y, int frameHalf) {
  StarMeasurement result;
  if (!UsableHalf(frameHalf)) return result;
  AnalysisWindow win = PrepareAnalysisWindow(brightness, x, y, frameHalf);
  const float threshold = DetectionThreshold(MeasureNoise(win), kStarThresholdFactor);
  const std::vector<ObjectCluster> objects = FindObjects(win, threshold);
  if (objects.empty()) return result;

  // The largest object; the first found on a tie.
  const ObjectCluster* star = &objects.front();
  for (const ObjectCluster& obj : objects)
    if (obj.area > star->area) star = &obj;
  const int size = std::max(star->width, star->height);

  // Residual-weighted centroid over a box of the object's size around its bounding-box centre; every
  // residual in the box counts, also that of neighbouring objects.
  const int b = RoundToInt(star->cx);
  const int e = RoundToInt(star->cy);
  double s = 0.0, sx = 0.0, sy = 0.0;
  for (int q = -size; q <= size; ++q) {
    const int j = e + q;
    if (j < 1 || j > win.n) continue;
    for (int p = -size; p <= size; ++p) {
      const int i = b + p;
      if (i < 1 || i > win.n) continue;
      const double v = win.d[win.Index(i, j)];
      s += v;
      sx += p * v;
      sy += q * v;
    }
  }
  if (!(s > 0.0)) return result;
  const double cx = LocalToImage(x, win.a, b + sx / s);
  const double cy = LocalToImage(y, win.a, e + sy / s);
  if (!std::isfinite(cx) || !std::isfinite(cy)) return result;
  result.found = true;
  result.sx = static_cast<float>(cx);
  result.sy = static_cast<float>(cy);
  result.size = static_cast<std::int16_t>(size);
  return result;
}

TrackEndMeasurement MeasureTrackEnd(const BrightnessRaster& brightness, int x, int y, int frameHalf, LogFile& log) {
  TrackEndMeasurement result;
  if (!UsableHalf(frameHalf)) return result;
  AnalysisWindow win = PrepareAnalysisWindow(brightness, x, y, frameHalf);
  const float threshold = DetectionThreshold(MeasureNoise(win), kTrackThresholdFactor);
  std::vector<ObjectCluster> objects = FindObjects(win, threshold);
  if (objects.empty()) return result;
  std::stable_sort(objects.begin(), objects.end(),
                   [](const ObjectCluster& l, const ObjectCluster& r) { return l.area > r.area; });

  const double middle = win.a + 0.5;
  int chosenRank = 0;
  ScanPoint chosenEnd;
  for (std::size_t k = 0; k < objects.size(); ++k) {
    const ObjectCluster& obj = objects[k];
    const std::vector<ScanPoint> lines = ScanLines(win, obj);
    if (lines.empty()) continue;
    const ScanPoint& first = lines.front();
    const ScanPoint& last = lines.back();
    const double firstDist = std::hypot(first.i - middle, first.j - middle);
    const double lastDist = std::hypot(last.i - middle, last.j - middle);
    LogFloat(log, static_cast<float>(first.i));
    LogFloat(log, static_cast<float>(first.j));
    LogFloat(log, static_cast<float>(firstDist));
    LogFloat(log, static_cast<float>(last.i));
    LogFloat(log, static_cast<float>(last.j));
    LogFloat(log, static_cast<float>(lastDist));
    log.EndLine();
    const ScanPoint end = firstDist <= lastDist ? first : last;
    const int n = static_cast<int>(lines.size());
    log.Text("NClast, Sq, e ").Number(static_cast<double>(k + 1)).Number(obj.area);
    LogFloat(log, 1.0f / static_cast<float>(n));
    log.EndLine();
    // More than 10 scan lines (1 / n below 0.1) and more than 10 pixels make a track.
    if (chosenRank == 0 && n > kTrackMinScanLines && obj.area > kTrackMinArea) {
      chosenRank = static_cast<int>(k + 1);
      chosenEnd = end;
    }
  }
  if (chosenRank == 0) return result;
  log.Text("Numclast=").Number(chosenRank);
  LogFloat(log, static_cast<float>(chosenEnd.i));
  LogFloat(log, static_cast<float>(chosenEnd.j));
  log.EndLine();

  const double ex = LocalToImage(x, win.a, chosenEnd.i);
  const double ey = LocalToImage(y, win.a, chosenEnd.j);
  if (!std::isfinite(ex) || !std::isfinite(ey)) return result;
  result.found = true;
  result.ex = static_cast<float>(ex);
  result.ey = static_cast<float>(ey);
  return result;
}

double StarTrailShape::Length() const {
  return std::hypot(static_cast<double>(dx), static_cast<double>(dy));
}

void AddStarMark(std::vector<StarMark>& marks, LogFile& log, float x, float y, std::int16_t size, float trailDx,
                 float trailDy) {
  StarMark mark;
  mark.x = x;
  mark.y = y;
  mark.size = size;
  mark.trailDx = trailDx;
  mark.trailDy = trailDy;
  marks.push_back(mark);
  log.Text("Ob ");
  LogFloat(log, x);
  LogFloat(log, y);
  log.EndLine();
}

StarDetection DetectStar(const MarkingFrame& frame, std::vector<StarMark>& marks, LogFile& log, int x, int y,
                         bool record) {
  StarDetection result;
  StarMeasurement star;
  if (frame.trails && frame.trails->Found())
    star = MeasureTrailedStar(frame.brightness, x, y, frame.frameHalf, *frame.trails);
  if (!star.found) star = MeasureStar(frame.brightness, x, y, frame.frameHalf);
  if (!star.found) return result;
  if (record) {
    double nearest = 9000.0;
    for (const StarMark& mark : marks)
      nearest =
          std::min(nearest, std::hypot(static_cast<double>(star.sx) - mark.x, static_cast<double>(star.sy) - mark.y));
    if (!(nearest > kStarMarkSpacing)) return result;
    AddStarMark(marks, log, star.sx, star.sy, star.size, star.trailDx, star.trailDy);
    result.marked = true;
  }
  result.found = true;
  result.sx = star.sx;
  result.sy = star.sy;
  result.size = star.size;
  result.trailDx = star.trailDx;
  result.trailDy = star.trailDy;
  return result;
}

TrackEndAddition AddTrackEnd(TrackEnds& track, float x, float y, bool frameSolved) {
  TrackEndAddition result;
  if (track.count >= 2) return result;
  if (track.count > 0) {
    const TrackPoint& last = track[track.count];
    if (std::abs(static_cast<double>(x) - last.x) + std::abs(static_cast<double>(y) - last.y) < kTrackEndSpacing)
      return result;
  }
  track.count += 1;
  TrackPoint& slot = track[track.count];
  slot = TrackPoint{};
  slot.x = x;
  slot.y = y;
  slot.drawn = 2;
  result.added = true;
  result.slot = track.count;
  if (track.count == 2) {
    result.showHint = true;
    result.hintLines = {frameSolved ? kHintSolved : kHintUnsolved, " ", " "};
  }
  return result;
}

TrackEndDetection DetectTrackEnd(const MarkingFrame& frame, TrackEnds& track, LogFile& log, int x, int y,
                                 bool frameSolved) {
  TrackEndDetection result;
  const TrackEndMeasurement end = MeasureTrackEnd(frame.brightness, x, y, frame.frameHalf, log);
  if (!end.found) return result;
  if (track.count < 2) result.addition = AddTrackEnd(track, end.ex, end.ey, frameSolved);
  result.found = true;
  result.ex = ClampToInt16(std::floor(end.ex));
  result.ey = ClampToInt16(std::floor(end.ey));
  return result;
}
