#pragma once
// Locations of test data and self-cleaning temporary directories for tests.
#include <cstdint>
#include <filesystem>
#include <string>

namespace testing_support {

// Folder of the small fixtures kept in the repository (tests/data).
std::filesystem::path TestDataDir();
// Folder of the project's shared public data (real TLE catalogues, rendered frames, large references):
// ../shared/data beside the repository, or the folder named by the ORVIA_SHARED_DATA variable.
std::filesystem::path SharedDataDir();
// True when the tests run in continuous integration (the CI variable is set), where missing shared data
// is a failure rather than a reason to skip.
bool InContinuousIntegration();

// The one gate of every test that reads the shared data: when the file (or folder) is missing, the test
// is skipped with one line naming it outside CI, and fails in CI. Use it first in the test body, before
// anything reads the shared data.
#define ORVIA_REQUIRE_SHARED_FILE(file)                                                                  \
  do {                                                                                                   \
    const std::filesystem::path orvia_shared_file_{file};                                                \
    if (!std::filesystem::exists(orvia_shared_file_)) {                                                  \
      if (testing_support::InContinuousIntegration())                                                    \
        FAIL() << "shared data missing (CI is set): " << orvia_shared_file_.string();                    \
      GTEST_SKIP() << "shared data not found, test skipped: " << orvia_shared_file_.string();            \
    }                                                                                                    \
  } while (0)

// The repository's root folder.
std::filesystem::path SourceDir();

// A fresh, empty directory removed with everything in it when the object goes away.
class TempDir {
public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  // The directory as an application directory string, with a trailing separator.
  std::string appDir() const;

private:
  std::filesystem::path path_;
};

// While alive, files this process writes cannot grow beyond the given size: writing past it fails with
// "File too large", as writing to a full disk fails (which a test cannot arrange without privileges).
class FileSizeLimit {
public:
  explicit FileSizeLimit(std::uintmax_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
  std::uintmax_t previous_ = 0;
};

// Writes bytes to a file, creating parent folders.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);
// Reads a whole file as bytes ("" when it cannot be read).
std::string ReadFile(const std::filesystem::path& path);

}  // namespace testing_support
