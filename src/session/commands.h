#pragma once
// What the menu commands require of the program and the open frame before they run, and the message each
// unmet requirement shows. One source for these texts; the main window only shows them.

#include <initializer_list>
#include <string>

#include "astrometry/track.h"
#include "base/texts.h"

struct FrameState;

// A requirement of a command, checked in the order the command lists them.
enum class Requirement {
  FrameOpen,       // "Кадр не открыт."
  FileOpen,        // the same requirement worded "Файл не открыт."
  EnoughStars,     // at least kMinIdentificationStars marked stars
  Solved,          // "Звезды кадра не идентифицированы"
  TrackMarked,     // at least one track end: "Нет отмеченного трека."
  TwoTrackEnds,    // both track ends: "Нужны две точки, принадлежащие треку."
  TrackMeasurable  // the track measurement's own refusal (no frame, no end, not solved)
};

// The fewest marked stars identification works with.
inline constexpr int kMinIdentificationStars = 4;

inline constexpr const char* kNoTrackText = "Нет отмеченного трека.";
inline constexpr const char* kOneTrackEndText = "Нужны две точки, принадлежащие треку.";

// The message of the first requirement the frame does not meet; "" when it meets them all.
std::string Refusal(const FrameState& frame, std::initializer_list<Requirement> requirements);
