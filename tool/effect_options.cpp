// The effect commands' part of the command line: each effect's
// subcommand with its options (files and batches, curves, selection and
// output, how the run behaves), and the examples --help shows.
#include "effect_options.h"

#include <CLI/CLI.hpp>
#include <string>

namespace vortigen {

const char* const commandExamples = R"(Examples:
  vortigen dynamic in.wav out.wav --preset "Hard Attack"
  vortigen dynamic in.flac out.flac --preset-text "Mine,3,2,0,12375,16384,12375,2,0,1394,16384,1394,2,0,0,16384,0"
  vortigen fourier in.wav out.wav --curve transfer=0:0,11969:4740,16384:16384 --from 0.5 --to 66150s
  vortigen dynamic in.wav out.wav --preset Chaos --spectrogram compare.png
  vortigen dynamic master.wav out.wav --preset Chaos --bits float    # any depth, rate and channel count
  vortigen fourier *.flac --output-dir done --preset Five --jobs 2    # a batch; run again to resume
  vortigen dynamic - - --type flac --preset 9 < in.wav > out.flac    # standard input and output
  vortigen presets fourier
  vortigen demo
)";

namespace {

// An option given with an empty value ("--preset ''") is a mistake, not
// the option left out.
const CLI::Validator nonEmpty(
    [](const std::string& value) {
      return value.empty() ? std::string("an empty value; give one, or leave the option out")
                           : std::string();
    },
    "", "non-empty");

// The files an effect command takes: one input and one output, or a batch
// into a directory.
void addFileOptions(CLI::App* command, EffectRun& run) {
  command
      ->add_option(
          "FILES", run.files,
          "INPUT OUTPUT: the sound to process (WAV, AIFF, FLAC or Ogg Vorbis) and where the result "
          "goes, its extension (.wav, .aiff, .flac, .ogg) setting the format; - for standard "
          "input or output (with --type); with --output-dir, any number of inputs")
      ->required()
      ->type_name("FILE");
  command
      ->add_option(
          "--output-dir", run.outputDirectory,
          "process every FILE into DIR under its own name; outputs already complete there are "
          "skipped, so a second run resumes")
      ->type_name("DIR");
  command->add_option("--jobs", run.jobs, "worker processes of a batch (default: one per core)")
      ->type_name("N")
      ->check(CLI::Range(1, 256));
  command
      ->add_option("--shard", run.shard,
                   "process only the inputs of shard K of N, chosen by a hash of each file's name "
                   "(for job arrays over machines)")
      ->type_name("K/N");
  command->add_flag("--list", run.list,
                    "print what a batch would do with each input (process, skip as complete, "
                    "redo), one per line, and process nothing");
}

// The curves: a preset by name or as text, single curves over it, the
// profile the stored presets come from.
void addCurveOptions(CLI::App* command, const EffectCommand& effect, EffectRun& run) {
  const std::string& name = effect.name;
  CLI::Option* preset = command->add_option(
      "--preset", run.preset,
      "a built-in preset, or one stored in the profile (see vortigen presets " + name + ")");
  preset->type_name("NAME");
  CLI::Option* presetText =
      command->add_option("--preset-text", run.presetText,
                          "a preset as text: \"Name,3,n,x,y,...\", one point list per curve");
  presetText->type_name("TEXT");
  preset->excludes(presetText);
  std::string curves;
  for (size_t i = 0; i < effect.curveNames.size(); ++i) {
    curves += (i == 0                              ? ""
               : i + 1 == effect.curveNames.size() ? " or "
                                                   : ", ") +
              effect.curveNames[i];
  }
  command
      ->add_option(
          "--curve", run.curves,
          "NAME=x:y,x:y,... sets one curve (" + curves +
              "; x and y from 0 to 16384), after any preset; other curves keep their shape")
      ->type_name("NAME=x:y,...")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  command
      ->add_option("--profile", run.profile,
                   "the preset profile (default $XDG_CONFIG_HOME/vortigen/presets.ini or "
                   "~/.config/vortigen/presets.ini)")
      ->type_name("FILE");
}

// What of the input is processed and how the output is written.
void addSelectionAndOutputOptions(CLI::App* command, EffectRun& run) {
  command
      ->add_option(
          "--from", run.from,
          "start of the selection: seconds (0.5) or sample frames (22050s); default the start")
      ->type_name("T");
  command
      ->add_option("--to", run.to,
                   "end of the selection, not included: seconds or sample frames; default the end")
      ->type_name("T");
  command
      ->add_option("--bits", run.bits,
                   "the output's samples: 8, 16, 24, 32 (PCM) or float; default those of the input")
      ->type_name("B");
  command
      ->add_option(
          "--path", run.path,
          "plugin: the plug-in library's XfmDo (8/16-bit mono or stereo, the default for those); "
          "engine: the float engine (any format, the default for the rest)")
      ->type_name("plugin|engine");
  command
      ->add_option("--spectrogram", run.spectrogram,
                   "a PNG with the input's and the output's spectrograms; in a batch a "
                   "directory (DIR/), which gets one NAME.png per output")
      ->type_name("FILE.png");
  command->add_option("--plugin-dir", run.pluginDirectory, "the directory of the plug-in libraries")
      ->type_name("DIR");
  command
      ->add_option("-t,--type", run.type,
                   "the format of standard output when OUTPUT is -: wav, aiff, flac or ogg")
      ->type_name("wav|aiff|flac|ogg");
}

// How the run behaves: forcing a batch, quietness, progress, replacing the
// input, keeping a partial result.
void addRunOptions(CLI::App* command, EffectRun& run) {
  command->add_flag("--force", run.force,
                    "in a batch, process every input again, even those whose output is complete");
  command->add_flag("-q,--quiet", run.quiet,
                    "only errors and warnings: no progress, no batch summary");
  command
      ->add_option("--progress-interval", run.progressInterval,
                   "without a terminal (a log, a scheduler), a progress line every S seconds: "
                   "files and frames done, rate, time left; 0 for none (default 30)")
      ->type_name("S")
      ->check(CLI::Range(0.0, 1e9));
  command->add_flag("--in-place", run.inPlace,
                    "allow OUTPUT to be INPUT; it is replaced once the result is complete");
  command->add_flag(
      "--keep-partial", run.keepPartial,
      "when interrupted, keep what was processed so far as NAME.partial.EXT beside the output");
}

}  // namespace

void addEffectCommand(CLI::App& app, const EffectCommand& effect, EffectRun& run) {
  const std::string& name = effect.name;
  run.effect = name;
  CLI::App* command = app.add_subcommand(
      name, effect.description + ": apply the " + name + " effect to audio files.");
  addFileOptions(command, run);
  addCurveOptions(command, effect, run);
  addSelectionAndOutputOptions(command, run);
  addRunOptions(command, run);
  for (CLI::Option* option : command->get_options()) {
    if (option->get_expected_min() > 0 && option->get_name() != "--help") option->check(nonEmpty);
  }
  command->footer(commandExamples);
}
}  // namespace vortigen
