#pragma once
// "Фильтр ИСЗ": the filters and thresholds of the candidate search, and its start.

#include <QWidget>
#include <functional>

#include "orbit/candidates.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class FrmSatPar : public QWidget {
  Q_OBJECT
public:
  // Runs the search with the chosen filter; false when it did not start (the window then stays open).
  using SearchRun = std::function<bool(const CandidateFilter&, QWidget* filterWindow)>;
  explicit FrmSatPar(SearchRun run, QWidget* parent = nullptr);
  // The filter as the window holds it now (thresholds follow every edit of their boxes).
  const CandidateFilter& Filter() const { return filter_; }

signals:
  void Closed();

protected:
  void closeEvent(QCloseEvent* event) override;

private slots:
  void PeriodClicked();
  void InclinationClicked();
  void DistanceEdited(const QString& text);
  void DirectionEdited(const QString& text);
  void OkClicked();

private:
  void CreateControls();

  SearchRun run_;
  CandidateFilter filter_;
  QCheckBox* chPeriod_ = nullptr;
  QLineEdit* txtpermin_ = nullptr;
  QLineEdit* txtpermax_ = nullptr;
  QCheckBox* chi_ = nullptr;
  QLineEdit* txtimin_ = nullptr;
  QLineEdit* txtimax_ = nullptr;
  QLineEdit* txter1_ = nullptr;
  QLineEdit* txter2_ = nullptr;
  QPushButton* cmdok_ = nullptr;
};

// A number typed by the user: "," read as ".", anything unreadable as 0.
double ReadUserNumber(const QString& text);
