// The effect command on one file: checks, the choice of path, streaming
// through the plug-in (its XfmDo over the files, in blocks) or through the
// engine, the spectrogram, and committing the results.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "engine.h"
#include "engine_path.h"
#include "file_waveform.h"
#include "output_guard.h"
#include "output_record.h"
#include "sonogram.h"
#include "sound_stream.h"
#include "usage_error.h"
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
// fewer is given back unchanged (the plug-ins' rule).
long long halfFrame(int sampleRate) { return vtengine::frameLengthFor(sampleRate) / 2; }

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
  if (to > frames && !run.quiet) {
    note("warning: --to " + run.to + " (" + frameText(to) + ") lies after the end of " + input +
         ", which holds " + std::to_string(frames) + " sample frames; the selection ends there.");
  }
  if (s.end <= s.first) {
    throw UsageError("--to " + run.to + " (" + frameText(to) + ") does not lie after --from " +
                     (run.from.empty() ? "0" : run.from) + " (" + frameText(s.first) +
                     "); the selection must hold at least one sample frame.");
  }
  return s;
}

// Why XfmDo cannot take this input, or an empty text when it can.
std::string pluginRefusal(const vtmedia::SoundInfo& info, const Selection& selection) {
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

// The plug-in's XfmDo over the files: returns false when interrupted.
bool throughPlugin(const EffectRun& run, const EffectCommand& effect, const RunSettings& settings,
                   vtmedia::SoundReader& reader, vtmedia::SoundWriter& writer,
                   const Selection& selection, bool showProgress, int64_t& clipped) {
  const vtmedia::SoundInfo& info = reader.info();
  vtmedia::SoundReader copier(reader.path());
  // Reading ahead and writing behind pay where this file has a core to spare.
  FileWaveform store(reader, copier, writer, info.format.bits, selection.end,
                     coresPerFile(run) > 1);
  vthost::PluginLibrary plugin(pluginPath(effect.name, run.pluginDirectory));
  const vthost::WaveFormat format{static_cast<WORD>(info.channels),
                                  static_cast<WORD>(info.format.bits),
                                  static_cast<LONG>(info.sampleRate)};
  vthost::HostOptions options;
  options.logCalls = false;
  vthost::EffectHost host(plugin, format, store, options);
  Instance instance(host);
  store.onFailure([&host] { host.requestCancel(); });
  applyResolved(host, settings);
  ProgressBar bar(effect.name, showProgress, run.progressInterval);
  bar.setName(fs::path(reader.path()).filename().string());
  const bool complete = processWithProgress(
      host, static_cast<long>(selection.first), static_cast<long>(selection.end - 1), bar, false,
      [&] { return double(store.framesDone()); }, double(info.frames));
  // What the plug-in did not write (after an interruption) and the frames
  // after the selection are the input's, in an output that is kept.
  if (host.errors().empty() && (complete || run.keepPartial)) store.copyInputUpTo(info.frames);
  store.finishWriting();  // throws when the output could not be written
  for (const std::string& problem : host.errors()) note("warning: " + problem);
  if (!host.errors().empty()) {
    throw vthost::HostError("The result of " + reader.path() +
                            " is incomplete (see the warnings above); " + "nothing was written.");
  }
  if (!complete && !run.keepPartial) return false;
  clipped = store.atFullScale() + writer.clipped();
  return complete;
}

// The output's sample format as --bits asks it; a depth the output cannot
// take is the user's to change, so it is a usage error.
vtmedia::SampleFormat outputFormatAsked(const vtmedia::SampleFormat& input, const std::string& bits,
                                        const std::string& output) {
  try {
    return vtmedia::outputFormat(input, bits, output);
  } catch (const vtmedia::FormatError& e) {
    throw UsageError(e.what());
  }
}

// The name a kept partial result goes under, so that it never passes
// for the finished output: NAME.partial.EXT beside it.
std::string partialName(const std::string& output) {
  const fs::path path(output);
  return (path.parent_path() / (path.stem().string() + ".partial" + path.extension().string()))
      .string();
}

// The output's tags: the input's, with the completion record as the
// software tag (AIFF, which has none, keeps it on the comment's last line).
vtmedia::SoundTags outputTags(const vtmedia::SoundTags& input, const std::string& record,
                              const std::string& path) {
  vtmedia::SoundTags tags = input;
  const std::string software = record.empty() ? toolNameAndVersion() : record;
  std::erase_if(tags.strings, [](const auto& s) { return s.first == SF_STR_SOFTWARE; });
  if (vtmedia::containerFor(path) == SF_FORMAT_AIFF) {
    const std::string comment = input.text(SF_STR_COMMENT);
    std::erase_if(tags.strings, [](const auto& s) { return s.first == SF_STR_COMMENT; });
    tags.strings.emplace_back(SF_STR_COMMENT,
                              comment.empty() ? software : comment + "\n" + software);
  } else {
    tags.strings.emplace_back(SF_STR_SOFTWARE, software);
  }
  return tags;
}

// One warning line naming what of the input's tags the output could not
// take (its container has no place for them).
void noteLostTags(const vtmedia::SoundTags& input, const std::string& written,
                  const std::string& output) {
  vtmedia::SoundReader reader(written);
  const vtmedia::SoundTags& kept = reader.info().tags;
  const char* names[] = {"",        "title", "copyright", "software", "artist",
                         "comment", "date",  "album",     "license",  "track number",
                         "",        "",      "",          "",         "",
                         "",        "genre"};
  std::vector<std::string> lost;
  for (const auto& [kind, text] : input.strings) {
    if (kind == SF_STR_SOFTWARE || size_t(kind) >= std::size(names)) continue;
    if (kept.text(kind).find(text) == std::string::npos) lost.push_back(names[kind]);
  }
  if (!input.channelMap.empty() && kept.channelMap != input.channelMap)
    lost.push_back("channel layout");
  if (input.rf64 && !kept.rf64 && vtmedia::containerFor(output) == SF_FORMAT_WAV)
    lost.push_back("RF64 form");
  if (lost.empty()) return;
  std::string list;
  for (size_t i = 0; i < lost.size(); ++i)
    list += (i == 0 ? "" : i + 1 == lost.size() ? " and " : ", ") + lost[i];
  note("warning: " + output + " cannot hold the input's " + list +
       " (its format has no place for them); they were left out.");
}

}  // namespace

