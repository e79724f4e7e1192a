#pragma once
// "Претенденты ИСЗ": the ranked candidates of the search. A click on a row draws that candidate's
// trajectory; the two image buttons take the clicked candidate as the frame's identification or
// remember its number for drawing several satellites.

#include <QWidget>
#include <functional>

#include "desktop/satellite_context.h"

class QLabel;
class QListWidget;
class QToolButton;

class FrmId : public QWidget {
  Q_OBJECT
public:
  // drawCandidate draws the trajectory of a candidate record (1-based record index).
  FrmId(SatelliteContext& context, std::function<void(int)> drawCandidate, QWidget* parent = nullptr);
  // Lists the state's candidate rows in their display order.
  void ShowRows();
  // Selects a row (0-based) as a click on it does: its trajectory is drawn and it becomes the clicked one.
  void SelectRow(int row);
  // Record index of the last clicked row; 0 before any click.
  int ClickedRecord() const { return clickedRecord_; }

signals:
  // The user closed the window.
  void Closed();

protected:
  void closeEvent(QCloseEvent* event) override;

private slots:
  void RowClicked(int row);
  void IdentifyClicked();
  void RememberClicked();

private:
  // The clicked candidate's element set, or nullptr when no valid row was clicked.
  const TleRecord* ClickedCandidate() const;

  SatelliteContext& context_;
  std::function<void(int)> drawCandidate_;
  int clickedRecord_ = 0;
  QListWidget* list1_ = nullptr;
  QLabel* lblnum_ = nullptr;
  QToolButton* image1_ = nullptr;
  QToolButton* image2_ = nullptr;
};
