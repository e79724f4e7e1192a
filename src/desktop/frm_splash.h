#pragma once
// The version window: the program's name and version; a click or any key closes it.

#include <QWidget>

class FrmSplash : public QWidget {
  Q_OBJECT
public:
  explicit FrmSplash(QWidget* parent = nullptr);

protected:
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
};
