#include "cli/cli_output.h"

#include <cstdio>

void CliOutput::Message(const std::string& text) {
  std::fprintf(stderr, "orvia-cli: %s\n", text.c_str());
  document_["messages"].push_back(text);
}

void CliOutput::Print(int exitCode) {
  if (json_) {
    document_["exit_code"] = exitCode;
    if (!document_.contains("messages")) document_["messages"] = nlohmann::json::array();
    // Invalid UTF-8 (a name kept byte for byte) is replaced rather than failing the whole document.
    const std::string text = document_.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
  } else {
    for (const std::string& line : lines_) std::fprintf(stdout, "%s\n", line.c_str());
  }
  std::fflush(stdout);
}

void ProgressTask::SetText(const std::string& text) {
  text_ = text;
  Show(false);
}

void ProgressTask::SetPercent(int percent) {
  if (percent == percent_) return;
  percent_ = percent;
  Show(false);
}

void ProgressTask::Stage(const std::string& text) {
  text_ = text;
  percent_ = -1;
  Show(true);
}

void ProgressTask::Show(bool force) {
  if (quiet_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && now - last_ < std::chrono::milliseconds(500)) return;
  last_ = now;
  if (percent_ >= 0)
    std::fprintf(stderr, "orvia-cli: %s %d%%\n", text_.c_str(), percent_);
  else
    std::fprintf(stderr, "orvia-cli: %s\n", text_.c_str());
}
