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
// Exit status: 0 done, 1 processing failed, 2 usage error, 130 interrupted.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <iterator>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "audio_file.h"
#include "dialog_picture.h"
#include "dialog_script.h"
#include "studio_command.h"
#include "vortigen_commands.h"
#include "vortigen_plugins.h"
#include "vthost.h"

namespace {

int drawDialog(const std::string& effect, const std::string& pngPath, const std::string& profile,
               double scale, const std::string& pluginDirectory) {
  vthost::PluginLibrary plugin(vortigen::pluginPath(effect, pluginDirectory));
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
      vthost::writeDialogPicture(dialog, pngPath, scale);
      drawn = true;
    } catch (const vthost::HostError& e) {
      failure = e.what();
    }
  });
  const int ended = host.setup();
  host.destroy();
  for (const std::string& problem : host.errors()) std::fprintf(stderr, "vortigen: %s\n", problem.c_str());
  if (!failure.empty()) throw vthost::HostError(failure);
  if (!drawn) {
    throw vthost::HostError("The settings dialog of " + plugin.path() + " did not open (it ended with " +
                            std::to_string(ended) + "); nothing was written to " + pngPath + ".");
  }
  return 0;
}


const char* examples = R"(Examples:
  vortigen dynamic in.wav out.wav --preset "Hard Attack"
  vortigen dynamic in.flac out.flac --preset-text "Mine,3,2,0,12375,16384,12375,2,0,1394,16384,1394,2,0,0,16384,0"
  vortigen fourier in.wav out.wav --curve transfer=0:0,11969:4740,16384:16384 --from 1.5 --to 66150s
  vortigen dynamic in.wav out.wav --preset Chaos --spectrogram compare.png
  vortigen presets fourier
  vortigen demo
)";

void addEffectCommand(CLI::App& app, const std::string& name, const std::string& description,
                      vortigen::EffectRun& run) {
  run.effect = name;
  CLI::App* command = app.add_subcommand(name, description + ": apply the " + name + " effect to an audio file.");
  command->add_option("INPUT", run.input, "the sound to process: WAV, AIFF, FLAC or Ogg Vorbis")->required()->type_name("FILE");
  command->add_option("OUTPUT", run.output, "where the result goes; its extension (.wav, .aiff, .flac, .ogg) sets the format")
      ->required()
      ->type_name("FILE");
  CLI::Option* preset = command->add_option(
      "--preset", run.preset, "a built-in preset, or one stored in the profile (see vortigen presets " + name + ")");
  preset->type_name("NAME");
  CLI::Option* presetText =
      command->add_option("--preset-text", run.presetText, "a preset as text: \"Name,3,n,x,y,...\", one point list per curve");
  presetText->type_name("TEXT");
  preset->excludes(presetText);
  const std::string curves = name == "dynamic" ? "attack, release or chaos" : "transfer";
  command
      ->add_option("--curve", run.curves,
                   "NAME=x:y,x:y,... sets one curve (" + curves +
                       "; x and y from 0 to 16384), after any preset; other curves keep their shape")
      ->type_name("NAME=x:y,...")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command->add_option("--profile", run.profile,
                      "the preset profile (default $XDG_CONFIG_HOME/vortigen/presets.ini or ~/.config/vortigen/presets.ini)")
      ->type_name("FILE");
  command->add_option("--from", run.from, "start of the selection: seconds (1.5) or sample frames (66150s); default the start")
      ->type_name("T");
  command->add_option("--to", run.to, "end of the selection, not included: seconds or sample frames; default the end")
      ->type_name("T");
  command->add_option("--spectrogram", run.spectrogram, "a PNG with the input's and the output's spectrograms")
      ->type_name("FILE.png");
  command->add_option("--plugin-dir", run.pluginDirectory, "the directory of the plug-in libraries")->type_name("DIR");
  command->add_flag("-q,--quiet", run.quiet, "no progress bar");
  command->add_flag("--in-place", run.inPlace, "allow OUTPUT to be INPUT; it is replaced once the result is complete");
  command->add_flag("--keep-partial", run.keepPartial, "when interrupted, write what was processed so far");
  command->footer(examples);
}

const char* const commands[] = {"dynamic", "fourier", "presets", "list", "demo", "dialog", "studio"};

bool isCommand(const char* word) {
  return std::any_of(std::begin(commands), std::end(commands),
                     [&](const char* name) { return std::strcmp(word, name) == 0; });
}

