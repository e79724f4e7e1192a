#include "session/app_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <thread>

#include "base/file_utils.h"

namespace fs = std::filesystem;

namespace {

// The lock file's content: "pid program\n"; whatever does not parse leaves the holder unknown.
AppLockHolder ReadHolder(const std::string& path) {
  AppLockHolder holder;
  std::string text;
  if (!ReadWholeFile(path, text) || text.size() > 4096) return holder;
  const std::size_t blank = text.find(' ');
  if (blank == std::string::npos) return holder;
  try {
    holder.pid = std::stol(text.substr(0, blank));
  } catch (...) {
    holder.pid = 0;
  }
  holder.program = text.substr(blank + 1);
  while (!holder.program.empty() && (holder.program.back() == '\n' || holder.program.back() == '\r'))
    holder.program.pop_back();
  return holder;
}

// True when the open file is still the one the path names: a holder that ended may have removed the
// path after this process opened it, and a lock on a removed file locks nothing.
bool StillNamed(int fd, const std::string& path) {
  struct stat opened {};
  struct stat named {};
  return fstat(fd, &opened) == 0 && stat(path.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
         opened.st_ino == named.st_ino;
}

}  // namespace

std::string AppLockPath(const std::string& appDir) {
  std::error_code ec;
  std::string key = fs::weakly_canonical(fs::absolute(appDir, ec), ec).string();
  if (key.empty()) key = appDir;
  while (key.size() > 1 && key.back() == '/') key.pop_back();
  fs::path temp = fs::temp_directory_path(ec);
  if (ec) temp = "/tmp";
  return (temp / ("orvia-" + ChecksumText(ContentChecksum(key)) + ".lock")).string();
}

std::string HolderText(const AppLockHolder& holder) {
  std::string text = holder.program.empty() ? std::string("another program") : holder.program;
  if (holder.pid > 0) text += ", pid " + std::to_string(holder.pid);
  return text;
}

AppDirLock::~AppDirLock() {
  Release();
}

AppLockAttempt AppDirLock::Take(const std::string& appDir, const std::string& program,
                                std::chrono::milliseconds wait) {
  AppLockAttempt attempt;
  if (Held()) {
    attempt.taken = true;
    return attempt;
  }
  const std::string path = AppLockPath(appDir);
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS)) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      attempt.reason = std::generic_category().message(errno);
      return attempt;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      if (StillNamed(fd, path)) {
        fd_ = fd;
        path_ = path;
        // Who holds it, for the message another program gives (a file opened read-only stays silent).
        const std::string text = std::to_string(static_cast<long>(getpid())) + " " + program + "\n";
        if (ftruncate(fd, 0) == 0 && pwrite(fd, text.data(), text.size(), 0) < 0) {
          // Nothing depends on the holder's name being readable.
        }
        attempt.taken = true;
        return attempt;
      }
      close(fd);  // removed by the holder that just ended: try the new file
      continue;
    }
    const int error = errno;
    close(fd);
    if (error != EWOULDBLOCK && error != EINTR) {
      attempt.reason = std::generic_category().message(error);
      return attempt;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      attempt.holder = ReadHolder(path);
      return attempt;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void AppDirLock::Release() {
  if (fd_ < 0) return;
  // The path goes first, while the lock still keeps others out; a waiter that opened the old file finds
  // it unnamed and opens the new one.
  if (StillNamed(fd_, path_)) unlink(path_.c_str());
  flock(fd_, LOCK_UN);
  close(fd_);
  fd_ = -1;
  path_.clear();
}
