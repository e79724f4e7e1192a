#pragma once
// The diagnostic log (appDir + "log.txt"): recreated at every start, written, never read back.
// Items follow one another directly; a number is written in its shortest decimal form, preceded
// by one space when not negative and followed by one space.

#include <cstdio>
#include <string>
#include <string_view>

class LogFile {
public:
  LogFile() = default;
  ~LogFile();
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Creates or truncates the file and keeps it open; false when it cannot be created.
  bool Open(const std::string& path);
  void Close();
  bool IsOpen() const { return file_ != nullptr; }

  // Writes text as it stands.
  LogFile& Text(std::string_view text);
  // Writes a number in the log's number form (" 1.5 ", "-2 ").
  LogFile& Number(double value);
  // Ends the line (CR LF) and flushes.
  LogFile& EndLine();

private:
  std::FILE* file_ = nullptr;
};

// The log's number form on its own: shortest decimal text, a leading blank when not negative, a trailing blank.
std::string LogNumber(double value);
