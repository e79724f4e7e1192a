#pragma once
// The per-frame information file: its name, derived from the image's name and last-write time, and
// the INI text that keeps a frame's circumstances, plate solution, measured track, identified
// satellite, remembered satellites and Moon values between sessions.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "astrometry/plate.h"
#include "base/file_utils.h"
#include "frameinfo/frame_info.h"
#include "image/marks.h"

// Everything the information file keeps about one frame.
struct InfoFileData {
  std::string imagePath;         // written as "FileName", not read back
  std::int16_t imageWidth = 0;   // pixels; written, not read back
  std::int16_t imageHeight = 0;  // pixels; written, not read back
  FrameInfo info;                // circumstances; "PoleUser" is info.fieldSizeText
  PlateSolution plate;           // display form; the working form is rebuilt after reading
  TrackEnds trackEnds;           // entries 1 and 2 are stored (pixels, radians), with the count of marked ends
  int identifiedNorad = 0;       // catalogue number of the identified satellite, 0 when none
  std::string identifiedName;    // its name
  std::vector<int> remembered;   // catalogue numbers remembered for drawing several satellites
  std::string moonVisibility = "No";
  float moonPhase = 0.0f;
  float moonDistance = 0.0f;  // degrees from the frame centre
};

// The largest information file read, bytes (a real one holds a few hundred).
inline constexpr std::size_t kMaxInfoFileBytes = 1024 * 1024;

// The longest file name, in bytes, that the file systems in use accept.
inline constexpr std::size_t kMaxFileNameBytes = 255;

// Path of a frame's information file: appDir + "Info" + separator + base + "_YYYY-MM-DD_hh-mm" + ".txt",
// where base is the image's file name without directory and extension and the stamp is the
// image's last-write time in UTC. An image that cannot be examined gets the stamp of time 0 (1970).
// A base name too long for the name to stay within kMaxFileNameBytes is cut and followed by "~" and eight
// hexadecimal digits of its checksum, so the same image always gives the same name.
std::string InfoFileName(const std::string& appDir, const std::string& imagePath);

// True when the information file at path was written for this frame: its "FileName" is the image's path
// (or a path that no longer exists with the same base name: the frame was moved) and its "Size X" and
// "Size y" are the image's size in pixels. A file without "FileName" (written by hand) belongs to any frame.
bool InfoFileBelongsTo(const std::string& path, const std::string& imagePath, int imageWidth, int imageHeight);

// The information file of a frame: InfoFileName, or, when that file belongs to another frame of the same
// base name and stamp, the first of the names with "_2", "_3" ... before ".txt" that is missing or
// belongs to this frame. Reading and writing both find the same file this way.
std::string FindInfoFile(const std::string& appDir, const std::string& imagePath, int imageWidth, int imageHeight);

// Writes every value of the record into the information file at path in one rewrite: the old file is
// read once, each key replaced in place or appended to its section, other lines kept, and the result
// renamed over the old file. "Multi_traectory" is touched only when the remembered list is not empty.
// On failure the old file stays as it was and the result carries the system's reason.
WriteResult WriteInfoFile(const std::string& path, const InfoFileData& data);

// What WriteInfoFileChanges did: the sections it wrote (none when nothing had changed) and the write.
struct InfoMerge {
  std::vector<std::string> sections;
  WriteResult written;
};

// Writes onto the information file as it is now only the sections in which data differs from before (the
// record as it was read or last written), so that values another program wrote meanwhile into the other
// sections stay. Nothing is written when nothing differs.
InfoMerge WriteInfoFileChanges(const std::string& path, const InfoFileData& before, const InfoFileData& data);

// A stamp of the file's content (checksum and size); empty when there is no file. Two equal stamps
// mean nobody changed the file between them.
std::string InfoFileStamp(const std::string& path);

// Reads the information file at path into the record; a missing key (or a missing file) gives its
// default. Then finishes the record: track-end RA/DEC from degrees to radians, the track-end count set
// to 1 when end 1 holds a pixel with x and y non-zero, to 2 when end 2 does as well, and to 0 when end 1
// holds none (its pixel was just replaced by 0), the non-zero numbers of "Multi_traectory" (only the
// numbers that end within the INI limit of a value, none of them cut) appended
// to the list, the start time derived from the mid time when the file has none, and the plate's
// working form rebuilt. Dates and times that do not parse keep the fields from the failing one on.
// Values outside their physical range (exposure 0..kMaxExposureSeconds, UT error 0..kMaxUtError, longitude,
// latitude, RA/Dec, field, plate scales, track ends within the frame) are not used: each keeps its default
// and a message naming the file, the key and the value is returned. A file over kMaxInfoFileBytes is not
// read at all (one message).
std::vector<std::string> ReadInfoFile(const std::string& path, InfoFileData& data);

// True when the file is larger than any information file: it is neither read nor taken as a frame's.
bool InfoFileTooLarge(const std::string& path);
