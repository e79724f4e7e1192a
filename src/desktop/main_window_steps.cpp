// The main window's identification menu: star identification, the track measurement and the satellite
// windows, each running its step through the frame session and showing what it returned.

#include <QApplication>

#include "astrometry/ui/frm_txt.h"
#include "base/ui/long_task.h"
#include "base/ui/message.h"
#include "desktop/form1.h"
#include "desktop/main_window.h"
#include "desktop/satellite_windows.h"
#include "desktop/station_code.h"
#include "frameinfo/ui/frm_par.h"
#include "frameinfo/ui/iod_report.h"

namespace {

// Lets the window serve its events between pieces of a short task that has no progress window.
class EventLoopTask final : public TaskControl {
public:
  void Yield() override { QApplication::processEvents(); }
};

}  // namespace

void MainWindow::StarId() {
  if (!Allowed({Requirement::FrameOpen, Requirement::EnoughStars})) return;
  if (!Collect(frame_.info.considerVisibility)) return;

  const bool centreGiven = panel_ && panel_->CentreGiven();
  IdentifyStep step;
  {
    LongTaskGuard guard(LongTaskFlags(), progress_, QStringLiteral("Идентификация звезд."), true);
    step = session_.Identify(centreGiven, false, guard.Task());
  }
  if (step.Ok()) ShowIdentification(step.identification);
  for (const std::string& message : step.messages) Say(QString::fromStdString(message));
}

void MainWindow::ShowIdentification(const IdentificationResult& result) {
  if (panel_) {
    const IdentificationPanelTexts& t = result.panel;
    const std::string rows[10] = {"",       t.stars,     t.ra,       t.dec,      t.scaleX,
                                  t.scaleY, t.fieldSize, t.rotation, t.mirrored, t.depth};
    for (int row = 1; row <= 9; ++row) panel_->SetProgramRow(row, QString::fromStdString(rows[row]));
  }
  if (panel_) panel_->ShowMoon(frame_.moonVisibility, frame_.moonPhase, frame_.moonDistance);
  ApplyCatalogueResult(ShowCatalogueAfterIdentification(CatalogueFrameOf(frame_, app_), catalogueDisplay_));
}

void MainWindow::MesTrek() {
  if (!Allowed({Requirement::TrackMeasurable})) return;
  if (!Collect(true)) return;

  if (!textWindow_) textWindow_ = new FrmTxt(this);
  textWindow_->PlaceBeside(panel_);
  PlaceClearOfFrame(textWindow_, textWindow_->pos());
  textWindow_->show();
  form1_->RemoveOverlay(OverlayKind::LocalReference);
  EventLoopTask task;
  const TrackMeasurement measured = session_.Measure(task, textWindow_->LineSink()).measurement;
  for (const LocalReferenceMark& mark : measured.localMarks)
    DrawOutline(OverlayKind::LocalReference, LocalReferenceOutline(mark, ViewState().displayScale, app_.palette));
  if (textWindow_) {
    textWindow_->FitToContent();
    PlaceClearOfFrame(textWindow_, textWindow_->pos());
  }
  ShowHint(QString::fromUtf8(kMeasureTrackHint), QStringLiteral(" "), QStringLiteral(" "));
}

void MainWindow::Sat() {
  if (!Allowed({Requirement::FrameOpen})) return;
  if (!Collect(true)) return;
  if (!Allowed(kCandidateRequirements)) return;
  satellites_->OpenFilter();
}

void MainWindow::UserSat() {
  if (!Allowed({Requirement::FrameOpen})) return;
  if (!Collect(true)) return;
  if (!Allowed({Requirement::Solved})) return;
  satellites_->OpenUserSat();
}

void MainWindow::SatN() {
  if (!Allowed({Requirement::FrameOpen})) return;
  if (!Collect(true)) return;
  if (!Allowed({Requirement::Solved})) return;
  satellites_->OpenSatN();
}

void MainWindow::Iod() {
  if (!Allowed({Requirement::FrameOpen})) return;
  if (!Collect(true)) return;
  // What the report cannot do without is said before the station code is asked for.
  if (const std::string refusal = session_.IodRefusal(); !refusal.empty())
    return static_cast<void>(
        ShowMessage(QString::fromStdString(refusal), QStringLiteral("Сообщения"), MessageButtons::Ok, this));
  if (frame_.identifiedNorad <= 0) return Say(QString::fromUtf8(kIodNoSatelliteText));
  if (!EnsureStationCode(session_, this)) return;
  RememberSite();
  const IodStep written = session_.FrameIodReport();
  if (written.endsExchanged) ShowTrackEnds();
  if (written.error == StepError::WriteFailed || written.Ok()) return ShowIodReport(this, written.report);
  for (const std::string& message : written.messages) Say(QString::fromStdString(message));
}
