#pragma once
// Locations of test data and self-cleaning temporary directories for tests.
#include <cstdint>
#include <filesystem>
#include <string>

namespace testing_support {

// Folder of the small fixtures kept in the repository (tests/data).
std::filesystem::path TestDataDir();
// Folder of the project's shared public data (real TLE catalogues and references), beside the repository.
std::filesystem::path SharedDataDir();
// True when the tests run in continuous integration (the CI variable is set), where missing shared data
// is a failure rather than a reason to skip.
bool InContinuousIntegration();

// Skips the test when a file of the shared data is missing outside CI; fails it in CI.
#define ORVIA_REQUIRE_SHARED_FILE(path)                                                            \
  do {                                                                                             \
    if (!std::filesystem::exists(path)) {                                                          \
      if (testing_support::InContinuousIntegration()) FAIL() << "shared data missing: " << (path); \
      GTEST_SKIP() << "shared data not present: " << (path);                                       \
    }                                                                                              \
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
