#include "desktop/frmp.h"

#include <QPlainTextEdit>

#include "base/ui/owned_window.h"

Frmp::Frmp(QWidget* parent) : QWidget(parent, OwnedWindowFlags(Qt::WindowCloseButtonHint)) {
  setObjectName("frmp");
  setWindowTitle(QStringLiteral("Подсказка"));
  setFixedSize(500, 100);
  txtp_ = new QPlainTextEdit(this);
  txtp_->setObjectName("txtp");
  txtp_->setReadOnly(true);
  txtp_->setGeometry(0, 0, 490, 70);
}

void Frmp::ShowHint(const QString& line1, const QString& line2, const QString& line3) {
  txtp_->setPlainText(line1 + "\r\n" + line2 + "\r\n" + line3);
}

QString Frmp::Text() const {
  return txtp_->toPlainText();
}
