// The commands of the vortigen tool. Each returns the exit status: 0 done,
// 1 processing failed, 2 a usage error (UsageError), 128 + the signal when
// interrupted. Processing failures are thrown as HostError or AudioError.
#ifndef VORTIGEN_HOST_VORTIGEN_COMMANDS_H
#define VORTIGEN_HOST_VORTIGEN_COMMANDS_H

#include <string>
#include <vector>

namespace vortigen {

// vortigen dynamic|fourier INPUT OUTPUT [options]
struct EffectRun {
  std::string effect;
  std::string input;
  std::string output;
  std::string preset;
  std::string presetText;
  std::vector<std::string> curves;  // "name=x:y,x:y,..."
  std::string profile;              // empty: the per-user profile
  std::string from;                 // "1.5" seconds or "66150s" sample frames
  std::string to;
  std::string spectrogram;
  std::string pluginDirectory;
  bool quiet = false;
  bool inPlace = false;
  bool keepPartial = false;
};

int runEffect(const EffectRun& run);

// vortigen list: the effects in the plug-in directory with their
// descriptions.
int listEffects(const std::string& pluginDirectory);

// vortigen presets EFFECT: built-in and stored presets.
int listPresets(const std::string& effect, const std::string& profile, const std::string& pluginDirectory);

// vortigen demo [DIR]: the demonstration input and the result of every
// built-in preset of both effects, with spectrograms.
int runDemo(const std::string& directory, const std::string& pluginDirectory, bool quiet);

// A position given as seconds ("1.5") or sample frames ("66150s"), as a
// sample frame at the given rate. Throws UsageError naming the option.
long long parsePosition(const std::string& text, const std::string& option, int sampleRate);

}  // namespace vortigen

#endif
