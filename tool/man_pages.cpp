// The tool's manual pages (man(7)), vortigen(1) and one page per command,
// from the command line as cli_reference_model.h describes it; what the
// definitions cannot say (exit statuses, files) comes from the tables here.
#include <CLI/CLI.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli_reference_model.h"
#include "vortigen_version.h"

namespace vortigen::reference {

namespace {

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

}  // namespace

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

}  // namespace vortigen::reference
