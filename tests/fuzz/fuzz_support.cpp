#include "fuzz_support.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace fuzz_support {

const std::string& ScratchDir() {
  // Never destroyed, so that the removal at exit still has its name.
  static const std::string* const dir = [] {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("orvia_fuzz_" + std::to_string(getpid()));
    std::filesystem::create_directories(path);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(ScratchDir(), ec);
    });
    return new std::string(path.string() + "/");
  }();
  return *dir;
}

std::string WriteScratch(const std::string& name, std::string_view bytes) {
  const std::string path = ScratchDir() + name;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

}  // namespace fuzz_support
