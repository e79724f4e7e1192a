#pragma once
// "Траектория ИСЗ": one satellite's predicted positions over the exposure, printed as a table and drawn
// over the frame; its number can be taken as the frame's identification and an IOD report written for
// the two measured track ends.

#include <QWidget>
#include <string>

#include "desktop/satellite_context.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

class FrmUsersat : public QWidget {
  Q_OBJECT
public:
  FrmUsersat(SatelliteContext& context, QWidget* parent = nullptr);

signals:
  void Closed();

protected:
  void closeEvent(QCloseEvent* event) override;

private slots:
  void OkClicked();
  void RememberClicked();
  void IodClicked();

private:
  void AppendLine(const std::string& line);

  SatelliteContext& context_;
  int number_ = 0;
  std::string designator_;  // international designator; empty until a trajectory was computed
  std::string displayName_;
  bool computed_ = false;
  QLineEdit* txtnorad_ = nullptr;
  QLineEdit* txtstep_ = nullptr;
  QPlainTextEdit* txtcom_ = nullptr;
  QPushButton* cmdok_ = nullptr;
  QToolButton* image1_ = nullptr;
  QToolButton* image2_ = nullptr;
};
