#pragma once
// The user's steps on the open frame, from opening it to its IOD report: FrameSession holds one method per
// step, and the desktop windows, the command line and the automatic road all go through it, so that every
// rule of a step exists once. Beside it, the plain conversions between the frame record and the
// information file, identification, the candidate search and the IOD report.

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "astrometry/identify.h"
#include "frameinfo/info_file.h"
#include "frameinfo/iod.h"
#include "image/auto_detect.h"
#include "image/decode.h"
#include "orbit/candidates.h"
#include "orbit/crossings.h"
#include "orbit/trajectories.h"
#include "session/app_state.h"
#include "session/commands.h"

// Takes a decoded frame into the record: path, size, brightness raster, the colour pixels and the marking-frame
// size of the current index. Leaves frameOpen and the analysis state alone.
void InstallFrame(FrameState& frame, const AppState& app, const std::string& path, DecodedImage decoded);

// What the information file keeps of the frame.
InfoFileData InfoFileOf(const FrameState& frame);
// Takes the values read from an information file into the frame; the visibility switch and the station
// code are the panel's own and stay as they are.
void ApplyInfoFile(FrameState& frame, const InfoFileData& data);
// Reads the information file at path into the frame (missing keys keep their defaults) and derives the
// frame times. Returns the messages about values that were not used.
std::vector<std::string> ReadInfoIntoFrame(FrameState& frame, const std::string& path);

// The identification command's input for the frame's marks and circumstances; with a pointing in altitude
// and azimuth the centre is the one it gives at the frame's time (PointingCentre), not the typed RA/Dec.
IdentificationInput IdentificationInputOf(const FrameState& frame, AppState& app);
// Takes a successful identification into the frame: plate solution, field-size text and the marks'
// identities.
void AdoptIdentification(FrameState& frame, const IdentificationResult& result);

// Computes the Moon's visibility, phase and distance from the frame centre for the frame's circumstances
// and plate solution and keeps them in the frame; nothing changes when the circumstances are not usable.
void UpdateFrameMoon(FrameState& frame, LogFile& log);

// The candidate search's input: the measured ends, the track window and the site of the frame.
CandidateSearchInput CandidateSearchInputOf(const FrameState& frame, const AppState& app);

// The crossing search's input: the frame's plate, size, window widened by the clock error and site.
CrossingsInput CrossingsInputOf(const FrameState& frame, const AppState& app);

// The report of the frame's two measured ends for a satellite: end 1 at the exposure's start, end 2 at
// its end, with the frame's station code and year.
IodInput IodInputOf(const FrameState& frame, int catalogueNumber, const std::string& designator);

// Texts of the automatic star and streak steps (caption "Сообщение").
inline constexpr const char* kAutoNoStarsText = "На кадре не найдено достаточно звезд для идентификации.";
inline constexpr const char* kAutoNoStreakText = "На кадре не найдено трека.";
inline constexpr const char* kAutoStreakNotChosenText = "Трек не выбран.";
inline constexpr const char* kAutoSeveralStreaksText = "На кадре найдено несколько треков; выбран трек ";
// The IOD report's refusal without two measured ends (caption "Сообщения").
inline constexpr const char* kIodNeedsTwoEndsText = "Нужны два измерения  трека";
// The refusal of an IOD report whose ends have no measured sky position (or the frame no time).
inline constexpr const char* kIodEndsNotMeasuredText = "Концы трека не измерены (нет RA/Dec или времени): отчёт IOD не записан";

// The report written from the menu for the frame's satellite (caption "Сообщение"): without a satellite taken
// for the frame; the station code asked for when the site has none, and its range.
inline constexpr const char* kIodNoSatelliteText =
    "Спутник кадра не выбран.\r\nВыберите претендента (Автоматическая обработка или Поиск претендентов ИСЗ) "
    "или задайте номер в окне \"Траектория конкретного ИСЗ\" и запомните его.";
inline constexpr const char* kStationCodeQuestionText = "У места наблюдения нет кода станции. Код станции (для IOD):";
inline constexpr const char* kStationCodeRangeText = "Код станции должен быть от 1 до 9999";
// The lowest and highest station codes a report can carry.
inline constexpr int kStationCodeLowest = 1, kStationCodeHighest = 9999;

// How a user step ended.
enum class StepError {
  None,               // the step did its work
  Refused,            // the frame does not meet a requirement of the step (no frame, too few stars, ...)
  BadEntry,           // a number the user gave for the step is out of its range (a catalogue number, a step)
  BadCircumstances,   // the frame's circumstances are unusable (a date, a time, a site)
  NotFound,           // the work found nothing: no star, no streak, no solution, no candidate, no satellite file
  CalculationFailed,  // the satellite's positions could not be computed
  WriteFailed,        // a file could not be written
  Cancelled,          // the user stopped the step
};

