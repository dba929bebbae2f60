// The command line as a whole: its options and commands, parsed, and the command run.
#pragma once

namespace vx::cli {

// An exit code (see the table in docs/cli.md).
int RunCommandLine(int argc, char** argv);

}  // namespace vx::cli
