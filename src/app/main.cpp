// The Orvia desktop executable: orvia [--app-dir DIR] [FRAME]
#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QStringList>
#include <QTimer>

#include "base/numbers.h"
#include "base/ui/message.h"
#include "base/ui/translations.h"
#include "session/app_dir.h"
#include "desktop/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Orvia");
  InstallQtRussian(app);
  // Working files live beside the executable unless another directory is named; a named directory is
  // created on first start and given the shipped catalogue and manual.
  QString appDir = QApplication::applicationDirPath();
  QStringList args = QApplication::arguments();
  args.removeFirst();
  const qsizetype at = args.indexOf("--app-dir");
  if (at >= 0 && at + 1 < args.size()) {
    appDir = QDir::cleanPath(QDir::fromNativeSeparators(args[at + 1]));
    const SeedResult seeded =
        SeedApplicationDirectory(QDir::toNativeSeparators(appDir).toStdString(),
                                 QDir::toNativeSeparators(QApplication::applicationDirPath()).toStdString());
    if (!seeded.ok) ShowMessage(QString::fromStdString(seeded.message));
    args.remove(at, 2);
  }
  const QString separator = QLocale::system().decimalPoint();
  SetDecimalSeparator(separator == "," ? ',' : '.');

  MainWindow window(appDir);
  window.show();
  // A second instance on the same directory, or a window closed during start-up, ends the program here.
  if (!window.StartUp()) return 0;
  // A frame named on the command line opens as "Открыть кадр" would open it.
  if (!args.isEmpty() && window.App().catalogueReady)
    QTimer::singleShot(0, &window, [&window, frame = args.front()] { window.OpenFrameFromCommandLine(frame); });
  return QApplication::exec();
}
