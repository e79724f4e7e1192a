#pragma once
// The automatic road from an open frame with its circumstances to the candidate list: automatic star
// marking, star identification, automatic streak detection, track measurement and the candidate search,
// stopping with the first candidate's trajectory computed. Every step leaves in the frame state exactly
// what the manual command would leave, so the user can inspect and redo any step by hand.

#include <functional>
#include <string>
#include <vector>

#include "astrometry/identify.h"
#include "astrometry/track.h"
#include "base/task_control.h"
#include "image/auto_detect.h"
#include "orbit/candidates.h"
#include "session/app_state.h"
#include "session/frame_session.h"

// Texts of the automatic road (caption "Сообщение"); the step texts it shares with the manual commands
// are in frame_session.h.
inline constexpr const char* kAutoWeakMatchText =
    "Первый претендент плохо совпадает с треком. Проверьте идентификацию визуально.";
inline constexpr const char* kAutoAmbiguousText =
    "Несколько претендентов совпадают с треком почти одинаково. Проверьте идентификацию визуально.";
inline constexpr const char* kAutoNoCandidatesText = "Претендентов нет";
inline constexpr const char* kAutoNotRefinedText =
    "Локальная привязка не произошла; концы трека измерены по общей привязке.";

// A first candidate is trusted without a warning when its path keeps within this distance of the measured
// great circle and runs within this angle of it, and no second candidate does the same (degrees).
inline constexpr double kAutoGoodDistanceDeg = 0.1;
inline constexpr float kAutoGoodDirectionDeg = 2.0f;

// The step the road stopped at or reached.
enum class AutoStep { Stars, Identification, Streak, Measurement, Search, Done };

// Settings of the automatic road.
struct AutoChainOptions {
  AutoDetectOptions detect;  // star count and detection thresholds
  bool knownCentre = false;  // the panel's centre is given: identify about it first, blind after
  CandidateFilter filter;    // the candidate search's filters
};

// Run time of every step, seconds.
struct AutoChainTimes {
  double stars = 0.0;  // background, star finding and marking
  double identification = 0.0;
  double streak = 0.0;
  double measurement = 0.0;
  double search = 0.0;
  double trajectory = 0.0;
};

// What the automatic road did.
struct AutoChainResult {
  bool success = false;  // reached the candidate list with at least one candidate
  bool cancelled = false;
  AutoStep reached = AutoStep::Stars;  // the step it stopped at (Done on success)
  std::string message;                 // why it stopped ("" on success and on cancel)
  std::vector<std::string> warnings;   // to show even on success: doubtful identification, several streaks
  AutoStarMarking stars;
  IdentificationResult identification;
  bool identifiedBlind = false;  // the blind solver calibrated the frame
  std::vector<StreakCandidate> streaks;
  int chosenStreak = -1;  // index into streaks
  std::vector<TrackEndAddition> trackEnds;
  TrackMeasurement measurement;
  CandidateSearchResult search;
  bool endsSwapped = false;  // end 1 became the end the first candidate reaches first
  AutoChainTimes times;
};

// Puts a decoded picture into the frame state as opening a frame does, without a window: size, brightness
// raster, colour pixels, marking-frame size; the frame counts as open.
void PutDecodedFrame(DecodedImage image, const AppState& app, FrameState& frame);

// Runs the automatic road on the open frame whose circumstances (frame.info) are collected. Star marks,
// track ends, the plate, the candidate list and the first candidate's trajectory marks are left in the
// frame state as the manual commands leave them, and the first candidate is taken as the frame's satellite;
// the previous star marks, track ends and candidates are replaced.
// Several streaks go to choose (the strongest is taken without one); the measurement lines go to sink.
AutoChainResult RunAutoChain(AppState& app, FrameState& frame, const AutoChainOptions& options, TaskControl& task,
                             const StreakChooser& choose = {}, const MeasurementLineSink& sink = {});
