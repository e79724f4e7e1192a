#pragma once
// The coordinate entry dialog "Формат": a coordinate's magnitude in degrees, minutes and seconds,
// written back into the coordinate box in degrees.

#include <QPointer>
#include <QWidget>

class QLineEdit;

class FrmFormat : public QWidget {
  Q_OBJECT
public:
  // Shows the magnitude of target's value (with "," read as ".") split into degrees, minutes and
  // seconds; "OK" writes the entry back into target in degrees with "0.00000". A modeless window
  // deleted when closed.
  explicit FrmFormat(QLineEdit* target, QWidget* parent = nullptr);

private slots:
  void OkClicked();

private:
  QPointer<QLineEdit> target_;
  QLineEdit* txtg_;
  QLineEdit* txtm_;
  QLineEdit* txts_;
};
