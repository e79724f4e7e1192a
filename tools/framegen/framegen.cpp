#include "framegen/framegen.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

#include "base/numbers.h"
#include "sky/angles.h"
#include "sky/frames.h"
#include "sky/site.h"
#include "sky/vec3.h"

namespace {

constexpr double kDegToRad = Pi / 180.0;

Vec3 Direction(double ra, double dec) {
  return {std::cos(dec) * std::cos(ra), std::cos(dec) * std::sin(ra), std::sin(dec)};
}

// Normal deviates from a fixed generator (Box-Muller), the same on every platform.
class Noise {
public:
  explicit Noise(std::uint32_t seed) : engine_(seed) {}
  double Next() {
    if (haveSpare_) {
      haveSpare_ = false;
      return spare_;
    }
    const double u1 = (static_cast<double>(engine_()) + 1.0) / 4294967297.0;
    const double u2 = static_cast<double>(engine_()) / 4294967296.0;
    const double r = std::sqrt(-2.0 * std::log(u1));
    spare_ = r * std::sin(2.0 * Pi * u2);
    haveSpare_ = true;
    return r * std::cos(2.0 * Pi * u2);
  }

private:
  std::mt19937 engine_;
  double spare_ = 0.0;
  bool haveSpare_ = false;
};

// Adds a Gaussian spot of the given peak to the flux image around (x, y) in 1-based pixels.
void AddSpot(std::vector<double>& flux, int width, int height, double x, double y, double peak, double sigma) {
  if (peak <= 0.0) return;
  const double reach = sigma * std::sqrt(2.0 * std::log(std::max(peak, 1.0) / 0.05)) + 1.0;
  const int c0 = std::max(1, static_cast<int>(std::floor(x - reach))),
            c1 = std::min(width, static_cast<int>(std::ceil(x + reach)));
  const int r0 = std::max(1, static_cast<int>(std::floor(y - reach))),
            r1 = std::min(height, static_cast<int>(std::ceil(y + reach)));
  const double k = 1.0 / (2.0 * sigma * sigma);
  for (int r = r0; r <= r1; ++r) {
    for (int c = c0; c <= c1; ++c) {
      const double d2 = (c - x) * (c - x) + (r - y) * (r - y);
      flux[static_cast<std::size_t>(r - 1) * width + (c - 1)] += peak * std::exp(-d2 * k);
    }
  }
}

// Adds a streak with a Gaussian cross-section along the segment between its ends.
void AddStreak(std::vector<double>& flux, int width, int height, const FrameStreak& s) {
  const double reach = s.sigmaPx * 4.0 + 1.0;
  const int c0 = std::max(1, static_cast<int>(std::floor(std::min(s.x1, s.x2) - reach)));
  const int c1 = std::min(width, static_cast<int>(std::ceil(std::max(s.x1, s.x2) + reach)));
  const int r0 = std::max(1, static_cast<int>(std::floor(std::min(s.y1, s.y2) - reach)));
  const int r1 = std::min(height, static_cast<int>(std::ceil(std::max(s.y1, s.y2) + reach)));
  const double dx = s.x2 - s.x1, dy = s.y2 - s.y1;
  const double len2 = dx * dx + dy * dy;
  const double k = 1.0 / (2.0 * s.sigmaPx * s.sigmaPx);
  const double length = std::sqrt(len2);
  for (int r = r0; r <= r1; ++r) {
    for (int c = c0; c <= c1; ++c) {
      if (s.smearedEnds && length > 0.0) {
        // Gaussian across the line times the smeared step along it: erf differences at both ends.
        const double along = ((c - s.x1) * dx + (r - s.y1) * dy) / length;
        const double across = (-(c - s.x1) * dy + (r - s.y1) * dx) / length;
        const double w = std::sqrt(2.0) * s.sigmaPx;
        flux[static_cast<std::size_t>(r - 1) * width + (c - 1)] +=
            s.peak * std::exp(-across * across * k) * 0.5 * (std::erf(along / w) - std::erf((along - length) / w));
        continue;
      }
      double t = len2 > 0.0 ? ((c - s.x1) * dx + (r - s.y1) * dy) / len2 : 0.0;
      t = std::clamp(t, 0.0, 1.0);
      const double px = s.x1 + t * dx - c, py = s.y1 + t * dy - r;
      flux[static_cast<std::size_t>(r - 1) * width + (c - 1)] += s.peak * std::exp(-(px * px + py * py) * k);
    }
  }
}

// Writes "key value value ..." with blanks between the fields.
void PutLine(std::ostream& out, const std::string& key, const std::vector<double>& values) {
  out << key;
  for (double v : values) out << ' ' << NumberText(v);
  out << "\r\n";
}

}  // namespace

