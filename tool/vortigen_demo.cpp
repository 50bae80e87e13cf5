// vortigen demo [DIR]: the synthesised demonstration input and what every
// built-in preset of both effects makes of it, each with its spectrogram.
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "audio_file.h"
#include "demo_signal.h"
#include "sonogram.h"
#include "vortigen_commands.h"
#include "vortigen_output.h"
#include "vortigen_plugins.h"

namespace vortigen {

namespace fs = std::filesystem;

namespace {

// "Soft Release+Effect" -> "soft-release-effect".
std::string fileNameOf(const std::string& name) {
  std::string slug;
  for (const char c : name) {
    if (std::isalnum(static_cast<unsigned char>(c))) {
      slug += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else if (!slug.empty() && slug.back() != '-') {
      slug += '-';
    }
  }
  while (!slug.empty() && slug.back() == '-') slug.pop_back();
  return slug;
}

}  // namespace

int runDemo(const std::string& directory, const std::string& pluginDirectory, bool quiet) {
  const fs::path dir = directory.empty() ? fs::path("demo") : fs::path(directory);
  std::error_code error;
  fs::create_directories(dir, error);
  if (error || !fs::is_directory(dir)) {
    throw vtmedia::AudioError(
        "cannot make the directory '" + dir.string() + "' (" +
        (error ? error.message() : std::string("a file of that name is in the way")) +
        "); give another directory");
  }
  InterruptWatch interrupts;

  const vtmedia::Audio input = vtmedia::synthesiseDemoSignal();
  const vtmedia::Spectrogram inputSpectrogram = vtmedia::analyse(input);
  writeAudioSafely(dir / "input.wav", input);
  vtmedia::writeSpectrogramPng((dir / "input.png").string(),
                               {{"input: the demonstration sound", inputSpectrogram}});
  std::printf("%-44s the demonstration input (%.1f s, stereo, %d Hz), spectrogram input.png\n",
              (dir / "input.wav").c_str(), input.seconds(), input.sampleRate);
  std::fflush(stdout);
  int written = 1;

  const vthost::WaveFormat format{static_cast<WORD>(input.channels),
                                  static_cast<WORD>(input.bitsPerSample),
                                  static_cast<LONG>(input.sampleRate)};
  for (const EffectCommand& effect : effectCommands()) {
    vthost::PluginLibrary plugin(pluginPath(effect.name, pluginDirectory));
    vthost::HostOptions options;
    options.logCalls = false;
    vthost::EffectHost host(plugin, format, input.bytes, options);
    Instance instance(host);
    std::vector<std::string> warnings;
    const PresetBook book = readPresetBook(host, effect.name, {}, warnings);
    for (const std::string& w : warnings)
      std::fprintf(stderr, "vortigen: warning: %s\n", w.c_str());

    for (size_t i = 0; i < book.builtIn.size(); ++i) {
      const NamedPreset& preset = book.builtIn[i];
      char number[24];
      std::snprintf(number, sizeof number, "%02zu", i + 1);
      const std::string stem = effect.name + "-" + number + "-" + fileNameOf(preset.name);
      host.waveform() = input.bytes;
      host.applyPreset(preset.text);
      ProgressBar bar(effect.name + ": " + preset.name, !quiet);
      if (!processWithProgress(host, 0, static_cast<long>(input.frames() - 1), bar, true)) {
        std::fprintf(stderr, "vortigen: interrupted; %d sounds were written to %s, %s was not.\n",
                     written, dir.c_str(), (stem + ".wav").c_str());
        return interruptedStatus();
      }
      vtmedia::Audio output = input;
      output.bytes = host.waveform();
      writeAudioSafely(dir / (stem + ".wav"), output);
      vtmedia::writeSpectrogramPng((dir / (stem + ".png")).string(),
                                   {{"input", inputSpectrogram},
                                    {"output: " + effect.name + ", preset \"" + preset.name + "\"",
                                     vtmedia::analyse(output)}});
      std::printf("%-44s %s, preset \"%s\", spectrogram %s.png\n", (dir / (stem + ".wav")).c_str(),
                  effect.name.c_str(), preset.name.c_str(), stem.c_str());
      std::fflush(stdout);
      ++written;
    }
  }
  std::printf("Wrote %d sounds and their spectrograms (input above, output below) to %s.\n",
              written, fs::absolute(dir).lexically_normal().c_str());
  return 0;
}

}  // namespace vortigen
