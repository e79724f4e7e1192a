#include "desktop/satellite_windows.h"

#include <QApplication>

#include "base/ui/frmz.h"
#include "base/ui/long_task.h"
#include "base/ui/message.h"
#include "base/ui/owned_window.h"
#include "desktop/frm_id.h"
#include "desktop/frm_sat_n.h"
#include "desktop/frm_sat_par.h"
#include "desktop/frm_usersat.h"

void ClearTrajectories(SatelliteContext& context, bool labels) {
  SatelliteState& state = context.session.Frame().satellites;
  state.marks.clear();
  if (labels) state.labels.clear();
  if (context.showTrajectories) context.showTrajectories();
}

SatelliteWindows::SatelliteWindows(SatelliteContext context, QObject* parent)
    : QObject(parent), context_(std::move(context)) {}

SatelliteWindows::~SatelliteWindows() {
  // The windows refer to the context this object holds: they go with it, without their closing work.
  for (QWidget* window :
       {static_cast<QWidget*>(filter_), static_cast<QWidget*>(candidates_), static_cast<QWidget*>(usersat_),
        static_cast<QWidget*>(several_), static_cast<QWidget*>(crossings_)}) {
    if (!window) continue;
    window->disconnect(this);
    delete window;
  }
}

FrmSatPar* SatelliteWindows::FilterWindow() const {
  return filter_;
}
FrmId* SatelliteWindows::CandidateWindow() const {
  return candidates_;
}
FrmUsersat* SatelliteWindows::UserSatWindow() const {
  return usersat_;
}
FrmSatN* SatelliteWindows::SatNWindow() const {
  return several_;
}
FrmCrossings* SatelliteWindows::CrossingsWindow() const {
  return crossings_;
}

void SatelliteWindows::Place(QWidget* window) const {
  if (!window->testAttribute(Qt::WA_Resized)) window->adjustSize();  // its size is known before it is shown
  if (context_.place)
    context_.place(window);
  else if (QWidget* owner = context_.owner)
    MoveInsideArea(window, QPoint(owner->x() + owner->width() / 3, owner->y() + owner->height() / 3));
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->show();
}

void SatelliteWindows::CloseAll() {
  for (QWidget* window :
       {static_cast<QWidget*>(filter_), static_cast<QWidget*>(candidates_), static_cast<QWidget*>(usersat_),
        static_cast<QWidget*>(several_), static_cast<QWidget*>(crossings_)})
    if (window) window->close();
}

void SatelliteWindows::OpenFilter() {
  if (filter_) filter_->close();
  filter_ = new FrmSatPar([this](const CandidateFilter& filter, QWidget* window) { return RunSearch(filter, window); },
                          context_.owner);
  connect(filter_, &FrmSatPar::Closed, this, [this] { filter_ = nullptr; });
  Place(filter_);
}

bool SatelliteWindows::RunSearch(const CandidateFilter& filter, QWidget* filterWindow) {
  if (!context_.collectStrict()) return false;
  // A new search starts from an empty list and a clean frame.
  if (candidates_) candidates_->close();
  SatelliteState& state = context_.session.Frame().satellites;
  state.candidates = CandidateList{};
  ClearTrajectories(context_, false);

  filterWindow->hide();
  QApplication::processEvents();

  searching_ = true;
  emptyAfterSearch_ = false;
  CandidatesStep step;
  {
    AppState& app = context_.session.App();
    LongTaskGuard guard({app.longTaskRunning, &app.catalogueReady}, context_.progress,
                        QStringLiteral("Идентификация ИСЗ."), true);
    step = context_.session.Candidates(filter, guard.Task(), [this](const CandidateList&) { ShowCandidates(); });
  }
  searching_ = false;
  if (emptyAfterSearch_) state.candidates = CandidateList{};

  for (const std::string& message : step.messages)
    ShowMessage(QString::fromStdString(message), kMessageCaption, MessageButtons::Ok, context_.owner);
  if (step.messages.empty() && !step.search.hint.empty() && !emptyAfterSearch_ && context_.hint)
    context_.hint(QString::fromStdString(step.search.hint), QStringLiteral(" "), QStringLiteral(" "));
  return true;
}

void SatelliteWindows::ShowCandidates() {
  if (emptyAfterSearch_) return;  // the user closed the list while the search went on
  if (!candidates_) {
    candidates_ = new FrmId(
        context_, [this](int recordIndex) { DrawCandidate(recordIndex); }, context_.owner);
    connect(candidates_, &FrmId::Closed, this, &SatelliteWindows::CandidatesClosed);
    Place(candidates_);
  }
  candidates_->ShowRows();
}

void SatelliteWindows::ShowFirstCandidate() {
  if (context_.session.Frame().satellites.candidates.rows.empty()) return;
  emptyAfterSearch_ = false;
  ShowCandidates();
  if (candidates_) candidates_->SelectRow(0);
}

void SatelliteWindows::CandidatesClosed() {
  candidates_ = nullptr;
  ClearTrajectories(context_, false);
  if (!searching_) {
    context_.session.Frame().satellites.candidates = CandidateList{};
    return;
  }
  // The search is still filling the lists: stop it and empty them once it has returned.
  emptyAfterSearch_ = true;
  context_.session.App().longTaskRunning = false;
}

void SatelliteWindows::DrawCandidate(int recordIndex) {
  if (!context_.session.CandidateTrajectory(recordIndex)) return;
  if (context_.showTrajectories) context_.showTrajectories();
}

void SatelliteWindows::OpenUserSat() {
  if (usersat_) usersat_->close();
  usersat_ = new FrmUsersat(context_, context_.owner);
  connect(usersat_, &FrmUsersat::Closed, this, [this] {
    usersat_ = nullptr;
    ClearTrajectories(context_, false);
  });
  Place(usersat_);
}

void SatelliteWindows::OpenSatN() {
  if (several_) several_->close();
  several_ = new FrmSatN(context_, context_.owner);
  connect(several_, &FrmSatN::Closed, this, [this] {
    several_ = nullptr;
    ClearTrajectories(context_, true);
  });
  Place(several_);
}

void SatelliteWindows::OpenCrossings() {
  if (crossings_) crossings_->close();
  CrossingsStep step;
  {
    AppState& app = context_.session.App();
    LongTaskGuard guard({app.longTaskRunning, &app.catalogueReady}, context_.progress,
                        QStringLiteral("Все ИСЗ в кадре."), true);
    step = context_.session.Crossings(guard.Task());
  }
  if (context_.showTrajectories) context_.showTrajectories();
  for (const std::string& message : step.messages)
    ShowMessage(QString::fromStdString(message), kMessageCaption, MessageButtons::Ok, context_.owner);
  if (step.found.crossings.empty()) return;
  QStringList lines;
  for (const FrameCrossing& crossing : step.found.crossings) lines << QString::fromStdString(CrossingText(crossing));
  crossings_ = new FrmCrossings(lines, context_.owner);
  connect(crossings_, &FrmCrossings::Closed, this, [this] {
    crossings_ = nullptr;
    ClearTrajectories(context_, true);
  });
  Place(crossings_);
}