bool ProjectToFrame(const FrameSpec& drawing, double raDeg, double decDeg, double& x, double& y) {
  const double ra0 = drawing.centreRaDeg * kDegToRad, dec0 = drawing.centreDecDeg * kDegToRad;
  const Vec3 star = Direction(raDeg * kDegToRad, decDeg * kDegToRad);
  const Vec3 axis = Direction(ra0, dec0);
  // Unit vectors towards east and north in the tangent plane.
  const Vec3 east = {-std::sin(ra0), std::cos(ra0), 0.0};
  const Vec3 north = {-std::sin(dec0) * std::cos(ra0), -std::sin(dec0) * std::sin(ra0), std::cos(dec0)};
  const double along = Dot(star, axis);
  if (along <= 1e-9) return false;
  const double xi = Dot(star, east) / along, eta = Dot(star, north) / along;  // radians in the tangent plane
  const double rot = drawing.rotationDeg * kDegToRad;
  const double u = xi * std::cos(rot) - eta * std::sin(rot);
  const double v = xi * std::sin(rot) + eta * std::cos(rot);
  const double scale = drawing.scaleArcsec / 3600.0 * kDegToRad;
  double dx = (drawing.mirrored ? u : -u) / scale, dy = -v / scale;
  if (drawing.radialDistortion != 0.0) {
    const double halfDiagonal2 = 0.25 * (static_cast<double>(drawing.width) * drawing.width +
                                         static_cast<double>(drawing.height) * drawing.height);
    const double factor = 1.0 + drawing.radialDistortion * (dx * dx + dy * dy) / halfDiagonal2;
    dx *= factor;
    dy *= factor;
  }
  x = drawing.width / 2.0 + dx;
  y = drawing.height / 2.0 + dy;
  return std::isfinite(x) && std::isfinite(y);
}

bool ProjectAtInstant(const FrameSpec& drawing, double raDeg, double decDeg, double mjd, double& x, double& y) {
  if (!(drawing.fixedExposure > 0.0)) return ProjectToFrame(drawing, raDeg, decDeg, x, y);
  // To the mean equator of date, where the pixel's hour angle H = sidereal time - RA stays put: the
  // direction seen at mjd was seen at the middle by the pixel whose RA is smaller by the sidereal change.
  const Rotation3 precession = PrecessionMatrix(JulianCenturiesFromJ2000(drawing.fixedMidMjd));
  const Vec3 ofDate = Rotate(precession, Direction(raDeg * kDegToRad, decDeg * kDegToRad));
  double turn = GreenwichSiderealTime(mjd) - GreenwichSiderealTime(drawing.fixedMidMjd);
  turn = std::remainder(turn, 2.0 * Pi);
  const double c = std::cos(-turn), s = std::sin(-turn);
  const Vec3 atMiddle = {c * ofDate[0] - s * ofDate[1], s * ofDate[0] + c * ofDate[1], ofDate[2]};
  const Vec3 j2000 = Rotate(Transpose(precession), atMiddle);
  const double ra = std::atan2(j2000[1], j2000[0]), dec = std::asin(std::clamp(j2000[2], -1.0, 1.0));
  return ProjectToFrame(drawing, ra / kDegToRad, dec / kDegToRad, x, y);
}