// What every step returns: how it ended and the user's texts to show, in order (caption "Сообщение").
// A step that did its work may still have texts to show (a warning, a doubtful result).
struct StepResult {
  StepError error = StepError::None;
  std::vector<std::string> messages;

  bool Ok() const { return error == StepError::None; }
};

// Opening a frame: whether its information file was found and read.
struct OpenStep : StepResult {
  bool infoRead = false;
};

// The panel's circumstances taken into the frame.
struct CircumstancesStep : StepResult {
  CollectResult collected;
};

// A star marked at a point.
struct StarStep : StepResult {
  StarDetection detection;
};

// The streaks of the frame and its sky background.
struct StreakSearch : StepResult {
  SkyBackground sky;
  std::vector<StreakCandidate> streaks;  // strongest first
};

// Automatic star marking.
struct AutoStarsStep : StepResult {
  AutoStarMarking marking;
  std::vector<StreakCandidate> streaks;  // the streaks kept free of star marks
};

// Star identification.
struct IdentifyStep : StepResult {
  IdentificationResult identification;
  bool blind = false;  // the whole-sky solver calibrated the frame
};

// A track end marked at a point.
struct TrackEndStep : StepResult {
  bool found = false;  // an end was detected (always true for a mark placed exactly)
  float ex = 0.0f;     // where, image pixels
  float ey = 0.0f;
  TrackEndAddition addition;
};

// Picks one of several streaks (their list, strongest first): the index, or -1 to choose none.
using StreakChooser = std::function<int(const std::vector<StreakCandidate>&)>;

// The automatic streak: its ends marked.
struct StreakStep : StepResult {
  std::vector<StreakCandidate> streaks;
  int chosen = -1;  // index into streaks
  std::vector<TrackEndAddition> additions;
};

// The track measured.
struct MeasureStep : StepResult {
  TrackMeasurement measurement;
};

// The candidate search.
struct CandidatesStep : StepResult {
  CandidateSearchResult search;
};

// One satellite's trajectory over the frame.
struct TrajectoryStep : StepResult {
  SingleTrajectory trajectory;
  bool endsExchanged = false;  // end 1 became the end the satellite passed first

  // When it passed the measured ends (both measured on a calibrated frame).
  std::optional<TrackTiming> timing;
};

// Every satellite that crossed the frame.
struct CrossingsStep : StepResult {
  CrossingsResult found;
};

// Several satellites' trajectories over the frame.
struct SeveralStep : StepResult {
  SeveralTrajectories drawn;
};

// The IOD report written.
struct IodStep : StepResult {
  IodResult report;
  bool endsExchanged = false;  // end 1 became the end the satellite passed first
};

// The requirements of the crossing search.
inline constexpr std::initializer_list<Requirement> kCrossingRequirements = {Requirement::Solved};

// The requirements of the candidate search, in the order they are checked.
inline constexpr std::initializer_list<Requirement> kCandidateRequirements = {
    Requirement::Solved, Requirement::TrackMarked, Requirement::TwoTrackEnds};

// Every step the user takes on the open frame, for both front ends and the automatic road: each reads and
// changes the program's and the frame's state and says how it went, and shows nothing. The records stay
// owned by the caller.
class FrameSession {
public:
  FrameSession(AppState& app, FrameState& frame) : app_(app), frame_(frame) {}

  AppState& App() { return app_; }
  FrameState& Frame() { return frame_; }
  const FrameState& Frame() const { return frame_; }

