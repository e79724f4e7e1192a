#pragma once
// What every orvia-cli command receives, and the small helpers the commands share.

#include <optional>
#include <string>

#include "cli/cli_args.h"
#include "cli/cli_output.h"

// What every command receives.
struct Run {
  const CliArguments& args;
  const std::string& executable;
  CliOutput& out;
  ProgressTask progress;
};

// The operands a command needs, or a usage error.
inline bool NeedOperands(Run& run, std::size_t count, const char* what) {
  if (run.args.operands.size() >= count) return true;
  run.out.Message(std::string("missing operand: ") + what);
  return false;
}

// The number options of a command read at once; the first malformed one is reported.
struct Numbers {
  Run& run;
  std::string error;
  std::optional<double> operator()(const std::string& name) { return NumberOption(run.args, name, error); }
  bool Bad() {
    if (error.empty()) return false;
    run.out.Message(error);
    return true;
  }
};

// The worse of two exit codes (the larger).
inline int Worse(int a, int b) {
  return a > b ? a : b;
}

// import-tle: element-set files into the database.
int ImportTle(Run& run);
// import-names and import-mags: one list file into the database's header lines.
int ImportList(Run& run, bool magnitudes);
// clean: old and high element sets out of the database.
int Clean(Run& run);
