#include "base/ui/message.h"

#include <QMessageBox>
#include <QPushButton>

namespace {
MessageInterceptor& Interceptor() {
  static MessageInterceptor interceptor;
  return interceptor;
}
}  // namespace

MessageAnswer ShowMessage(const QString& text, const QString& caption, MessageButtons buttons, QWidget* parent) {
  if (Interceptor()) return Interceptor()(text, caption, buttons);
  QMessageBox box(parent);
  box.setWindowTitle(caption);
  box.setText(text);
  if (buttons == MessageButtons::YesNo) {
    QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    box.exec();
    return box.clickedButton() == yes ? MessageAnswer::Yes : MessageAnswer::No;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return MessageAnswer::Ok;
}

void SetMessageInterceptor(MessageInterceptor interceptor) {
  Interceptor() = std::move(interceptor);
}
