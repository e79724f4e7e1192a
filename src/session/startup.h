#pragma once
// Start-up's file work: the working directories, the star catalogue and help file moved into
// program_files, and the readiness of the application.

#include <functional>
#include <string>

#include "base/file_utils.h"
#include "session/app_state.h"

// The help file's name in program_files (a page the desktop's browser opens).
inline constexpr const char* kHelpFileName = "Orviahelp.html";
// The folder of the manual's pictures, beside the help file.
inline constexpr const char* kManualFolder = "manual";

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

// Creates TLE and program_files under appDir, removes temporary files of killed runs, sets the catalogue,
// asterism and help paths, moves appDir/bin8.dat into program_files when the catalogue there is missing
// or damaged (logging "copy1 " with both paths; the copy is atomic and the source removed only after it),
// refuses a damaged catalogue, builds the asterism index when it is missing or was not built from this
// catalogue, then the pattern index beside it when that is missing (a failure there only leaves the pattern
// solver out), moves the help file and the manual's pictures into place and sets catalogueReady on success.
PrepareResult PrepareWorkingFiles(AppState& app, const StartUpHooks& hooks);

// Side files of program_files: the catalogue's record count and checksum ("bin8.sum"), written when the
// catalogue is put in place, and the asterism index's block count with the checksum of the catalogue it
// was built from ("tri4t.sum"), written after the index is built.
std::string CatalogueStampPath(const AppState& app);
std::string AsterismStampPath(const AppState& app);

// Removes the temporary files a killed run left in TLE, Info and program_files.
void RemoveLeftoversOfKilledRuns(const AppState& app);

// True when the catalogue at catalogPath holds whole records whose count and checksum are those its side
// file records. A catalogue without a side file (put in place by an older version) is judged by its whole
// records alone and gets its side file now.
bool CatalogueIntact(const AppState& app);

// True when the asterism index is whole blocks, as many as its side file records, built from the catalogue
// now in place.
bool AsterismIndexCurrent(const AppState& app);

// Records the built asterism index's block count and the catalogue's checksum in its side file.
WriteResult RecordAsterismIndex(const AppState& app);

// The application directory string with exactly one trailing separator.
std::string WithTrailingSeparator(const std::string& dir);
// appDir + "program_files" + separator + name.
std::string ProgramFilePath(const AppState& app, const std::string& name);
