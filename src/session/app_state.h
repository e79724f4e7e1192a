#pragma once
// The two records every part of Orvia reads: AppState for the program run and FrameState for
// the open frame, with the mark colours and the marking-frame size table.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "astrometry/overlay.h"
#include "astrometry/plate.h"
#include "astrometry/track.h"
#include "base/colour.h"
#include "base/log.h"
#include "frameinfo/frame_info.h"
#include "image/detection.h"
#include "image/marks.h"
#include "image/raster.h"
#include "orbit/trajectories.h"

// One selectable marking-frame size: half-size r and side 2r + 1 in image pixels, the fragment
// window's zoom and the fragment side on screen (zoom x side).
struct FrameSizeRow {
  std::uint8_t half = 0;
  std::uint8_t side = 0;
  std::uint8_t zoom = 0;
  std::uint8_t fragmentSide = 0;
};

// The eight marking-frame sizes, index 0..7.
using FrameSizeTable = std::array<FrameSizeRow, 8>;
// The fixed table of marking-frame sizes.
FrameSizeTable MakeFrameSizeTable();

// What a click on the frame does.
enum class WorkMode { View, StarMarking, AutoTrackEnds, ManualTrackEnds };

// Program-wide state, one instance per run.
struct AppState {
  std::string appDir;  // the program's directory, with a trailing separator
  LogFile logFile;
  bool catalogueReady = false;
  std::string catalogPath;
  std::string asterismPath;
  std::string helpPath;
  std::int32_t framesOpened = 0;
  bool longTaskRunning = false;
  std::string lastImageDir;
  MarkPalette palette;
  FrameSizeTable frameSizes = MakeFrameSizeTable();
};

// The open frame and its analysis state.
struct FrameState {
  bool frameOpen = false;
  std::string imagePath;
  std::string infoFilePath;
  std::int16_t imageWidth = 0;
  std::int16_t imageHeight = 0;
  BrightnessRaster brightness;
  DecodedImage colourPixels;
  std::uint8_t frameSizeIndex = 3;
  std::int16_t frameHalf = 0;  // marking-frame half-size and side, image pixels
  std::int16_t frameSide = 0;
  WorkMode workMode = WorkMode::View;
  std::vector<StarMark> starMarks;        // in marking order (mark 1 is the first clicked)
  TrackEnds trackEnds;                    // the track record and the number of marked ends
  FrameInfo info;                         // the frame's circumstances
  PlateSolution plate;                    // the frame's calibration; solved when both scales are non-zero
  int identifiedNorad = 0;                // catalogue number of the satellite the frame was identified as
  std::string identifiedName;             // that satellite's name
  std::vector<int> rememberedSatellites;  // catalogue numbers remembered for drawing several satellites
  std::string moonVisibility = "No";      // the Moon's visibility text
  float moonPhase = 0.0f;                 // illuminated fraction
  float moonDistance = 0.0f;              // degrees from the frame centre
  SatelliteState satellites;              // candidates of the last search, trajectory marks and labels

  std::int16_t starCount() const { return static_cast<std::int16_t>(starMarks.size()); }
};

// The table's row of the frame's size index (row 3 for an index beyond the table).
const FrameSizeRow& FrameSizeOf(const FrameState& frame, const FrameSizeTable& table);
// Copies the half-size and side of the frame's row of the table into the frame.
void ApplyFrameSize(FrameState& frame, const FrameSizeTable& table);

// What a marking request reads of the open frame: its raster and marking-frame half-size.
MarkingFrame MarkingOf(const FrameState& frame);

// What the track measurement reads of the open frame: raster, size, plate, the horizon filter of its
// circumstances (times already derived) and the program's catalogue.
TrackFrame TrackFrameOf(const FrameState& frame, const AppState& app);

// What the catalogue display reads of the program and the open frame.
CatalogueFrame CatalogueFrameOf(const FrameState& frame, const AppState& app);
