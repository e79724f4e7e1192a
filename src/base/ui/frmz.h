#pragma once
// The progress window "Идет работа": a text, a label, and "Отмена", which clears the
// application's long-task flag. ProgressTask lets core code report through it.

#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <string>

#include "base/task_control.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

class Frmz : public QWidget {
  Q_OBJECT
public:
  // longTaskRunning is the application's cancel flag; "Отмена" sets it false.
  Frmz(bool& longTaskRunning, QWidget* parent = nullptr);
  // Shows the window modeless with the text and the cancel button enabled or disabled.
  void Start(const QString& text, bool cancelEnabled);
  void SetText(const QString& text);
  void SetLabel(const QString& text);

protected:
  // The close button does what "Отмена" does while it may: the task stops; a task that cannot be
  // cancelled keeps its window.
  void closeEvent(QCloseEvent* event) override;

private slots:
  void CancelClicked();

private:
  bool& longTaskRunning_;
  QPlainTextEdit* txtz_;
  QLabel* lblz_;
  QPushButton* cmdcancel_;
};

// Reports a long operation through the progress window and reads the cancel flag. The text keeps the
// window's lines, the label shows the progress; both reach the window at most every 50 ms (and at the
// end), and yielding to the event loop is throttled to about every 30 ms.
class ProgressTask final : public TaskControl {
public:
  ProgressTask(Frmz* window, const bool& longTaskRunning);
  void Yield() override;
  bool Cancelled() const override;
  void SetText(const std::string& text) override;
  void SetPercent(int percent) override;
  void SetLabel(const std::string& text) override;
  // Shows the latest text and label now.
  void Flush();
  ~ProgressTask() override;

private:
  void Refresh();

  QPointer<Frmz> window_;
  const bool& longTaskRunning_;
  QElapsedTimer sinceYield_;
  QElapsedTimer sinceRefresh_;
  std::string text_, label_;
  bool textPending_ = false, labelPending_ = false;
};
