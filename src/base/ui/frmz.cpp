#include "base/ui/frmz.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include "base/ui/owned_window.h"

Frmz::Frmz(bool& longTaskRunning, QWidget* parent)
    : QWidget(parent, OwnedWindowFlags()), longTaskRunning_(longTaskRunning) {
  setObjectName("frmz");
  setWindowTitle(QStringLiteral("Идет работа"));
  setFixedSize(338, 157);  // 5070 x 2355 twips
  txtz_ = new QPlainTextEdit(this);
  txtz_->setObjectName("txtz");
  txtz_->setReadOnly(true);
  txtz_->setGeometry(16, 16, 306, 44);
  lblz_ = new QLabel(this);
  lblz_->setObjectName("lblz");
  lblz_->setGeometry(32, 64, 140, 20);
  cmdcancel_ = new QPushButton(QStringLiteral("Отмена"), this);
  cmdcancel_->setObjectName("cmdcancel");
  cmdcancel_->setGeometry(176, 72, 100, 28);
  connect(cmdcancel_, &QPushButton::clicked, this, &Frmz::CancelClicked);
}

void Frmz::Start(const QString& text, bool cancelEnabled) {
  SetText(text);
  lblz_->clear();
  cmdcancel_->setEnabled(cancelEnabled);
  if (parentWidget()) {
    QWidget* top = parentWidget()->window();
    MoveInsideArea(this, QPoint(top->x() + top->width() / 3, top->y() + top->height() / 3));
  }
  show();
  raise();
}

void Frmz::SetText(const QString& text) {
  txtz_->setPlainText(text);
}

void Frmz::SetLabel(const QString& text) {
  lblz_->setText(text);
}

void Frmz::CancelClicked() {
  longTaskRunning_ = false;
}

void Frmz::closeEvent(QCloseEvent* event) {
  if (longTaskRunning_ && !cmdcancel_->isEnabled()) {
    event->ignore();
    return;
  }
  CancelClicked();
  QWidget::closeEvent(event);
}

ProgressTask::ProgressTask(Frmz* window, const bool& longTaskRunning)
    : window_(window), longTaskRunning_(longTaskRunning) {
  sinceYield_.start();
  sinceRefresh_.start();
}

ProgressTask::~ProgressTask() {
  Flush();
}

void ProgressTask::Yield() {
  if (sinceYield_.elapsed() < 30) return;
  Refresh();
  QApplication::processEvents();
  sinceYield_.restart();
}

bool ProgressTask::Cancelled() const {
  return !longTaskRunning_;
}

void ProgressTask::SetText(const std::string& text) {
  text_ = text;
  textPending_ = true;
  Refresh();
}

void ProgressTask::SetPercent(int percent) {
  SetLabel(std::to_string(percent) + "%");
}

void ProgressTask::SetLabel(const std::string& text) {
  label_ = text;
  labelPending_ = true;
  Refresh();
}

void ProgressTask::Refresh() {
  if (sinceRefresh_.elapsed() < 50) return;
  Flush();
}

void ProgressTask::Flush() {
  sinceRefresh_.restart();
  if (!window_) return;
  if (textPending_) window_->SetText(QString::fromStdString(text_));
  if (labelPending_) window_->SetLabel(QString::fromStdString(label_));
  textPending_ = labelPending_ = false;
}
