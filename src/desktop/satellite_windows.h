#pragma once
// The satellite side of the main window: opens the candidate filter, the single-satellite and the
// several-satellites windows, runs the candidate search with the progress window, and draws candidate
// trajectories. The main window owns one instance and gives it the context.

#include <QObject>
#include <QPointer>

#include "desktop/satellite_context.h"

class FrmCrossings;
class FrmId;
class FrmSatN;
class FrmSatPar;
class FrmUsersat;

// Removes the drawn trajectory marks, and the labels too when labels is true.
void ClearTrajectories(SatelliteContext& context, bool labels);

class SatelliteWindows : public QObject {
  Q_OBJECT
public:
  explicit SatelliteWindows(SatelliteContext context, QObject* parent = nullptr);
  ~SatelliteWindows() override;

  // "Поиск претендентов ИСЗ": the filter window, opened anew.
  void OpenFilter();
  // "Траектория конкретного ИСЗ".
  void OpenUserSat();
  // "Траектории нескольких ИСЗ".
  void OpenSatN();
  // "Все ИСЗ в кадре": follows the database over the frame with the progress window, draws every
  // satellite that crossed it with its label and lists them in their window, opened anew.
  void OpenCrossings();
  // Shows the candidates already in the state (an automatic search filled them) with the first one's
  // trajectory drawn, as a click on the first row does.
  void ShowFirstCandidate();
  // Closes every satellite window (a frame is being opened).
  void CloseAll();

  // The open windows (nullptr when closed).
  FrmSatPar* FilterWindow() const;
  FrmId* CandidateWindow() const;
  FrmUsersat* UserSatWindow() const;
  FrmSatN* SatNWindow() const;
  FrmCrossings* CrossingsWindow() const;

private:
  // The filter window's OK after it has read its filters: collects the frame's circumstances strictly,
  // removes the marks, runs the search with the progress window. False when the collection failed.
  bool RunSearch(const CandidateFilter& filter, QWidget* filterWindow);
  // Shows the candidate list window at the first candidate and lists the rows.
  void ShowCandidates();
  // The user closed the candidate list: its lists are emptied (after the search, when one runs).
  void CandidatesClosed();
  // Draws a candidate's trajectory (1-based record index).
  void DrawCandidate(int recordIndex);
  // Places a new window through the context's hook (off the frame's picture) and shows it.
  void Place(QWidget* window) const;

  SatelliteContext context_;
  bool searching_ = false;
  bool emptyAfterSearch_ = false;
  QPointer<FrmSatPar> filter_;
  QPointer<FrmId> candidates_;
  QPointer<FrmUsersat> usersat_;
  QPointer<FrmSatN> several_;
  QPointer<FrmCrossings> crossings_;
};
