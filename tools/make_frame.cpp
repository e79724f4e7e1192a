// Draws a synthetic night-sky frame from the star catalogue and writes it as a BMP (or, where built with
// QtGui, a JPEG when the output name ends in .jpg or .jpeg) with a truth file.
//
// orvia_make_frame --catalog bin8.dat --out frame.bmp [--truth frame.txt] [--width 1200] [--height 800]
//   [--ra DEG] [--dec DEG] [--scale ARCSEC_PER_PX] [--rotation DEG] [--mirror] [--limit MAG]
//   [--background LEVEL] [--noise SIGMA] [--sigma STAR_SIGMA_PX] [--seed N] [--reference MAG,PEAK]
//   [--streak X1,Y1,X2,Y2[,PEAK]]...
//   [--satellite TLE_FILE --start DD.MM.YYYY,HH:MM:SS.S --exposure SECONDS --site LON_E,LAT_N [--peak P]]
//   [--fixed --start DD.MM.YYYY,HH:MM:SS.S --exposure SECONDS]
//
// With --satellite the first element set of the file is propagated to the exposure's start and end as
// seen from the site, and the streak between the two J2000 positions is drawn. With --fixed the camera
// stood still: the stars are drawn as trails and the streak's ends where the still camera saw them; the
// centre given is the view at the middle of the exposure.

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "base/calendar.h"
#include "base/numbers.h"
#include "framegen/framegen.h"
#include "orbit/observer.h"
#include "satdb/satdb.h"
#include "sky/angles.h"
#include "sky/frames.h"
#ifdef ORVIA_FRAMEGEN_JPEG
#include "framegen/jpeg_writer.h"
#endif

