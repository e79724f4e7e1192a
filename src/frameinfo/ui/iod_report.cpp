#include "frameinfo/ui/iod_report.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QProcess>
#include <QString>
#include <QUrl>

#include "base/ui/message.h"

void ShowIodReport(QWidget* parent, const IodResult& result) {
  if (!result.ok) {
    ShowMessage(QString::fromStdString(result.message), kMessageCaption, MessageButtons::Ok, parent);
    return;
  }
  // Let pending paints finish before another program takes the focus.
  QCoreApplication::processEvents();
  const QString path = QString::fromStdString(result.path);
#ifdef Q_OS_WIN
  QProcess::startDetached(QStringLiteral("notepad.exe"), {path});
#else
  QDesktopServices::openUrl(QUrl::fromLocalFile(path));
#endif
}
