// The commands of the vortigen tool. Each returns the exit status: 0 done,
// 1 processing failed, 2 a usage error (UsageError), 128 + the signal when
// interrupted. Processing failures are thrown as HostError or AudioError.
#ifndef VORTIGEN_TOOL_VORTIGEN_COMMANDS_H
#define VORTIGEN_TOOL_VORTIGEN_COMMANDS_H

#include <string>
#include <vector>

#include "progress.h"
#include "vthost.h"

namespace vortigen {

struct EffectCommand;

// vortigen dynamic|fourier INPUT OUTPUT [options]
// vortigen dynamic|fourier INPUT... --output-dir DIR [--jobs N] [--shard K/N] [options]
struct EffectRun {
  std::string effect;
  std::vector<std::string> files;  // INPUT OUTPUT, or the inputs of a batch
  std::string outputDirectory;     // set: a batch
  int jobs = 0;                    // worker processes of a batch; 0: one per core
  std::string shard;               // "K/N"
  std::string bits;                // "", "8", "16", "24", "32" or "float"
  std::string path;                // "", "plugin" or "engine"
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
  std::string type;  // container of a standard output: "wav", "aiff", ...
  bool quiet = false;
  bool inPlace = false;
  bool keepPartial = false;
  bool force = false;  // redo outputs that are complete
  bool list = false;   // print what a batch would do instead of doing it
  // Seconds between progress lines when standard error is no terminal; 0: none.
  double progressInterval = defaultProgressInterval;
};

int runEffect(const EffectRun& run);

// ---- Shared by the effect command's parts ----------------------------------------------------

// The cores one file of this run has to itself: every core outside a
// batch, else the share its batch's workers leave it (at least one).
int coresPerFile(const EffectRun& run);

struct CurveOption {
  size_t index;
  std::string name;
  std::vector<vthost::CurvePoint> points;
};

// The --curve options, checked; throws UsageError.
std::vector<CurveOption> parseCurveOptions(const EffectRun& run, const EffectCommand& effect);

// Checks what the user typed before any file is read; throws UsageError.
void checkRequest(const EffectRun& run, const EffectCommand& effect);

// Sets the instance's curves as the run asks: a preset, then the curves
// given one by one. Returns what it set, for labels, or an empty text when
// the initial curves stay.
std::string applySettings(vthost::EffectHost& host, const EffectRun& run,
                          const EffectCommand& effect, const std::vector<CurveOption>& curves);

// The curves a run applies, resolved once (presets from the profile read
// and checked) before any file is processed.
struct RunSettings {
  std::vector<std::vector<vthost::CurvePoint>> curves;  // one point list per curve
  std::string label;  // what was set, or empty: the initial curves
};

// Reads the presets and curves the run asks for through an instance of the
// plug-in, printing the profile's warnings once. Throws UsageError or
// HostError.
RunSettings resolveSettings(const EffectRun& run, const EffectCommand& effect);

// Gives the host's curves the resolved settings.
void applyResolved(vthost::EffectHost& host, const RunSettings& settings);

// How one file ended.
enum class Outcome { Processed, TooShort, Interrupted, Truncated };

// Where one file's results go.
struct Destinations {
  std::string output;
  std::string spectrogram;  // empty: none
  std::string record;       // the completion record the output carries
  std::string inputName;    // how messages name the input; empty: by its path
};

// Applies the effect to one file; throws UsageError, AudioError or
// HostError when it cannot. Nothing is written for TooShort; Truncated:
// what the input held was processed and written, and the output is named
// incomplete in a message.
Outcome processFile(const EffectRun& run, const RunSettings& settings, const std::string& input,
                    const Destinations& to, bool showProgress);

// vortigen EFFECT INPUT... --output-dir DIR
int runBatch(const EffectRun& run, const RunSettings& settings);

// One line on standard error: "vortigen: " and the sentence.
void note(const std::string& sentence);

// The note that no curves were given, so the result is near-transparent.
void noteNearTransparent();

// vortigen list: the effects in the plug-in directory with their
// descriptions.
int listEffects(const std::string& pluginDirectory);

// vortigen presets EFFECT: built-in and stored presets.
int listPresets(const std::string& effect, const std::string& profile,
                const std::string& pluginDirectory);

// vortigen demo [DIR]: the demonstration input and the result of every
// built-in preset of both effects, with spectrograms.
int runDemo(const std::string& directory, const std::string& pluginDirectory, bool quiet);

// A position given as seconds ("1.5") or sample frames ("66150s"), as a
// sample frame at the given rate. Throws UsageError naming the option.
long long parsePosition(const std::string& text, const std::string& option, int sampleRate);

}  // namespace vortigen

#endif
