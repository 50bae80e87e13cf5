// The manual pages and shell completions, from the CLI11 definitions the
// tool parses with (see cli_reference.h). What the definitions cannot say
// (exit statuses, files, the effects' presets and curves) comes from the
// tables the tool itself uses, or from the few lines of text here.
#include "cli_reference.h"

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine.h"
#include "vortigen_plugins.h"
#include "vortigen_version.h"

namespace vortigen {
namespace {

namespace fs = std::filesystem;

// The containers an effect reads and writes (audio_file.h), for completing
// input and output names.
const char* const audioExtensions[] = {"wav", "aif", "aiff", "flac", "ogg", "oga"};

const char* const exitStatuses[][2] = {
    {"0", "Done."},
    {"1",
     "Processing failed: a file could not be read or written (a truncated input is processed as "
     "far as it goes, and still gives 1), a plug-in refused, or a batch's worker failed or was "
     "killed."},
    {"2",
     "Usage error: an unknown command or option, a missing, empty, malformed or too large value, "
     "or a destination that is one of the inputs or another destination."},
    {"130", "Interrupted (Ctrl-C); 128 plus the signal's number for other signals."},
};

const char* const files[][2] = {
    {"$XDG_CONFIG_HOME/vortigen/presets.ini",
     "The per-user preset profile (~/.config/vortigen/presets.ini when XDG_CONFIG_HOME is not "
     "set): the presets saved in the settings dialogs or the studio."},
    {VORTIGEN_PLUGIN_INSTALL_DIR "/",
     "The plug-in libraries dynamic.so and fourier.so the tool loads (found relative to the "
     "program; --plugin-dir names another directory)."},
};

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

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream stream(text);
  while (std::getline(stream, part, separator)) parts.push_back(part);
  return parts;
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

// ---- Manual pages (man(7)) ------------------------------------------------------------------

// Text for a roff line: backslashes escaped, and a line that would start
// with a control character made plain.
std::string roff(const std::string& text) {
  std::string out;
  bool lineStart = true;
  for (char c : text) {
    if (lineStart && (c == '.' || c == '\'')) out += "\\&";
    if (c == '\\') {
      out += "\\e";
    } else {
      out += c;
    }
    lineStart = c == '\n';
  }
  return out;
}

// An option name or other literal: hyphens as minus signs, so that it can
// be copied from the rendered page.
std::string literal(const std::string& text) {
  std::string out;
  for (char c : roff(text)) {
    if (c == '-') {
      out += "\\-";
    } else {
      out += c;
    }
  }
  return out;
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

void writeHeader(std::ostream& out, const std::string& page, const std::string& date) {
  out << ".\\\" Written by vortigen --write-reference from the tool's command-line definitions.\n"
      << ".TH " << literal(upper(page)) << " 1 " << date << " \"vortigen " VORTIGEN_VERSION "\""
      << " \"Vortigen Manual\"\n";
}

void writeOptionItem(std::ostream& out, const OptionDoc& option) {
  out << ".TP\n";
  if (!option.positional.empty()) {
    out << ".I " << literal(option.positional) << "\n";
  } else {
    std::string names;
    for (const std::string& flag : option.flags) names += (names.empty() ? "" : ", ") + flag;
    out << "\\fB" << literal(names) << "\\fR";
    if (!option.placeholder.empty()) out << " \\fI" << literal(option.placeholder) << "\\fR";
    out << "\n";
  }
  std::string text = option.description;
  if (!text.empty() && text.back() != '.') text += '.';
  if (option.required && option.positional.empty()) text += " Required.";
  if (option.repeatable && !option.positional.empty()) text += " Any number may be given.";
  if (option.repeatable && option.positional.empty()) text += " May be given more than once.";
  if (!option.defaultValue.empty()) text += " Default: " + option.defaultValue + ".";
  out << roff(text) << "\n";
}

std::string synopsis(const CommandDoc& command) {
  std::string line = ".B vortigen " + literal(command.name) + "\n";
  bool anyOption = false;
  for (const OptionDoc& option : command.options) {
    if (option.positional.empty()) {
      anyOption = true;
      continue;
    }
    const std::string name =
        "\\fI" + literal(option.positional) + "\\fR" + (option.repeatable ? "..." : "");
    line += option.required ? name + "\n" : "[" + name + "]\n";
  }
  if (anyOption) line += "[\\fIOPTIONS\\fR]\n";
  return line;
}

void writeExamples(std::ostream& out, const std::string& footer) {
  // A footer that starts with "Examples:" is the examples, one per line.
  const std::string heading = "Examples:\n";
  if (footer.rfind(heading, 0) != 0) {
    if (!footer.empty()) out << ".SH NOTES\n" << roff(footer) << "\n";
    return;
  }
  out << ".SH EXAMPLES\n.nf\n.RS 4\n";
  std::string rest = footer.substr(heading.size());
  std::string after;
  const auto blank = rest.find("\n\n");
  if (blank != std::string::npos) {
    after = rest.substr(blank + 2);
    rest.erase(blank);
  }
  for (const std::string& line : split(rest, '\n')) {
    const auto first = line.find_first_not_of(' ');
    if (first != std::string::npos) out << literal(line.substr(first)) << "\n";
  }
  out << ".RE\n.fi\n";
  // The text after the examples, its paragraphs as such (a blank line is
  // no paragraph break in roff).
  std::string paragraph;
  for (const std::string& line : split(after, '\n')) {
    if (line.empty()) {
      if (!paragraph.empty()) out << ".PP\n" << roff(paragraph);
      paragraph.clear();
    } else {
      paragraph += line + "\n";
    }
  }
  if (!paragraph.empty()) out << ".PP\n" << roff(paragraph);
}

void writeCommonSections(std::ostream& out, const std::string& seeAlso) {
  out << ".SH EXIT STATUS\n";
  for (const auto& status : exitStatuses)
    out << ".TP\n.B " << status[0] << "\n" << status[1] << "\n";
  out << ".SH FILES\n";
  for (const auto& file : files)
    out << ".TP\n.I " << literal(file[0]) << "\n" << roff(file[1]) << "\n";
  out << ".SH SEE ALSO\n" << seeAlso;
}

std::string commandPage(const CommandDoc& command, const std::string& date) {
  std::ostringstream out;
  writeHeader(out, "vortigen-" + command.name, date);
  out << ".SH NAME\nvortigen\\-" << literal(command.name) << " \\- " << roff(command.description)
      << "\n.SH SYNOPSIS\n"
      << synopsis(command) << ".SH DESCRIPTION\n"
      << roff(command.description) << "\n.SH OPTIONS\n";
  for (const OptionDoc& option : command.options) writeOptionItem(out, option);
  if (!command.curves.empty()) {
    out << ".SH CURVES\nThe curves of a preset text, in order, and the names "
        << "\\fB\\-\\-curve\\fR takes; each maps x from 0 to 16384 to y from 0 to 16384:\n";
    for (const std::string& curve : command.curves) out << ".IP \\(bu 2\n" << roff(curve) << "\n";
  }
  if (!command.presets.empty()) {
    out << ".SH PRESETS\nThe built-in presets, for \\fB\\-\\-preset\\fR (in this order; "
        << "\\fBvortigen presets " << literal(command.name)
        << "\\fR lists them with their texts and those stored in the profile):\n";
    for (const std::string& preset : command.presets)
      out << ".IP \\(bu 2\n" << roff(preset) << "\n";
  }
  writeExamples(out, command.footer);
  writeCommonSections(out, ".BR vortigen (1)\n");
  return out.str();
}

std::string mainPage(const CLI::App& app, const std::vector<CommandDoc>& commands,
                     const std::string& date) {
  std::ostringstream out;
  writeHeader(out, "vortigen", date);
  out << ".SH NAME\nvortigen \\- apply the Vortigen spectral effects to audio files\n"
      << ".SH SYNOPSIS\n.B vortigen\n\\fICOMMAND\\fR [\\fIOPTIONS\\fR] [\\fIARGUMENTS\\fR]\n"
      << ".br\n.B vortigen \\-\\-version\n.SH DESCRIPTION\n"
      << roff(app.get_description()) << "\n.SH COMMANDS\n";
  for (const CommandDoc& command : commands) {
    out << ".TP\n.B " << literal(command.name) << "\n"
        << roff(command.description) << " See\n.BR vortigen\\-" << literal(command.name)
        << " (1).\n";
  }
  out << ".SH OPTIONS\n";
  for (const OptionDoc& option : describeOptions(app, false)) writeOptionItem(out, option);
  writeExamples(out, app.get_footer());
  std::string seeAlso;
  for (std::size_t i = 0; i < commands.size(); ++i) {
    seeAlso += ".BR vortigen\\-" + literal(commands[i].name) + " (1)" +
               (i + 1 < commands.size() ? "," : "") + "\n";
  }
  writeCommonSections(out, seeAlso);
  return out.str();
}

// ---- Completions ----------------------------------------------------------------------------

// The part of a description that fits a completion menu: up to its first
// ";" or ":" clause break.
std::string shortDescription(const std::string& description) {
  std::string text = description.substr(0, description.find("; "));
  text = text.substr(0, text.find(": "));
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

std::string joined(const std::vector<std::string>& words, const std::string& separator) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : separator) + word;
  return text;
}

std::vector<std::string> effectNames() {
  std::vector<std::string> names;
  for (const EffectCommand& effect : effectCommands()) names.push_back(effect.name);
  return names;
}

std::string audioPattern() {
  std::vector<std::string> extensions;
  for (const char* extension : audioExtensions) {
    extensions.emplace_back(extension);
    extensions.push_back(upper(extension));
  }
  return joined(extensions, "|");
}

// The bash words that complete one value.
std::string bashValue(const OptionDoc& option, const CommandDoc& command) {
  switch (option.completion) {
    case Completion::audioFile: return "_vortigen_files '" + audioPattern() + "'";
    case Completion::file: return "_vortigen_files '*'";
    case Completion::fileWithExtension:
      return "_vortigen_files '" + option.words[0] + "|" + upper(option.words[0]) + "'";
    case Completion::directory: return "_vortigen_directories";
    case Completion::preset: return "_vortigen_presets " + command.name;
    case Completion::curve: {
      std::vector<std::string> words;
      for (const std::string& curve : command.curves) words.push_back(curve + "=");
      return "_vortigen_words '" + joined(words, " ") + "'; compopt -o nospace 2>/dev/null";
    }
    case Completion::effect: return "_vortigen_words '" + joined(effectNames(), " ") + "'";
    case Completion::choice: return "_vortigen_words '" + joined(option.words, " ") + "'";
    case Completion::none: break;
  }
  return ":";
}

std::string bashCompletion(const std::vector<CommandDoc>& commands,
                           const std::vector<OptionDoc>& topOptions) {
  std::ostringstream out;
  std::vector<std::string> commandWords;
  for (const CommandDoc& command : commands) commandWords.push_back(command.name);
  for (const OptionDoc& option : topOptions)
    for (const std::string& flag : option.flags) commandWords.push_back(flag);
  out << R"sh(# bash completion for vortigen, written by vortigen --write-reference from the
# tool's command-line definitions (the same as --help).

# Completes the current word from a list of words.
_vortigen_words() {
  local IFS=$' \t\n'
  COMPREPLY=($(compgen -W "$1" -- "$cur"))
}

# Directories and files whose extension matches the pattern ("wav|flac").
_vortigen_files() {
  local IFS=$'\n' extglob
  extglob=$(shopt -p extglob)
  shopt -s extglob
  if [ "$1" = '*' ]; then
    COMPREPLY=($(compgen -f -- "$cur"))
  else
    COMPREPLY=($(compgen -d -- "$cur") $(compgen -f -X "!*.@($1)" -- "$cur"))
  fi
  eval "$extglob"
  compopt -o filenames 2>/dev/null
}

_vortigen_directories() {
  local IFS=$'\n'
  COMPREPLY=($(compgen -d -- "$cur"))
  compopt -o filenames 2>/dev/null
}

# The preset names vortigen presets EFFECT lists, quoted for the command line.
_vortigen_presets() {
  local name prefix=${cur//\\/}
  prefix=${prefix#[\"\']}
  COMPREPLY=()
  while IFS= read -r name; do
    [[ $name == "$prefix"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
  done < <("${COMP_WORDS[0]}" presets "$1" 2>/dev/null | sed -nE 's/^  .*  +([^,]+),.*$/\1/p')
}

_vortigen() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command="" i
  for ((i = 1; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      -*) ;;
      *) command=${COMP_WORDS[i]}; break ;;
    esac
  done
  case $command in
    "") _vortigen_words ')sh"
      << joined(commandWords, " ") << "'; return ;;\n";
  for (const CommandDoc& command : commands) {
    std::vector<std::string> flags;
    const OptionDoc* positional = nullptr;
    out << "    " << command.name << ")\n      case $prev in\n";
    for (const OptionDoc& option : command.options) {
      if (!option.positional.empty()) {
        if (positional == nullptr) positional = &option;
        continue;
      }
      for (const std::string& flag : option.flags) flags.push_back(flag);
      if (option.placeholder.empty()) continue;
      out << "        " << joined(option.flags, "|") << ") " << bashValue(option, command)
          << "; return ;;\n";
    }
    out << "      esac\n"
        << "      if [[ $cur == -* ]]; then _vortigen_words '" << joined(flags, " ") << "'; ";
    out << "else " << (positional != nullptr ? bashValue(*positional, command) : ":")
        << "; fi ;;\n";
  }
  out << "  esac\n}\ncomplete -F _vortigen vortigen\n";
  return out.str();
}

// Text inside a zsh _arguments description: its brackets and colons
// escaped, in single quotes.
std::string zshDescription(const std::string& text) {
  std::string out;
  for (char c : shortDescription(text)) {
    if (c == '[' || c == ']' || c == ':' || c == '\\') out += '\\';
    if (c == '\'') {
      out += "'\\''";
      continue;
    }
    out += c;
  }
  return out;
}

std::string zshValue(const OptionDoc& option, const CommandDoc& command) {
  switch (option.completion) {
    case Completion::audioFile: return "_files -g '*.(" + audioPattern() + ")'";
    case Completion::file: return "_files";
    case Completion::fileWithExtension: return "_files -g '*." + option.words[0] + "'";
    case Completion::directory: return "_files -/";
    case Completion::preset: return "_vortigen_presets " + command.name;
    case Completion::curve: {
      std::vector<std::string> words;
      for (const std::string& curve : command.curves) words.push_back(curve + "=");
      return "compadd -S '' " + joined(words, " ");
    }
    case Completion::effect: return "(" + joined(effectNames(), " ") + ")";
    case Completion::choice: return "(" + joined(option.words, " ") + ")";
    case Completion::none: break;
  }
  return " ";
}

std::string zshCompletion(const std::vector<CommandDoc>& commands) {
  std::ostringstream out;
  out << R"sh(#compdef vortigen
# zsh completion for vortigen, written by vortigen --write-reference from the
# tool's command-line definitions (the same as --help).

_vortigen_presets() {
  local -a names
  names=(${(f)"$($words[1] presets $1 2>/dev/null | sed -nE 's/^  .*  +([^,]+),.*$/\1/p')"})
  compadd -a names
}

_vortigen() {
  local -a commands
  commands=(
)sh";
  for (const CommandDoc& command : commands)
    out << "    '" << command.name << ":" << zshDescription(command.description) << "'\n";
  out << R"sh(  )
  if (( CURRENT == 2 )); then
    _describe command commands
    _arguments '--version[print the version]' '(-h --help)'{-h,--help}'[print the help]'
    return
  fi
  local command=$words[2]
  case $command in
)sh";
  for (const CommandDoc& command : commands) {
    out << "    " << command.name << ") _arguments -s";
    for (const OptionDoc& option : command.options) {
      const std::string description = zshDescription(option.description);
      if (!option.positional.empty()) {
        out << " \\\n        '" << (option.repeatable ? "*" : "") << ":" << option.positional << ":"
            << zshValue(option, command) << "'";
        continue;
      }
      for (const std::string& flag : option.flags) {
        out << " \\\n        '" << (option.repeatable ? "*" : "") << flag;
        if (option.placeholder.empty()) {
          out << "[" << description << "]'";
        } else {
          out << (flag.size() > 2 ? "=" : "") << "[" << description
              << "]:" << zshDescription(option.placeholder) << ":" << zshValue(option, command)
              << "'";
        }
      }
    }
    out << " ;;\n";
  }
  out << "  esac\n}\n\n_vortigen \"$@\"\n";
  return out.str();
}

std::string fishQuoted(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

std::string fishValue(const OptionDoc& option, const CommandDoc& command) {
  switch (option.completion) {
    case Completion::audioFile:
    case Completion::file: return " -F";
    case Completion::fileWithExtension:
      return " -a " + fishQuoted("(__fish_complete_suffix ." + option.words[0] + ")");
    case Completion::directory: return " -a '(__fish_complete_directories)'";
    case Completion::preset:
      return " -a " + fishQuoted("(__vortigen_presets " + command.name + ")");
    case Completion::curve: {
      std::vector<std::string> words;
      for (const std::string& curve : command.curves) words.push_back(curve + "=");
      return " -a " + fishQuoted(joined(words, " "));
    }
    case Completion::effect: return " -a " + fishQuoted(joined(effectNames(), " "));
    case Completion::choice: return " -a " + fishQuoted(joined(option.words, " "));
    case Completion::none: break;
  }
  return "";
}

std::string fishCompletion(const std::vector<CommandDoc>& commands) {
  std::ostringstream out;
  out << R"sh(# fish completion for vortigen, written by vortigen --write-reference from the
# tool's command-line definitions (the same as --help).

function __vortigen_presets
    command (commandline -opc)[1] presets $argv[1] 2>/dev/null | sed -nE 's/^  .*  +([^,]+),.*$/\1/p'
end

complete -c vortigen -f
complete -c vortigen -n __fish_use_subcommand -l version -d 'print the version'
)sh";
  for (const CommandDoc& command : commands) {
    out << "complete -c vortigen -n __fish_use_subcommand -a " << command.name << " -d "
        << fishQuoted(shortDescription(command.description)) << "\n";
  }
  for (const CommandDoc& command : commands) {
    const std::string condition = " -n '__fish_seen_subcommand_from " + command.name + "'";
    for (const OptionDoc& option : command.options) {
      if (!option.positional.empty()) {
        out << "complete -c vortigen" << condition << fishValue(option, command) << "\n";
        continue;
      }
      out << "complete -c vortigen" << condition;
      for (const std::string& flag : option.flags)
        out << (flag.size() == 2 ? " -s " + flag.substr(1) : " -l " + flag.substr(2));
      if (!option.placeholder.empty()) out << " -r" << fishValue(option, command);
      out << " -d " << fishQuoted(shortDescription(option.description)) << "\n";
    }
  }
  return out.str();
}

void writeFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << text;
  file.close();
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int writeReference(const CLI::App& app, const std::string& directory, const std::string& date) {
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
