#include "session/auto_chain.h"

#include <chrono>

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
  FrameSession session(app, frame);

  // The previous marks and candidates go, as when the user starts marking anew; the calibration stays
  // until a new identification replaces it.
  frame.starMarks.clear();
  frame.trackEnds = TrackEnds{};
  frame.satellites = SatelliteState{};

  // The streaks are looked for first, so that no star is taken from a streak; they are marked later.
  task.SetText("Автоматическая обработка: поиск трека.");
  task.SetPercent(0);
  Clock::time_point start = Clock::now();
  const StreakSearch found = session.FindFrameStreaks(options.detect, task);
  result.streaks = found.streaks;
  result.times.streak = SecondsSince(start);
  if (task.Cancelled()) return stop(AutoStep::Streak, "");

  task.SetText("Автоматическая обработка: разметка звезд.");
  task.SetPercent(10);
  start = Clock::now();
  const AutoStarsStep stars = session.AutoStars(options.detect, found);
  result.stars = stars.marking;
  result.times.stars = SecondsSince(start);
  task.Yield();
  if (task.Cancelled()) return stop(AutoStep::Stars, "");
  if (!stars.Ok()) return stop(AutoStep::Stars, stars.messages.front());

  // Identification: about the panel's centre when it is given, blind otherwise or when that fails.
  task.SetText("Идентификация звезд.");
  task.SetPercent(20);
  start = Clock::now();
  const IdentifyStep identified = session.Identify(options.knownCentre, true, task);
  result.identification = identified.identification;
  result.identifiedBlind = identified.blind;
  result.times.identification = SecondsSince(start);
  if (!identified.Ok())
    return stop(AutoStep::Identification,
                identified.messages.empty() ? kIdentificationFailedText : identified.messages.front());
  for (const std::string& message : identified.messages) result.warnings.push_back(message);

  // The streak: the only one, the one the user chooses, or the strongest.
  const StreakStep streak = session.MarkStreak(result.streaks, choose);
  result.chosenStreak = streak.chosen;
  result.trackEnds = streak.additions;
  if (streak.error == StepError::Cancelled) return stop(AutoStep::Streak, kAutoStreakNotChosenText);
  if (!streak.Ok()) return stop(AutoStep::Streak, kAutoNoStreakText);
  for (const std::string& message : streak.messages) result.warnings.push_back(message);

  task.SetText("Автоматическая обработка: измерение трека.");
  task.SetPercent(40);
  start = Clock::now();
  result.measurement = session.Measure(task, sink).measurement;
  result.times.measurement = SecondsSince(start);
  if (task.Cancelled()) return stop(AutoStep::Measurement, "");
  if (!result.measurement.refined) result.warnings.emplace_back(kAutoNotRefinedText);

  task.SetText("Идентификация ИСЗ.");
  task.SetPercent(50);
  start = Clock::now();
  const CandidatesStep search = session.Candidates(options.filter, task);
  result.search = search.search;
  result.times.search = SecondsSince(start);
  if (search.error == StepError::Cancelled) return stop(AutoStep::Search, "");
  const CandidateList& list = frame.satellites.candidates;
  if (list.rows.empty())
    return stop(AutoStep::Search, result.search.message.empty() ? kAutoNoCandidatesText : result.search.message);
  JudgeCandidates(list, result.warnings);

  // The first candidate is taken as the frame's satellite, its trajectory drawn; end 1 becomes the end its
  // path passes first.
  start = Clock::now();
  session.Remember(list.rows.front().catalogNumber, list.rows.front().name);
  session.CandidateTrajectory(list.rows.front().recordIndex);
  result.endsSwapped = session.OrderTrackEnds();
  result.times.trajectory = SecondsSince(start);
  task.SetPercent(100);
  result.reached = AutoStep::Done;
  result.success = true;
  return result;
}
