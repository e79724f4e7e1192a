// The main window's automatic commands: star marking over the whole frame and the whole road from the
// open frame to the candidate list. Both leave what the manual commands leave and draw it the same way.

#include <QInputDialog>
#include <QStringList>

#include "astrometry/identify.h"
#include "astrometry/ui/frm_txt.h"
#include "base/ui/long_task.h"
#include "desktop/main_window.h"
#include "desktop/satellite_windows.h"
#include "frameinfo/ui/frm_par.h"
#include "image/auto_detect.h"
#include "session/auto_chain.h"

namespace {

// Lets the user pick one of several streaks from their list; -1 when the choice is cancelled.
int ChooseStreak(const std::vector<StreakCandidate>& streaks, QWidget* parent) {
  QStringList items;
  for (std::size_t i = 0; i < streaks.size(); ++i)
    items << QString::fromStdString(StreakText(static_cast<int>(i) + 1, streaks[i]));
  bool ok = false;
  const QString chosen =
      QInputDialog::getItem(parent, QStringLiteral("Выбор трека"),
                            QStringLiteral("На кадре несколько треков. Выберите трек:"), items, 0, false, &ok);
  return ok ? static_cast<int>(items.indexOf(chosen)) : -1;
}

}  // namespace

void MainWindow::RedrawMarks() {
  form1_->RemoveOverlay(OverlayKind::StarMarks);
  for (const StarMark& mark : frame_.starMarks)
    DrawOutline(OverlayKind::StarMarks, StarMarkOutline(mark, ViewState().displayScale, app_.palette));
  if (panel_) panel_->SetProgramRow(1, QString::number(frame_.starCount()));
  ShowTrackEnds();
}

void MainWindow::AutoStars() {
  if (!Allowed({Requirement::FrameOpen})) return;
  // As the star-marking mode does on entry, the old marks go; the frame stays in that mode for corrections.
  EnterMode(WorkMode::StarMarking);
  AutoStarsStep step;
  {
    LongTaskGuard guard(LongTaskFlags(), progress_, QStringLiteral("Автоматическая разметка звезд."), true);
    step = session_.AutoStars(AutoDetectOptions{}, guard.Task());
  }
  if (step.error == StepError::Cancelled) return;
  RedrawMarks();
  // When too few stars were marked, why goes on a second line.
  const std::string why = step.Ok() || step.marking.shortage.empty() ? "" : "\n" + step.marking.shortage;
  for (const std::string& message : step.messages) Say(QString::fromStdString(message + why));
}

void MainWindow::AutoTrack() {
  if (!Allowed({Requirement::FrameOpen})) return;
  // As the end-marking mode does on entry, the old ends go.
  EnterMode(WorkMode::AutoTrackEnds);
  StreakSearch found;
  {
    LongTaskGuard guard(LongTaskFlags(), progress_, QStringLiteral("Автоматический поиск трека."), true);
    found = session_.FindFrameStreaks(AutoDetectOptions{}, guard.Task());
  }
  if (!found.Ok()) return;
  const StreakStep step = session_.MarkStreak(
      found.streaks, [this](const std::vector<StreakCandidate>& streaks) { return ChooseStreak(streaks, this); });
  for (const std::string& message : step.messages) Say(QString::fromStdString(message));
  for (const TrackEndAddition& addition : step.additions) ShowTrackEndAddition(addition);
}

void MainWindow::AutoProcess() {
  if (!Allowed({Requirement::FrameOpen})) return;
  if (!Collect(true)) return;
  // A new road starts from a clean frame: no candidate list, trajectories, local stars or catalogue marks.
  satellites_->CloseAll();
  form1_->RemoveOverlay(OverlayKind::LocalReference);
  form1_->RemoveOverlay(OverlayKind::CatalogueStars);
  form1_->RemoveOverlay(OverlayKind::MagnitudeLabels);
  EnterMode(WorkMode::View);

  AutoChainOptions options;
  options.knownCentre = panel_ && panel_->CentreGiven();
  if (!textWindow_) textWindow_ = new FrmTxt(this);
  AutoChainResult result;
  {
    LongTaskGuard guard(LongTaskFlags(), progress_, QStringLiteral("Автоматическая обработка."), true);
    result = RunAutoChain(
        app_, frame_, options, guard.Task(),
        [this](const std::vector<StreakCandidate>& streaks) { return ChooseStreak(streaks, this); },
        textWindow_->LineSink());
  }
  ShowAutoChain(result);
}

void MainWindow::ShowAutoChain(const AutoChainResult& result) {
  RedrawMarks();
  if (result.identification.success) ShowIdentification(result.identification);
  if (!result.measurement.lines.empty()) {
    textWindow_->PlaceBeside(panel_);
    textWindow_->FitToContent();
    PlaceClearOfFrame(textWindow_, textWindow_->pos());
    textWindow_->show();
    for (const LocalReferenceMark& mark : result.measurement.localMarks)
      DrawOutline(OverlayKind::LocalReference, LocalReferenceOutline(mark, ViewState().displayScale, app_.palette));
  }
  if (result.success) {
    satellites_->ShowFirstCandidate();
    if (!result.search.hint.empty())
      ShowHint(QString::fromStdString(result.search.hint), QStringLiteral(" "), QStringLiteral(" "));
  }
  // A road that stopped for want of stars says on a second line why so few were marked.
  const bool fewStars = result.reached == AutoStep::Stars || result.reached == AutoStep::Identification;
  const std::string why = fewStars && !result.stars.shortage.empty() ? "\n" + result.stars.shortage : "";
  if (!result.message.empty()) Say(QString::fromStdString(result.message + why));
  for (const std::string& warning : result.warnings) Say(QString::fromStdString(warning));
}
