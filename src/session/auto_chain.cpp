#include "session/auto_chain.h"

#include <chrono>
#include <cmath>

#include "session/commands.h"
#include "session/frame_session.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Doubts about the first candidate: a match far from the measured track, or a second candidate that
// matches the track nearly as well.
void JudgeCandidates(const CandidateList& list, std::vector<std::string>& warnings) {
  if (list.rows.empty()) return;
  const CandidateRow& first = list.rows.front();
  if (first.rDeg > kAutoGoodDistanceDeg || first.uDeg > kAutoGoodDirectionDeg) {
    warnings.emplace_back(kAutoWeakMatchText);
    return;
  }
  if (list.rows.size() > 1) {
    const CandidateRow& second = list.rows[1];
    if (second.rDeg < kAutoGoodDistanceDeg && second.uDeg < kAutoGoodDirectionDeg)
      warnings.emplace_back(kAutoAmbiguousText);
  }
}

}  // namespace

void PutDecodedFrame(DecodedImage image, const AppState& app, FrameState& frame) {
  InstallFrame(frame, app, frame.imagePath, std::move(image));
  frame.frameOpen = true;
}

AutoChainResult RunAutoChain(AppState& app, FrameState& frame, const AutoChainOptions& options, TaskControl& task,
                             const StreakChooser& choose, const MeasurementLineSink& sink) {
  AutoChainResult result;
  const auto stop = [&](AutoStep step, const std::string& message) {
    result.reached = step;
    result.cancelled = task.Cancelled();
    if (!result.cancelled) result.message = message;
    return result;
  };
  if (!frame.frameOpen) return stop(AutoStep::Stars, kNoFileText);

  // The previous marks and candidates go, as when the user starts marking anew; the calibration stays
  // until a new identification replaces it.
  frame.starMarks.clear();
  frame.trackEnds = TrackEnds{};
  frame.satellites = SatelliteState{};

  // The streaks are looked for first, so that no star is taken from a streak; they are marked later.
  task.SetText("Автоматическая обработка: поиск трека.");
  task.SetPercent(0);
  Clock::time_point start = Clock::now();
  const SkyBackground sky = EstimateBackground(frame.brightness);
  result.streaks = FindStreaks(frame.brightness, sky, options.detect, task);
  result.times.streak = SecondsSince(start);
  if (task.Cancelled()) return stop(AutoStep::Streak, "");

  task.SetText("Автоматическая обработка: разметка звезд.");
  task.SetPercent(10);
  start = Clock::now();
  result.stars =
      AutoMarkStars(MarkingOf(frame, app), frame.starMarks, app.logFile, options.detect, result.streaks, &sky);
  result.times.stars = SecondsSince(start);
  task.Yield();
  if (task.Cancelled()) return stop(AutoStep::Stars, "");
  if (frame.starCount() < kMinIdentificationStars) return stop(AutoStep::Stars, kAutoNoStarsText);

  // Identification: about the panel's centre when it is given, blind otherwise or when that fails.
  task.SetText("Идентификация звезд.");
  task.SetPercent(20);
  start = Clock::now();
  const IdentificationInput input = IdentificationInputOf(frame, app);
  if (options.knownCentre) result.identification = IdentifyStars(input, true, task);
  if (!result.identification.success && !task.Cancelled()) {
    result.identification = IdentifyStars(input, false, task);
    result.identifiedBlind = result.identification.success;
  }
  result.times.identification = SecondsSince(start);
  if (!result.identification.success) {
    const std::vector<std::string>& said = result.identification.messages;
    return stop(AutoStep::Identification, said.empty() ? kIdentificationFailedText : said.front());
  }
  AdoptIdentification(frame, result.identification);
  for (const std::string& message : result.identification.messages) result.warnings.push_back(message);

  // The streak: the only one, the one the user chooses, or the strongest.
  if (result.streaks.empty()) return stop(AutoStep::Streak, kAutoNoStreakText);
  result.chosenStreak = 0;
  if (result.streaks.size() > 1) {
    if (choose) {
      result.chosenStreak = choose(result.streaks);
      if (result.chosenStreak < 0 || result.chosenStreak >= static_cast<int>(result.streaks.size())) {
        result.chosenStreak = -1;
        return stop(AutoStep::Streak, kAutoStreakNotChosenText);
      }
    } else {
      result.warnings.push_back(kAutoSeveralStreaksText + StreakText(1, result.streaks.front()));
    }
  }
  result.trackEnds = MarkStreakEnds(frame.trackEnds, frame.displayScale, app.palette,
                                    result.streaks[static_cast<std::size_t>(result.chosenStreak)], true);
  if (frame.trackEnds.count != 2) return stop(AutoStep::Streak, kAutoNoStreakText);

  task.SetText("Автоматическая обработка: измерение трека.");
  task.SetPercent(40);
  start = Clock::now();
  result.measurement = MeasureTrack(TrackFrameOf(frame, app), frame.trackEnds, task, sink);
  result.times.measurement = SecondsSince(start);
  if (task.Cancelled()) return stop(AutoStep::Measurement, "");
  if (!result.measurement.refined) result.warnings.emplace_back(kAutoNotRefinedText);

  task.SetText("Идентификация ИСЗ.");
  task.SetPercent(50);
  start = Clock::now();
  result.search =
      CandidateSearch(CandidateSearchInputOf(frame, app), options.filter, frame.satellites.candidates, task, {});
  result.times.search = SecondsSince(start);
  if (result.search.cancelled || task.Cancelled()) return stop(AutoStep::Search, "");
  CandidateList& list = frame.satellites.candidates;
  if (list.rows.empty())
    return stop(AutoStep::Search, result.search.message.empty() ? kAutoNoCandidatesText : result.search.message);
  JudgeCandidates(list, result.warnings);

  // The first candidate's trajectory; end 1 becomes the end its path reaches first.
  start = Clock::now();
  const TleRecord& tle = list.records[static_cast<std::size_t>(list.rows.front().recordIndex) - 1].tle;
  const TrajectoryCanvas canvas{frame.plate.working, frame.imageWidth, frame.imageHeight, frame.displayScale};
  frame.satellites.marks = CandidateTrajectory(tle, frame.info, canvas, app.palette);
  if (!frame.satellites.marks.empty()) {
    const TrajectoryMark& early = frame.satellites.marks.front();
    const double ex = early.x * frame.displayScale, ey = early.y * frame.displayScale;
    const TrackPoint& a = frame.trackEnds[1];
    const TrackPoint& b = frame.trackEnds[2];
    if (std::hypot(ex - b.x, ey - b.y) < std::hypot(ex - a.x, ey - a.y)) {
      std::swap(frame.trackEnds[1], frame.trackEnds[2]);
      result.endsSwapped = true;
    }
  }
  result.times.trajectory = SecondsSince(start);
  task.SetPercent(100);
  result.reached = AutoStep::Done;
  result.success = true;
  return result;
}
