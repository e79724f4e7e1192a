// The Orvia desktop executable: orvia [--app-dir DIR]
#include <QApplication>
#include <QLocale>
#include <QStringList>

#include "base/numbers.h"
#include "shell/ui/main_window.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Orvia");
  // Working files live beside the executable unless another directory is named.
  QString appDir = QApplication::applicationDirPath();
  const QStringList args = QApplication::arguments();
  const int at = args.indexOf("--app-dir");
  if (at >= 0 && at + 1 < args.size()) appDir = args[at + 1];
  const QString separator = QLocale::system().decimalPoint();
  SetDecimalSeparator(separator == "," ? ',' : '.');

  MainWindow window(appDir);
  window.show();
  // A second instance on the same directory, or a window closed during start-up, ends the program here.
  if (!window.StartUp()) return 0;
  return QApplication::exec();
}
