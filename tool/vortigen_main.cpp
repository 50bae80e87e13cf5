// vortigen: the command-line face of the reference host.
//
//   vortigen dynamic|fourier INPUT OUTPUT [options]   apply an effect to a file
//   vortigen presets EFFECT                           built-in and stored presets
//   vortigen list                                     the effects and what they do
//   vortigen demo [DIR]                               every built-in preset on a demo sound
//   vortigen dialog EFFECT --png FILE                 draw a settings dialog
//
// `dialog` runs the settings dialog of a plug-in (dynamic, fourier, or the
// path of a plug-in library) as the host would, with no one at the screen,
// and draws it as it stands once it has opened: its controls as the
// template lays them out, the preset list as the host filled it, the
// curves as the host drew them. The presets come from --profile, which is
// seeded with the built-in presets when its section is empty, or else from
// a scratch profile that is removed again.
//
// Exit status: 0 done, 1 processing failed, 2 usage error, 128 + the
// signal when interrupted (130 for Ctrl-C).
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>

#include "audio_file.h"
#include "cli_reference.h"
#include "dialog_picture.h"
#include "dialog_script.h"
#include "effect_options.h"
#ifdef VORTIGEN_HAVE_STUDIO
#include "studio_command.h"
#endif
#include "usage_error.h"
#include "vortigen_commands.h"
#include "vortigen_plugins.h"
#include "vortigen_version.h"
#include "vthost.h"

namespace {

// What each command other than the effects was given.
struct PresetsRequest {
  std::string effect, profile, pluginDirectory;
};
struct ListRequest {
  std::string pluginDirectory;
};
struct DemoRequest {
  std::string directory = "demo", pluginDirectory;
  bool quiet = false;
};
struct DialogRequest {
  std::string effect, pngPath, profile, pluginDirectory;
  double scale = 2.0;
};

// The tool's commands: each one's subcommand, once defined, and what the
// command line gave it, once parsed. The subcommands write into these
// members, so the record stays where it was made.
struct Commands {
  std::vector<vortigen::EffectRun> effectRuns;  // in the order of effectCommands()
  PresetsRequest presets;
  ListRequest list;
  DemoRequest demo;
  DialogRequest dialog;
  CLI::App* presetsCommand = nullptr;
  CLI::App* listCommand = nullptr;
  CLI::App* demoCommand = nullptr;
  CLI::App* dialogCommand = nullptr;
#ifdef VORTIGEN_HAVE_STUDIO
  vtstudio::StudioOptions studio;
  CLI::App* studioCommand = nullptr;
#endif
};

int drawDialog(const DialogRequest& request) {
  const std::string& profile = request.profile;
  const std::string& pngPath = request.pngPath;
  vthost::PluginLibrary plugin(vortigen::pluginPath(request.effect, request.pluginDirectory));
  vthost::EffectHost host(plugin, vthost::WaveFormat{}, {});
  std::unique_ptr<vortigen::ScratchProfile> scratch;
  if (profile.empty()) scratch = std::make_unique<vortigen::ScratchProfile>();
  host.setProfilePath(profile.empty() ? scratch->path() : profile);
  if (host.init() != 1) {
    throw vthost::HostError("The plug-in " + plugin.path() + " could not make its instance.");
  }

  // Once the dialog has opened and painted, with nothing left to do, it is
  // drawn; then the script ends and the dialog closes as with its close box.
  bool drawn = false;
  std::string failure;
  vthost::DialogScript script;
  script.then([&](HWND dialog) {
    try {
      vortigen::writeDialogPicture(dialog, pngPath, request.scale);
      drawn = true;
    } catch (const vthost::HostError& e) {
      failure = e.what();
    }
  });
  const int ended = host.setup();
  host.destroy();
  for (const std::string& problem : host.errors())
    std::fprintf(stderr, "vortigen: %s\n", problem.c_str());
  if (!failure.empty()) throw vthost::HostError(failure);
  if (!drawn) {
    throw vthost::HostError("The settings dialog of " + plugin.path() +
                            " did not open (it ended with " + std::to_string(ended) +
                            "); nothing was written to " + pngPath + ".");
  }
  return 0;
}

std::vector<std::string> commandNames() {
  std::vector<std::string> names;
  for (const vortigen::EffectCommand& effect : vortigen::effectCommands())
    names.push_back(effect.name);
  for (const char* other : {"presets", "list", "demo", "dialog"}) names.emplace_back(other);
#ifdef VORTIGEN_HAVE_STUDIO
  names.emplace_back("studio");
#endif
  return names;
}

bool isCommand(const char* word) {
  const std::vector<std::string> names = commandNames();
  return std::find(names.begin(), names.end(), word) != names.end();
}

std::string commandList() {
  const std::vector<std::string> names = commandNames();
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == names.size() ? " or " : ", ") + names[i];
  }
  return text;
}

