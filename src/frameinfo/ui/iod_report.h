#pragma once
// Writing the IOD report of one satellite and showing it to the user.

#include <string>

#include "frameinfo/iod.h"

class QWidget;

// Writes the IOD report of the input's positions to appDir + "iod_NNNNN.txt" (WriteIodReport) and
// opens the file for the user: on Windows in Notepad, elsewhere in the desktop's default program for
// text files. When the file cannot be written, shows the failure message (caption "Сообщение") over
// parent and opens nothing. appDir is the application directory with its trailing separator.
void ReportIod(QWidget* parent, const std::string& appDir, const IodInput& input);
