#pragma once
// User texts that several subsystems show, kept in one place.

// A command that needs an open frame, in its two wordings.
inline constexpr const char* kNoFrameText = "Кадр не открыт.";
inline constexpr const char* kNoFileText = "Файл не открыт.";
// A command that needs a calibrated frame (without and with the final point).
inline constexpr const char* kNotSolvedText = "Звезды кадра не идентифицированы";
inline constexpr const char* kNotSolvedDotText = "Звезды кадра не идентифицированы.";
