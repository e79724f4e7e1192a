#include "desktop/frm_id.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QStyle>
#include <QToolButton>

#include "base/ui/owned_window.h"

FrmId::FrmId(SatelliteContext& context, std::function<void(int)> drawCandidate, QWidget* parent)
    : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint)),
      context_(context),
      drawCandidate_(std::move(drawCandidate)) {
  setObjectName("FrmId");
  setWindowTitle(QStringLiteral("Претенденты ИСЗ"));
  list1_ = new QListWidget(this);
  list1_->setObjectName("List1");
  lblnum_ = new QLabel(QStringLiteral(" "), this);
  lblnum_->setObjectName("lblnum");
  image1_ = new QToolButton(this);
  image1_->setObjectName("Image1");
  image1_->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));
  image1_->setToolTip(QStringLiteral("Запомнить номер ИСЗ как идентифицированный"));
  image2_ = new QToolButton(this);
  image2_->setObjectName("Image2");
  image2_->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
  image2_->setToolTip(QStringLiteral("Запомнить номер для рисования нескольких ИСЗ"));

  auto* grid = new QGridLayout(this);
  grid->addWidget(list1_, 0, 0, 1, 3);
  grid->addWidget(image1_, 1, 0);
  grid->addWidget(image2_, 1, 1);
  grid->addWidget(lblnum_, 1, 2);
  resize(520, 260);

  connect(list1_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) { RowClicked(list1_->row(item)); });
  connect(image1_, &QToolButton::clicked, this, &FrmId::IdentifyClicked);
  connect(image2_, &QToolButton::clicked, this, &FrmId::RememberClicked);
}

void FrmId::ShowRows() {
  const QSignalBlocker blocker(list1_);
  list1_->clear();
  for (const CandidateRow& row : context_.session.Frame().satellites.candidates.rows)
    list1_->addItem(QString::fromStdString(CandidateListText(row)));
}

void FrmId::SelectRow(int row) {
  if (row < 0 || row >= list1_->count()) return;
  {
    const QSignalBlocker blocker(list1_);
    list1_->setCurrentRow(row);
  }
  RowClicked(row);
}

void FrmId::RowClicked(int row) {
  const auto& rows = context_.session.Frame().satellites.candidates.rows;
  if (row < 0 || row >= static_cast<int>(rows.size())) return;
  clickedRecord_ = rows[static_cast<std::size_t>(row)].recordIndex;
  if (drawCandidate_) drawCandidate_(clickedRecord_);
}

const TleRecord* FrmId::ClickedCandidate() const {
  const auto& records = context_.session.Frame().satellites.candidates.records;
  if (clickedRecord_ < 1 || clickedRecord_ > static_cast<int>(records.size())) return nullptr;
  return &records[static_cast<std::size_t>(clickedRecord_ - 1)].tle;
}

void FrmId::IdentifyClicked() {
  const TleRecord* tle = ClickedCandidate();
  if (!tle) return;
  context_.session.Remember(tle->catalogNumber, tle->name);
  lblnum_->setText(QStringLiteral("Номер будет занесет в инф-файл"));
}

void FrmId::RememberClicked() {
  const TleRecord* tle = ClickedCandidate();
  if (!tle) return;
  context_.session.RememberForSeveral(tle->catalogNumber);
  lblnum_->setText(QStringLiteral("Номер будет запомнен"));
}

void FrmId::closeEvent(QCloseEvent* event) {
  emit Closed();
  QWidget::closeEvent(event);
}
