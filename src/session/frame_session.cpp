#include "session/frame_session.h"

#include "session/identify_hint.h"

#include <cmath>
#include <filesystem>
#include <utility>

#include "astrometry/moon_sun.h"
#include "astrometry/track.h"
#include "base/numbers.h"
#include "frameinfo/places.h"
#include "image/raster.h"
#include "image/star_trails.h"
#include "session/fixed_camera.h"
#include "session/pointing.h"
#include "satdb/satdb.h"

void InstallFrame(FrameState& frame, const AppState& app, const std::string& path, DecodedImage decoded) {
  frame.imagePath = path;
  frame.imageWidth = static_cast<std::int16_t>(decoded.width);
  frame.imageHeight = static_cast<std::int16_t>(decoded.height);
  frame.brightness = MakeBrightness(decoded);
  frame.colourPixels = std::move(decoded);
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

std::vector<std::string> ReadInfoIntoFrame(FrameState& frame, const std::string& path) {
  InfoFileData data = InfoFileOf(frame);
  std::vector<std::string> messages = ReadInfoFile(path, data);
  ApplyInfoFile(frame, data);
  DeriveFrameTimes(frame.info);
  return messages;
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
  // A camera pointed by altitude and azimuth: the centre is where that pointing looked at this frame's time.
  if (const std::optional<J2000Direction> centre = PointingCentre(frame.info)) {
    input.raUserDeg = Normalize360(RadToDeg(centre->raRad));
    input.decUserDeg = RadToDeg(centre->decRad);
  }
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
  c.heightKm = frame.info.heightM / 1000.0;
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
  input.heightKm = frame.info.heightM / 1000.0;
  input.utErrorSeconds = frame.info.utError;
  input.exposureSeconds = frame.info.exposure;
  return input;
}

CrossingsInput CrossingsInputOf(const FrameState& frame, const AppState& app) {
  CrossingsInput input;
  input.appDir = app.appDir;
  input.plate = frame.plate.working;
  input.imageWidth = frame.imageWidth;
  input.imageHeight = frame.imageHeight;
  input.window = CrossingWindow(frame.info);
  input.camera = CameraViewOf(frame.info);
  input.latitudeRad = frame.info.latitudeRad;
  input.longitudeRad = frame.info.longitudeRad;
  input.heightKm = frame.info.heightM / 1000.0;
  return input;
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

// ---- FrameSession ----

void FrameSession::ClearAnalysis() {
  frame_.workMode = WorkMode::View;
  frame_.starMarks.clear();
  frame_.info.considerVisibility = true;
  frame_.plate = PlateSolution{};
  ClearFrameTimes(frame_.info);
  frame_.trackEnds = TrackEnds{};
  frame_.identifiedNorad = 0;
  frame_.identifiedName.clear();
  frame_.rememberedSatellites.clear();
  frame_.satellites = SatelliteState{};
  frame_.moonVisibility = "No";
  frame_.moonPhase = 0.0f;
  frame_.moonDistance = 0.0f;
  frame_.info.fieldSizeText = "0x0";
}

OpenStep FrameSession::Open(const std::string& path, DecodedImage decoded, const std::string& infoPath) {
  OpenStep step;
  // The previous frame's pixels go before the new raster is made, so that only one frame is held.
  frame_.frameOpen = false;
  frame_.brightness = BrightnessRaster{};
  frame_.colourPixels = DecodedImage{};
  InstallFrame(frame_, app_, path, std::move(decoded));
  frame_.frameOpen = true;
  ClearAnalysis();
  frame_.infoFilePath = FindInfoFile(app_.appDir, frame_.imagePath, frame_.imageWidth, frame_.imageHeight);
  std::error_code ec;
  std::filesystem::create_directories(app_.appDir + "Info", ec);
  const std::string& read = infoPath.empty() ? frame_.infoFilePath : infoPath;
  std::error_code exists;
  if (std::filesystem::exists(read, exists)) {
    step.messages = ReadInfoIntoFrame(frame_, read);
    step.infoRead = true;
  }
  savedInfo_ = InfoFileOf(frame_);
  savedStamp_ = InfoFileStamp(frame_.infoFilePath);
  mergeOnly_ = false;
  return step;
}

CircumstancesStep FrameSession::Circumstances(const PanelEntries& entries, bool strict) {
  CircumstancesStep step;
  step.collected = CollectFrameInfo(entries, strict, frame_.info);
  if (!step.collected.ok) {
    step.error = StepError::BadCircumstances;
    step.messages.push_back(step.collected.message);
  }
  return step;
}

namespace {

// What tells one brightness raster from another cheaply: its buffer, its size and a sample of its pixels.
std::array<std::uint64_t, 4> RasterIdentity(const BrightnessRaster& raster) {
  std::uint64_t sample = 1469598103934665603ull;
  for (std::size_t k = 0; k < raster.values.size(); k += 4093) sample = (sample ^ raster.values[k]) * 1099511628211ull;
  return {reinterpret_cast<std::uintptr_t>(raster.values.data()), static_cast<std::uint64_t>(raster.width),
          static_cast<std::uint64_t>(raster.height), sample};
}

}  // namespace

const StarTrailShape& FrameSession::FrameTrail() {
  const std::array<std::uint64_t, 4> identity = RasterIdentity(frame_.brightness);
  if (identity != trailOf_) {
    trail_ = FindFrameTrail(frame_.brightness, EstimateBackground(frame_.brightness));
    trailOf_ = identity;
  }
  return trail_;
}

StarStep FrameSession::MarkStar(int x, int y) {
  StarStep step;
  // On a frame of trailed stars a click takes the trail near it whole.
  const MarkingFrame marking{frame_.brightness, frame_.frameHalf, &FrameTrail()};
  step.detection = DetectStar(marking, frame_.starMarks, app_.logFile, x, y, true);
  if (!step.detection.marked) step.error = StepError::NotFound;
  return step;
}

StarStep FrameSession::MarkStarAt(float x, float y, std::int16_t size) {
  StarStep step;
  step.detection.found = step.detection.marked = true;
  step.detection.sx = x;
  step.detection.sy = y;
  step.detection.size = size;
  AddStarMark(frame_.starMarks, app_.logFile, x, y, size);
  return step;
}

StreakSearch FrameSession::FindFrameStreaks(const AutoDetectOptions& options, TaskControl& task) {
  StreakSearch found;
  found.sky = EstimateBackground(frame_.brightness);
  found.streaks = FindStreaks(frame_.brightness, found.sky, options, task);
  if (task.Cancelled()) found.error = StepError::Cancelled;
  return found;
}

AutoStarsStep FrameSession::AutoStars(const AutoDetectOptions& options, const StreakSearch& found) {
  AutoStarsStep step;
  step.streaks = found.streaks;
  frame_.starMarks.clear();
  step.marking = AutoMarkStars(MarkingOf(frame_), frame_.starMarks, app_.logFile, options, found.streaks, &found.sky);
  trail_ = step.marking.trail;
  trailOf_ = RasterIdentity(frame_.brightness);
  if (frame_.starCount() < kMinIdentificationStars) {
    step.error = StepError::NotFound;
    step.messages.emplace_back(kAutoNoStarsText);
  }
  return step;
}

AutoStarsStep FrameSession::AutoStars(const AutoDetectOptions& options, TaskControl& task) {
  const StreakSearch found = FindFrameStreaks(options, task);
  if (!found.Ok()) {
    AutoStarsStep step;
    step.error = found.error;
    return step;
  }
  return AutoStars(options, found);
}

IdentifyStep FrameSession::Identify(bool knownCentre, bool blindAfter, TaskControl& task) {
  IdentifyStep step;
  const std::string refusal = Refusal(frame_, {Requirement::FrameOpen, Requirement::EnoughStars});
  if (!refusal.empty()) {
    step.error = StepError::Refused;
    step.messages.push_back(refusal);
    return step;
  }
  const IdentificationInput input = IdentificationInputOf(frame_, app_);
  step.identification = IdentifyStars(input, knownCentre, task);
  if (knownCentre && blindAfter && !step.identification.success && !task.Cancelled()) {
    step.identification = IdentifyStars(input, false, task);
    step.blind = step.identification.success;
  } else {
    step.blind = !knownCentre && step.identification.success;
  }
  step.messages = step.identification.messages;
  if (!step.identification.success) {
    step.error = task.Cancelled() ? StepError::Cancelled : StepError::NotFound;
    // Few marks: the failure says what would have helped, on a line of its own.
    if (!task.Cancelled() && !step.identification.fieldRefused && !step.messages.empty()) {
      const std::string hint = FewMarksHint(frame_.starMarks, frame_.imageWidth, frame_.imageHeight);
      if (!hint.empty()) step.messages.front() += "\n" + hint;
    }
    return step;
  }
  AdoptIdentification(frame_, step.identification);
  UpdateFrameMoon(frame_, app_.logFile);
  if (!frame_.info.fixedCamera && TrailsShowFixedCamera(frame_.starMarks, step.identification.catalogueNumbers,
                                                        frame_.plate.working, frame_.info))
    step.messages.emplace_back(kFixedCameraHintText);
  return step;
}

TrackEndStep FrameSession::MarkTrackEnd(float x, float y, bool exact) {
  TrackEndStep step;
  if (exact) {
    step.found = true;
    step.ex = x;
    step.ey = y;
    step.addition = AddTrackEnd(frame_.trackEnds, x, y, frame_.plate.Solved());
  } else {
    const TrackEndDetection found =
        DetectTrackEnd(MarkingOf(frame_), frame_.trackEnds, app_.logFile, static_cast<int>(std::lround(x)),
                       static_cast<int>(std::lround(y)), frame_.plate.Solved());
    step.found = found.found;
    step.ex = static_cast<float>(found.ex);
    step.ey = static_cast<float>(found.ey);
    step.addition = found.addition;
  }
  if (!step.addition.added) {
    step.error = StepError::NotFound;
    return step;
  }
  const int slot = frame_.trackEnds.count;
  if (frame_.plate.Solved())
    PlaceTrackEndOnSky(frame_.trackEnds[static_cast<std::size_t>(slot)], frame_.plate.working,
                       CameraViewOf(frame_.info), TrackEndMjd(frame_.info, slot));
  return step;
}

StreakStep FrameSession::MarkStreak(const std::vector<StreakCandidate>& streaks, const StreakChooser& choose) {
  StreakStep step;
  step.streaks = streaks;
  frame_.trackEnds = TrackEnds{};
  if (streaks.empty()) {
    step.error = StepError::NotFound;
    step.messages.emplace_back(kAutoNoStreakText);
    return step;
  }
  step.chosen = 0;
  if (streaks.size() > 1) {
    if (choose) {
      step.chosen = choose(streaks);
      if (step.chosen < 0 || step.chosen >= static_cast<int>(streaks.size())) {
        step.chosen = -1;
        step.error = StepError::Cancelled;
        return step;
      }
    } else {
      step.messages.push_back(kAutoSeveralStreaksText + StreakText(1, streaks.front()));
    }
  }
  step.additions =
      MarkStreakEnds(frame_.trackEnds, streaks[static_cast<std::size_t>(step.chosen)], frame_.plate.Solved());
  if (frame_.plate.Solved())
    for (int slot = 1; slot <= frame_.trackEnds.count; ++slot)
      PlaceTrackEndOnSky(frame_.trackEnds[static_cast<std::size_t>(slot)], frame_.plate.working,
                         CameraViewOf(frame_.info), TrackEndMjd(frame_.info, slot));
  if (frame_.trackEnds.count != 2) step.error = StepError::NotFound;
  return step;
}

StreakStep FrameSession::AutoStreak(const AutoDetectOptions& options, TaskControl& task, const StreakChooser& choose) {
  frame_.trackEnds = TrackEnds{};
  const StreakSearch found = FindFrameStreaks(options, task);
  if (!found.Ok()) {
    StreakStep step;
    step.error = found.error;
    return step;
  }
  return MarkStreak(found.streaks, choose);
}

MeasureStep FrameSession::Measure(TaskControl& task, const MeasurementLineSink& sink) {
  MeasureStep step;
  const std::string refusal = Refusal(frame_, {Requirement::TrackMeasurable});
  if (!refusal.empty()) {
    step.error = StepError::Refused;
    step.messages.push_back(refusal);
    return step;
  }
  step.measurement = MeasureTrack(TrackFrameOf(frame_, app_), frame_.trackEnds, task, sink);
  if (task.Cancelled()) step.error = StepError::Cancelled;
  return step;
}

CandidatesStep FrameSession::Candidates(const CandidateFilter& filter, TaskControl& task,
                                        const std::function<void(const CandidateList&)>& listChanged) {
  CandidatesStep step;
  const std::string refusal = Refusal(frame_, kCandidateRequirements);
  if (!refusal.empty()) {
    step.error = StepError::Refused;
    step.messages.push_back(refusal);
    return step;
  }
  // A new search starts from an empty list and a clean frame.
  frame_.satellites.candidates = CandidateList{};
  frame_.satellites.marks.clear();
  step.search =
      CandidateSearch(CandidateSearchInputOf(frame_, app_), filter, frame_.satellites.candidates, task, listChanged);
  if (!step.search.message.empty()) step.messages.push_back(step.search.message);
  const std::vector<CandidateRow>& rows = frame_.satellites.candidates.rows;
  if (!rows.empty() && rows.front().timing && !step.search.cancelled) {
    const std::string warning = ClockWarning(*rows.front().timing, frame_.info.utError, frame_.info.exposure);
    if (!warning.empty()) step.messages.push_back(warning);
  }
  if (step.search.cancelled || task.Cancelled())
    step.error = StepError::Cancelled;
  else if (frame_.satellites.candidates.rows.empty())
    step.error = StepError::NotFound;
  return step;
}

TrajectoryCanvas FrameSession::Canvas() const {
  return TrajectoryCanvas{frame_.plate.working, frame_.imageWidth, frame_.imageHeight, CameraViewOf(frame_.info)};
}

bool FrameSession::OrderTrackEnds() {
  if (frame_.trackEnds.count != 2) return false;
  const TrackPoint& a = frame_.trackEnds[1];
  const TrackPoint& b = frame_.trackEnds[2];
  if (!ExchangeTrackEnds(frame_.satellites.marks, a.x, a.y, b.x, b.y)) return false;
  std::swap(frame_.trackEnds[1], frame_.trackEnds[2]);
  // With a still camera each end's position belongs to its instant, which the exchange swaps.
  const CameraView camera = CameraViewOf(frame_.info);
  const double start = TrackEndMjd(frame_.info, 1), end = TrackEndMjd(frame_.info, 2);
  RetimeTrackEnd(frame_.trackEnds[1], camera, end, start);
  RetimeTrackEnd(frame_.trackEnds[2], camera, start, end);
  return true;
}

bool FrameSession::CandidateTrajectory(int recordIndex) {
  const auto& records = frame_.satellites.candidates.records;
  if (recordIndex < 1 || recordIndex > static_cast<int>(records.size())) return false;
  const TleRecord tle = records[static_cast<std::size_t>(recordIndex - 1)].tle;
  // A failed propagation leaves the frame without marks.
  frame_.satellites.marks = ::CandidateTrajectory(tle, frame_.info, Canvas(), app_.palette);
  return true;
}

TrajectoryStep FrameSession::Trajectory(int number, double stepSeconds) {
  TrajectoryStep step;
  const std::string problem = UsersatEntryProblem(number, stepSeconds);
  if (!problem.empty()) {
    step.error = StepError::BadEntry;
    step.messages.push_back(problem);
    return step;
  }
  frame_.satellites.marks.clear();
  frame_.satellites.labels.clear();
  step.trajectory = SingleSatelliteTrajectory(app_.appDir, number, stepSeconds, frame_.info, Canvas(), app_.palette);
  if (!step.trajectory.message.empty()) step.messages.push_back(step.trajectory.message);
  if (step.trajectory.designator.empty()) {
    step.error = StepError::NotFound;
    return step;
  }
  if (step.trajectory.points.empty()) {
    step.error = StepError::CalculationFailed;
    return step;
  }
  frame_.satellites.marks = step.trajectory.marks;
  step.endsExchanged = OrderTrackEnds();
  step.timing = Timing(number);
  if (step.timing) step.trajectory.lines.push_back(TimingLine(*step.timing));
  return step;
}

std::optional<TrackTiming> FrameSession::Timing(int number) const {
  if (frame_.trackEnds.count != 2 || !frame_.plate.Solved()) return std::nullopt;
  TleRecord tle;
  if (!ReadBestSet(SatelliteFilePath(app_.appDir, number), frame_.info.startMjd, tle)) return std::nullopt;
  return TimeElementSet(tle, CandidateSearchInputOf(frame_, app_));
}

CrossingsStep FrameSession::Crossings(TaskControl& task) {
  CrossingsStep step;
  const std::string refusal = Refusal(frame_, kCrossingRequirements);
  if (!refusal.empty()) {
    step.error = StepError::Refused;
    step.messages.push_back(refusal);
    return step;
  }
  frame_.satellites.marks.clear();
  frame_.satellites.labels.clear();
  step.found = FrameCrossings(CrossingsInputOf(frame_, app_), task);
  if (step.found.cancelled || task.Cancelled()) {
    step.error = StepError::Cancelled;
    return step;
  }
  if (!step.found.message.empty()) step.messages.push_back(step.found.message);
  if (step.found.crossings.empty()) step.error = StepError::NotFound;
  // Drawn as several satellites are: positions in the sunlit or the shadow colour, a label per satellite.
  const float width = static_cast<float>(frame_.imageWidth), height = static_cast<float>(frame_.imageHeight);
  for (const FrameCrossing& crossing : step.found.crossings) {
    const Rgb colour = crossing.sunlit ? app_.palette.trajectory : app_.palette.trajectoryAux;
    std::vector<TrajectoryMark> marks;
    for (const CrossingSample& s : crossing.path) {
      TrajectoryMark mark;
      mark.x = static_cast<float>(s.x);
      mark.y = static_cast<float>(s.y);
      mark.colour = colour;
      mark.timeText = TimeText(s.mjd);
      marks.push_back(std::move(mark));
    }
    if (marks.empty()) continue;
    const std::string text = crossing.name + " (" + FormatNumber(crossing.catalogNumber, "0") + ")";
    frame_.satellites.labels.push_back(PlaceTrajectoryLabel(marks.front(), marks.back(), text, colour, width, height));
    frame_.satellites.marks.insert(frame_.satellites.marks.end(), marks.begin(), marks.end());
  }
  return step;
}

SeveralStep FrameSession::SeveralTrajectories(std::span<const SatelliteRequest> satellites, bool labels) {
  SeveralStep step;
  frame_.rememberedSatellites.clear();
  for (const SatelliteRequest& request : satellites) frame_.rememberedSatellites.push_back(request.number);
  step.drawn =
      SeveralSatelliteTrajectories(app_.appDir, satellites, labels, frame_.info, Canvas(), app_.palette.trajectoryAux);
  frame_.satellites.marks = step.drawn.marks;
  frame_.satellites.labels = step.drawn.labels;
  step.messages = step.drawn.messages;
  if (!step.messages.empty()) step.error = StepError::NotFound;
  return step;
}

void FrameSession::Remember(int number, const std::string& name) {
  frame_.identifiedNorad = number;
  frame_.identifiedName = name;
}

void FrameSession::RememberForSeveral(int number) {
  frame_.rememberedSatellites.push_back(number);
}

std::string FrameSession::IodRefusal() const {
  if (frame_.trackEnds.count != 2 || !frame_.plate.Solved()) return kIodNeedsTwoEndsText;
  // Ends read from a file may have pixels but no sky position: a report of zeros would be a false one.
  for (const IodPosition& position : IodInputOf(frame_, 0, "").positions)
    if (!IodPositionMeasured(position)) return kIodEndsNotMeasuredText;
  return "";
}

IodStep FrameSession::IodReport(int number, const std::string& designator, const std::string& path) {
  IodStep step;
  if (const std::string refusal = IodRefusal(); !refusal.empty()) {
    step.error = StepError::Refused;
    step.messages.push_back(refusal);
    return step;
  }
  const IodInput input = IodInputOf(frame_, number, designator);
  step.report = path.empty() ? WriteIodReport(app_.appDir, input) : WriteIodReportTo(path, input);
  if (!step.report.ok) {
    step.error = StepError::WriteFailed;
    step.messages.push_back(step.report.message);
    return step;
  }
  // The report keeps the stated times; a clock the prediction disagrees with is pointed out once more.
  if (const std::optional<TrackTiming> timing = Timing(number)) {
    const std::string warning = ClockWarning(*timing, frame_.info.utError, frame_.info.exposure);
    if (!warning.empty()) step.messages.push_back(warning);
  }
  return step;
}

StepResult FrameSession::SetStationCode(int code) {
  StepResult step;
  if (code < kStationCodeLowest || code > kStationCodeHighest) {
    step.error = StepError::BadEntry;
    step.messages.emplace_back(kStationCodeRangeText);
    return step;
  }
  frame_.info.stationCode = static_cast<std::int16_t>(code);
  int places = 0;
  if (const WriteResult written =
          GivePlacesCode(app_.appDir, frame_.info.longitude, frame_.info.latitude, frame_.info.stationCode, places);
      !written)
    step.messages.push_back("Код станции не записан в файл списка мест наблюдения " + PlacesFileName(app_.appDir) +
                            ": " + written.reason + ".\r\nКод будет использован для этого кадра.");
  return step;
}

IodStep FrameSession::FrameIodReport() {
  IodStep step;
  const int number = frame_.identifiedNorad;
  std::string refusal = IodRefusal();
  if (refusal.empty() && number <= 0) refusal = kIodNoSatelliteText;
  if (!refusal.empty()) {
    step.error = StepError::Refused;
    step.messages.push_back(refusal);
    return step;
  }
  // The candidate's own element set when the satellite came from the list, else the database's nearest.
  TleRecord tle;
  bool found = false;
  for (const CandidateRecord& record : frame_.satellites.candidates.records)
    if (record.tle.catalogNumber == number) {
      tle = record.tle;
      found = true;
      break;
    }
  const std::string path = SatelliteFilePath(app_.appDir, number);
  if (!found) found = ReadBestSet(path, frame_.info.startMjd, tle) && tle.catalogNumber == number;
  if (!found) {
    step.error = StepError::NotFound;
    step.messages.push_back("Файл " + path + " не найден.");
    return step;
  }
  // The report's times follow the satellite: end 1 at the exposure's start is the end it passes first.
  const std::vector<TrajectoryMark> marks = ::CandidateTrajectory(tle, frame_.info, Canvas(), app_.palette);
  const TrackPoint& a = frame_.trackEnds[1];
  const TrackPoint& b = frame_.trackEnds[2];
  if (ExchangeTrackEnds(marks, a.x, a.y, b.x, b.y)) {
    std::swap(frame_.trackEnds[1], frame_.trackEnds[2]);
    step.endsExchanged = true;
  }
  IodStep written = IodReport(number, tle.designator);
  written.endsExchanged = step.endsExchanged;
  return written;
}

StepResult FrameSession::Save() {
  StepResult step;
  const InfoFileData now = InfoFileOf(frame_);
  std::string& path = frame_.infoFilePath;
  // Another frame of the same name and stamp took the file meanwhile: this frame's go to a name of its own.
  if (!path.empty() && !InfoFileBelongsTo(path, frame_.imagePath, frame_.imageWidth, frame_.imageHeight)) {
    path = FindInfoFile(app_.appDir, frame_.imagePath, frame_.imageWidth, frame_.imageHeight);
    savedStamp_ = InfoFileStamp(path);
    mergeOnly_ = false;
  }
  WriteResult written;
  const std::string stamp = InfoFileStamp(path);
  // Unchanged since read or written, or gone: nobody else's values are there to keep.
  if ((!mergeOnly_ && stamp == savedStamp_) || stamp.empty()) {
    written = WriteInfoFile(path, now);
  } else {
    // Changed by another program while the frame was open: its values stay but where this one changed some.
    const InfoMerge merge = WriteInfoFileChanges(path, savedInfo_, now);
    written = merge.written;
    mergeOnly_ = true;
    if (written && !merge.sections.empty()) {
      std::string names;
      for (const std::string& section : merge.sections) names += (names.empty() ? "" : ", ") + section;
      step.messages.push_back("Информационный файл " + path +
                              " изменён другой программой, пока кадр был открыт: его значения сохранены, "
                              "записаны только разделы, изменённые здесь (" + names + ").");
    }
  }
  if (!written) {
    step.error = StepError::WriteFailed;
    step.messages.push_back(written.reason);
    return step;
  }
  savedInfo_ = now;
  savedStamp_ = InfoFileStamp(path);
  return step;
}
