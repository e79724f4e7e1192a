#include "ui_test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace testing_support {

MessageRecorder::MessageRecorder() {
  SetMessageInterceptor([this](const QString& text, const QString& caption, MessageButtons buttons) {
    messages.push_back({text, caption, buttons});
    if (buttons == MessageButtons::Ok) return MessageAnswer::Ok;
    if (answers.empty()) return MessageAnswer::Yes;
    MessageAnswer a = answers.front();
    answers.pop_front();
    return a;
  });
}

MessageRecorder::~MessageRecorder() {
  SetMessageInterceptor({});
}

std::vector<QString> MessageRecorder::Texts() const {
  std::vector<QString> out;
  for (const auto& m : messages) out.push_back(m.text);
  return out;
}

void ProcessEvents(int milliseconds) {
  QElapsedTimer t;
  t.start();
  do {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  } while (t.elapsed() < milliseconds);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace testing_support
