#include "satdb/ui/frmz_task.h"

#include <QApplication>

FrmzTask::FrmzTask(Frmz* window, const bool& longTaskRunning) : window_(window), longTaskRunning_(longTaskRunning) {
  sinceYield_.start();
}

void FrmzTask::Yield() {
  if (sinceYield_.elapsed() < 30) return;
  QApplication::processEvents();
  sinceYield_.restart();
}

bool FrmzTask::Cancelled() const {
  return !longTaskRunning_;
}

void FrmzTask::SetText(const std::string& text) {
  if (window_) window_->SetText(QString::fromStdString(text));
}

void FrmzTask::SetPercent(int percent) {
  SetLabel(std::to_string(percent) + "%");
}

void FrmzTask::SetLabel(const std::string& text) {
  if (window_) window_->SetLabel(QString::fromStdString(text));
}
