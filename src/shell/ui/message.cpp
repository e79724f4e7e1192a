#include "shell/ui/message.h"

#include <QMessageBox>

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
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setButtonText(QMessageBox::Yes, QStringLiteral("Да"));
    box.setButtonText(QMessageBox::No, QStringLiteral("Нет"));
    return box.exec() == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return MessageAnswer::Ok;
}

void SetMessageInterceptor(MessageInterceptor interceptor) { Interceptor() = std::move(interceptor); }
