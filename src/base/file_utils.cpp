#include "base/file_utils.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include <signal.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A random token drawn once per process, so that two processes never share a temporary name.
std::uint64_t ProcessToken() {
  static const std::uint64_t token = [] {
    std::random_device device;
    return (static_cast<std::uint64_t>(device()) << 32) ^ device();
  }();
  return token;
}

// The system's text for the last error of the C library, or a fallback when it left none.
std::string SystemReason(int error) {
  return error != 0 ? std::generic_category().message(error) : std::string("ошибка ввода-вывода");
}

bool EndsWith(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

}  // namespace

std::string ChecksumText(std::uint64_t checksum) {
  static const char digits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (int i = 15; i >= 0; --i, checksum >>= 4) text[static_cast<std::size_t>(i)] = digits[checksum & 15];
  return text;
}

std::uint64_t ContentChecksum(std::string_view bytes) {
  std::uint64_t hash = 14695981039346656037ull;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  return hash;
}

std::string TemporaryPathFor(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const fs::path folder = fs::path(path).parent_path();
  const std::string name = ".orvia-" + std::to_string(static_cast<long>(getpid())) + "-" +
                           ChecksumText(ProcessToken()) + "-" + std::to_string(++counter) + ".tmp";
  return (folder / name).string();
}

bool ProcessRunning(long pid) {
  if (pid <= 0) return false;
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

long TemporaryFileOwner(std::string_view name) {
  // ".orvia-PID-TOKEN-N.tmp": three parts; the older ".orvia-TOKEN-N.tmp" names no process.
  if (!name.starts_with(".orvia-") || !EndsWith(name, ".tmp")) return 0;
  const std::string_view middle = name.substr(7, name.size() - 7 - 4);
  if (std::count(middle.begin(), middle.end(), '-') != 2) return 0;
  const std::string_view digits = middle.substr(0, middle.find('-'));
  if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos)
    return 0;
  return std::stol(std::string(digits));
}

int RemoveLeftoverTemporaries(const std::string& dir) {
  int removed = 0;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const bool ours = name.starts_with(".orvia-") && EndsWith(name, ".tmp");
    const bool older = EndsWith(name, ".tle.tmp") || EndsWith(name, ".txt.tmp") || EndsWith(name, ".dat.tmp");
    std::error_code typeError;
    // A temporary file of a process that still runs is being written: it is that process's to finish.
    const long owner = ours ? TemporaryFileOwner(name) : 0;
    if (owner > 0 && ProcessRunning(owner)) continue;
    if ((ours || older) && it->is_regular_file(typeError)) {
      std::error_code removeError;
      if (fs::remove(it->path(), removeError)) ++removed;
    }
  }
  return removed;
}

WriteResult WriteFileAtomically(const std::string& path, std::string_view bytes) {
  WriteResult result;
  const std::string temporary = TemporaryPathFor(path);
  errno = 0;
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (!out) {
    result.reason = SystemReason(errno);
    return result;
  }
  bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  written = std::fflush(out) == 0 && written;
  int error = errno;
  if (std::fclose(out) != 0 && written) {
    written = false;
    error = errno;
  }
  std::error_code ec;
  if (!written) {
    result.reason = SystemReason(error);
    fs::remove(temporary, ec);
    return result;
  }
  fs::rename(temporary, path, ec);
  if (ec) {
    result.reason = ec.message();
    fs::remove(temporary, ec);
    return result;
  }
  result.ok = true;
  return result;
}

WriteResult CopyFileAtomically(const std::string& source, const std::string& target) {
  std::string bytes;
  if (!ReadWholeFile(source, bytes)) {
    WriteResult result;
    result.reason = SystemReason(errno);
    return result;
  }
  return WriteFileAtomically(target, bytes);
}

bool ReadWholeFile(const std::string& path, std::string& bytes) {
  bytes.clear();
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return false;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec || size > bytes.max_size()) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  // The size read before opening is only a hint: a file that grows or shrinks meanwhile is read to its end.
  bytes.reserve(static_cast<std::size_t>(std::min<std::uintmax_t>(size, 1u << 26)));
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
  return !in.bad();
}
