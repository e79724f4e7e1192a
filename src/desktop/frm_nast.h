#pragma once
// The marking-frame size window "Настройки": one row per size, the current one preselected.

#include <QWidget>

#include "session/app_state.h"

class QListWidget;

class FrmNast : public QWidget {
  Q_OBJECT
public:
  FrmNast(const FrameSizeTable& table, int currentIndex, QWidget* parent = nullptr);

signals:
  // The user pressed "ОК" with this row selected.
  void SizeChosen(int index);

private slots:
  void OkClicked();

private:
  QListWidget* listF_;
};

// The text of one row: side "00", "x", side "00", two blanks, "Увеличение ", zoom "0", "раз".
QString FrameSizeRowText(const FrameSizeRow& row);
