// orvia-cli: the command-line front end of Orvia. Every command is a short sequence of the same core calls
// the desktop program makes; see UsageText() and the README for the commands and exit codes.

#include <cstdio>
#include <exception>

#include "cli/cli_args.h"
#include "cli/cli_commands.h"
#include "cli/cli_output.h"

int main(int argc, char** argv) {
  CliArguments args;
  const std::string error = ParseArguments(argc, argv, args);
  CliOutput out(args.json);
  if (args.Has("help") || (error.empty() && args.command.empty())) {
    std::fputs(UsageText(), args.command.empty() && !args.Has("help") ? stderr : stdout);
    return args.Has("help") ? kExitOk : kExitUsage;
  }
  if (!error.empty()) {
    out.Message(error);
    out.Print(kExitUsage);
    return kExitUsage;
  }
  int code = kExitOk;
  try {
    code = RunCommand(args, argc > 0 ? argv[0] : "orvia-cli", out);
  } catch (const std::exception& e) {
    // Out of memory or a filesystem failure the core did not expect: reported, not a crash.
    out.Message(std::string("failed: ") + e.what());
    code = kExitWriteFailed;
  }
  out.Print(code);
  return code;
}
