#include "test_paths.h"

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace testing_support {

std::filesystem::path TestDataDir() {
  return ORVIA_TEST_DATA_DIR;
}
std::filesystem::path SharedDataDir() {
  const char* dir = std::getenv("ORVIA_SHARED_DATA");
  if (dir != nullptr && *dir != '\0') return dir;
  return std::filesystem::path(ORVIA_SHARED_DATA_DIR).lexically_normal();
}
bool InContinuousIntegration() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && *ci != '\0' && std::string(ci) != "false";
}

std::filesystem::path SourceDir() {
  return ORVIA_SOURCE_DIR;
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (;;) {
    std::ostringstream name;
    name << "orvia-test-" << rd() << "-" << counter++;
    path_ = base / name.str();
    std::error_code ec;
    if (std::filesystem::create_directory(path_, ec)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::appDir() const {
  std::string s = path_.string();
  if (s.empty() || s.back() != std::filesystem::path::preferred_separator)
    s += std::filesystem::path::preferred_separator;
  return s;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

FileSizeLimit::FileSizeLimit(std::uintmax_t bytes) {
  std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead of ending the process
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  previous_ = limit.rlim_cur;
  limit.rlim_cur = static_cast<rlim_t>(bytes);
  setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  rlimit limit{};
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = static_cast<rlim_t>(previous_);
  setrlimit(RLIMIT_FSIZE, &limit);
}

}  // namespace testing_support
