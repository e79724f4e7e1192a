#pragma once
// The command line of orvia-cli: global options, the command, its operands and its options.

#include <map>
#include <optional>
#include <string>
#include <vector>

// Exit codes of orvia-cli (documented in the README and in its help text).
enum ExitCode : int {
  kExitOk = 0,          // the command did its work
  kExitUsage = 1,       // unknown command or option, missing or malformed value
  kExitInput = 2,       // an input could not be read: a file, a frame, the catalogue, the circumstances
  kExitNotFound = 3,    // the work found nothing: too few stars, no identification, no track, no candidate
  kExitWriteFailed = 4  // a result could not be written (database, information file, report)
};

// A parsed command line.
struct CliArguments {
  std::string appDir;  // --app-dir; empty: the executable's directory
  bool json = false;   // --json: one JSON document on standard output
  bool quiet = false;  // --quiet: no progress on standard error
  std::string command;
  std::vector<std::string> operands;
  std::map<std::string, std::string> options;  // option name without "--" -> value ("" for a switch)

  bool Has(const std::string& name) const { return options.count(name) > 0; }
  // The option's text, or empty when it was not given.
  std::string Text(const std::string& name) const;
};

// Reads argv. Options are "--name value" or "--name=value"; switches take no value. Returns the usage
// error's text, or empty when the line is well formed.
std::string ParseArguments(int argc, char** argv, CliArguments& args);

// The option's value as a number; none when it is absent. A present value that is not a finite number
// sets error.
std::optional<double> NumberOption(const CliArguments& args, const std::string& name, std::string& error);

// "X,Y" (or "X Y") as two numbers; false when the text is not two finite numbers.
bool ParsePoint(const std::string& text, double& x, double& y);

// The help text: every command with its options, the exit codes.
const char* UsageText();