void noteNearTransparent() {
  note(
      "no --preset, --preset-text or --curve was given, so the plug-in's initial curves apply "
      "and the result is near-transparent.");
}

Outcome processFile(const EffectRun& run, const RunSettings& settings, const std::string& input,
                    const Destinations& to, bool showProgress) {
  const EffectCommand& effect = effectCommand(run.effect);
  const bool toStandardOutput = to.output == "-";
  const std::string shown = toStandardOutput ? "standard output" : to.output;
  const std::string named = to.inputName.empty() ? input : to.inputName;
  vtmedia::SoundReader reader(input);
  const vtmedia::SoundInfo& info = reader.info();
  const Selection selection = selectionOf(run, named, info.frames, info.sampleRate);

  const std::string refusal = pluginRefusal(info, selection);
  const bool usePlugin = run.path == "plugin" || (run.path.empty() && refusal.empty());
  if (usePlugin && !refusal.empty()) {
    throw UsageError("--path plugin cannot process " + named + ": " + refusal +
                     "; leave --path out or give --path engine.");
  }
  const long long shortest = halfFrame(info.sampleRate) + 1;
  if (selection.end - selection.first < shortest) {
    note("nothing was processed in " + named + ": the selection holds " +
         std::to_string(selection.end - selection.first) + " sample frames, and at " +
         std::to_string(info.sampleRate) + " Hz the effects process selections of at least " +
         std::to_string(shortest) + "; nothing was written to " + shown + ".");
    return Outcome::TooShort;
  }
  // Standard output is written to a temporary file first, then copied out
  // whole: the header then holds the true length, and memory stays small.
  const std::string output =
      toStandardOutput
          ? (fs::temp_directory_path() / ("vortigen-standard-output." + run.type)).string()
          : to.output;
  const vtmedia::SampleFormat format = outputFormatAsked(info.format, run.bits, output);
  refuseUnwritable(to.output);
  if (!to.spectrogram.empty()) refuseUnwritable(to.spectrogram);

  // Every destination is made before any work is done.
  OutputFile audioFile(output);
  if (settings.label.empty() && showProgress) noteNearTransparent();
  std::optional<OutputFile> pictureFile;
  if (!to.spectrogram.empty()) pictureFile.emplace(to.spectrogram);

  // A truncated input gives an output without a completion record: a
  // batch run again makes it again.
  const std::string record = reader.truncation().empty() ? to.record : "";
  const vtmedia::SoundTags tags = outputTags(info.tags, record, output);
  bool complete = true;
  int64_t clipped = 0;
  audioFile.writeWith([&](const std::string& temporary) {
    vtmedia::SoundWriter writer(temporary, info.channels, info.sampleRate, format, info.frames,
                                tags);
    if (usePlugin) {
      complete =
          throughPlugin(run, effect, settings, reader, writer, selection, showProgress, clipped);
    } else {
      const EngineRun engineRun{run,    effect,          settings,      reader,
                                writer, selection.first, selection.end, showProgress};
      complete = throughEngine(engineRun, clipped);
    }
    if (complete || run.keepPartial) writer.close();
  });
  if (!complete || InterruptWatch::signal() != 0) {
    if (run.keepPartial && !complete && !toStandardOutput) {
      const std::string partial = partialName(to.output);
      audioFile.commitTo(partial);
      note("interrupted; the partly processed sound is in " + partial +
           " (processed as far as the effect got, unchanged after that); " + to.output +
           " is as it was.");
    } else {
      note("interrupted; nothing was written and " + shown + " is as it was.");
    }
    return Outcome::Interrupted;
  }
  if (!run.quiet) noteLostTags(info.tags, audioFile.temporary(), shown);
  if (pictureFile) {
    const std::string label =
        effect.name + (settings.label.empty() ? ", initial curves" : ", " + settings.label);
    const vtmedia::Spectrogram before = vtmedia::analyseFile(input);
    const vtmedia::Spectrogram after = vtmedia::analyseFile(audioFile.temporary());
    pictureFile->writeWith([&](const std::string& temporary) {
      vtmedia::writeSpectrogramPng(
          temporary,
          {{"input: " + fs::path(named).filename().string(), before}, {"output: " + label, after}});
    });
  }
  if (toStandardOutput) {
    audioFile.copyTo(STDOUT_FILENO);
  } else {
    audioFile.commit();
  }
  if (pictureFile) pictureFile->commit();
  if (clipped > 0 && !run.quiet) {
    note(shown + ": " + std::to_string(clipped) + (clipped == 1 ? " sample was" : " samples were") +
         " clipped at full scale; " +
         (usePlugin ? "--path engine --bits float keeps them." : "--bits float keeps them."));
  }
  if (!reader.truncation().empty()) {
    std::string truncation = reader.truncation();
    if (const size_t at = truncation.find(input); at != std::string::npos)
      truncation.replace(at, input.size(), named);
    note(truncation + "; " + shown + " is incomplete: it holds only what was read.");
    return Outcome::Truncated;
  }
  return Outcome::Processed;
}

