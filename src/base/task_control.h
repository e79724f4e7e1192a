#pragma once
// How a long operation talks to whoever runs it: the window's progress display and cancel button,
// or a test's fake. Core code calls these between units of work.

#include <string>

class TaskControl {
public:
  virtual ~TaskControl() = default;
  // Lets the user interface serve its events (the implementation throttles this).
  virtual void Yield() {}
  // True once the user has asked to stop.
  virtual bool Cancelled() const { return false; }
  // Replaces the progress text.
  virtual void SetText(const std::string& /*text*/) {}
  // Shows progress in percent (0..100).
  virtual void SetPercent(int /*percent*/) {}
  // Puts a short text into the progress label (a percentage such as "45.3%", or a count of rewritten files).
  virtual void SetLabel(const std::string& /*text*/) {}
};

// A control that never cancels and shows nothing: for tests and for work run without a window.
class SilentTask final : public TaskControl {};
