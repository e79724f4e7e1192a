#pragma once
// The catalogue overlay of a calibrated frame: every catalogue star brighter than the current depth that
// falls on the frame becomes a square marker whose size grows with brightness, optionally labelled with its
// magnitude; and the rules of the four catalogue-display commands (show, magnitudes, depth down, depth up).
//
// Nothing here draws: the operations return the markers and labels in image and screen pixels, the panel's
// depth text and the message to show, and the frame window maps them onto its picture.

#include <cstddef>
#include <string>
#include <vector>

#include "astrometry/catalogue.h"
#include "astrometry/plate.h"
#include "base/colour.h"

// Depth of a freshly opened frame and after each successful identification, magnitudes.
constexpr float kInitialCatalogueDepth = 4.0f;
// The faintest depth the catalogue supports, magnitudes.
constexpr float kCatalogueDepthLimit = 8.0f;
// Depth change of one press of the depth commands, magnitudes.
constexpr float kCatalogueDepthStep = 0.5f;
// Depth added when switching the overlay on would show fewer than kFewCatalogueStars stars, magnitudes.
constexpr float kCatalogueDepthBoost = 1.5f;
constexpr std::size_t kFewCatalogueStars = 3;
// Most markers one drawing makes; further stars in file order are left out.
constexpr std::size_t kMaxCatalogueMarkers = 1000;

// The catalogue display settings of the open frame; a new frame starts from the defaults.
// What the catalogue display reads of the program and the open frame.
struct CatalogueFrame {
  bool catalogueReady = false;  // the program is idle (no long task running)
  bool frameOpen = false;
  const PlateSolution& plate;
  std::int16_t imageWidth = 0;
  std::int16_t imageHeight = 0;
  const std::string& catalogPath;
  const MarkPalette& palette;
};

struct CatalogueDisplayState {
  bool shown = false;                    // catalogue markers are visible (menu item checked)
  bool magnitudes = false;               // magnitude labels are visible (menu item checked)
  float depth = kInitialCatalogueDepth;  // stars fainter than or equal to this magnitude are not drawn
};

// One catalogue star on the frame at image pixel (x, y) (1-based, x right, y down); the frame window draws its
// square by the magnitude.
struct CatalogueMarker {
  float x = 0.0f;
  float y = 0.0f;
  float magnitude = 0.0f;
  bool visible = false;  // false while the overlay is off: the marker only counts the star
  Rgb colour;
};

// A magnitude label of a marker: text "0.0" and the marker's star (image pixels and magnitude); the frame window
// puts it beside the marker's square.
struct MagnitudeLabel {
  std::string text;
  double x = 0.0;
  double y = 0.0;
  float magnitude = 0.0f;
  Rgb colour;
};

// The result of one drawing. When drawn is false nothing was done (the frame is not calibrated) and the frame
// window keeps what it shows; otherwise markers and labels replace all shown
// before, and depthText is the depth for the panel's "Глубина каталога" row.
struct CatalogueOverlay {
  bool drawn = false;
  std::vector<CatalogueMarker> markers;
  std::vector<MagnitudeLabel> labels;
  std::string depthText;
};

// Catalogue stars (RA = stored offset + Pi, DEC, radians; magnitude) brighter than depth and less than
// radiusDeg degrees from the centre (centreRa, centreDec, radians), in file order. The distance is the
// spherical law of cosines. A file that cannot be read gives what could be read (possibly nothing).
std::vector<CatalogStar> LoadCatalogueForDisplay(const std::string& catalogPath, double centreRa, double centreDec,
                                                 double radiusDeg, float depth);

// Redraws the catalogue overlay of a calibrated frame to the given depth from scratch: stars inside the
// frame (0 < x < imageWidth, 0 < y < imageHeight) through the frame's plate solution, at most
// kMaxCatalogueMarkers, markers in palette.catalogueStar (visible when display.shown), labels in
// palette.catalogueAux when display.magnitudes. Also refreshes the frame's derived times.
CatalogueOverlay DrawCatalogue(const CatalogueFrame& frame, const CatalogueDisplayState& display, float depth);

// What a catalogue-display command asks of the frame window and the menu. A command that is ignored (a long
// task running, or a depth step while the overlay is hidden) returns no message, no removal and no drawing.
struct CatalogueCommandResult {
  std::string message;             // a message box text (caption "Сообщение"), empty for none
  bool removeMarkers = false;      // take the catalogue markers off the frame
  bool removeLabels = false;       // take the magnitude labels off the frame
  CatalogueOverlay overlay;        // when overlay.drawn: the new markers and labels, replacing the old ones
  bool shownChecked = false;       // check mark of "Показать звезды каталога"
  bool magnitudesChecked = false;  // check mark of "Показать звездные величины"
};

// "Показать звезды каталога": switches the overlay off, or on after choosing the depth: when fewer than
// three stars would be drawn the depth grows by 1.5 magnitudes, and it never exceeds 8.
CatalogueCommandResult ToggleCatalogueStars(const CatalogueFrame& frame, CatalogueDisplayState& display);
// "Показать звездные величины": switches the magnitude labels off, or on with a redraw.
CatalogueCommandResult ToggleMagnitudeLabels(const CatalogueFrame& frame, CatalogueDisplayState& display);
// "Уменьшить глубину каталога на 0.5 mag": while the overlay is on, the depth falls by 0.5 with no lower limit.
CatalogueCommandResult DecreaseCatalogueDepth(const CatalogueFrame& frame, CatalogueDisplayState& display);
// "Увеличить глубину каталога на 0.5 mag": while the overlay is on, the depth grows by 0.5 up to 8.
CatalogueCommandResult IncreaseCatalogueDepth(const CatalogueFrame& frame, CatalogueDisplayState& display);
// After a successful identification: depth back to 4.0 and the overlay switched on and drawn.
CatalogueCommandResult ShowCatalogueAfterIdentification(const CatalogueFrame& frame, CatalogueDisplayState& display);