// Standard input copied to a temporary file, which the plug-in can read
// more than once and seek in; removed when the run ends.
class SpooledInput {
 public:
  SpooledInput() {
    std::string pattern = (fs::temp_directory_path() / "vortigen-standard-input-XXXXXX").string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
      throw vtmedia::AudioError("cannot keep standard input in " +
                                fs::temp_directory_path().string() + " (" + std::strerror(errno) +
                                "); set TMPDIR to a writable directory");
    }
    path_ = pattern;
    std::vector<char> block(1 << 16);
    for (;;) {
      const ssize_t got = read(STDIN_FILENO, block.data(), block.size());
      if (got == 0) break;
      if (got < 0 && errno == EINTR) continue;
      if (got < 0 || write(fd, block.data(), size_t(got)) != got) {
        const std::string reason = std::strerror(errno);
        close(fd);
        throw vtmedia::AudioError("cannot read standard input into " + path_ + " (" + reason +
                                  "); check the pipe and the space in TMPDIR");
      }
    }
    close(fd);
  }
  ~SpooledInput() { std::remove(path_.c_str()); }
  SpooledInput(const SpooledInput&) = delete;
  SpooledInput& operator=(const SpooledInput&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

int runEffect(const EffectRun& run) {
  const EffectCommand& effect = effectCommand(run.effect);
  checkRequest(run, effect);
  const RunSettings settings = resolveSettings(run, effect);
  if (!run.outputDirectory.empty()) return runBatch(run, settings);
  InterruptWatch interrupts;
  std::optional<SpooledInput> spooled;
  if (run.input == "-") spooled.emplace();
  const std::string input = spooled ? spooled->path() : run.input;
  const std::string inputName = spooled ? "standard input" : "";
  const Destinations to{
      run.output, run.spectrogram,
      completionRecord(settingsKey(run, settings, run.output == "-" ? "-." + run.type : run.output),
                       input),
      inputName};
  Outcome outcome = Outcome::Processed;
  try {
    outcome = processFile(run, settings, input, to, !run.quiet);
  } catch (const vtmedia::AudioError& e) {
    // The library's reader names the file it read: the spooled copy.
    std::string message = e.what();
    for (size_t at; spooled && (at = message.find(input)) != std::string::npos;)
      message.replace(at, input.size(), inputName);
    throw vtmedia::AudioError(message);
  }
  switch (outcome) {
    case Outcome::Processed: return 0;
    case Outcome::TooShort:
    case Outcome::Truncated: return 1;
    case Outcome::Interrupted: return interruptedStatus();
  }
  return 1;
}

}  // namespace vortigen
