#include "cli/cli_commands.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "astrometry/identify.h"
#include "astrometry/sky_frames.h"
#include "astrometry/track.h"
#include "base/calendar.h"
#include "base/numbers.h"
#include "cli/cli_frame.h"
#include "cli/cli_run.h"
#include "image/auto_detect.h"
#include "image/detection.h"
#include "orbit/candidates.h"
#include "orbit/crossings.h"
#include "orbit/trajectories.h"
#include "satdb/satdb.h"
#include "session/auto_chain.h"
#include "session/commands.h"
#include "session/frame_session.h"

namespace fs = std::filesystem;

namespace {

// ---- Positions ----

// The catalogue number operand at index i, or a usage error.
std::optional<int> NoradOperand(Run& run, std::size_t i) {
  if (run.args.operands.size() <= i) return std::nullopt;
  const std::string& text = run.args.operands[i];
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || n <= 0 || n > 999999) {
    run.out.Message("not a catalogue number: " + text);
    return std::nullopt;
  }
  return static_cast<int>(n);
}

// A candidate's timing, brightness and group, added to its JSON row when known.
void AddTimingJson(nlohmann::json& row, const CandidateRow& candidate) {
  if (candidate.timing) {
    const TrackTiming& t = *candidate.timing;
    row["timing"] = {{"end1_mjd", t.end1Mjd},
                     {"end1_time", TimeText(t.end1Mjd)},
                     {"end2_mjd", t.end2Mjd},
                     {"end2_time", TimeText(t.end2Mjd)},
                     {"clock_offset_s", t.offsetSeconds},
                     {"exposure_s", t.exposureSeconds}};
  }
  if (candidate.magnitude) row["magnitude"] = *candidate.magnitude;
  if (candidate.group > 0) row["group"] = candidate.group;
}

// The position table and marks of one satellite over the frame's window, as the single-satellite window
// computes them, with end 1 made the end it passed first; the result's JSON holds the points in J2000 and,
// on a calibrated frame, the image pixels.
int ShowTrajectory(Run& run, FrameSession& session, int norad, double step, SingleTrajectory& result) {
  const TrajectoryStep computed = session.Trajectory(norad, step);
  for (const std::string& message : computed.messages) run.out.Message(message);
  // The element set gave no position at all over the window (too far from its epoch, or decayed).
  if (computed.error == StepError::CalculationFailed && computed.messages.empty())
    run.out.Message("no position of " + std::to_string(norad) +
                    " could be computed over the exposure window: its element sets do not reach that date");
  if (computed.error == StepError::BadEntry || computed.error == StepError::NotFound) return ExitCodeOf(computed.error);
  result = computed.trajectory;
  for (const std::string& line : result.lines) run.out.Line(line);
  nlohmann::json& j = run.out.Json();
  j["norad"] = norad;
  j["name"] = result.displayName;
  j["designator"] = result.designator;
  j["points"] = nlohmann::json::array();
  for (const TrajectoryPoint& p : result.points) {
    const J2000Direction sky = TemeToJ2000(p.sky, p.time);
    nlohmann::json point = SkyJson(sky.raRad, sky.decRad);
    point["mjd"] = p.time;
    point["time"] = TimeText(p.time);
    point["above_horizon"] = p.range >= 0;
    if (p.range >= 0) {
      point["range_km"] = p.range;
      point["phase_deg"] = p.phase;
      point["sunlit"] = p.sunlit != 0;
    }
    j["points"].push_back(point);
  }
  j["marks"] = nlohmann::json::array();
  for (const TrajectoryMark& m : result.marks) j["marks"].push_back({{"x", m.x}, {"y", m.y}, {"time", m.timeText}});
  if (computed.endsExchanged) j["ends_exchanged"] = true;
  if (computed.timing) {
    CandidateRow timed;
    timed.timing = computed.timing;
    AddTimingJson(j, timed);
  }
  return ExitCodeOf(computed.error);
}