  // Takes a decoded frame from path: the pixels, the display geometry, the marking-frame size of the
  // frame's size index; the previous frame's marks, calibration, track, satellites and Moon go. Then reads
  // infoPath, or when it is empty the frame's own information file (DIR/Info) when it has one; the frame's
  // work is written to its own file in either case.
  OpenStep Open(const std::string& path, DecodedImage decoded, const std::string& infoPath = {});
  // Takes the panel's texts into the frame's circumstances; strict: a bad date, time or site stops it.
  CircumstancesStep Circumstances(const PanelEntries& entries, bool strict);
  // A star search at image pixel (x, y) that marks a star found there.
  StarStep MarkStar(int x, int y);
  // A star mark exactly at image pixel (x, y) of the given size.
  StarStep MarkStarAt(float x, float y, std::int16_t size);
  // The frame's streaks and sky background.
  StreakSearch FindFrameStreaks(const AutoDetectOptions& options, TaskControl& task);
  // Marks the brightest stars spread over the frame, off the given streaks, instead of the marks there were.
  AutoStarsStep AutoStars(const AutoDetectOptions& options, const StreakSearch& found);
  // Finds the streaks, then marks the stars off them.
  AutoStarsStep AutoStars(const AutoDetectOptions& options, TaskControl& task);
  // Identifies the marked stars: about the panel's centre when knownCentre is set, else over the whole sky;
  // with blindAfter the whole sky is tried when the centre gives nothing. A calibration found is taken with
  // the marks' identities, the field size and the Moon.
  IdentifyStep Identify(bool knownCentre, bool blindAfter, TaskControl& task);
  // Marks a track end at image pixel (x, y): the end of a streak found near it, or with exact the point
  // itself. On a calibrated frame the end gets its sky position.
  TrackEndStep MarkTrackEnd(float x, float y, bool exact);
  // Marks both ends of one of the streaks (the only one, the one choose picks, or the strongest with a
  // warning) instead of the ends there were.
  StreakStep MarkStreak(const std::vector<StreakCandidate>& streaks, const StreakChooser& choose);
  // Finds the streaks and marks the ends of one as MarkStreak does.
  StreakStep AutoStreak(const AutoDetectOptions& options, TaskControl& task, const StreakChooser& choose);
  // Measures the marked track; the lines go to sink as they come.
  MeasureStep Measure(TaskControl& task, const MeasurementLineSink& sink = {});
  // Searches the database for satellites along the measured track; listChanged sees the list grow.
  CandidatesStep Candidates(const CandidateFilter& filter, TaskControl& task,
                            const std::function<void(const CandidateList&)>& listChanged = {});
  // Draws the trajectory of the candidate of the list's record (1-based); false when there is no such record.
  bool CandidateTrajectory(int recordIndex);
  // Computes one satellite's positions over the exposure at the step (seconds), draws them and makes end 1
  // the end the satellite passed first.
  TrajectoryStep Trajectory(int number, double stepSeconds);
  // Draws several satellites' trajectories (with their name labels when labels is set) and remembers them.
  SeveralStep SeveralTrajectories(std::span<const SatelliteRequest> satellites, bool labels);
  // Lists every satellite of the database whose path crosses the calibrated frame during the exposure
  // widened by the clock error, and draws their paths with name labels instead of what was drawn.
  CrossingsStep Crossings(TaskControl& task);
  // When the satellite's prediction passes the frame's two measured ends; none without them, without the
  // satellite's file or when it does not pass them.
  std::optional<TrackTiming> Timing(int number) const;
  // Takes a satellite as the frame's identification.
  void Remember(int number, const std::string& name);
  // Adds a satellite to those remembered for drawing several.
  void RememberForSeveral(int number);
  // Why the IOD report cannot be written for the frame ("" when it can): two measured ends are needed.
  std::string IodRefusal() const;
  // Writes the IOD report of the two measured ends for the satellite, to path when one is given (otherwise
  // into the application directory).
  IodStep IodReport(int number, const std::string& designator, const std::string& path = {});
  // True when the frame's site has no station code, so that a report would carry none: the user gives one
  // first (SetStationCode).
  bool StationCodeMissing() const { return frame_.info.stationCode == 0; }
  // Gives the frame's site the station code (kStationCodeLowest..kStationCodeHighest) and keeps it with
  // the places of the places file at the site that have no code. BadEntry for a code out of range; a
  // places file that cannot be rewritten leaves the code with the frame and says so.
  StepResult SetStationCode(int code);
  // The report of the frame's satellite, as the menu writes it after either road: the satellite taken for
  // the frame (the first candidate of the automatic road, or the one remembered by hand), its designator
  // from the candidate list or its database file; end 1 becomes the end the satellite passed first.
  IodStep FrameIodReport();
  // Writes the frame's information file. When another program changed the file since it was read or
  // last written, only the sections changed here are written onto its values, and a message says so;
  // when the file now belongs to another frame, this frame's values go to a name of its own.
  StepResult Save();
  // Exchanges the measured ends when the drawn trajectory runs from end 2 to end 1, so that end 1 is the
  // end the satellite passed first. True when they were exchanged.
  bool OrderTrackEnds();
  // The drawing surface of the frame for trajectories.
  TrajectoryCanvas Canvas() const;

private:
  // Forgets what belongs to the previous frame.
  void ClearAnalysis();
  // The trail the open frame's stars share (not found for round stars), measured once per frame.
  const StarTrailShape& FrameTrail();

  AppState& app_;
  FrameState& frame_;
  StarTrailShape trail_;
  std::array<std::uint64_t, 4> trailOf_{};  // which raster trail_ was measured on
  InfoFileData savedInfo_;  // the information as read or last written
  std::string savedStamp_;  // the file's stamp then
  bool mergeOnly_ = false;  // another program wrote the file: only changes go onto it from now on
};
