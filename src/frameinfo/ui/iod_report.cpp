#include "frameinfo/ui/iod_report.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QString>

#include "base/ui/file_dialog.h"
#include "base/ui/message.h"

void ShowIodReport(QWidget* parent, const IodResult& result) {
  if (!result.ok) {
    ShowMessage(QString::fromStdString(result.message), kMessageCaption, MessageButtons::Ok, parent);
    return;
  }
  // Let pending paints finish before another program takes the focus.
  QCoreApplication::processEvents();
  const QString path = QDir::toNativeSeparators(QString::fromStdString(result.path));
#ifdef Q_OS_WIN
  const bool opened = QProcess::startDetached(QStringLiteral("notepad.exe"), {path});
#else
  const bool opened = OpenDocument(path);
#endif
  QString text = QStringLiteral("Отчет IOD записан в файл\r\n%1").arg(path);
  if (!opened) text += QStringLiteral("\r\nОткрыть его не удалось: не найдена программа для текстовых файлов.");
  ShowMessage(text, kMessageCaption, MessageButtons::Ok, parent);
}
