#include "session/startup.h"

#include <filesystem>

#include "astrometry/asterism.h"
#include "astrometry/catalogue.h"
#include "astrometry/pattern_index.h"
#include "base/file_utils.h"
#include "base/ini.h"
#include "base/numbers.h"

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

// Copies source to target atomically and removes the source; reports whether the target now exists.
bool MoveByCopy(const std::string& source, const std::string& target) {
  if (!CopyFileAtomically(source, target)) return false;
  std::error_code ec;
  fs::remove(source, ec);
  return true;
}

// Size of a file in bytes; -1 when it is not a regular file.
std::intmax_t RegularFileSize(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return -1;
  const std::uintmax_t size = fs::file_size(path, ec);
  return ec ? -1 : static_cast<std::intmax_t>(size);
}

// Record count and checksum of catalogue bytes, as the side file keeps them.
struct CatalogueStamp {
  std::string records;
  std::string checksum;
};

CatalogueStamp StampOf(std::string_view bytes) {
  return {FormatNumber(static_cast<double>(bytes.size() / kCatalogueRecordBytes), "0"),
          ChecksumText(ContentChecksum(bytes))};
}

WriteResult WriteCatalogueStamp(const std::string& sidePath, const CatalogueStamp& stamp) {
  IniDocument doc;
  IniSetValue(doc, "Catalogue", "Records", stamp.records);
  IniSetValue(doc, "Catalogue", "Checksum", stamp.checksum);
  return WriteIniFile(sidePath, doc);
}

// The catalogue's stamp as its side file records it; empty fields when there is none.
CatalogueStamp RecordedCatalogueStamp(const std::string& sidePath) {
  const IniDocument doc = ReadIniFile(sidePath);
  return {IniGetValue(doc, "Catalogue", "Records", ""), IniGetValue(doc, "Catalogue", "Checksum", "")};
}

// Copies appDir/bin8.dat into program_files: its stamp first, then the catalogue itself atomically, and
// only then the source is removed. Empty on success, otherwise the message to show.
std::string CopyCatalogue(AppState& app, const std::string& source, const StartUpHooks& hooks) {
  std::string bytes;
  if (!ReadWholeFile(source, bytes) || bytes.empty() || bytes.size() % kCatalogueRecordBytes != 0) {
    return "Не обнаружен файл каталога. Работа невозможна.";
  }
  WriteResult written = WriteCatalogueStamp(CatalogueStampPath(app), StampOf(bytes));
  if (written) written = WriteFileAtomically(app.catalogPath, bytes);
  app.logFile.Text("copy1 ").Text(source).Text(app.catalogPath).EndLine();
  Yield(hooks);
  if (!written) {
    return "Не удалось скопировать файл каталога " + source + " в " + app.catalogPath + ": " + written.reason +
           ". Работа невозможна.";
  }
  std::error_code ec;
  fs::remove(source, ec);
  return {};
}

}  // namespace

std::string CatalogueStampPath(const AppState& app) {
  return ProgramFilePath(app, "bin8.sum");
}

std::string AsterismStampPath(const AppState& app) {
  return ProgramFilePath(app, "tri4t.sum");
}

void RemoveLeftoversOfKilledRuns(const AppState& app) {
  for (const char* folder : {"TLE", "Info", "program_files"}) RemoveLeftoverTemporaries(app.appDir + folder);
}

bool CatalogueIntact(const AppState& app) {
  std::string bytes;
  if (!ReadWholeFile(app.catalogPath, bytes) || bytes.empty() || bytes.size() % kCatalogueRecordBytes != 0) {
    return false;
  }
  const CatalogueStamp actual = StampOf(bytes);
  const CatalogueStamp recorded = RecordedCatalogueStamp(CatalogueStampPath(app));
  if (recorded.records.empty() && recorded.checksum.empty()) {
    // Placed by an older version, which kept no stamp: whole records are all that can be told; stamp it now
    // (a folder that cannot be written keeps the catalogue usable, its index is then rebuilt at each start).
    WriteCatalogueStamp(CatalogueStampPath(app), actual);
    return true;
  }
  return recorded.records == actual.records && recorded.checksum == actual.checksum;
}

bool AsterismIndexCurrent(const AppState& app) {
  const std::intmax_t size = RegularFileSize(app.asterismPath);
  if (size < 0 || size % kAsterismBlockBytes != 0) return false;
  const IniDocument doc = ReadIniFile(AsterismStampPath(app));
  const CatalogueStamp built = RecordedCatalogueStamp(CatalogueStampPath(app));
  return IniGetValue(doc, "Asterisms", "Blocks", "") ==
             FormatNumber(static_cast<double>(size / kAsterismBlockBytes), "0") &&
         !built.checksum.empty() && IniGetValue(doc, "Asterisms", "CatalogueChecksum", "") == built.checksum;
}

WriteResult RecordAsterismIndex(const AppState& app) {
  const std::intmax_t size = RegularFileSize(app.asterismPath);
  IniDocument doc;
  IniSetValue(doc, "Asterisms", "Blocks", FormatNumber(static_cast<double>(size / kAsterismBlockBytes), "0"));
  IniSetValue(doc, "Asterisms", "CatalogueChecksum", RecordedCatalogueStamp(CatalogueStampPath(app)).checksum);
  return WriteIniFile(AsterismStampPath(app), doc);
}

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
  RemoveLeftoversOfKilledRuns(app);

  // A missing or damaged catalogue is replaced by a copy placed beside the program, when there is one.
  const std::string source = app.appDir + "bin8.dat";
  if (Exists(source) && (!Exists(app.catalogPath) || !CatalogueIntact(app))) {
    result.message = CopyCatalogue(app, source, hooks);
    if (!result.message.empty()) return result;
  }
  if (!CatalogueIntact(app)) {
    result.message = "Не обнаружен файл каталога. Работа невозможна.";
    return result;
  }

  if (hooks.buildAsterisms && !AsterismIndexCurrent(app)) {
    std::error_code ec;
    fs::remove(app.asterismPath, ec);
    if (!hooks.buildAsterisms(app.catalogPath, app.asterismPath) || !RecordAsterismIndex(app)) {
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

  // The manual's pictures follow the help page into program_files, file by file.
  const fs::path pictures = fs::path(app.appDir) / kManualFolder;
  std::error_code ec;
  if (fs::is_directory(pictures, ec)) {
    const fs::path target = fs::path(app.appDir) / "program_files" / kManualFolder;
    fs::create_directories(target, ec);
    for (const fs::directory_entry& entry : fs::directory_iterator(pictures, ec))
      if (entry.is_regular_file(ec)) MoveByCopy(entry.path().string(), (target / entry.path().filename()).string());
    fs::remove(pictures, ec);  // only once it is empty
  }

  app.catalogueReady = true;
  result.ready = true;
  return result;
}
