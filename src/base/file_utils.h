#pragma once
// File writing shared by every file Orvia rewrites (database files, information files, listings): atomic
// replacement through a temporary file that is unique per process and write, the sweep of temporary files
// a killed run left behind, and a content checksum.

#include <cstdint>
#include <string>
#include <string_view>

// What writing a file did: success, or the system's reason for the failure ("No space left on device").
struct WriteResult {
  bool ok = false;
  std::string reason;  // empty on success
  explicit operator bool() const { return ok; }
};

// Replaces a file with the given bytes through a temporary file in the same folder renamed over it,
// so the old content stays whole when writing fails. On failure the old file is untouched, the temporary
// file removed and the reason is the system's.
WriteResult WriteFileAtomically(const std::string& path, std::string_view bytes);

// Copies a file's bytes to target the same way: target is either absent (or its old content) or the
// complete copy.
WriteResult CopyFileAtomically(const std::string& source, const std::string& target);

// Path of a new temporary file in the folder of path: ".orvia-" + this process's id + "-" + a random token
// of this process + "-" + a running number + ".tmp"; never the same twice within a process, nor (but for a
// 64-bit coincidence) across processes.
std::string TemporaryPathFor(const std::string& path);

// The process id a temporary file's name carries; 0 for a name of an older version, which carries none.
long TemporaryFileOwner(std::string_view name);

// True when a process with this id runs on this machine (one of another user counts as running).
bool ProcessRunning(long pid);

// Removes the temporary files a killed run left in a folder (this program's ".orvia-*.tmp" and the older
// "<name>.tle.tmp", "<name>.txt.tmp", "<name>.dat.tmp"); other files stay, and so do the temporary files
// of processes still running. Returns how many were removed.
int RemoveLeftoverTemporaries(const std::string& dir);

// 64-bit FNV-1a checksum of bytes.
std::uint64_t ContentChecksum(std::string_view bytes);

// A checksum as 16 lower-case hexadecimal digits.
std::string ChecksumText(std::uint64_t checksum);

// Reads a whole regular file as bytes; false when the path is not a regular file or cannot be read
// (a directory, a device or a pipe never is read).
bool ReadWholeFile(const std::string& path, std::string& bytes);
