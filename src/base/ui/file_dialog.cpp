#include "base/ui/file_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace {
FileDialogInterceptor& Interceptor() {
  static FileDialogInterceptor interceptor;
  return interceptor;
}
}  // namespace

QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& directory, const QString& filter) {
  // The chosen path comes back without surrounding blanks; a path of blanks counts as cancelled.
  if (Interceptor()) return Interceptor()(title, directory, filter).trimmed();
  return QFileDialog::getOpenFileName(parent, title, directory, QtNameFilter(filter)).trimmed();
}

QString StartFolder(const QString& last, const QString& fallback) {
  for (const QString& folder : {last, fallback})
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
  return QDir::homePath();
}

QString QtNameFilter(const QString& filter) {
  QString description = filter.trimmed();
  QString patterns = description;
  const qsizetype open = description.lastIndexOf('(');
  if (description.endsWith(')') && open >= 0) {
    patterns = description.mid(open + 1, description.size() - open - 2);
    description = description.left(open).trimmed();
  }
  QStringList list;
  for (QString pattern : patterns.split(QRegularExpression("[; ]"), Qt::SkipEmptyParts)) {
    if (pattern == "*.*") pattern = "*";
    for (const QString& form : {pattern, pattern.toUpper()})
      if (!list.contains(form)) list.append(form);
  }
  return description + " (" + list.join(' ') + ")";
}

void SetFileDialogInterceptor(FileDialogInterceptor interceptor) {
  Interceptor() = std::move(interceptor);
}

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

void SetDocumentOpener(DocumentOpener opener) {
  Opener() = std::move(opener);
}
