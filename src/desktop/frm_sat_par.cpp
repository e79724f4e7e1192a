#include "desktop/frm_sat_par.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/numbers.h"
#include "base/ui/owned_window.h"

double ReadUserNumber(const QString& text) {
  QString dotted = text;
  return ParseNumber(dotted.replace(',', '.').toStdString());
}

FrmSatPar::FrmSatPar(SearchRun run, QWidget* parent)
    : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint)), run_(std::move(run)) {
  setObjectName("FrmSatPar");
  setWindowTitle(QStringLiteral("Фильтр ИСЗ"));
  setAttribute(Qt::WA_DeleteOnClose);
  CreateControls();
}

void FrmSatPar::CreateControls() {
  auto edit = [this](const char* name, const QString& text) {
    auto* box = new QLineEdit(text, this);
    box->setObjectName(name);
    return box;
  };
  auto label = [this](const char* name, const QString& text) {
    auto* l = new QLabel(text, this);
    l->setObjectName(name);
    return l;
  };
  chPeriod_ = new QCheckBox(QStringLiteral("Период [мин]"), this);
  chPeriod_->setObjectName("chPeriod");
  txtpermin_ = edit("txtpermin", "0");
  txtpermax_ = edit("txtpermax", "300");
  chi_ = new QCheckBox(QStringLiteral("Наклонение °"), this);
  chi_->setObjectName("Chi");
  txtimin_ = edit("txtimin", "0");
  txtimax_ = edit("txtimax", "180.0");
  // The thresholds start from their defaults every time the window opens.
  filter_ = CandidateFilter{};
  txter1_ = edit("txter1", QString::fromStdString(FormatNumber(filter_.maxDistance, "0")));
  txter2_ = edit("txter2", QString::fromStdString(FormatNumber(filter_.maxDirection, "0")));
  cmdok_ = new QPushButton(QStringLiteral("ОК"), this);
  cmdok_->setObjectName("cmdok");

  auto* grid = new QGridLayout(this);
  grid->addWidget(label("lblmin", QStringLiteral("Мин.")), 0, 1);
  grid->addWidget(label("lblmax", QStringLiteral("Макс.")), 0, 2);
  grid->addWidget(chPeriod_, 1, 0);
  grid->addWidget(txtpermin_, 1, 1);
  grid->addWidget(txtpermax_, 1, 2);
  grid->addWidget(chi_, 2, 0);
  grid->addWidget(txtimin_, 2, 1);
  grid->addWidget(txtimax_, 2, 2);
  grid->addWidget(label("lbler1", QStringLiteral("Угловая ошибка °")), 3, 0);
  grid->addWidget(txter1_, 3, 1);
  grid->addWidget(label("lbler2", QStringLiteral("Ошибка наклона°")), 4, 0);
  grid->addWidget(txter2_, 4, 1);
  grid->addWidget(cmdok_, 5, 2);
  PeriodClicked();
  InclinationClicked();

  connect(chPeriod_, &QCheckBox::clicked, this, &FrmSatPar::PeriodClicked);
  connect(chi_, &QCheckBox::clicked, this, &FrmSatPar::InclinationClicked);
  connect(txter1_, &QLineEdit::textChanged, this, &FrmSatPar::DistanceEdited);
  connect(txter2_, &QLineEdit::textChanged, this, &FrmSatPar::DirectionEdited);
  connect(cmdok_, &QPushButton::clicked, this, &FrmSatPar::OkClicked);
}

void FrmSatPar::PeriodClicked() {
  txtpermin_->setEnabled(chPeriod_->isChecked());
  txtpermax_->setEnabled(chPeriod_->isChecked());
}

void FrmSatPar::InclinationClicked() {
  txtimin_->setEnabled(chi_->isChecked());
  txtimax_->setEnabled(chi_->isChecked());
}

void FrmSatPar::DistanceEdited(const QString& text) {
  filter_.maxDistance = static_cast<float>(ReadUserNumber(text));
}

void FrmSatPar::DirectionEdited(const QString& text) {
  filter_.maxDirection = static_cast<float>(ReadUserNumber(text));
}

void FrmSatPar::OkClicked() {
  const CandidateFilter defaults;
  filter_.periodMin = chPeriod_->isChecked() ? ReadUserNumber(txtpermin_->text()) : defaults.periodMin;
  filter_.periodMax = chPeriod_->isChecked() ? ReadUserNumber(txtpermax_->text()) : defaults.periodMax;
  filter_.inclMin = chi_->isChecked() ? ReadUserNumber(txtimin_->text()) : defaults.inclMin;
  filter_.inclMax = chi_->isChecked() ? ReadUserNumber(txtimax_->text()) : defaults.inclMax;
  if (!run_ || !run_(filter_, this)) return;
  close();
}

void FrmSatPar::closeEvent(QCloseEvent* event) {
  emit Closed();
  QWidget::closeEvent(event);
}
