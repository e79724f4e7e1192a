#pragma once
// Showing a written IOD report to the user.

#include <string>

#include "frameinfo/iod.h"

class QWidget;

// Shows a written IOD report: opens it (on Windows in Notepad, elsewhere in the desktop's program for text
// files) and says where the file is, and when it could not be opened, that it was not. When the file could
// not be written, shows the failure message (caption "Сообщение") over parent and opens nothing.
void ShowIodReport(QWidget* parent, const IodResult& result);
