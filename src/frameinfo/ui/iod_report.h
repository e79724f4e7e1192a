#pragma once
// Writing the IOD report of one satellite and showing it to the user.

#include <string>

#include "frameinfo/iod.h"

class QWidget;

// Opens a written IOD report for the user: on Windows in Notepad, elsewhere in the desktop's default program
// for text files. When the file could not be written, shows the failure message (caption "Сообщение") over
// parent and opens nothing.
void ShowIodReport(QWidget* parent, const IodResult& result);
