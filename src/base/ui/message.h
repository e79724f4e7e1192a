#pragma once
// The one way Orvia shows a message box. Tests install an interceptor that records
// the message and answers it instead of a person.

#include <QString>
#include <functional>
#include <optional>

class QWidget;

// YesNoDefaultNo: a question whose Return and Escape answer "Нет" (before anything is deleted).
enum class MessageButtons { Ok, YesNo, YesNoDefaultNo };
enum class MessageAnswer { Ok, Yes, No };

// The caption almost every message uses.
inline const QString kMessageCaption = QStringLiteral("Сообщение");

// A designed text that leaves the user without a next step ("Нет TLE.", "Ошибка ввода даты", ...) with its
// cause and what to do on a second line; any other text as it is.
QString WithNextStep(const QString& text);

// Shows a modal message box with the text (WithNextStep), caption and buttons; returns the button pressed.
MessageAnswer ShowMessage(const QString& text, const QString& caption = kMessageCaption,
                          MessageButtons buttons = MessageButtons::Ok, QWidget* parent = nullptr);

// Receives every message instead of a box when installed (text, caption, buttons) and returns the answer.
using MessageInterceptor = std::function<MessageAnswer(const QString&, const QString&, MessageButtons)>;
// Installs (or, with an empty function, removes) the interceptor.
void SetMessageInterceptor(MessageInterceptor interceptor);

// Asks for a whole number between lowest and highest in a small modal dialog (caption, label); empty when
// the user cancels. Tests install an interceptor that answers instead.
std::optional<int> AskNumber(const QString& caption, const QString& label, int lowest, int highest,
                             QWidget* parent = nullptr);
// Receives every AskNumber question (caption, label) instead of the dialog when installed.
using NumberInterceptor = std::function<std::optional<int>(const QString&, const QString&)>;
void SetNumberInterceptor(NumberInterceptor interceptor);
