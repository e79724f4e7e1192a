#pragma once
// The lock of an application directory, shared by the desktop program and the command line: whoever
// changes the directory's files (database, information files, reports, remembered use) holds it for the
// whole of its work. It is an advisory lock on a small file in the system's temporary folder named after
// the directory's canonical path, so a read-only application folder can still be locked and a symbolic
// link names the same directory. The system drops the lock of a process that dies, so a killed holder
// never blocks the next run.

#include <chrono>
#include <string>

// Who holds a directory's lock, as the holder wrote it into the lock file.
struct AppLockHolder {
  long pid = 0;         // 0 when the holder has not written it yet
  std::string program;  // "orvia", "orvia-cli"; empty when unknown
};

// What taking the lock did.
struct AppLockAttempt {
  bool taken = false;
  AppLockHolder holder;  // the other holder when not taken
  std::string reason;    // the system's reason when the lock file itself could not be used
};

class AppDirLock {
public:
  AppDirLock() = default;
  ~AppDirLock();
  AppDirLock(const AppDirLock&) = delete;
  AppDirLock& operator=(const AppDirLock&) = delete;

  // Takes the lock of appDir for this process under the program's name, waiting up to wait for another
  // holder to end. Taking a lock already held by this object succeeds at once.
  AppLockAttempt Take(const std::string& appDir, const std::string& program,
                      std::chrono::milliseconds wait = std::chrono::milliseconds(0));
  // Gives the lock up (also done by the destructor).
  void Release();
  bool Held() const { return fd_ >= 0; }

private:
  int fd_ = -1;
  std::string path_;
};

// The lock file of an application directory.
std::string AppLockPath(const std::string& appDir);

// "orvia-cli, pid 1234" (the parts known).
std::string HolderText(const AppLockHolder& holder);
