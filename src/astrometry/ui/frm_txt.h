#pragma once
// The track-measurement window: one multi-line text box ("txtcom") showing the lines of a measurement
// as they are produced.

#include <QString>
#include <QWidget>

#include "astrometry/track.h"

class QPlainTextEdit;

class FrmTxt : public QWidget {
  Q_OBJECT
public:
  // A modeless window over the parent; its text starts empty.
  explicit FrmTxt(QWidget* parent = nullptr);

  // With replace set the line becomes the whole text, otherwise CR LF and the line are appended.
  void AppendMeasurementLine(const QString& line, bool replace);
  // Replaces the whole text (lines joined by CR LF).
  void SetText(const QString& text);
  // The whole text, lines joined by CR LF.
  QString Text() const { return content_; }
  // A sink for MeasureTrack that shows each line in this window as it comes.
  MeasurementLineSink LineSink();
  // Moves the window so that its left edge lies just right of the widget's frame (the frame parameters
  // panel), level with its top.
  void PlaceBeside(const QWidget* panel);
  // Grows the window to show every line (up to the screen) and shows the text from its first line.
  void FitToContent();

private:
  void ShowContent();

  QPlainTextEdit* txtcom_ = nullptr;
  QString content_;
};