int Propagate(Run& run) {
  const std::optional<int> norad = NoradOperand(run, 0);
  if (!norad) return kExitUsage;
  Numbers number{run, {}};
  const std::optional<double> step = number("step");
  if (number.Bad()) return kExitUsage;
  AppState app;
  if (const int code = PrepareApp(run.args, run.executable, false, app, run.out, run.progress)) return code;
  FrameState frame;
  FrameSession session(app, frame);
  if (run.args.Has("info")) {
    std::error_code ec;
    if (!fs::is_regular_file(run.args.Text("info"), ec)) {
      run.out.Message("no information file " + run.args.Text("info"));
      return kExitInput;
    }
    for (const std::string& message : ReadInfoIntoFrame(frame, run.args.Text("info"))) run.out.Message(message);
  }
  if (const int code = ApplyCircumstances(run.args, true, session, run.out)) return code;
  SingleTrajectory result;
  return ShowTrajectory(run, session, *norad, step.value_or(1.0), result);
}

// ---- Frames ----

// The frame of the first operand with the program's working files; strict collects the circumstances as
// the commands that need them do.
struct OpenedFrame {
  AppState app;
  FrameState frame;
  FrameSession session{app, frame};
};

int OpenFrameOperand(Run& run, bool needIndex, bool strict, OpenedFrame& f, const std::string& path) {
  if (const int code = PrepareApp(run.args, run.executable, needIndex, f.app, run.out, run.progress)) return code;
  return OpenCliFrame(run.args, path, strict, f.session, run.out);
}

// Reads a marks file: one "x y" or "x,y" per line in image pixels; '#' starts a comment.
bool ReadMarksFile(const std::string& path, std::vector<std::pair<double, double>>& points) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    const std::size_t first = line.find_first_not_of(" \t");
    const std::size_t last = line.find_last_not_of(" \t\r");
    double x = 0, y = 0;
    if (!ParsePoint(line.substr(first, last - first + 1), x, y)) return false;
    points.emplace_back(x, y);
  }
  return true;
}

