#include "desktop/frm_nast.h"

#include <QListWidget>
#include <QPushButton>

#include "base/numbers.h"
#include "base/ui/owned_window.h"

QString FrameSizeRowText(const FrameSizeRow& row) {
  const QString side = QString::fromStdString(FormatNumber(row.side, "00"));
  return side + "x" + side + "  " + QStringLiteral("Увеличение ") +
         QString::fromStdString(FormatNumber(row.zoom, "0")) + QStringLiteral("раз");
}

FrmNast::FrmNast(const FrameSizeTable& table, int currentIndex, QWidget* parent)
    : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint)) {
  setObjectName("FrmNast");
  setWindowTitle(QStringLiteral("Настройки"));
  setAttribute(Qt::WA_DeleteOnClose);
  listF_ = new QListWidget(this);
  listF_->setObjectName("ListF");
  listF_->setGeometry(10, 10, 220, 150);
  for (const FrameSizeRow& row : table) listF_->addItem(FrameSizeRowText(row));
  listF_->setCurrentRow(currentIndex);
  auto* ok = new QPushButton(QStringLiteral("ОК"), this);
  ok->setObjectName("cmdok");
  ok->setGeometry(80, 170, 80, 28);
  connect(ok, &QPushButton::clicked, this, &FrmNast::OkClicked);
  setFixedSize(240, 210);
}

void FrmNast::OkClicked() {
  const int row = listF_->currentRow();
  if (row >= 0) emit SizeChosen(row);
  close();
}
