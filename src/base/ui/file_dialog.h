#pragma once
// The one way Orvia asks for a file to open. Tests install an interceptor that answers instead of a person.

#include <QString>
#include <functional>

class QWidget;

// Shows the platform's open-file dialog (title, starting directory, filter such as "txt(*.txt)");
// returns the chosen path without surrounding blanks, or an empty string when cancelled.
QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& directory, const QString& filter);

// Where a chooser starts: the folder last used for its kind of file when it still exists, else fallback when
// that exists, else the user's home folder.
QString StartFolder(const QString& last, const QString& fallback = {});

// The filter in the form Qt's dialog reads: the description, then the patterns separated by blanks in
// one pair of parentheses ("jpg, bmp (*.jpg;*jpeg;*.bmp)" -> "jpg, bmp (*.jpg *.JPG *jpeg *JPEG *.bmp *.BMP)").
// Patterns listed with ";" are split, each is offered in upper case too (file names keep the camera's
// capitals on a case-sensitive file system), and "*.*" means every file as it does on Windows.
QString QtNameFilter(const QString& filter);

// Receives every request (title, directory, filter) instead of the dialog when installed.
using FileDialogInterceptor = std::function<QString(const QString&, const QString&, const QString&)>;
// Installs (or, with an empty function, removes) the interceptor.
void SetFileDialogInterceptor(FileDialogInterceptor interceptor);

// Opens a document (the help page, a report) with the desktop's default viewer; false when none started.
bool OpenDocument(const QString& path);
// Receives every OpenDocument request instead of the desktop when installed.
using DocumentOpener = std::function<bool(const QString&)>;
void SetDocumentOpener(DocumentOpener opener);
