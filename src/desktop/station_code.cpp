#include "desktop/station_code.h"

#include "base/ui/message.h"
#include "session/frame_session.h"

bool EnsureStationCode(FrameSession& session, QWidget* parent) {
  while (session.StationCodeMissing()) {
    const std::optional<int> code =
        AskNumber(QStringLiteral("Код станции"), QString::fromUtf8(kStationCodeQuestionText), kStationCodeLowest,
                  kStationCodeHighest, parent);
    if (!code) return false;
    const StepResult given = session.SetStationCode(*code);
    for (const std::string& message : given.messages)
      ShowMessage(QString::fromStdString(message), kMessageCaption, MessageButtons::Ok, parent);
  }
  return true;
}
