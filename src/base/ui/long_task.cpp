#include "base/ui/long_task.h"

#include <QApplication>

LongTaskGuard::LongTaskGuard(Flags flags, Frmz* progress, const QString& text, bool cancellable, QWidget* starter)
    : flags_(flags), progress_(progress), starter_(starter), task_(progress, flags.longTaskRunning) {
  if (starter_) {
    // A window closed while its task runs is only hidden, so the running task never loses it.
    starterDeletedOnClose_ = starter_->testAttribute(Qt::WA_DeleteOnClose);
    starter_->setAttribute(Qt::WA_DeleteOnClose, false);
  }
  flags_.longTaskRunning = true;
  if (flags_.catalogueReady) *flags_.catalogueReady = false;
  if (progress_) progress_->Start(text, cancellable);
  QApplication::processEvents();
}

LongTaskGuard::~LongTaskGuard() {
  flags_.longTaskRunning = false;
  if (flags_.catalogueReady) *flags_.catalogueReady = true;
  if (progress_) progress_->hide();
  // The starter closes itself after its task; from then on a close deletes it again.
  if (starter_ && starterDeletedOnClose_) starter_->setAttribute(Qt::WA_DeleteOnClose, true);
}
