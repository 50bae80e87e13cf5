// The tool's manual pages and shell completions, written from the same
// command-line definitions that --help prints, so that they cannot drift
// from it: every command, option, value placeholder and description comes
// from the CLI11 application the tool parses with. The build runs
//   vortigen --write-reference DIR DATE
// and installs what it writes:
//   DIR/man1/vortigen.1, DIR/man1/vortigen-COMMAND.1 (one per command)
//   DIR/completions/vortigen.bash, DIR/completions/_vortigen (zsh),
//   DIR/completions/vortigen.fish
#ifndef VORTIGEN_TOOL_CLI_REFERENCE_H
#define VORTIGEN_TOOL_CLI_REFERENCE_H

#include <string>

namespace CLI {
class App;
}

namespace vortigen {

// DATE (YYYY-MM-DD) goes into the pages' headers. Returns the exit status;
// a file that cannot be written is named on standard error.
int writeReference(const CLI::App& app, const std::string& directory, const std::string& date);

}  // namespace vortigen

#endif
