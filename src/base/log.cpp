#include "base/log.h"

#include <charconv>
#include <cmath>

LogFile::~LogFile() {
  Close();
}

bool LogFile::Open(const std::string& path) {
  Close();
  file_ = std::fopen(path.c_str(), "wb");
  return file_ != nullptr;
}

void LogFile::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

LogFile& LogFile::Text(std::string_view text) {
  if (file_) std::fwrite(text.data(), 1, text.size(), file_);
  return *this;
}

LogFile& LogFile::Number(double value) {
  return Text(LogNumber(value));
}

LogFile& LogFile::EndLine() {
  Text("\r\n");
  if (file_) std::fflush(file_);
  return *this;
}

std::string LogNumber(double value) {
  if (!std::isfinite(value)) return " 0 ";
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, value);
  std::string digits(buf, res.ptr);
  return (value >= 0 ? " " : "") + digits + " ";
}
