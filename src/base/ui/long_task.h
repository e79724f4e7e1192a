#pragma once
// The one bracket around every long task of the program: sets the long-task flags, shows the progress
// window with its text, keeps the window that started the task from being deleted while the task runs,
// and undoes all of it on every way out (return, early stop, exception).

#include <QPointer>
#include <QString>
#include <QWidget>

#include "base/ui/frmz.h"

#include <string>

// What a window needs to run a long task: the program's folder, its readiness and long-task flags, and
// the progress window (may be null).
struct TaskContext {
  std::string appDir;
  bool& catalogueReady;
  bool& longTaskRunning;
  Frmz* progress = nullptr;
};

class LongTaskGuard {
public:
  // What a task claims: the cancel flag always; the readiness flag too unless the task lets the other
  // commands run meanwhile (the TLE import).
  struct Flags {
    bool& longTaskRunning;
    bool* catalogueReady = nullptr;
  };

  // Sets longTaskRunning (and clears catalogueReady when given), shows the progress window with text
  // (its own fixed lines) and the cancel button enabled or not, and shields starter, when given, from
  // deletion until the guard ends.
  LongTaskGuard(Flags flags, Frmz* progress, const QString& text, bool cancellable, QWidget* starter = nullptr);
  ~LongTaskGuard();
  LongTaskGuard(const LongTaskGuard&) = delete;
  LongTaskGuard& operator=(const LongTaskGuard&) = delete;

  // The control the core operation reports through.
  TaskControl& Task() { return task_; }
  // True when the user cancelled.
  bool Cancelled() const { return task_.Cancelled(); }

private:
  Flags flags_;
  QPointer<Frmz> progress_;
  QPointer<QWidget> starter_;
  bool starterDeletedOnClose_ = false;
  ProgressTask task_;
};
