#pragma once
// A task control over the progress window that can also write the progress label freely, which the
// database imports use for "45.3%" and for counts of rewritten files.

#include <QElapsedTimer>
#include <QPointer>

#include "satdb/satdb.h"
#include "shell/ui/frmz.h"

class FrmzTask final : public LabelledTask {
public:
  // window may be null (nothing is shown); longTaskRunning is the application's cancel flag.
  FrmzTask(Frmz* window, const bool& longTaskRunning);
  // Serves the event loop at most every 30 ms.
  void Yield() override;
  // True once "Отмена" has cleared the long-task flag.
  bool Cancelled() const override;
  // Replaces the progress window's text line.
  void SetText(const std::string& text) override;
  // Shows a percentage as "n%" in the label.
  void SetPercent(int percent) override;
  // Replaces the label's text.
  void SetLabel(const std::string& text) override;

private:
  QPointer<Frmz> window_;
  const bool& longTaskRunning_;
  QElapsedTimer sinceYield_;
};
