#include "session/commands.h"

#include "base/numbers.h"
#include "session/app_state.h"

namespace {

std::string RefusalOf(const FrameState& frame, Requirement requirement) {
  switch (requirement) {
    case Requirement::FrameOpen:
      return frame.frameOpen ? "" : kNoFrameText;
    case Requirement::FileOpen:
      return frame.frameOpen ? "" : kNoFileText;
    case Requirement::EnoughStars:
      if (frame.starCount() >= kMinIdentificationStars) return {};
      return "Выбрано недостаточно звезд. Нужно не менее " + FormatNumber(kMinIdentificationStars, "0");
    case Requirement::Solved:
      return frame.plate.Solved() ? "" : kNotSolvedText;
    case Requirement::TrackMarked:
      return frame.trackEnds.count > 0 ? "" : kNoTrackText;
    case Requirement::TwoTrackEnds:
      return frame.trackEnds.count > 1 ? "" : kOneTrackEndText;
    case Requirement::TrackMeasurable:
      return TrackMeasurementRefusal(frame.frameOpen, frame.trackEnds, frame.plate);
  }
  return {};
}

}  // namespace

std::string Refusal(const FrameState& frame, std::initializer_list<Requirement> requirements) {
  for (Requirement r : requirements) {
    std::string text = RefusalOf(frame, r);
    if (!text.empty()) return text;
  }
  return {};
}