// The command a failed parse was for, for the hint to its help.
std::string commandOf(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (isCommand(argv[i])) return std::string(" ") + argv[i];
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"vortigen: applies the Vortigen effect plug-ins to audio files, as their host does.", "vortigen"};
  app.require_subcommand(1);
  app.footer(std::string(examples) + "\n\nRun vortigen COMMAND --help for the options of a command.\n");

  vortigen::EffectRun dynamicRun, fourierRun;
  addEffectCommand(app, "dynamic", "Dynamic and Chaos Effects", dynamicRun);
  addEffectCommand(app, "fourier", "Adds Pure Sound Effect", fourierRun);

  std::string presetsEffect, presetsProfile, presetsPlugins;
  CLI::App* presets = app.add_subcommand("presets", "List the built-in presets of an effect and those stored in the profile.");
  presets->add_option("EFFECT", presetsEffect, "dynamic or fourier")->required();
  presets->add_option("--profile", presetsProfile, "the preset profile (default the per-user one)");
  presets->add_option("--plugin-dir", presetsPlugins, "the directory of the plug-in libraries");

  std::string listPlugins;
  CLI::App* list = app.add_subcommand("list", "List the effects with their descriptions.");
  list->add_option("--plugin-dir", listPlugins, "the directory of the plug-in libraries");

  std::string demoDirectory = "demo", demoPlugins;
  bool demoQuiet = false;
  CLI::App* demo = app.add_subcommand(
      "demo", "Write a demonstration sound and what every built-in preset of both effects makes of it, with spectrograms.");
  demo->add_option("DIR", demoDirectory, "where the files go")->capture_default_str();
  demo->add_option("--plugin-dir", demoPlugins, "the directory of the plug-in libraries");
  demo->add_flag("-q,--quiet", demoQuiet, "no progress bars");

  std::string effect, pngPath, profile, dialogPlugins;
  double scale = 2.0;
  CLI::App* dialog = app.add_subcommand("dialog", "Draw a plug-in's settings dialog into a PNG file.");
  dialog->add_option("EFFECT", effect, "dynamic, fourier, or the path of a plug-in library")->required();
  dialog->add_option("--png", pngPath, "the picture to write")->required();
  dialog->add_option("--profile", profile,
                     "the preset profile (seeded with the built-in presets when empty); "
                     "without it a scratch profile is used");
  dialog->add_option("--scale", scale, "enlargement of the screen pixels")->check(CLI::Range(0.5, 8.0));
  dialog->add_option("--plugin-dir", dialogPlugins, "the directory of the plug-in libraries");

  vtstudio::StudioOptions studioOptions;
  CLI::App* studio = vtstudio::addStudioCommand(app, studioOptions);

  // The first word that is no option names the command.
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] == '-') continue;
    if (!isCommand(argv[i])) {
      std::fprintf(stderr, "vortigen: there is no command \"%s\"; the commands are dynamic, fourier, presets, list, "
                           "demo, dialog and studio (see vortigen --help).\n", argv[i]);
      return 2;
    }
    break;
  }
  if (argc < 2) {
    std::fprintf(stderr, "vortigen: give a command: dynamic, fourier, presets, list, demo or dialog "
                         "(see vortigen --help; vortigen demo shows every preset at work).\n");
    return 2;
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);
    std::fprintf(stderr, "vortigen: %s; see vortigen%s --help.\n", e.what(), commandOf(argc, argv).c_str());
    return 2;
  }

  try {
    if (*app.get_subcommand("dynamic")) return vortigen::runEffect(dynamicRun);
    if (*app.get_subcommand("fourier")) return vortigen::runEffect(fourierRun);
    if (*presets) return vortigen::listPresets(presetsEffect, presetsProfile, presetsPlugins);
    if (*list) return vortigen::listEffects(listPlugins);
    if (*demo) return vortigen::runDemo(demoDirectory, demoPlugins, demoQuiet);
    if (*dialog) return drawDialog(effect, pngPath, profile, scale, dialogPlugins);
    if (*studio) {
      const auto plugin = [&](const char* name) { return vortigen::pluginPath(name, studioOptions.pluginDirectory); };
      return vtstudio::runStudio(studioOptions, {{"dynamic", plugin("dynamic")}, {"fourier", plugin("fourier")}},
                                 vortigen::defaultProfilePath().string());
    }
  } catch (const vortigen::UsageError& e) {
    std::fprintf(stderr, "vortigen: %s\n", e.what());
    return 2;
  } catch (const vortigen::AudioError& e) {
    // The file library's sentences start lower-case and carry no stop.
    std::string sentence = e.what();
    if (!sentence.empty() && sentence.back() != '.') sentence += '.';
    std::fprintf(stderr, "vortigen: %s\n", sentence.c_str());
    return 1;
  } catch (const vthost::HostError& e) {
    std::fprintf(stderr, "vortigen: %s\n", e.what());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vortigen: %s; this is a fault of the tool, please report it.\n", e.what());
    return 1;
  }
  return 0;
}
