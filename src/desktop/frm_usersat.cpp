#include "desktop/frm_usersat.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

#include "base/numbers.h"
#include "base/ui/message.h"
#include "base/ui/owned_window.h"
#include "desktop/frm_sat_par.h"
#include "desktop/satellite_windows.h"
#include "desktop/station_code.h"
#include "frameinfo/ui/iod_report.h"

FrmUsersat::FrmUsersat(SatelliteContext& context, QWidget* parent)
    : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint)), context_(context) {
  setObjectName("frmUsersat");
  setWindowTitle(QStringLiteral("Траектория ИСЗ"));
  auto* lblNorad = new QLabel(QStringLiteral("Norad №"), this);
  lblNorad->setObjectName("lblNorad");
  txtnorad_ = new QLineEdit(QString::fromStdString(FormatNumber(context_.session.Frame().identifiedNorad, "0")), this);
  txtnorad_->setObjectName("txtnorad");
  auto* lblstep = new QLabel(QStringLiteral("Шаг расчета [сек]"), this);
  lblstep->setObjectName("lblstep");
  txtstep_ = new QLineEdit(QStringLiteral("1.0"), this);
  txtstep_->setObjectName("txtstep");
  txtcom_ = new QPlainTextEdit(QStringLiteral(" "), this);
  txtcom_->setObjectName("txtcom");
  txtcom_->setReadOnly(true);
  txtcom_->setLineWrapMode(QPlainTextEdit::NoWrap);
  cmdok_ = new QPushButton(QStringLiteral("OK"), this);
  cmdok_->setObjectName("cmdok");
  image1_ = new QToolButton(this);
  image1_->setObjectName("Image1");
  image1_->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  image1_->setToolTip(QStringLiteral("Запомнить номер"));
  image2_ = new QToolButton(this);
  image2_->setObjectName("Image2");
  image2_->setIcon(style()->standardIcon(QStyle::SP_FileIcon));
  image2_->setToolTip(QStringLiteral("Создать IOD"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(lblNorad, 0, 0);
  grid->addWidget(txtnorad_, 0, 1);
  grid->addWidget(lblstep, 1, 0);
  grid->addWidget(txtstep_, 1, 1);
  grid->addWidget(cmdok_, 0, 2);
  grid->addWidget(image1_, 1, 2);
  grid->addWidget(image2_, 1, 3);
  grid->addWidget(txtcom_, 2, 0, 1, 4);
  resize(640, 360);

  connect(cmdok_, &QPushButton::clicked, this, &FrmUsersat::OkClicked);
  connect(image1_, &QToolButton::clicked, this, &FrmUsersat::RememberClicked);
  connect(image2_, &QToolButton::clicked, this, &FrmUsersat::IodClicked);
}

void FrmUsersat::AppendLine(const std::string& line) {
  txtcom_->appendPlainText(QString::fromStdString(line));
}

void FrmUsersat::OkClicked() {
  const double step = ReadUserNumber(txtstep_->text());
  const int number = RoundToInt(ReadUserNumber(txtnorad_->text()));
  // The entries are checked before the panel, so that a bad number does not wait for the circumstances.
  const std::string problem = UsersatEntryProblem(number, step);
  if (!problem.empty()) return txtcom_->setPlainText(QString::fromStdString(problem));
  if (!context_.collectStrict()) return;

  txtcom_->setPlainText(QStringLiteral(" "));
  computed_ = false;
  number_ = number;
  ClearTrajectories(context_, true);
  const TrajectoryStep computed = context_.session.Trajectory(number, step);
  for (const std::string& message : computed.messages)
    ShowMessage(QString::fromStdString(message), kMessageCaption, MessageButtons::Ok, this);
  const SingleTrajectory& result = computed.trajectory;
  designator_ = result.designator;
  displayName_ = result.displayName;
  for (const std::string& line : result.lines) AppendLine(line);
  // The whole table in view from its first line; a window grown for it moves off the frame again.
  const QSize before = size();
  FitTextWindow(this, txtcom_);
  if (size() != before && context_.place) context_.place(this);
  context_.showTrajectories();
  if (computed.endsExchanged && context_.showTrackEnds) context_.showTrackEnds();
  computed_ = true;
}

void FrmUsersat::RememberClicked() {
  if (!computed_) return;
  context_.session.Remember(number_, displayName_);
}

void FrmUsersat::IodClicked() {
  if (designator_.empty()) return;
  if (context_.session.IodRefusal().empty() && !EnsureStationCode(context_.session, this)) return;
  const IodStep written = context_.session.IodReport(number_, designator_);
  if (written.error == StepError::Refused)
    return static_cast<void>(ShowMessage(QString::fromStdString(written.messages.front()), QStringLiteral("Сообщения"),
                                         MessageButtons::Ok, this));
  ShowIodReport(this, written.report);
  if (written.Ok())  // a clock the prediction disagrees with
    for (const std::string& message : written.messages)
      ShowMessage(QString::fromStdString(message), kMessageCaption, MessageButtons::Ok, this);
}

void FrmUsersat::closeEvent(QCloseEvent* event) {
  emit Closed();
  QWidget::closeEvent(event);
}
