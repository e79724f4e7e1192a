#include "session/app_dir.h"

#include <filesystem>

#include "session/startup.h"

namespace fs = std::filesystem;

namespace {

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

}  // namespace

SeedResult SeedApplicationDirectory(const std::string& appDir, const std::string& shippedDir) {
  SeedResult result;
  const fs::path dir(appDir);
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) {
    result.message = "Не удалось создать папку программы " + appDir;
    return result;
  }
  result.ok = true;
  const fs::path shipped(shippedDir);
  if (fs::equivalent(dir, shipped, ec)) return result;
  for (const char* name : {"bin8.dat", kHelpFileName}) {
    if (IsFile(dir / name) || IsFile(dir / "program_files" / name)) continue;
    for (const fs::path& source : {shipped / name, shipped / "program_files" / name}) {
      if (!IsFile(source)) continue;
      // Start-up moves the copy into program_files/ as it does with the files beside the executable.
      if (fs::copy_file(source, dir / name, fs::copy_options::skip_existing, ec)) ++result.copied;
      break;
    }
  }
  // The manual's pictures go with its page: each one the directory lacks in either place is copied into
  // manual/, which start-up moves into program_files/ beside the page.
  for (const fs::path& from : {shipped / kManualFolder, shipped / "program_files" / kManualFolder}) {
    if (!fs::is_directory(from, ec)) continue;
    for (const fs::directory_entry& entry : fs::directory_iterator(from, ec)) {
      const fs::path name = entry.path().filename();
      if (!entry.is_regular_file(ec) || IsFile(dir / kManualFolder / name) ||
          IsFile(dir / "program_files" / kManualFolder / name))
        continue;
      fs::create_directories(dir / kManualFolder, ec);
      if (fs::copy_file(entry.path(), dir / kManualFolder / name, fs::copy_options::skip_existing, ec)) ++result.copied;
    }
    break;
  }
  return result;
}
