#pragma once
// What orvia-cli prints: result lines or one JSON document on standard output, messages and progress on
// standard error.

#include <chrono>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "base/task_control.h"

// The result of one run, printed once at the end.
class CliOutput {
public:
  explicit CliOutput(bool json) : json_(json) {}
  // A result line (text mode).
  void Line(const std::string& line) { lines_.push_back(line); }
  // A message of the program (a core message text, a warning): to standard error at once, and kept in the
  // JSON document's "messages".
  void Message(const std::string& text);
  // The JSON document's fields.
  nlohmann::json& Json() { return document_; }
  bool JsonMode() const { return json_; }
  // Prints the lines, or the document with its "exit_code".
  void Print(int exitCode);

private:
  bool json_ = false;
  std::vector<std::string> lines_;
  nlohmann::json document_ = nlohmann::json::object();
};

// Progress of long operations on standard error: the text and percent at most twice a second, as
// "orvia-cli: <text> <percent>%". Never cancels.
class ProgressTask final : public TaskControl {
public:
  explicit ProgressTask(bool quiet) : quiet_(quiet) {}
  void SetText(const std::string& text) override;
  void SetPercent(int percent) override;
  // Starts a new stage: printed at once.
  void Stage(const std::string& text);

private:
  void Show(bool force);
  bool quiet_ = false;
  std::string text_;
  int percent_ = -1;
  std::chrono::steady_clock::time_point last_{};
};
