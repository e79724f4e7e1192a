#pragma once
// The per-frame information file: its name, derived from the image's name and last-write time, and
// the INI text that keeps a frame's circumstances, plate solution, measured track, identified
// satellite, remembered satellites and Moon values between sessions.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "astrometry/plate.h"
#include "frameinfo/frame_info.h"
#include "image/marks.h"

// Everything the information file keeps about one frame.
struct InfoFileData {
  std::string imagePath;                  // written as "FileName", not read back
  std::int16_t imageWidth = 0;            // pixels; written, not read back
  std::int16_t imageHeight = 0;           // pixels; written, not read back
  FrameInfo info;                         // circumstances; "PoleUser" is info.fieldSizeText
  PlateSolution plate;                    // display form; the working form is rebuilt after reading
  TrackEnds trackEnds;  // entries 1 and 2 are stored (pixels, radians), with the count of marked ends
  int identifiedNorad = 0;      // catalogue number of the identified satellite, 0 when none
  std::string identifiedName;   // its name
  std::vector<int> remembered;  // catalogue numbers remembered for drawing several satellites
  std::string moonVisibility = "No";
  float moonPhase = 0.0f;
  float moonDistance = 0.0f;  // degrees from the frame centre
};

// Path of a frame's information file: appDir + "Info" + separator + base + "_YYYY-MM-DD_hh-mm" + ".txt",
// where base is the image's file name without directory and extension and the stamp is the
// image's last-write time in UTC. An image that cannot be examined gets the stamp of time 0 (1970).
std::string InfoFileName(const std::string& appDir, const std::string& imagePath);

// Writes every value of the record into the information file at path in one rewrite: the old file is
// read once, each key replaced in place or appended to its section, other lines kept, and the result
// renamed over the old file. "Multi_traectory" is touched only when the remembered list is not empty.
// False when the file could not be written (the old file then stays as it was).
bool WriteInfoFile(const std::string& path, const InfoFileData& data);

// Reads the information file at path into the record; a missing key (or a missing file) gives its
// default. Then finishes the record: track-end RA/DEC from degrees to radians, the track-end count set
// to 1 when end 1 holds a pixel with x and y non-zero, to 2 when end 2 does as well, and to 0 when end 1
// holds none (its pixel was just replaced by 0), the non-zero numbers of "Multi_traectory" appended
// to the list, the start time derived from the mid time when the file has none, and the plate's
// working form rebuilt. Dates and times that do not parse keep the fields from the failing one on.
void ReadInfoFile(const std::string& path, InfoFileData& data);
