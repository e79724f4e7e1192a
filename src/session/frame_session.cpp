#include "session/frame_session.h"

#include <utility>

#include "astrometry/moon_sun.h"
#include "image/raster.h"

void InstallFrame(FrameState& frame, const AppState& app, const std::string& path, DecodedImage decoded) {
  frame.imagePath = path;
  frame.imageWidth = static_cast<std::int16_t>(decoded.width);
  frame.imageHeight = static_cast<std::int16_t>(decoded.height);
  frame.brightness = MakeBrightness(decoded);
  frame.colourPixels = std::move(decoded);
  const DisplayGeometry shown = ComputeDisplayGeometry(frame.imageWidth, frame.imageHeight);
  frame.displayWidth = static_cast<std::int16_t>(shown.displayWidth);
  frame.displayHeight = static_cast<std::int16_t>(shown.displayHeight);
  frame.displayScale = shown.displayScale;
  frame.aspect = shown.aspect;
  ApplyFrameSize(frame, app.frameSizes);
}

InfoFileData InfoFileOf(const FrameState& frame) {
  InfoFileData data;
  data.imagePath = frame.imagePath;
  data.imageWidth = frame.imageWidth;
  data.imageHeight = frame.imageHeight;
  data.info = frame.info;
  data.plate = frame.plate;
  data.trackEnds = frame.trackEnds;
  data.identifiedNorad = frame.identifiedNorad;
  data.identifiedName = frame.identifiedName;
  data.remembered = frame.rememberedSatellites;
  data.moonVisibility = frame.moonVisibility;
  data.moonPhase = frame.moonPhase;
  data.moonDistance = frame.moonDistance;
  return data;
}

void ApplyInfoFile(FrameState& frame, const InfoFileData& data) {
  const bool consider = frame.info.considerVisibility;
  const std::int16_t station = frame.info.stationCode;
  frame.info = data.info;
  frame.info.considerVisibility = consider;
  frame.info.stationCode = station;
  frame.plate = data.plate;
  frame.trackEnds = data.trackEnds;
  frame.identifiedNorad = data.identifiedNorad;
  frame.identifiedName = data.identifiedName;
  frame.rememberedSatellites = data.remembered;
  frame.moonVisibility = data.moonVisibility;
  frame.moonPhase = data.moonPhase;
  frame.moonDistance = data.moonDistance;
}

void ReadInfoIntoFrame(FrameState& frame, const std::string& path) {
  InfoFileData data = InfoFileOf(frame);
  ReadInfoFile(path, data);
  ApplyInfoFile(frame, data);
  DeriveFrameTimes(frame.info);
}

IdentificationInput IdentificationInputOf(const FrameState& frame, AppState& app) {
  IdentificationInput input;
  input.marks = frame.starMarks;
  input.imageWidth = frame.imageWidth;
  input.imageHeight = frame.imageHeight;
  input.midMjd = frame.info.midMjd;
  input.longitudeRad = frame.info.longitudeRad;
  input.latitudeRad = frame.info.latitudeRad;
  input.considerVisibility = frame.info.considerVisibility;
  input.raUserDeg = frame.info.raUser;
  input.decUserDeg = frame.info.decUser;
  input.fieldUserDeg = frame.info.fieldUser;
  input.catalogPath = app.catalogPath;
  input.asterismPath = app.asterismPath;
  input.appDir = app.appDir;
  input.log = &app.logFile;
  return input;
}

void AdoptIdentification(FrameState& frame, const IdentificationResult& result) {
  frame.plate = result.solution;
  frame.info.fieldSizeText = result.solution.fieldSize;
  for (std::size_t i = 0; i < frame.starMarks.size() && i < result.identities.size(); ++i)
    frame.starMarks[i].identity = result.identities[i];
}

void UpdateFrameMoon(FrameState& frame, LogFile& log) {
  MoonCircumstances c;
  c.midMjd = frame.info.midMjd;
  c.longitudeRad = frame.info.longitudeRad;
  c.latitudeRad = frame.info.latitudeRad;
  c.plateSolved = frame.plate.Solved();
  c.tangentRaRad = frame.plate.working.ra0;
  c.tangentDecRad = frame.plate.working.dec0;
  const MoonValues moon = ComputeMoon(c, log);
  if (!moon.valid) return;
  frame.moonVisibility = moon.visibility;
  frame.moonPhase = moon.phase;
  if (moon.distanceSet) frame.moonDistance = moon.distanceDeg;
}

CandidateSearchInput CandidateSearchInputOf(const FrameState& frame, const AppState& app) {
  CandidateSearchInput input;
  input.appDir = app.appDir;
  input.end1 = frame.trackEnds[1].Sky();
  input.end2 = frame.trackEnds[2].Sky();
  input.window = MakeTrackWindow(frame.info);
  input.latitudeRad = frame.info.latitudeRad;
  input.longitudeRad = frame.info.longitudeRad;
  return input;
}

bool OrderTrackEnds(FrameState& frame, std::span<const TrajectoryMark> marks) {
  if (frame.trackEnds.count != 2) return false;
  const float scale = frame.displayScale > 0 ? frame.displayScale : 1.0f;
  const TrackPoint& a = frame.trackEnds[1];
  const TrackPoint& b = frame.trackEnds[2];
  if (!ExchangeTrackEnds(marks, a.x / scale, a.y / scale, b.x / scale, b.y / scale)) return false;
  std::swap(frame.trackEnds[1], frame.trackEnds[2]);
  return true;
}

IodInput IodInputOf(const FrameState& frame, int catalogueNumber, const std::string& designator) {
  IodInput input;
  input.catalogueNumber = catalogueNumber;
  input.designator = designator;
  input.stationCode = frame.info.stationCode;
  input.yearGuess = frame.info.startTime.year;
  input.positions = {IodPosition{frame.info.startMjd, frame.trackEnds[1].Sky()},
                     IodPosition{frame.info.startMjd + frame.info.exposure / 86400.0, frame.trackEnds[2].Sky()}};
  return input;
}