SyntheticFrame RenderFrame(const std::vector<CatalogueRecord>& catalogue, const FrameSpec& drawing) {
  SyntheticFrame frame;
  frame.width = drawing.width;
  frame.height = drawing.height;
  std::vector<double> flux(static_cast<std::size_t>(drawing.width) * drawing.height, 0.0);
  for (std::size_t i = 0; i < catalogue.size(); ++i) {
    const CatalogueRecord& rec = catalogue[i];
    if (!(rec.magnitude <= drawing.limitMagnitude)) continue;
    const double raDeg = (static_cast<double>(rec.raOffset) + Pi) / kDegToRad;
    const double decDeg = static_cast<double>(rec.dec) / kDegToRad;
    double x = 0.0, y = 0.0;
    if (!ProjectToFrame(drawing, raDeg, decDeg, x, y)) continue;
    if (x < 0.5 || y < 0.5 || x > drawing.width + 0.5 || y > drawing.height + 0.5) continue;
    RenderedStar star;
    star.number = static_cast<int>(i) + 1;
    star.x = x;
    star.y = y;
    star.magnitude = rec.magnitude;
    star.peak = drawing.referencePeak * std::pow(10.0, -0.4 * (rec.magnitude - drawing.referenceMagnitude));
    FrameStreak trail;
    const double halfDay = drawing.fixedExposure / 86400.0 / 2.0;
    if (drawing.fixedExposure > 0.0 &&
        ProjectAtInstant(drawing, raDeg, decDeg, drawing.fixedMidMjd - halfDay, trail.x1, trail.y1) &&
        ProjectAtInstant(drawing, raDeg, decDeg, drawing.fixedMidMjd + halfDay, trail.x2, trail.y2)) {
      star.trailDx = trail.x2 - trail.x1;
      star.trailDy = trail.y2 - trail.y1;
    }
    const double length = std::hypot(star.trailDx, star.trailDy);
    if (length > 0.01 * drawing.starSigmaPx) {
      // The spot smeared evenly along the trail: the same light, spread over its length.
      const double w = std::sqrt(2.0) * drawing.starSigmaPx;
      trail.peak = star.peak * std::sqrt(2.0 * Pi) * drawing.starSigmaPx / length;
      trail.sigmaPx = drawing.starSigmaPx;
      trail.smearedEnds = true;
      AddStreak(flux, drawing.width, drawing.height, trail);
      star.peak = trail.peak * std::erf(length / 2.0 / w);
    } else {
      AddSpot(flux, drawing.width, drawing.height, x, y, star.peak, drawing.starSigmaPx);
    }
    frame.stars.push_back(star);
  }
  for (const FrameStreak& s : drawing.streaks) AddStreak(flux, drawing.width, drawing.height, s);
  Noise noise(drawing.seed);
  frame.grey.resize(flux.size());
  for (std::size_t p = 0; p < flux.size(); ++p) {
    const double value = drawing.background + flux[p] + drawing.noiseSigma * noise.Next();
    frame.grey[p] = static_cast<std::uint8_t>(std::clamp(std::nearbyint(value), 0.0, 255.0));
  }
  return frame;
}

bool RenderFrameFromFile(const std::string& catalogPath, const FrameSpec& drawing, SyntheticFrame& frame) {
  std::vector<CatalogueRecord> records;
  if (!ReadCatalogueRecords(catalogPath, records)) return false;
  frame = RenderFrame(records, drawing);
  return true;
}

DecodedImage ToDecodedImage(const SyntheticFrame& frame) {
  DecodedImage image;
  image.width = frame.width;
  image.height = frame.height;
  image.pixels.resize(frame.grey.size());
  for (std::size_t p = 0; p < frame.grey.size(); ++p) {
    const std::uint32_t g = frame.grey[p];
    image.pixels[p] = 0xFF000000u | (g << 16) | (g << 8) | g;
  }
  return image;
}

