#include "frameinfo/ui/frm_format.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "base/numbers.h"
#include "base/ui/owned_window.h"
#include "frameinfo/places.h"

namespace {

QString Fmt(double value, const char* pattern) {
  return QString::fromStdString(FormatNumber(value, pattern));
}

// A box's text as a number, "," read as the decimal point.
double BoxNumber(const QLineEdit* box) {
  return ParseNumber(box->text().replace(',', '.').toStdString());
}

}  // namespace

FrmFormat::FrmFormat(QLineEdit* target, QWidget* parent)
    : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint)), target_(target) {
  setObjectName("FrmFormat");
  setWindowTitle(QStringLiteral("Формат"));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* grid = new QGridLayout(this);
  const DmsParts dms = SplitDms(target ? BoxNumber(target) : 0.0);
  txtg_ = new QLineEdit(Fmt(dms.degrees, "0"), this);
  txtm_ = new QLineEdit(Fmt(dms.minutes, "0"), this);
  txts_ = new QLineEdit(Fmt(dms.seconds, "0.0"), this);
  const char* names[] = {"txtg", "txtm", "txts"};
  const QString labels[] = {QStringLiteral("°"), QStringLiteral("'"), QStringLiteral("\"")};
  QLineEdit* boxes[] = {txtg_, txtm_, txts_};
  for (int i = 0; i < 3; ++i) {
    boxes[i]->setObjectName(QString::fromLatin1(names[i]));
    boxes[i]->setMaximumWidth(60);
    grid->addWidget(boxes[i], 0, 2 * i);
    grid->addWidget(new QLabel(labels[i], this), 0, 2 * i + 1);
  }
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setObjectName("cmdok");
  auto* cancel = new QPushButton(QStringLiteral("Отмена"), this);
  cancel->setObjectName("cmdcancel");
  grid->addWidget(ok, 1, 0, 1, 3);
  grid->addWidget(cancel, 1, 3, 1, 3);
  connect(ok, &QPushButton::clicked, this, &FrmFormat::OkClicked);
  connect(cancel, &QPushButton::clicked, this, &QWidget::close);
}

void FrmFormat::OkClicked() {
  const double value =
      JoinDms(ParseNumber(txtg_->text().toStdString()), ParseNumber(txtm_->text().toStdString()), BoxNumber(txts_));
  if (target_) target_->setText(Fmt(value, "0.00000"));
  close();
}
