#include "astrometry/overlay.h"

#include <algorithm>
#include <cmath>

#include "base/calendar.h"
#include "base/numbers.h"
#include "sky/angles.h"
#include "base/texts.h"

namespace {

const char* const kNoFrame = kNoFrameText;
const char* const kNotSolved = kNotSolvedDotText;
const char* const kDepthLimitReached = "Предел каталога 8 mag";

// Magnitudes are stored as singles; taken to four decimals first, a catalogue 2.05 is shown as "2.1" and not
// as the "2.0" its single-precision value 2.0499999 would round to.
std::string MagnitudeText(float magnitude) {
  const double cleaned = std::round(static_cast<double>(magnitude) * 1e4) / 1e4;
  return FormatNumber(cleaned, "0.0");
}

// The message that stops a display command on a frame that is not open or not calibrated; empty when it may go on.
std::string MissingFrameOrSolution(const CatalogueFrame& frame, bool frameNeeded) {
  if (frameNeeded && !frame.frameOpen) return kNoFrame;
  if (!frame.plate.Solved()) return kNotSolved;
  return {};
}

// Draws the catalogue to the display's own depth with the program's catalogue file and colours.
CatalogueOverlay DrawForDisplay(const CatalogueFrame& frame, const CatalogueDisplayState& display) {
  return DrawCatalogue(frame, display, display.depth);
}

// Mirrors the display flags into the menu check marks.
CatalogueCommandResult Finish(CatalogueCommandResult result, const CatalogueDisplayState& display) {
  result.shownChecked = display.shown;
  result.magnitudesChecked = display.magnitudes;
  return result;
}

}  // namespace

std::vector<CatalogStar> LoadCatalogueForDisplay(const std::string& catalogPath, double centreRa, double centreDec,
                                                 double radiusDeg, float depth) {
  std::vector<CatalogStar> all;
  ReadCatalogue(catalogPath, all);  // an unreadable file simply yields no stars
  std::vector<CatalogStar> kept;
  const double sinDec0 = std::sin(centreDec), cosDec0 = std::cos(centreDec);
  for (const CatalogStar& star : all) {
    if (!(star.magnitude < depth)) continue;  // also drops a record whose magnitude is not a number
    if (!std::isfinite(star.ra) || !std::isfinite(star.dec)) continue;
    const double dec = star.dec;
    const double cosine = std::sin(dec) * sinDec0 + std::cos(dec) * cosDec0 * std::cos(centreRa - star.ra);
    const double distanceDeg = RadToDeg(ArcCos(cosine));
    if (distanceDeg < radiusDeg) kept.push_back(star);
  }
  return kept;
}

CatalogueOverlay DrawCatalogue(const CatalogueFrame& frame, const CatalogueDisplayState& display, float depth) {
  const std::string& catalogPath = frame.catalogPath;
  const MarkPalette& palette = frame.palette;
  CatalogueOverlay overlay;
  const PlateSolution& plate = frame.plate;
  if (!plate.Solved() || plate.ra0Deg == 0.0 || plate.dec0Deg == 0.0) return overlay;
  if (frame.imageWidth <= 0 || frame.imageHeight <= 0) return overlay;
  overlay.drawn = true;
  overlay.depthText = FormatNumber(depth, "0.0");

  PlateSolution working = plate;
  DeriveWorkingForm(working);
  // The search circle reaches the frame's longer extent on the sky, so that the corners of a tall frame are
  // inside it as well as those of a wide one.
  const double radiusDeg =
      std::max(frame.imageWidth * std::fabs(plate.mxArcsec), frame.imageHeight * std::fabs(plate.myArcsec)) / 3600.0;

  const std::vector<CatalogStar> stars =
      LoadCatalogueForDisplay(catalogPath, working.working.ra0, working.working.dec0, radiusDeg, depth);
  for (const CatalogStar& star : stars) {
    const PixelPosition p = SkyToPixel(star.ra, star.dec, working.working);
    if (!p.valid) continue;
    if (!(p.x > 0.0f && p.x < frame.imageWidth && p.y > 0.0f && p.y < frame.imageHeight)) continue;
    if (overlay.markers.size() >= kMaxCatalogueMarkers) break;
    CatalogueMarker marker;
    marker.x = p.x;
    marker.y = p.y;
    marker.magnitude = star.magnitude;
    marker.visible = display.shown;
    marker.colour = palette.catalogueStar;
    overlay.markers.push_back(marker);
    if (display.magnitudes) {
      MagnitudeLabel label;
      label.text = MagnitudeText(star.magnitude);
      label.x = p.x;
      label.y = p.y;
      label.magnitude = star.magnitude;
      label.colour = palette.catalogueAux;
      overlay.labels.push_back(label);
    }
  }
  return overlay;
}