bool WriteBmp(const std::string& path, const SyntheticFrame& frame) {
  const std::uint32_t rowBytes = (static_cast<std::uint32_t>(frame.width) * 3 + 3) & ~3u;
  const std::uint32_t imageBytes = rowBytes * static_cast<std::uint32_t>(frame.height);
  std::string bytes;
  auto put = [&](std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
  };
  bytes += "BM";
  put(14 + 40 + imageBytes, 4);
  put(0, 4);
  put(14 + 40, 4);
  put(40, 4);  // BITMAPINFOHEADER
  put(static_cast<std::uint32_t>(frame.width), 4);
  put(static_cast<std::uint32_t>(frame.height), 4);  // positive: rows stored bottom-up
  put(1, 2);
  put(24, 2);
  put(0, 4);  // no compression
  put(imageBytes, 4);
  put(2835, 4);
  put(2835, 4);
  put(0, 4);
  put(0, 4);
  for (int r = frame.height - 1; r >= 0; --r) {
    const std::size_t start = bytes.size();
    for (int c = 0; c < frame.width; ++c) {
      const char g = static_cast<char>(frame.grey[static_cast<std::size_t>(r) * frame.width + c]);
      bytes.append(3, g);
    }
    bytes.append(rowBytes - (bytes.size() - start), '\0');
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool WriteTruthFile(const std::string& path, const FrameSpec& drawing, const SyntheticFrame& frame) {
  std::ostringstream out;
  PutLine(out, "width", {static_cast<double>(drawing.width)});
  PutLine(out, "height", {static_cast<double>(drawing.height)});
  PutLine(out, "ra0", {drawing.centreRaDeg});
  PutLine(out, "dec0", {drawing.centreDecDeg});
  PutLine(out, "scale", {drawing.scaleArcsec});
  PutLine(out, "rotation", {drawing.rotationDeg});
  PutLine(out, "mirrored", {drawing.mirrored ? 1.0 : 0.0});
  PutLine(out, "xo", {drawing.width / 2.0});
  PutLine(out, "yo", {drawing.height / 2.0});
  if (drawing.fixedExposure > 0.0) PutLine(out, "fixed", {drawing.fixedExposure, drawing.fixedMidMjd});
  for (const FrameStreak& s : drawing.streaks) {
    PutLine(out, "streak", {s.x1, s.y1, s.x2, s.y2});
  }
  for (const RenderedStar& s : frame.stars) {
    std::vector<double> values = {static_cast<double>(s.number), s.x, s.y, static_cast<double>(s.magnitude)};
    if (drawing.fixedExposure > 0.0) values.insert(values.end(), {s.trailDx, s.trailDy});
    PutLine(out, "star", values);
  }
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  const std::string text = out.str();
  file.write(text.data(), static_cast<std::streamsize>(text.size()));
  return static_cast<bool>(file);
}

bool ReadTruthFile(const std::string& path, FrameSpec& drawing, std::vector<RenderedStar>& stars) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  stars.clear();
  drawing.streaks.clear();
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream fields(line);
    std::string key;
    fields >> key;
    std::vector<double> values;
    std::string token;
    while (fields >> token) values.push_back(ParseNumber(token));
    if (values.empty()) continue;
    if (key == "width")
      drawing.width = static_cast<int>(values[0]);
    else if (key == "height")
      drawing.height = static_cast<int>(values[0]);
    else if (key == "ra0")
      drawing.centreRaDeg = values[0];
    else if (key == "dec0")
      drawing.centreDecDeg = values[0];
    else if (key == "scale")
      drawing.scaleArcsec = values[0];
    else if (key == "rotation")
      drawing.rotationDeg = values[0];
    else if (key == "mirrored")
      drawing.mirrored = values[0] != 0.0;
    else if (key == "fixed" && values.size() >= 2) {
      drawing.fixedExposure = values[0];
      drawing.fixedMidMjd = values[1];
    } else if (key == "streak" && values.size() >= 4)
      drawing.streaks.push_back({values[0], values[1], values[2], values[3]});
    else if (key == "star" && values.size() >= 4) {
      stars.push_back({static_cast<int>(values[0]), values[1], values[2], static_cast<float>(values[3]), 0.0,
                       values.size() >= 6 ? values[4] : 0.0, values.size() >= 6 ? values[5] : 0.0});
    }
  }
  return true;
}
