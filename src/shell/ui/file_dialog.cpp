#include "shell/ui/file_dialog.h"

#include <QFileDialog>

namespace {
FileDialogInterceptor& Interceptor() {
  static FileDialogInterceptor interceptor;
  return interceptor;
}
}  // namespace

QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& directory, const QString& filter) {
  if (Interceptor()) return Interceptor()(title, directory, filter);
  return QFileDialog::getOpenFileName(parent, title, directory, filter);
}

void SetFileDialogInterceptor(FileDialogInterceptor interceptor) { Interceptor() = std::move(interceptor); }

#include <QDesktopServices>
#include <QUrl>

namespace {
DocumentOpener& Opener() {
  static DocumentOpener opener;
  return opener;
}
}  // namespace

bool OpenDocument(const QString& path) {
  if (Opener()) return Opener()(path);
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void SetDocumentOpener(DocumentOpener opener) { Opener() = std::move(opener); }
