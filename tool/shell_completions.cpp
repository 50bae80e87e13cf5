// The tool's shell completions for bash, zsh and fish, from the command
// line as cli_reference_model.h describes it: options, the values each
// takes (files of the audio containers, presets, curves, choices).
#include <sstream>
#include <string>
#include <vector>

#include "cli_reference_model.h"
#include "vortigen_plugins.h"

namespace vortigen::reference {

namespace {

// The containers an effect reads and writes (audio_file.h), for completing
// input and output names.
const char* const audioExtensions[] = {"wav", "aif", "aiff", "flac", "ogg", "oga"};

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

}  // namespace

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

namespace {

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

}  // namespace

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

namespace {

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

}  // namespace

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

}  // namespace vortigen::reference
