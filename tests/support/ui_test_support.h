#pragma once
// Helpers for window tests: a recorder that intercepts every message box, and control lookup by name.

#include <QString>
#include <QWidget>
#include <deque>
#include <vector>

#include "base/ui/message.h"

namespace testing_support {

struct RecordedMessage {
  QString text;
  QString caption;
  MessageButtons buttons;
};

// Intercepts message boxes while alive; answers Yes/No questions from a queue (Yes when empty).
class MessageRecorder {
public:
  MessageRecorder();
  ~MessageRecorder();
  std::vector<RecordedMessage> messages;
  std::deque<MessageAnswer> answers;
  // Texts of the recorded messages, in order.
  std::vector<QString> Texts() const;
  void Clear() { messages.clear(); }
};

// The child control with the given object name (nullptr when there is none).
template <typename T>
T* Find(QWidget* root, const char* name) {
  return root ? root->findChild<T*>(QString::fromLatin1(name)) : nullptr;
}

// Lets queued events (timers, deferred deletes) run for the given milliseconds.
void ProcessEvents(int milliseconds = 0);

}  // namespace testing_support
