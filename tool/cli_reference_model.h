// What the tool's reference writers share: the command line as read from
// its CLI11 definitions (each command, its options, how each value is
// completed), and the writers of the manual pages (man_pages.cpp) and of
// the shell completions (shell_completions.cpp) that cli_reference.cpp
// calls.
#ifndef VORTIGEN_TOOL_CLI_REFERENCE_MODEL_H
#define VORTIGEN_TOOL_CLI_REFERENCE_MODEL_H

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace vortigen::reference {

// How a value is completed, read from its placeholder.
enum class Completion {
  none,
  audioFile,
  file,
  fileWithExtension,
  directory,
  preset,
  curve,
  effect,
  choice
};

struct OptionDoc {
  std::vector<std::string> flags;  // "-q", "--quiet"; empty for a positional
  std::string positional;          // "FILES"
  std::string placeholder;         // as --help shows it; empty for a flag
  std::string description;
  bool required = false;
  bool repeatable = false;
  std::string defaultValue;
  Completion completion = Completion::none;
  std::vector<std::string> words;  // choice: the words; fileWithExtension: the extension
};

struct CommandDoc {
  std::string name;
  std::string description;
  std::string footer;
  std::vector<OptionDoc> options;
  std::vector<std::string> presets;  // an effect's built-in presets
  std::vector<std::string> curves;   // an effect's curves
};

// The visible options of a command (or of the tool itself).
std::vector<OptionDoc> describeOptions(const CLI::App& app, bool isEffect);
// The visible commands, with an effect's presets and curves.
std::vector<CommandDoc> describeCommands(const CLI::App& app);

std::vector<std::string> split(const std::string& text, char separator);
std::string upper(std::string text);

// man(7) pages: vortigen(1) and vortigen-COMMAND(1).
std::string mainPage(const CLI::App& app, const std::vector<CommandDoc>& commands,
                     const std::string& date);
std::string commandPage(const CommandDoc& command, const std::string& date);

// The completions for bash, zsh and fish.
std::string bashCompletion(const std::vector<CommandDoc>& commands,
                           const std::vector<OptionDoc>& topOptions);
std::string zshCompletion(const std::vector<CommandDoc>& commands);
std::string fishCompletion(const std::vector<CommandDoc>& commands);

}  // namespace vortigen::reference

#endif  // VORTIGEN_TOOL_CLI_REFERENCE_MODEL_H
