// The effect command on one file: checks, the choice of path, streaming
// through the plug-in (its XfmDo over the files, in blocks) or through the
// engine, the spectrogram, and committing the results.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "engine_path.h"
#include "file_waveform.h"
#include "sonogram.h"
#include "sound_stream.h"
#include "vortigen_commands.h"
#include "vortigen_output.h"
#include "vortigen_plugins.h"

namespace vortigen {

namespace fs = std::filesystem;

namespace {

std::string secondsText(long long frames, int sampleRate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", double(frames) / sampleRate);
  return text;
}

std::string frameText(long long frame) { return "frame " + std::to_string(frame); }

// Half a frame of the effects: a selection of this many sample frames or
// fewer is given back unchanged (the plug-ins' rule; frames of 1024 from
// 44100 Hz, 512 from 22050 Hz, else 256).
long long halfFrame(int sampleRate) {
  return sampleRate >= 44100 ? 512 : sampleRate >= 22050 ? 256 : 128;
}

struct Selection {
  long long first = 0;
  long long end = 0;  // not included
};

Selection selectionOf(const EffectRun& run, const std::string& input, long long frames, int rate) {
  Selection s;
  s.first = run.from.empty() ? 0 : parsePosition(run.from, "--from", rate);
  const long long to = run.to.empty() ? frames : parsePosition(run.to, "--to", rate);
  if (s.first >= frames) {
    throw UsageError("--from " + run.from + " (" + frameText(s.first) +
                     ") lies at or after the end of " + input + ", which holds " +
                     std::to_string(frames) + " sample frames (" + secondsText(frames, rate) +
                     "); give an earlier position.");
  }
  s.end = std::min(to, frames);
  if (s.end <= s.first) {
    throw UsageError("--to " + run.to + " (" + frameText(to) + ") does not lie after --from " +
                     (run.from.empty() ? "0" : run.from) + " (" + frameText(s.first) +
                     "); the selection must hold at least one sample frame.");
  }
  return s;
}

// Why XfmDo cannot take this input, or an empty text when it can.
std::string pluginRefusal(const SoundInfo& info, const Selection& selection) {
  const std::string format = info.format.describe();
  if (!info.format.isInteger() || (info.format.bits != 8 && info.format.bits != 16)) {
    return "the plug-ins take 8- and 16-bit PCM only, and this file holds " + format + " samples";
  }
  if (info.channels > 2) {
    return "the plug-ins take mono and stereo only, and this file has " +
           std::to_string(info.channels) + " channels";
  }
  const long long frameBytes = info.channels * (info.format.bits / 8);
  if (selection.end * frameBytes > INT32_MAX) {
    const long long most = INT32_MAX / frameBytes;
    return "the plug-ins' byte positions are 32-bit, which reach " + std::to_string(most) +
           " sample frames (" + secondsText(most, info.sampleRate) +
           ") of this format, and the selection ends at " + frameText(selection.end);
  }
  return "";
}

void noteSettings(const std::string& settings) {
  if (settings.empty()) {
    note(
        "no --preset, --preset-text or --curve was given, so the plug-in's initial curves apply "
        "and the "
        "result is near-transparent.");
  }
}

// The plug-in's XfmDo over the files: returns false when interrupted.
bool throughPlugin(const EffectRun& run, const EffectCommand& effect, SoundReader& reader,
                   SoundWriter& writer, const Selection& selection, bool showProgress,
                   int64_t& clipped, std::string& settings) {
  const SoundInfo& info = reader.info();
  SoundReader copier(reader.path());
  FileWaveform store(reader, copier, writer, info.format.bits);
  vthost::PluginLibrary plugin(pluginPath(effect.name, run.pluginDirectory));
  const vthost::WaveFormat format{static_cast<WORD>(info.channels),
                                  static_cast<WORD>(info.format.bits),
                                  static_cast<LONG>(info.sampleRate)};
  vthost::HostOptions options;
  options.logCalls = false;
  vthost::EffectHost host(plugin, format, store, options);
  Instance instance(host);
  store.onFailure([&host] { host.requestCancel(); });
  settings = applySettings(host, run, effect, parseCurveOptions(run, effect));
  noteSettings(settings);
  ProgressBar bar(effect.name, showProgress, run.progressInterval);
  bar.setName(fs::path(reader.path()).filename().string());
  const bool complete = processWithProgress(
      host, static_cast<long>(selection.first), static_cast<long>(selection.end - 1), bar, false,
      [&] { return double(store.framesDone()); }, double(info.frames));
  if (!store.failure().empty()) throw AudioError(store.failure());
  for (const std::string& problem : host.errors()) note("warning: " + problem);
  if (!host.errors().empty()) {
    throw vthost::HostError("The result of " + reader.path() +
                            " is incomplete (see the warnings above); " + "nothing was written.");
  }
  if (!complete && !run.keepPartial) return false;
  // What the plug-in did not write (after an interruption) and the frames
  // after the selection are the input's.
  store.copyInputUpTo(info.frames);
  clipped = store.atFullScale() + writer.clipped();
  return complete;
}

}  // namespace

Outcome processFile(const EffectRun& run, const std::string& input, const std::string& output,
                    bool showProgress) {
  const EffectCommand& effect = effectCommand(run.effect);
  SoundReader reader(input);
  const SoundInfo& info = reader.info();
  if (!reader.truncation().empty()) note("warning: " + reader.truncation() + ".");
  const Selection selection = selectionOf(run, input, info.frames, info.sampleRate);

  const std::string refusal = pluginRefusal(info, selection);
  const bool usePlugin = run.path == "plugin" || (run.path.empty() && refusal.empty());
  if (usePlugin && !refusal.empty()) {
    throw vthost::HostError("--path plugin cannot process " + input + ": " + refusal +
                            "; leave --path out or give --path engine.");
  }
  const long long shortest = halfFrame(info.sampleRate) + 1;
  if (selection.end - selection.first < shortest) {
    note("nothing was processed in " + input + ": the selection holds " +
         std::to_string(selection.end - selection.first) + " sample frames, and at " +
         std::to_string(info.sampleRate) + " Hz the effects process selections of at least " +
         std::to_string(shortest) + "; nothing was written to " + output + ".");
    return Outcome::TooShort;
  }
  const SampleFormat format = outputFormat(info.format, run.bits, output);

  // Every destination is made before any work is done.
  OutputFile audioFile(output);
  std::optional<OutputFile> pictureFile;
  if (!run.spectrogram.empty()) pictureFile.emplace(run.spectrogram);

  bool complete = true;
  int64_t clipped = 0;
  std::string settings;
  audioFile.writeWith([&](const std::string& temporary) {
    SoundWriter writer(temporary, info.channels, info.sampleRate, format, info.frames);
    if (usePlugin) {
      complete =
          throughPlugin(run, effect, reader, writer, selection, showProgress, clipped, settings);
    } else {
      const EngineRun engineRun{run,           effect,      reader, writer, selection.first,
                                selection.end, showProgress};
      complete = throughEngine(engineRun, clipped, settings);
      noteSettings(settings);
    }
    if (complete || run.keepPartial) writer.close();
  });
  if (reader.framesRead() < info.frames && reader.truncation().empty()) {
    note("warning: " + input + " ended after " + std::to_string(reader.framesRead()) + " of the " +
         std::to_string(info.frames) +
         " sample frames its header promises (truncated or damaged); the rest is "
         "silence in " +
         output + ".");
  }
  if (!complete) {
    if (run.keepPartial) {
      audioFile.commit();
      note("interrupted; the partly processed sound is in " + output +
           " (processed as far as the effect got, unchanged after that).");
    } else {
      note("interrupted; nothing was written and " + output + " is as it was.");
    }
    return Outcome::Interrupted;
  }
  if (InterruptWatch::signal() != 0) {
    note("interrupted; nothing was written and " + output + " is as it was.");
    return Outcome::Interrupted;
  }
  if (pictureFile) {
    const std::string label =
        effect.name + (settings.empty() ? ", initial curves" : ", " + settings);
    const Spectrogram before = analyseFile(input);
    const Spectrogram after = analyseFile(audioFile.temporary());
    pictureFile->writeWith([&](const std::string& temporary) {
      writeSpectrogramPng(temporary, {{"input: " + fs::path(input).filename().string(), before},
                                      {"output: " + label, after}});
    });
  }
  audioFile.commit();
  if (pictureFile) pictureFile->commit();
  if (clipped > 0) {
    note(output + ": " + std::to_string(clipped) +
         (clipped == 1 ? " sample was" : " samples were") + " clipped at full scale; " +
         (usePlugin ? "--path engine --bits float keeps them." : "--bits float keeps them."));
  }
  return Outcome::Processed;
}

int runEffect(const EffectRun& run) {
  const EffectCommand& effect = effectCommand(run.effect);
  checkRequest(run, effect);
  if (!run.outputDirectory.empty()) return runBatch(run);
  InterruptWatch interrupts;
  switch (processFile(run, run.input, run.output, !run.quiet)) {
    case Outcome::Processed: return 0;
    case Outcome::TooShort: return 1;
    case Outcome::Interrupted: return interruptedStatus();
  }
  return 1;
}

}  // namespace vortigen