namespace {

void Usage() {
  std::fputs(
      "usage: orvia_make_frame --catalog bin8.dat --out frame.bmp [--truth frame.txt] [--width W] [--height H]\n"
      "       [--ra DEG] [--dec DEG] [--scale ARCSEC_PER_PX] [--rotation DEG] [--mirror] [--limit MAG]\n"
      "       [--background LEVEL] [--noise SIGMA] [--sigma STAR_SIGMA_PX] [--seed N] [--reference MAG,PEAK]\n"
      "       [--streak X1,Y1,X2,Y2[,PEAK]]...\n"
      "       [--satellite TLE_FILE --start DD.MM.YYYY,HH:MM:SS.S --exposure S --site LON_E,LAT_N [--peak P]]\n"
      "       [--fixed --start DD.MM.YYYY,HH:MM:SS.S --exposure S]\n",
      stderr);
}

// Splits "a,b,c" into numbers.
std::vector<double> Numbers(const std::string& text) {
  std::vector<double> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = text.find(',', start);
    const std::size_t end = comma == std::string::npos ? text.size() : comma;
    out.push_back(ParseNumber(std::string_view(text).substr(start, end - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return out;
}

// The exposure's start "DD.MM.YYYY,HH:MM:SS.S" as an MJD; false when it does not read.
bool StartMjd(const std::string& start, double& mjd) {
  const std::size_t comma = start.find(',');
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  float seconds = 0;
  if (comma == std::string::npos || !ParseDate(start.substr(0, comma), year, month, day) ||
      !ParseTime(start.substr(comma + 1), hour, minute, seconds))
    return false;
  mjd = MjdFromDate(year, month, day, hour + minute / 60.0 + seconds / 3600.0);
  return true;
}

// The satellite's streak over the exposure: its first element set propagated to the start and the end
// of the exposure as seen from the site, rotated to J2000 and projected onto the frame. False when the
// file, the start or the propagation fails.
bool SatelliteStreak(const std::string& tlePath, const std::string& start, double exposure, const std::string& site,
                     const FrameSpec& drawing, FrameStreak& streak) {
  std::vector<ImportedSet> sets;
  TleRecord tle;
  if (!ReadTleInput(tlePath, sets) || sets.empty() || !ParseElementSet(sets[0].line1, sets[0].line2, tle)) return false;
  double t0 = 0.0;
  if (!StartMjd(start, t0)) return false;
  const std::vector<double> times = {t0, t0 + exposure / 86400.0};
  const std::vector<double> place = Numbers(site);
  std::vector<TemeDirection> teme;
  if (place.size() < 2 || !SkyTrack(tle, times, DegToRad(place[1]), DegToRad(place[0]), teme)) return false;
  double xy[4];
  for (int i = 0; i < 2; ++i) {
    const J2000Direction d = TemeToJ2000(teme[static_cast<std::size_t>(i)], times[static_cast<std::size_t>(i)]);
    if (!ProjectAtInstant(drawing, RadToDeg(d.raRad), RadToDeg(d.decRad), times[static_cast<std::size_t>(i)],
                          xy[2 * i], xy[2 * i + 1]))
      return false;
  }
  streak.x1 = xy[0], streak.y1 = xy[1], streak.x2 = xy[2], streak.y2 = xy[3];
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  FrameSpec drawing;
  std::string catalogPath, outPath, truthPath, satellitePath, start, site;
  double exposure = 0.0, peak = 120.0;
  bool fixed = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--mirror") {
      drawing.mirrored = true;
      continue;
    }
    if (arg == "--fixed") {
      fixed = true;
      continue;
    }
    if (i + 1 >= argc) {
      Usage();
      return 2;
    }
    const std::string value = argv[++i];
    const double number = ParseNumber(value);
    if (arg == "--catalog")
      catalogPath = value;
    else if (arg == "--out")
      outPath = value;
    else if (arg == "--truth")
      truthPath = value;
    else if (arg == "--width")
      drawing.width = static_cast<int>(number);
    else if (arg == "--height")
      drawing.height = static_cast<int>(number);
    else if (arg == "--ra")
      drawing.centreRaDeg = number;
    else if (arg == "--dec")
      drawing.centreDecDeg = number;
    else if (arg == "--scale")
      drawing.scaleArcsec = number;
    else if (arg == "--rotation")
      drawing.rotationDeg = number;
    else if (arg == "--limit")
      drawing.limitMagnitude = number;
    else if (arg == "--background")
      drawing.background = number;
    else if (arg == "--noise")
      drawing.noiseSigma = number;
    else if (arg == "--sigma")
      drawing.starSigmaPx = number;
    else if (arg == "--seed")
      drawing.seed = static_cast<std::uint32_t>(number);
    else if (arg == "--satellite")
      satellitePath = value;
    else if (arg == "--start")
      start = value;
    else if (arg == "--exposure")
      exposure = number;
    else if (arg == "--site")
      site = value;
    else if (arg == "--peak")
      peak = number;
    else if (arg == "--reference") {
      const std::vector<double> v = Numbers(value);
      if (v.size() != 2) {
        Usage();
        return 2;
      }
      drawing.referenceMagnitude = v[0];
      drawing.referencePeak = v[1];
    } else if (arg == "--streak") {
      const std::vector<double> v = Numbers(value);
      if (v.size() < 4) {
        Usage();
        return 2;
      }
      FrameStreak streak{v[0], v[1], v[2], v[3]};
      if (v.size() > 4) streak.peak = v[4];
      drawing.streaks.push_back(streak);
    } else {
      Usage();
      return 2;
    }
  }
  if (catalogPath.empty() || outPath.empty() || drawing.width < 1 || drawing.height < 1 || drawing.width > 32767 ||
      drawing.height > 32767 || !(drawing.scaleArcsec > 0.0)) {
    Usage();
    return 2;
  }
  if (fixed) {
    double t0 = 0.0;
    if (!StartMjd(start, t0) || !(exposure > 0.0)) {
      Usage();
      return 2;
    }
    drawing.fixedExposure = exposure;
    drawing.fixedMidMjd = t0 + exposure / 86400.0 / 2.0;
  }
  if (!satellitePath.empty()) {
    FrameStreak streak;
    streak.peak = peak;
    if (!SatelliteStreak(satellitePath, start, exposure, site, drawing, streak)) {
      std::fprintf(stderr, "cannot place the streak of %s\n", satellitePath.c_str());
      return 1;
    }
    drawing.streaks.push_back(streak);
    std::printf("streak from %.2f,%.2f to %.2f,%.2f\n", streak.x1, streak.y1, streak.x2, streak.y2);
  }
  SyntheticFrame frame;
  if (!RenderFrameFromFile(catalogPath, drawing, frame)) {
    std::fprintf(stderr, "cannot read the catalogue %s\n", catalogPath.c_str());
    return 1;
  }
  std::string lower = outPath;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  const bool jpeg = lower.ends_with(".jpg") || lower.ends_with(".jpeg");
#ifdef ORVIA_FRAMEGEN_JPEG
  const bool written = jpeg ? WriteJpeg(outPath, frame, 95) : WriteBmp(outPath, frame);
#else
  if (jpeg) {
    std::fputs("JPEG output is not built in; write a .bmp\n", stderr);
    return 2;
  }
  const bool written = WriteBmp(outPath, frame);
#endif
  if (!written) {
    std::fprintf(stderr, "cannot write %s\n", outPath.c_str());
    return 1;
  }
  if (!truthPath.empty() && !WriteTruthFile(truthPath, drawing, frame)) {
    std::fprintf(stderr, "cannot write %s\n", truthPath.c_str());
    return 1;
  }
  std::printf("%zu stars drawn\n", frame.stars.size());
  return 0;
}
