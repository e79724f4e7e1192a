// Draws a synthetic night-sky frame from the star catalogue and writes it as a BMP (or, where built with
// QtGui, a JPEG when the output name ends in .jpg or .jpeg) with a truth file.
//
// orvia_make_frame --catalog bin8.dat --out frame.bmp [--truth frame.txt] [--width 1200] [--height 800]
//   [--ra DEG] [--dec DEG] [--scale ARCSEC_PER_PX] [--rotation DEG] [--mirror] [--limit MAG]
//   [--background LEVEL] [--noise SIGMA] [--sigma STAR_SIGMA_PX] [--seed N]
//   [--streak X1,Y1,X2,Y2[,PEAK]]...

#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "framegen/framegen.h"
#include "base/numbers.h"
#ifdef ORVIA_FRAMEGEN_JPEG
#include "framegen/jpeg_writer.h"
#endif

namespace {

void Usage() {
  std::fputs(
      "usage: orvia_make_frame --catalog bin8.dat --out frame.bmp [--truth frame.txt] [--width W] [--height H]\n"
      "       [--ra DEG] [--dec DEG] [--scale ARCSEC_PER_PX] [--rotation DEG] [--mirror] [--limit MAG]\n"
      "       [--background LEVEL] [--noise SIGMA] [--sigma STAR_SIGMA_PX] [--seed N]\n"
      "       [--streak X1,Y1,X2,Y2[,PEAK]]...\n",
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

}  // namespace

int main(int argc, char** argv) {
  FrameSpec drawing;
  std::string catalogPath, outPath, truthPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--mirror") {
      drawing.mirrored = true;
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
    else if (arg == "--streak") {
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
