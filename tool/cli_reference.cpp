// The manual pages and shell completions, from the CLI11 definitions the
// tool parses with (see cli_reference.h): here the definitions are read
// into the model of cli_reference_model.h, with each effect's presets and
// curves from the tables the tool itself uses, and the files written;
// man_pages.cpp and shell_completions.cpp make their texts.
#include "cli_reference.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli_reference_model.h"
#include "engine.h"
#include "vortigen_plugins.h"

namespace vortigen {
namespace reference {
namespace {

// The placeholder without the validators' descriptions CLI11 appends
// (":INT in [1 - 256]").
std::string basePlaceholder(const CLI::Option& option) {
  std::string name = option.get_type_name();
  auto& editable = const_cast<CLI::Option&>(option);
  for (int i = 0;; ++i) {
    std::string description;
    try {
      description = editable.get_validator(i)->get_description();
    } catch (const CLI::OptionNotFound&) {
      break;
    }
    const std::string suffix = ":" + description;
    if (!description.empty() && name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      name.erase(name.size() - suffix.size());
    }
  }
  return name;
}

void chooseCompletion(OptionDoc& doc, const std::string& base, bool isEffect) {
  if (doc.positional == "EFFECT" || base == "EFFECT") {
    doc.completion = Completion::effect;
  } else if (base == "DIR") {
    doc.completion = Completion::directory;
  } else if (base == "FILE") {
    doc.completion = doc.flags.empty() ? Completion::audioFile : Completion::file;
  } else if (base.rfind("FILE.", 0) == 0) {
    doc.completion = Completion::fileWithExtension;
    doc.words = {base.substr(5)};
  } else if (isEffect && base == "NAME") {
    doc.completion = Completion::preset;
  } else if (isEffect && base.rfind("NAME=", 0) == 0) {
    doc.completion = Completion::curve;
  } else if (base.find('|') != std::string::npos && base.find(' ') == std::string::npos) {
    doc.completion = Completion::choice;
    doc.words = split(base, '|');
  }
}

OptionDoc describeOption(const CLI::Option& option, bool isEffect) {
  OptionDoc doc;
  for (const std::string& name : option.get_snames()) doc.flags.push_back("-" + name);
  for (const std::string& name : option.get_lnames()) doc.flags.push_back("--" + name);
  if (option.get_positional() && doc.flags.empty()) doc.positional = option.get_name();
  doc.description = option.get_description();
  doc.required = option.get_required();
  doc.repeatable = option.get_expected_max() > 1 ||
                   option.get_multi_option_policy() == CLI::MultiOptionPolicy::TakeAll;
  doc.defaultValue = option.get_default_str();
  if (option.get_type_size() != 0) {
    doc.placeholder = option.get_type_name();
    chooseCompletion(doc, basePlaceholder(option), isEffect);
  }
  return doc;
}

}  // namespace

std::vector<OptionDoc> describeOptions(const CLI::App& app, bool isEffect) {
  std::vector<OptionDoc> docs;
  for (const CLI::Option* option : app.get_options()) {
    if (option->get_group().empty()) continue;  // hidden
    docs.push_back(describeOption(*option, isEffect));
  }
  return docs;
}

std::vector<CommandDoc> describeCommands(const CLI::App& app) {
  std::vector<CommandDoc> commands;
  for (const CLI::App* sub : app.get_subcommands([](const CLI::App*) { return true; })) {
    if (sub->get_group().empty()) continue;  // hidden
    CommandDoc doc{sub->get_name(), sub->get_description(), sub->get_footer(), {}, {}, {}};
    const auto effect = vtengine::effectNamed(doc.name);
    doc.options = describeOptions(*sub, effect.has_value());
    if (effect) {
      for (const auto& preset : vtengine::effectInfo(*effect).builtInPresets)
        doc.presets.push_back(vtengine::parsePreset(preset.text).name);
      doc.curves = effectCommand(doc.name).curveNames;
    }
    commands.push_back(std::move(doc));
  }
  return commands;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream stream(text);
  while (std::getline(stream, part, separator)) parts.push_back(part);
  return parts;
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace reference

namespace {

namespace fs = std::filesystem;

void writeFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int writeReference(const CLI::App& app, const std::string& directory, const std::string& date) {
  using namespace reference;
  try {
    const std::vector<CommandDoc> commands = describeCommands(app);
    const fs::path dir(directory);
    writeFile(dir / "man1/vortigen.1", mainPage(app, commands, date));
    for (const CommandDoc& command : commands)
      writeFile(dir / "man1" / ("vortigen-" + command.name + ".1"), commandPage(command, date));
    writeFile(dir / "completions/vortigen.bash",
              bashCompletion(commands, describeOptions(app, false)));
    writeFile(dir / "completions/_vortigen", zshCompletion(commands));
    writeFile(dir / "completions/vortigen.fish", fishCompletion(commands));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vortigen: %s.\n", error.what());
    return 1;
  }
  return 0;
}

}  // namespace vortigen