// Marks the stars of the marks file: each point a click in star-marking mode, or with --exact a mark
// exactly there.
int MarkStarsFromFile(Run& run, OpenedFrame& f) {
  std::vector<std::pair<double, double>> points;
  if (!ReadMarksFile(run.args.Text("marks"), points)) {
    run.out.Message("cannot read the marks file " + run.args.Text("marks") + " (lines \"x y\")");
    return kExitInput;
  }
  f.frame.starMarks.clear();
  for (const auto& [x, y] : points) {
    if (run.args.Has("exact")) {
      f.session.MarkStarAt(static_cast<float>(x), static_cast<float>(y), 1);
      continue;
    }
    const StarStep found = f.session.MarkStar(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
    if (!found.Ok()) run.out.Message("no star at " + FormatNumber(x, "0.0") + " " + FormatNumber(y, "0.0"));
  }
  return kExitOk;
}

// The automatic detection's settings of the options: --stars, the number of stars to mark.
bool DetectOptionsOf(Run& run, AutoDetectOptions& detect) {
  Numbers number{run, {}};
  const std::optional<double> stars = number("stars");
  if (number.Bad()) return false;
  if (stars && (*stars < kMinIdentificationStars || *stars > 200)) {
    run.out.Message("option --stars: a number from 4 to 200");
    return false;
  }
  if (stars) detect.starCount = static_cast<int>(*stars);
  return true;
}

// The streaks of the frame, strongest first, listed in the result.
StreakSearch FindFrameStreaks(Run& run, FrameSession& session, const AutoDetectOptions& detect) {
  run.progress.Stage("looking for streaks");
  StreakSearch found = session.FindFrameStreaks(detect, run.progress);
  const std::vector<StreakCandidate>& streaks = found.streaks;
  nlohmann::json& list = run.out.Json()["streaks"];
  list = nlohmann::json::array();
  for (std::size_t i = 0; i < streaks.size(); ++i) {
    const StreakCandidate& k = streaks[i];
    list.push_back({{"x1", k.x1},
                    {"y1", k.y1},
                    {"x2", k.x2},
                    {"y2", k.y2},
                    {"length_px", k.Length()},
                    {"snr", k.snr},
                    {"fitted", k.fitted}});
  }
  return found;
}

// Automatic star marking: the streaks are found first so that no star is taken from one, then the
// brightest stars spread over the frame are clicked as in star-marking mode.
int MarkStarsAutomatically(Run& run, OpenedFrame& f, const AutoDetectOptions& detect) {
  const StreakSearch found = FindFrameStreaks(run, f.session, detect);
  run.progress.Stage("marking the stars");
  const AutoStarMarking marking = f.session.AutoStars(detect, found).marking;
  run.out.Json()["stars_found"] = marking.candidates;
  run.out.Line("stars found: " + std::to_string(marking.candidates) + ", marked: " + std::to_string(marking.marked));
  if (!marking.shortage.empty()) {
    run.out.Json()["stars_shortage"] = marking.shortage;
    run.out.Line(marking.shortage);
  }
  return kExitOk;
}

// Marks the ends of a streak found on the frame: the one --streak N names, or the strongest.
int MarkStreakAutomatically(Run& run, OpenedFrame& f, const AutoDetectOptions& detect) {
  const std::vector<StreakCandidate> streaks = FindFrameStreaks(run, f.session, detect).streaks;
  if (streaks.empty()) {
    run.out.Message(kAutoNoStreakText);
    return kExitNotFound;
  }
  for (std::size_t i = 0; i < streaks.size(); ++i) run.out.Line(StreakText(static_cast<int>(i + 1), streaks[i]));
  StreakChooser choose;
  if (run.args.Has("streak")) {
    Numbers number{run, {}};
    const std::optional<double> n = number("streak");
    if (number.Bad() || *n < 1 || *n > static_cast<double>(streaks.size())) {
      run.out.Message("option --streak: a number from 1 to " + std::to_string(streaks.size()));
      return kExitUsage;
    }
    choose = [chosen = static_cast<int>(*n) - 1](const std::vector<StreakCandidate>&) { return chosen; };
  }
  const StreakStep marked = f.session.MarkStreak(streaks, choose);
  for (const std::string& message : marked.messages) run.out.Message(message);
  run.out.Json()["chosen_streak"] = marked.chosen + 1;
  return ExitCodeOf(marked.error);
}

// Identification of the marked stars and its result in the frame.
int IdentifyMarked(Run& run, OpenedFrame& f) {
  const bool refused = !Refusal(f.frame, {Requirement::FrameOpen, Requirement::EnoughStars}).empty();
  if (!refused) run.progress.Stage("identifying the stars");
  const IdentifyStep step = f.session.Identify(KnownCentreFor(run.args, f.frame.info), false, run.progress);
  for (const std::string& message : step.messages) run.out.Message(message);
  if (step.error == StepError::Refused) return ExitCodeOf(step.error);
  const IdentificationResult& id = step.identification;
  nlohmann::json& j = run.out.Json()["identification"];
  j["success"] = id.success;
  j["stars_marked"] = f.frame.starMarks.size();
  if (!step.Ok()) return ExitCodeOf(step.error);
  const PlateSolution& p = f.frame.plate;
  j["stars_identified"] = p.nid;
  j["centre"] = {{"ra_deg", p.ra0Deg}, {"dec_deg", p.dec0Deg}};
  j["scale_arcsec_per_px"] = {p.mxArcsec, p.myArcsec};
  j["rotation_deg"] = p.fDeg;
  j["mirrored"] = std::fabs(p.gDeg) > 90.0;
  j["field"] = p.fieldSize;
  const IdentificationPanelTexts& t = id.panel;
  run.out.Line("stars: " + t.stars);
  run.out.Line("centre: " + t.ra + " " + t.dec);
  run.out.Line("scale: " + t.scaleX + " x " + t.scaleY);
  run.out.Line("field: " + t.fieldSize + ", rotation " + t.rotation + ", mirrored " + t.mirrored);
  return kExitOk;
}

int Identify(Run& run) {
  if (!NeedOperands(run, 1, "FRAME")) return kExitUsage;
  if (run.args.Has("auto") == run.args.Has("marks")) {
    run.out.Message("identify needs --marks FILE or --auto");
    return kExitUsage;
  }
  AutoDetectOptions detect;
  if (!DetectOptionsOf(run, detect)) return kExitUsage;
  OpenedFrame f;
  // The circumstances are needed strictly only for the visibility test, as in the desktop program.
  const bool strict = !run.args.Has("ignore-visibility");
  if (const int code = OpenFrameOperand(run, false, strict, f, run.args.operands[0])) return code;
  // The whole-sky solver needs the asterism index, built once.
  if (!KnownCentreFor(run.args, f.frame.info))
    if (const int code = PrepareApp(run.args, run.executable, true, f.app, run.out, run.progress)) return code;
  int code = run.args.Has("auto") ? MarkStarsAutomatically(run, f, detect) : MarkStarsFromFile(run, f);
  if (code == kExitOk) code = IdentifyMarked(run, f);
  return Worse(code, code == kExitOk ? SaveCliFrame(f.session, run.out) : kExitOk);
}

// Marks a track end at a point: a click in automatic track-end mode, or with exact the pixel itself.
bool MarkTrackEnd(Run& run, OpenedFrame& f, double x, double y, bool exact) {
  const TrackEndStep marked = f.session.MarkTrackEnd(static_cast<float>(x), static_cast<float>(y), exact);
  if (!exact && !marked.Ok()) {
    run.out.Message("no track end near " + FormatNumber(x, "0.0") + " " + FormatNumber(y, "0.0"));
    return false;
  }
  return true;
}

// The measured track: its lines, the ends in pixels and J2000.
void ReportTrack(Run& run, const FrameState& frame, const TrackMeasurement& measured) {
  nlohmann::json& j = run.out.Json()["track"];
  j["refined"] = measured.refined;
  j["lines"] = measured.lines;
  j["ends"] = nlohmann::json::array();
  for (int i = 1; i <= frame.trackEnds.count; ++i) {
    const TrackPoint& e = frame.trackEnds[static_cast<std::size_t>(i)];
    nlohmann::json end = SkyJson(e.ra, e.dec);
    end["x"] = e.x;
    end["y"] = e.y;
    j["ends"].push_back(end);
  }
  for (const std::string& line : measured.lines) run.out.Line(line);
}

// Measures the frame's marked track (both ends must be marked).
int MeasureMarked(Run& run, OpenedFrame& f) {
  if (Refusal(f.frame, {Requirement::TrackMeasurable}).empty()) run.progress.Stage("measuring the track");
  const MeasureStep step = f.session.Measure(run.progress);
  for (const std::string& message : step.messages) run.out.Message(message);
  if (!step.Ok()) return ExitCodeOf(step.error);
  const TrackMeasurement& measured = step.measurement;
  if (!measured.failureText.empty()) run.out.Message(measured.failureText);
  ReportTrack(run, f.frame, measured);
  return kExitOk;
}

int Measure(Run& run) {
  if (!NeedOperands(run, 1, "FRAME")) return kExitUsage;
  AutoDetectOptions detect;
  if (!DetectOptionsOf(run, detect)) return kExitUsage;
  OpenedFrame f;
  if (const int code = OpenFrameOperand(run, false, true, f, run.args.operands[0])) return code;
  if (run.args.Has("auto")) {
    if (const int code = MarkStreakAutomatically(run, f, detect)) return code;
  } else if (run.args.Has("end1") || run.args.Has("end2")) {
    f.frame.trackEnds = TrackEnds{};
    for (const char* name : {"end1", "end2"}) {
      if (!run.args.Has(name)) continue;
      double x = 0, y = 0;
      if (!ParsePoint(run.args.Text(name), x, y)) {
        run.out.Message(std::string("option --") + name + ": X,Y in image pixels");
        return kExitUsage;
      }
      if (!MarkTrackEnd(run, f, x, y, run.args.Has("exact"))) return kExitNotFound;
    }
  }
  const int code = MeasureMarked(run, f);
  return code == kExitOk ? SaveCliFrame(f.session, run.out) : code;
}

// The candidate filter of the options (the filter window's defaults otherwise).
bool FilterOf(Run& run, CandidateFilter& filter) {
  Numbers number{run, {}};
  filter.maxDistance = static_cast<float>(number("max-distance").value_or(filter.maxDistance));
  filter.maxDirection = static_cast<float>(number("max-direction").value_or(filter.maxDirection));
  filter.periodMin = number("period-min").value_or(filter.periodMin);
  filter.periodMax = number("period-max").value_or(filter.periodMax);
  filter.inclMin = number("incl-min").value_or(filter.inclMin);
  filter.inclMax = number("incl-max").value_or(filter.inclMax);
  return !number.Bad();
}

// Searches the database for the frame's measured track and lists the candidates.
int SearchCandidates(Run& run, OpenedFrame& f, const CandidateFilter& filter) {
  if (Refusal(f.frame, kCandidateRequirements).empty()) run.progress.Stage("searching the database");
  const CandidatesStep step = f.session.Candidates(filter, run.progress);
  for (const std::string& message : step.messages) run.out.Message(message);
  if (step.error == StepError::Refused) return ExitCodeOf(step.error);
  const CandidateList& list = f.frame.satellites.candidates;
  nlohmann::json& rows = run.out.Json()["candidates"];
  rows = nlohmann::json::array();
  for (const CandidateRow& row : list.rows) {
    nlohmann::json j = {{"norad", row.catalogNumber}, {"name", row.name},        {"r_deg", row.rDeg},
                        {"u_deg", row.uDeg},          {"age_days", row.ageDays}, {"score", row.score}};
    AddTimingJson(j, row);
    rows.push_back(j);
    run.out.Line(CandidateListText(row));
  }
  return ExitCodeOf(step.error);
}

// One end of a crossing as JSON.
nlohmann::json CrossingPointJson(const CrossingSample& s) {
  return {{"mjd", s.mjd}, {"time", TimeText(s.mjd)}, {"x", s.x}, {"y", s.y}};
}

int Crossings(Run& run) {
  if (!NeedOperands(run, 1, "FRAME")) return kExitUsage;
  OpenedFrame f;
  if (const int code = OpenFrameOperand(run, false, true, f, run.args.operands[0])) return code;
  if (Refusal(f.frame, kCrossingRequirements).empty()) run.progress.Stage("following the database over the frame");
  const CrossingsStep step = f.session.Crossings(run.progress);
  for (const std::string& message : step.messages) run.out.Message(message);
  if (step.error == StepError::Refused) return ExitCodeOf(step.error);
  nlohmann::json& list = run.out.Json()["crossings"];
  list = nlohmann::json::array();
  for (const FrameCrossing& c : step.found.crossings) {
    nlohmann::json j = {
        {"norad", c.catalogNumber},          {"name", c.name},     {"entry", CrossingPointJson(c.entry)},
        {"exit", CrossingPointJson(c.exit)}, {"sunlit", c.sunlit}, {"range_km", c.rangeKm}};
    if (c.magnitude) j["magnitude"] = *c.magnitude;
    list.push_back(j);
    run.out.Line(CrossingText(c));
  }
  return ExitCodeOf(step.error);
}

int Candidates(Run& run) {
  if (!NeedOperands(run, 1, "FRAME")) return kExitUsage;
  CandidateFilter filter;
  if (!FilterOf(run, filter)) return kExitUsage;
  OpenedFrame f;
  if (const int code = OpenFrameOperand(run, false, true, f, run.args.operands[0])) return code;
  return SearchCandidates(run, f, filter);
}

// The satellite's trajectory over the frame; with two measured ends, end 1 becomes the end it passed
// first, as when the single-satellite window draws it.
int FrameTrajectory(Run& run, OpenedFrame& f, int norad, double step, SingleTrajectory& result) {
  const int code = ShowTrajectory(run, f.session, norad, step, result);
  if (code != kExitOk) return code;
  if (run.args.Has("remember")) f.session.Remember(norad, result.displayName);
  return kExitOk;
}

int Trajectory(Run& run) {
  if (!NeedOperands(run, 2, "FRAME NORAD")) return kExitUsage;
  const std::optional<int> norad = NoradOperand(run, 1);
  Numbers number{run, {}};
  const std::optional<double> step = number("step");
  if (!norad || number.Bad()) return kExitUsage;
  OpenedFrame f;
  if (const int code = OpenFrameOperand(run, false, true, f, run.args.operands[0])) return code;
  SingleTrajectory result;
  const int code =
      FrameTrajectory(run, f, *norad, step.value_or(CandidateStepSeconds(MakeTrackWindow(f.frame.info))), result);
  return code == kExitOk ? SaveCliFrame(f.session, run.out) : code;
}

// Writes the report of the frame's measured ends for the satellite: to output when one is given, directly
// and atomically there, otherwise as iod_NNNNN.txt in the application directory; path is where it is.
int PlaceReport(Run& run, FrameSession& session, int norad, const std::string& designator, const std::string& output,
                std::string& path) {
  std::string target = output;
  if (!output.empty()) {
    std::error_code ec;
    const fs::path folder = fs::path(output).parent_path();
    if (!folder.empty()) fs::create_directories(folder, ec);
    if (ec) {
      run.out.Message("cannot write " + output + ": " + ec.message());
      return kExitWriteFailed;
    }
    const fs::path absolute = fs::absolute(output, ec);
    if (!ec) target = absolute.lexically_normal().string();
  }
  const IodStep step = session.IodReport(norad, designator, target);
  for (const std::string& message : step.messages) run.out.Message(message);
  if (!step.Ok()) return ExitCodeOf(step.error);
  path = output.empty() ? step.report.path : output;
  return kExitOk;
}

// Writes the report of the frame's measured ends for the satellite, moving it to output when given.
int WriteReport(Run& run, OpenedFrame& f, int norad, const std::string& output) {
  SingleTrajectory trajectory;
  const int code = FrameTrajectory(run, f, norad, CandidateStepSeconds(MakeTrackWindow(f.frame.info)), trajectory);
  if (code != kExitOk) return code;
  f.session.Remember(norad, trajectory.displayName);
  std::string path;
  const int written = PlaceReport(run, f.session, norad, trajectory.designator, output, path);
  if (written != kExitOk) return written;
  run.out.Json()["report"] = path;
  run.out.Line("report: " + path);
  return kExitOk;
}

int Iod(Run& run) {
  if (!NeedOperands(run, 1, "FRAME")) return kExitUsage;
  OpenedFrame f;
  if (const int code = OpenFrameOperand(run, false, true, f, run.args.operands[0])) return code;
  int norad = f.frame.identifiedNorad;
  if (run.args.operands.size() > 1) {
    const std::optional<int> given = NoradOperand(run, 1);
    if (!given) return kExitUsage;
    norad = *given;
  }
  if (norad <= 0) {
    run.out.Message("the frame is not identified with a satellite: give NORAD");
    return kExitUsage;
  }
  if (const std::string refusal = f.session.IodRefusal(); !refusal.empty()) {
    run.out.Message(refusal);
    return kExitNotFound;
  }
  const int code = WriteReport(run, f, norad, run.args.Text("output"));
  return Worse(code, SaveCliFrame(f.session, run.out));
}

// The name of the step the automatic road stopped at.
const char* StepName(AutoStep step) {
  switch (step) {
    case AutoStep::Stars:
      return "stars";
    case AutoStep::Identification:
      return "identification";
    case AutoStep::Streak:
      return "streak";
    case AutoStep::Measurement:
      return "measurement";
    case AutoStep::Search:
      return "search";
    case AutoStep::Done:
      break;
  }
  return "done";
}

// What the automatic road did on one frame, as JSON.
nlohmann::json AutoChainJson(const AutoChainResult& r, const FrameState& frame) {
  nlohmann::json j;
  j["reached"] = StepName(r.reached);
  j["success"] = r.success;
  j["message"] = r.message;
  j["warnings"] = r.warnings;
  j["stars_found"] = r.stars.candidates;
  j["stars_marked"] = r.stars.marked;
  j["stars_shortage"] = r.stars.shortage;
  j["identified_blind"] = r.identifiedBlind;
  j["stars_identified"] = frame.plate.Solved() ? frame.plate.nid : 0;
  j["streaks"] = r.streaks.size();
  j["chosen_streak"] = r.chosenStreak + 1;
  j["refined"] = r.measurement.refined;
  j["ends"] = nlohmann::json::array();
  for (int i = 1; i <= frame.trackEnds.count && frame.plate.Solved(); ++i) {
    const TrackPoint& e = frame.trackEnds[static_cast<std::size_t>(i)];
    nlohmann::json end = SkyJson(e.ra, e.dec);
    end["x"] = e.x;
    end["y"] = e.y;
    j["ends"].push_back(end);
  }
  j["candidates"] = nlohmann::json::array();
  for (const CandidateRow& row : frame.satellites.candidates.rows) {
    nlohmann::json candidate = {{"norad", row.catalogNumber},
                                {"name", row.name},
                                {"r_deg", row.rDeg},
                                {"u_deg", row.uDeg},
                                {"age_days", row.ageDays}};
    AddTimingJson(candidate, row);
    j["candidates"].push_back(candidate);
  }
  const AutoChainTimes& t = r.times;
  j["seconds"] = {{"stars", t.stars},   {"identification", t.identification},
                  {"streak", t.streak}, {"measurement", t.measurement},
                  {"search", t.search}, {"trajectory", t.trajectory}};
  return j;
}

// The automatic road on one frame, with the report of its first candidate. Returns the frame's exit code.
int AutoFrame(Run& run, AppState& app, const std::string& path, const AutoChainOptions& base, nlohmann::json& j) {
  FrameState frame;
  FrameSession session(app, frame);
  if (const int code = OpenCliFrame(run.args, path, true, session, run.out)) return code;
  AutoChainOptions options = base;
  // The road tries the given centre first and the whole sky after it.
  options.knownCentre = KnownCentreFor(run.args, frame.info);
  run.progress.Stage(path);
  const AutoChainResult r = RunAutoChain(app, frame, options, run.progress);
  j.update(AutoChainJson(r, frame));
  for (const std::string& warning : r.warnings) run.out.Message(path + ": " + warning);
  if (!r.success) {
    run.out.Message(path + ": " + r.message);
    if ((r.reached == AutoStep::Stars || r.reached == AutoStep::Identification) && !r.stars.shortage.empty())
      run.out.Message(path + ": " + r.stars.shortage);
    run.out.Line(path + ": stopped at " + StepName(r.reached) + ": " + r.message);
    return Worse(kExitNotFound, SaveCliFrame(session, run.out));
  }
  const CandidateRow& first = frame.satellites.candidates.rows.front();
  const TleRecord& tle = frame.satellites.candidates.records[static_cast<std::size_t>(first.recordIndex) - 1].tle;
  session.Remember(first.catalogNumber, first.name);
  std::string output;
  if (run.args.Has("reports"))
    output = (fs::path(run.args.Text("reports")) /
              (fs::path(path).stem().string() + "_iod_" + FormatNumber(first.catalogNumber, "00000") + ".txt"))
                 .string();
  std::string report;
  int code = PlaceReport(run, session, first.catalogNumber, tle.designator, output, report);
  if (code == kExitOk) j["report"] = report;
  run.out.Line(path + ": " + CandidateRowText(first) + (report.empty() ? "" : "  -> " + report) +
               (r.warnings.empty() ? "" : "  (" + std::to_string(r.warnings.size()) + " warning(s))"));
  return Worse(code, SaveCliFrame(session, run.out));
}

int Auto(Run& run) {
  if (!NeedOperands(run, 1, "FRAME")) return kExitUsage;
  AutoChainOptions options;
  if (!DetectOptionsOf(run, options.detect) || !FilterOf(run, options.filter)) return kExitUsage;
  AppState app;
  if (const int code = PrepareApp(run.args, run.executable, true, app, run.out, run.progress)) return code;
  nlohmann::json& frames = run.out.Json()["frames"];
  frames = nlohmann::json::array();
  int worst = kExitOk;
  for (const std::string& path : run.args.operands) {
    nlohmann::json j = {{"frame", path}};
    const int code = AutoFrame(run, app, path, options, j);
    j["exit_code"] = code;
    frames.push_back(j);
    worst = Worse(worst, code);
  }
  return worst;
}

}  // namespace

int RunCommand(const CliArguments& args, const std::string& executable, CliOutput& out) {
  static const std::map<std::string, std::function<int(Run&)>> commands = {
      {"import-tle", ImportTle},
      {"import-names", [](Run& run) { return ImportList(run, false); }},
      {"import-mags", [](Run& run) { return ImportList(run, true); }},
      {"clean", Clean},
      {"propagate", Propagate},
      {"identify", Identify},
      {"measure", Measure},
      {"candidates", Candidates},
      {"trajectory", Trajectory},
      {"crossings", Crossings},
      {"iod", Iod},
      {"auto", Auto},
  };
  const auto it = commands.find(args.command);
  if (it == commands.end()) {
    out.Message(args.command.empty() ? "no command given (orvia-cli --help)" : "unknown command: " + args.command);
    return kExitUsage;
  }
  Run run{args, executable, out, ProgressTask(args.quiet)};
  out.Json()["command"] = args.command;
  return it->second(run);
}