std::string effectList() {
  std::string text;
  const auto& effects = vortigen::effectCommands();
  for (size_t i = 0; i < effects.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == effects.size() ? " or " : ", ") + effects[i].name;
  }
  return text;
}

// The command a failed parse was for, for the hint to its help.
std::string commandOf(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (isCommand(argv[i])) return std::string(" ") + argv[i];
  }
  return "";
}

// INPUT OUTPUT, or inputs with --output-dir.
void sortFiles(vortigen::EffectRun& run) {
  if (!run.outputDirectory.empty()) return;
  if (run.files.size() < 2) {
    throw vortigen::UsageError(
        "OUTPUT is required (or several inputs with --output-dir DIR); see vortigen " + run.effect +
        " --help.");
  }
  if (run.files.size() > 2) {
    throw vortigen::UsageError(
        "Give one INPUT and one OUTPUT, or several inputs with --output-dir DIR (" +
        std::to_string(run.files.size()) + " files were given); see vortigen " + run.effect +
        " --help.");
  }
  run.input = run.files[0];
  run.output = run.files[1];
}

void addPresetsCommand(CLI::App& app, Commands& commands) {
  PresetsRequest& r = commands.presets;
  CLI::App* presets = app.add_subcommand(
      "presets", "List the built-in presets of an effect and those stored in the profile.");
  presets->add_option("EFFECT", r.effect, effectList())->required();
  presets->add_option("--profile", r.profile, "the preset profile (default the per-user one)");
  presets->add_option("--plugin-dir", r.pluginDirectory, "the directory of the plug-in libraries");
  commands.presetsCommand = presets;
}

void addListCommand(CLI::App& app, Commands& commands) {
  CLI::App* list = app.add_subcommand("list", "List the effects with their descriptions.");
  list->add_option("--plugin-dir", commands.list.pluginDirectory,
                   "the directory of the plug-in libraries");
  commands.listCommand = list;
}

void addDemoCommand(CLI::App& app, Commands& commands) {
  DemoRequest& r = commands.demo;
  CLI::App* demo = app.add_subcommand("demo",
                                      "Write a demonstration sound and what every built-in preset "
                                      "of both effects makes of it, with spectrograms.");
  demo->add_option("DIR", r.directory, "where the files go")->capture_default_str();
  demo->add_option("--plugin-dir", r.pluginDirectory, "the directory of the plug-in libraries");
  demo->add_flag("-q,--quiet", r.quiet, "no progress bars");
  commands.demoCommand = demo;
}

void addDialogCommand(CLI::App& app, Commands& commands) {
  DialogRequest& r = commands.dialog;
  CLI::App* dialog =
      app.add_subcommand("dialog", "Draw a plug-in's settings dialog into a PNG file.");
  dialog->add_option("EFFECT", r.effect, effectList() + ", or the path of a plug-in library")
      ->required();
  dialog->add_option("--png", r.pngPath, "the picture to write")->required();
  dialog->add_option("--profile", r.profile,
                     "the preset profile (seeded with the built-in presets when empty); "
                     "without it a scratch profile is used");
  dialog->add_option("--scale", r.scale, "enlargement of the screen pixels")
      ->check(CLI::Range(0.5, 8.0));
  dialog->add_option("--plugin-dir", r.pluginDirectory, "the directory of the plug-in libraries");
  commands.dialogCommand = dialog;
}

// Every command, in the order --help lists them; the studio's where it is
// built.
void defineCommands(CLI::App& app, Commands& commands) {
  app.require_subcommand(1);
  app.footer(std::string(vortigen::commandExamples) +
             "\n\nRun vortigen COMMAND --help for the options of a command.\n");
  app.set_version_flag("--version", "vortigen " VORTIGEN_VERSION);
  const std::vector<vortigen::EffectCommand>& effects = vortigen::effectCommands();
  commands.effectRuns.resize(effects.size());
  for (size_t i = 0; i < effects.size(); ++i)
    vortigen::addEffectCommand(app, effects[i], commands.effectRuns[i]);
  addPresetsCommand(app, commands);
  addListCommand(app, commands);
  addDemoCommand(app, commands);
  addDialogCommand(app, commands);
#ifdef VORTIGEN_HAVE_STUDIO
  commands.studioCommand = vtstudio::addStudioCommand(app, commands.studio);
#endif
}

