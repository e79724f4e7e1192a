#include "shell/startup.h"

#include <filesystem>

#include "astrometry/pattern_index.h"

namespace fs = std::filesystem;

namespace {

const std::string kSep(1, fs::path::preferred_separator);

void Yield(const StartUpHooks& hooks) {
  if (hooks.yield) hooks.yield();
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

void EnsureDirectory(const std::string& path) {
  std::error_code ec;
  if (!fs::is_directory(path, ec)) fs::create_directories(path, ec);
}

// Copies source to target and removes the source; reports whether the target now exists.
bool MoveByCopy(const std::string& source, const std::string& target) {
  std::error_code ec;
  fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
  if (ec) return false;
  fs::remove(source, ec);
  return true;
}

}  // namespace

std::string WithTrailingSeparator(const std::string& dir) {
  std::string s = dir;
  while (s.size() > 1 && (s.back() == '/' || s.back() == '\\')) s.pop_back();
  return s + kSep;
}

std::string ProgramFilePath(const AppState& app, const std::string& name) {
  return app.appDir + "program_files" + kSep + name;
}

PrepareResult PrepareWorkingFiles(AppState& app, const StartUpHooks& hooks) {
  PrepareResult result;
  app.catalogueReady = false;
  EnsureDirectory(app.appDir + "TLE");
  EnsureDirectory(app.appDir + "program_files");
  Yield(hooks);

  app.catalogPath = ProgramFilePath(app, "bin8.dat");
  app.asterismPath = ProgramFilePath(app, "tri4t.dat");
  app.helpPath = ProgramFilePath(app, kHelpFileName);

  if (!Exists(app.catalogPath)) {
    const std::string source = app.appDir + "bin8.dat";
    if (!Exists(source)) {
      result.message = "Не обнаружен файл каталога. Работа невозможна.";
      return result;
    }
    std::error_code ec;
    fs::copy_file(source, app.catalogPath, fs::copy_options::overwrite_existing, ec);
    app.logFile.Text("copy1 ").Text(source).Text(app.catalogPath).EndLine();
    Yield(hooks);
    if (!ec) fs::remove(source, ec);
  }

  if (!Exists(app.asterismPath) && hooks.buildAsterisms) {
    if (!hooks.buildAsterisms(app.catalogPath, app.asterismPath)) {
      result.message = "Файл астеризмов создать не удалось.";
      return result;
    }
  }

  // The pattern solver's index, beside the asterism file.
  const std::string patternIndexPath = PatternIndexPathBeside(app.asterismPath);
  if (!Exists(patternIndexPath) && hooks.buildPatternIndex) hooks.buildPatternIndex(app.catalogPath, patternIndexPath);

  const std::string helpSource = app.appDir + kHelpFileName;
  if (Exists(helpSource)) {
    MoveByCopy(helpSource, app.helpPath);
    Yield(hooks);
    Yield(hooks);
    if (!Exists(app.helpPath) && Exists(helpSource)) MoveByCopy(helpSource, app.helpPath);
  }

  app.catalogueReady = true;
  result.ready = true;
  return result;
}
