#include "orbit/ui/satellite_windows.h"

#include <QApplication>

#include "base/ui/frmz.h"
#include "base/ui/long_task.h"
#include "base/ui/message.h"
#include "base/ui/owned_window.h"
#include "orbit/ui/frm_id.h"
#include "orbit/ui/frm_sat_n.h"
#include "orbit/ui/frm_sat_par.h"
#include "orbit/ui/frm_usersat.h"

TrajectoryCanvas TrajectoryCanvasOf(const SatelliteFrame& frame) {
  TrajectoryCanvas canvas;
  canvas.plate = frame.plate.working;
  canvas.imageWidth = frame.imageWidth;
  canvas.imageHeight = frame.imageHeight;
  canvas.displayScale = frame.displayScale;
  return canvas;
}

void ClearTrajectories(SatelliteContext& context, bool labels) {
  context.state.marks.clear();
  if (labels) context.state.labels.clear();
  if (context.showTrajectories) context.showTrajectories();
}

SatelliteWindows::SatelliteWindows(SatelliteContext context, QObject* parent)
    : QObject(parent), context_(std::move(context)) {}

SatelliteWindows::~SatelliteWindows() {
  // The windows refer to the context this object holds: they go with it, without their closing work.
  for (QWidget* window : {static_cast<QWidget*>(filter_), static_cast<QWidget*>(candidates_),
                          static_cast<QWidget*>(usersat_), static_cast<QWidget*>(several_)}) {
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
  for (QWidget* window : {static_cast<QWidget*>(filter_), static_cast<QWidget*>(candidates_),
                          static_cast<QWidget*>(usersat_), static_cast<QWidget*>(several_)})
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
  context_.state.candidates = CandidateList{};
  ClearTrajectories(context_, false);

  filterWindow->hide();
  QApplication::processEvents();

  const SatelliteFrame frame = context_.frame();
  CandidateSearchInput input;
  input.appDir = context_.appDir;
  input.end1 = frame.endSky[0];
  input.end2 = frame.endSky[1];
  input.window = MakeTrackWindow(frame.info);
  input.latitudeRad = frame.info.latitudeRad;
  input.longitudeRad = frame.info.longitudeRad;

  searching_ = true;
  emptyAfterSearch_ = false;
  CandidateSearchResult result;
  {
    LongTaskGuard guard({context_.longTaskRunning, &context_.catalogueReady}, context_.progress,
                        QStringLiteral("Идентификация ИСЗ."), true);
    result = CandidateSearch(input, filter, context_.state.candidates, guard.Task(),
                             [this](const CandidateList&) { ShowCandidates(); });
  }
  searching_ = false;
  if (emptyAfterSearch_) context_.state.candidates = CandidateList{};

  if (!result.message.empty())
    ShowMessage(QString::fromStdString(result.message), kMessageCaption, MessageButtons::Ok, context_.owner);
  else if (!result.hint.empty() && !emptyAfterSearch_ && context_.hint)
    context_.hint(QString::fromStdString(result.hint), QStringLiteral(" "), QStringLiteral(" "));
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
  if (context_.state.candidates.rows.empty()) return;
  emptyAfterSearch_ = false;
  ShowCandidates();
  if (candidates_) candidates_->SelectRow(0);
}

void SatelliteWindows::CandidatesClosed() {
  candidates_ = nullptr;
  ClearTrajectories(context_, false);
  if (!searching_) {
    context_.state.candidates = CandidateList{};
    return;
  }
  // The search is still filling the lists: stop it and empty them once it has returned.
  emptyAfterSearch_ = true;
  context_.longTaskRunning = false;
}

void SatelliteWindows::DrawCandidate(int recordIndex) {
  const auto& records = context_.state.candidates.records;
  if (recordIndex < 1 || recordIndex > static_cast<int>(records.size())) return;
  const TleRecord tle = records[static_cast<std::size_t>(recordIndex - 1)].tle;
  const SatelliteFrame frame = context_.frame();
  // A failed propagation leaves the frame without marks.
  std::vector<TrajectoryMark> marks = CandidateTrajectory(tle, frame.info, TrajectoryCanvasOf(frame), context_.palette);
  context_.state.marks = std::move(marks);
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
