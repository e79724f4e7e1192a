#include "base/ui/message.h"

#include <QGridLayout>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <utility>

#include "base/ui/owned_window.h"

namespace {
MessageInterceptor& Interceptor() {
  static MessageInterceptor interceptor;
  return interceptor;
}
NumberInterceptor& NumberQuestion() {
  static NumberInterceptor interceptor;
  return interceptor;
}
}  // namespace

QString WithNextStep(const QString& text) {
  static const std::pair<QString, QString> kSteps[] = {
      {QStringLiteral("Нет TLE."),
       QStringLiteral("В базе нет элементов орбит: введите их (меню TLE -> Ввести TLE из файлов).")},
      {QStringLiteral("Ошибка ввода даты"), QStringLiteral("Дата вводится как ДД.ММ.ГГГГ, например 07.05.2026.")},
      {QStringLiteral("Ошибка ввода времени"), QStringLiteral("Время вводится как ЧЧ:ММ:СС, например 21:15:30.5.")},
      {QStringLiteral("Ошибка ввода долготы"),
       QStringLiteral("Долгота вводится в градусах числом, например 37.617 (к западу: W или знак минус).")},
      {QStringLiteral("Ошибка ввода широты"),
       QStringLiteral("Широта вводится в градусах числом, например 55.755 (к югу: S или знак минус).")},
  };
  for (const auto& [designed, step] : kSteps)
    if (text == designed) return text + QStringLiteral("\r\n") + step;
  return text;
}

MessageAnswer ShowMessage(const QString& designedText, const QString& caption, MessageButtons buttons,
                          QWidget* parent) {
  const QString text = WithNextStep(designedText);
  if (Interceptor()) return Interceptor()(text, caption, buttons);
  QMessageBox box(parent);
  box.setWindowTitle(caption);
  box.setText(text);
  // A short text would make the box narrower than its caption, which the window system then cuts short.
  if (auto* grid = qobject_cast<QGridLayout*>(box.layout()))
    grid->addItem(new QSpacerItem(CaptionWidth(caption), 0, QSizePolicy::Minimum, QSizePolicy::Expanding),
                  grid->rowCount(), 0, 1, grid->columnCount());
  if (buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoDefaultNo) {
    QPushButton* yes = box.addButton(QStringLiteral("Да"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("Нет"), QMessageBox::NoRole);
    if (buttons == MessageButtons::YesNoDefaultNo) {
      box.setDefaultButton(no);
      box.setEscapeButton(no);
    }
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

std::optional<int> AskNumber(const QString& caption, const QString& label, int lowest, int highest, QWidget* parent) {
  if (NumberQuestion()) return NumberQuestion()(caption, label);
  QInputDialog dialog(parent);
  dialog.setWindowTitle(caption);
  dialog.setLabelText(label);
  dialog.setInputMode(QInputDialog::IntInput);
  dialog.setIntRange(lowest, highest);
  dialog.setIntValue(lowest);
  dialog.setOkButtonText(QStringLiteral("OK"));
  dialog.setCancelButtonText(QStringLiteral("Отмена"));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.intValue();
}

void SetNumberInterceptor(NumberInterceptor interceptor) {
  NumberQuestion() = std::move(interceptor);
}
