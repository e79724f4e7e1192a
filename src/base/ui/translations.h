#pragma once
// Qt's own Russian texts for the standard dialogs and buttons (file dialogs, "Отмена", "Открыть").

class QCoreApplication;

// Makes Russian the application's locale (the dates, sizes and file types the file dialog shows) and
// installs Qt's Russian translation (qtbase_ru from Qt's translations folder) into the application;
// false when the translation is not installed, and the standard texts stay English.
bool InstallQtRussian(QCoreApplication& app);