// Before parsing: a first word that names no command, or no word at all,
// is answered with the list of commands (status 2); 0 when a command is
// named.
int refuseWithoutCommand(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '-') continue;
    if (!isCommand(argv[i])) {
      std::fprintf(
          stderr,
          "vortigen: there is no command \"%s\"; the commands are %s (see vortigen --help).\n",
          argv[i], commandList().c_str());
      return 2;
    }
    break;
  }
  if (argc < 2) {
    std::fprintf(
        stderr,
        "vortigen: give a command: %s (see vortigen --help; vortigen demo shows every preset "
        "at work).\n",
        commandList().c_str());
    return 2;
  }
  return 0;
}

// Help and --version print and end with 0; a parse error names the
// command's help and ends with 2.
int answerParseError(const CLI::App& app, const CLI::ParseError& e, int argc, char** argv) {
  if (e.get_exit_code() == 0) return app.exit(e);
  std::fprintf(stderr, "vortigen: %s; see vortigen%s --help.\n", e.what(),
               commandOf(argc, argv).c_str());
  return 2;
}

// Runs the command the command line chose.
int runCommand(const CLI::App& app, Commands& commands) {
  const std::vector<vortigen::EffectCommand>& effects = vortigen::effectCommands();
  for (size_t i = 0; i < effects.size(); ++i) {
    if (*app.get_subcommand(effects[i].name)) {
      sortFiles(commands.effectRuns[i]);
      return vortigen::runEffect(commands.effectRuns[i]);
    }
  }
  const PresetsRequest& presets = commands.presets;
  if (*commands.presetsCommand)
    return vortigen::listPresets(presets.effect, presets.profile, presets.pluginDirectory);
  if (*commands.listCommand) return vortigen::listEffects(commands.list.pluginDirectory);
  const DemoRequest& demo = commands.demo;
  if (*commands.demoCommand)
    return vortigen::runDemo(demo.directory, demo.pluginDirectory, demo.quiet);
  if (*commands.dialogCommand) return drawDialog(commands.dialog);
#ifdef VORTIGEN_HAVE_STUDIO
  if (*commands.studioCommand) {
    const vtstudio::StudioOptions& options = commands.studio;
    const auto plugin = [&](const char* name) {
      return vortigen::pluginPath(name, options.pluginDirectory);
    };
    return vtstudio::runStudio(options,
                               {{"dynamic", plugin("dynamic")}, {"fourier", plugin("fourier")}},
                               vortigen::defaultProfilePath().string());
  }
#endif
  return 0;
}

// A command's failure as one line and its exit status: 2 for a usage
// error, 1 for the rest.
template <typename Run>
int reportingFailures(Run run) {
  try {
    return run();
  } catch (const vortigen::UsageError& e) {
    std::fprintf(stderr, "vortigen: %s\n", e.what());
    return 2;
  } catch (const vtmedia::AudioError& e) {
    // The file library's sentences start lower-case and carry no stop.
    std::string sentence = e.what();
    if (!sentence.empty() && sentence.back() != '.') sentence += '.';
    std::fprintf(stderr, "vortigen: %s\n", sentence.c_str());
    return 1;
  } catch (const vthost::HostError& e) {
    std::fprintf(stderr, "vortigen: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vortigen: %s; this is a fault of the tool, please report it.\n",
                 e.what());
    return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"vortigen: applies the Vortigen effect plug-ins to audio files, as their host does.",
               "vortigen"};
  Commands commands;
  defineCommands(app, commands);

  // The build writes the man pages and shell completions from these very
  // definitions (not listed in --help: it is for the build, not for users).
  if (argc == 4 && std::strcmp(argv[1], "--write-reference") == 0)
    return vortigen::writeReference(app, argv[2], argv[3]);

  if (const int refused = refuseWithoutCommand(argc, argv)) return refused;
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return answerParseError(app, e, argc, argv);
  }
  return reportingFailures([&] { return runCommand(app, commands); });
}
