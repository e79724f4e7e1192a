#pragma once
// The open frame's state as the core operations read and write it: a decoded frame taken into the frame
// record, the record given to and taken from the information file, the inputs of identification and of
// the candidate search, and the report of a satellite's measured ends. The desktop program and the
// command-line program both go through these, so that a frame handled by one reads the same in the other.

#include <span>
#include <string>

#include "astrometry/identify.h"
#include "frameinfo/info_file.h"
#include "frameinfo/iod.h"
#include "image/decode.h"
#include "orbit/candidates.h"
#include "session/app_state.h"

// Takes a decoded frame into the record: path, size, brightness raster, the colour pixels, the display
// geometry and the marking-frame size of the current index. Leaves frameOpen and the analysis state alone.
void InstallFrame(FrameState& frame, const AppState& app, const std::string& path, DecodedImage decoded);

// What the information file keeps of the frame.
InfoFileData InfoFileOf(const FrameState& frame);
// Takes the values read from an information file into the frame; the visibility switch and the station
// code are the panel's own and stay as they are.
void ApplyInfoFile(FrameState& frame, const InfoFileData& data);
// Reads the information file at path into the frame (missing keys keep their defaults) and derives the
// frame times.
void ReadInfoIntoFrame(FrameState& frame, const std::string& path);

// The identification command's input for the frame's marks and circumstances.
IdentificationInput IdentificationInputOf(const FrameState& frame, AppState& app);
// Takes a successful identification into the frame: plate solution, field-size text and the marks'
// identities.
void AdoptIdentification(FrameState& frame, const IdentificationResult& result);

// Computes the Moon's visibility, phase and distance from the frame centre for the frame's circumstances
// and plate solution and keeps them in the frame; nothing changes when the circumstances are not usable.
void UpdateFrameMoon(FrameState& frame, LogFile& log);

// The candidate search's input: the measured ends, the track window and the site of the frame.
CandidateSearchInput CandidateSearchInputOf(const FrameState& frame, const AppState& app);

// Orders the measured ends so that end 1 is the end the satellite passed first, judged by the drawn
// trajectory marks (screen pixels). True when the ends were exchanged.
bool OrderTrackEnds(FrameState& frame, std::span<const TrajectoryMark> marks);

// The report of the frame's two measured ends for a satellite: end 1 at the exposure's start, end 2 at
// its end, with the frame's station code and year.
IodInput IodInputOf(const FrameState& frame, int catalogueNumber, const std::string& designator);
