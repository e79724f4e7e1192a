#pragma once
// The hint window "Подсказка": three lines telling the user what to do next.

#include <QWidget>

class QPlainTextEdit;

class Frmp : public QWidget {
  Q_OBJECT
public:
  explicit Frmp(QWidget* parent = nullptr);
  // Replaces the text with line1, CR LF, line2, CR LF, line3.
  void ShowHint(const QString& line1, const QString& line2, const QString& line3);
  QString Text() const;

private:
  QPlainTextEdit* txtp_;
};