CatalogueCommandResult ToggleCatalogueStars(const CatalogueFrame& frame, CatalogueDisplayState& display) {
  CatalogueCommandResult result;
  if (!frame.catalogueReady) return Finish(result, display);
  result.message = MissingFrameOrSolution(frame, true);
  if (!result.message.empty()) return Finish(result, display);
  if (display.shown) {
    result.removeMarkers = true;
    display.shown = false;
    return Finish(result, display);
  }
  // Count what the current depth would show before switching on; a nearly empty field gets a deeper one.
  const CatalogueDisplayState counting{false, false, display.depth};
  const CatalogueOverlay counted = DrawForDisplay(frame, counting);
  if (counted.markers.size() < kFewCatalogueStars) display.depth += kCatalogueDepthBoost;
  display.depth = std::min(display.depth, kCatalogueDepthLimit);
  display.shown = true;
  result.overlay = DrawForDisplay(frame, display);
  return Finish(result, display);
}

CatalogueCommandResult ToggleMagnitudeLabels(const CatalogueFrame& frame, CatalogueDisplayState& display) {
  CatalogueCommandResult result;
  if (!frame.catalogueReady) return Finish(result, display);
  result.message = MissingFrameOrSolution(frame, true);
  if (!result.message.empty()) return Finish(result, display);
  if (display.magnitudes) {
    display.magnitudes = false;
    result.removeLabels = true;
    return Finish(result, display);
  }
  display.magnitudes = true;
  result.overlay = DrawForDisplay(frame, display);
  return Finish(result, display);
}

CatalogueCommandResult DecreaseCatalogueDepth(const CatalogueFrame& frame, CatalogueDisplayState& display) {
  CatalogueCommandResult result;
  if (!frame.catalogueReady || !display.shown) return Finish(result, display);
  result.message = MissingFrameOrSolution(frame, false);
  if (!result.message.empty()) return Finish(result, display);
  display.depth -= kCatalogueDepthStep;
  result.overlay = DrawForDisplay(frame, display);
  return Finish(result, display);
}

CatalogueCommandResult IncreaseCatalogueDepth(const CatalogueFrame& frame, CatalogueDisplayState& display) {
  CatalogueCommandResult result;
  if (!frame.catalogueReady || !display.shown) return Finish(result, display);
  result.message = MissingFrameOrSolution(frame, false);
  if (result.message.empty() && display.depth >= kCatalogueDepthLimit) result.message = kDepthLimitReached;
  if (!result.message.empty()) return Finish(result, display);
  display.depth += kCatalogueDepthStep;
  result.overlay = DrawForDisplay(frame, display);
  return Finish(result, display);
}

CatalogueCommandResult ShowCatalogueAfterIdentification(const CatalogueFrame& frame, CatalogueDisplayState& display) {
  CatalogueCommandResult result;
  display.depth = kInitialCatalogueDepth;
  display.shown = true;
  result.overlay = DrawForDisplay(frame, display);
  return Finish(result, display);
}
