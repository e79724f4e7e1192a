#pragma once
// The commands of orvia-cli, each a thin sequence of core calls with its printed result.

#include <string>

#include "cli/cli_args.h"
#include "cli/cli_output.h"

// Runs the command of the parsed line; executable is argv[0] (the default application directory).
// Returns the exit code.
int RunCommand(const CliArguments& args, const std::string& executable, CliOutput& out);
