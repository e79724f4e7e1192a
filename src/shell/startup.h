#pragma once
// Start-up's file work: the working directories, the star catalogue and help file moved into
// program_files, and the readiness of the application.

#include <functional>
#include <string>

#include "shell/app_state.h"

// The help file's name in program_files (a page the desktop's browser opens).
inline constexpr const char* kHelpFileName = "Orviahelp.html";

// What PrepareWorkingFiles found; message is the exact text to show, empty when there is none.
struct PrepareResult {
  bool ready = false;
  std::string message;
};

// Hooks start-up calls out to: letting the event loop run, and building the asterism index
// (catalogue path, asterism path) -> success. An empty builder means the index is not needed.
struct StartUpHooks {
  std::function<void()> yield;
  std::function<bool(const std::string&, const std::string&)> buildAsterisms;
  // Builds the pattern index (catalogue path, index path) -> success; empty: not built.
  std::function<bool(const std::string&, const std::string&)> buildPatternIndex;
};

// Creates TLE and program_files under appDir, sets the catalogue, asterism and help paths, moves
// appDir/bin8.dat into program_files (logging "copy1 " with both paths), builds the asterism index
// when it is missing, then the pattern index beside it when that is missing (a failure there only leaves
// the pattern solver out), moves the help file into place and sets catalogueReady on success.
PrepareResult PrepareWorkingFiles(AppState& app, const StartUpHooks& hooks);

// The application directory string with exactly one trailing separator.
std::string WithTrailingSeparator(const std::string& dir);
// appDir + "program_files" + separator + name.
std::string ProgramFilePath(const AppState& app, const std::string& name);
