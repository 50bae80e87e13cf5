// The effect command, `list` and `presets` of the vortigen tool.
#include "vortigen_commands.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <thread>

#include "audio_file.h"
#include "output_guard.h"
#include "sonogram.h"
#include "usage_error.h"
#include "vortigen_output.h"
#include "vortigen_plugins.h"

namespace vortigen {

namespace fs = std::filesystem;

void note(const std::string& sentence) {
  clearProgressLine();
  std::fprintf(stderr, "vortigen: %s\n", sentence.c_str());
}

namespace {

std::string inQuotes(const std::string& text) { return "\"" + text + "\""; }

std::string joined(const std::vector<std::string>& words, const std::string& last) {
  std::string text;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) text += i + 1 == words.size() ? last : ", ";
    text += words[i];
  }
  return text;
}

template <typename Number>
bool wholeText(std::string_view text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

// ---- Curves from the command line ------------------------------------------------------------

// "attack=0:12375,16384:12375": a curve's name and its points x:y.
CurveOption parseCurveOption(const std::string& text, const EffectCommand& effect) {
  const std::string names = joined(effect.curveNames, " and ");
  const size_t equals = text.find('=');
  if (equals == std::string::npos) {
    throw UsageError("--curve " + inQuotes(text) +
                     " names no curve; write NAME=x:y,x:y,... with NAME one of " + names + ".");
  }
  CurveOption option{0, text.substr(0, equals), {}};
  const auto found = std::find(effect.curveNames.begin(), effect.curveNames.end(), option.name);
  if (found == effect.curveNames.end()) {
    throw UsageError(effect.name + " has no curve " + inQuotes(option.name) + " (in --curve " +
                     inQuotes(text) + "); its curves are " + names + ".");
  }
  option.index = static_cast<size_t>(found - effect.curveNames.begin());
  const std::string_view list = std::string_view(text).substr(equals + 1);
  size_t start = 0;
  for (int number = 1;; ++number) {
    const size_t comma = list.find(',', start);
    const std::string_view point = list.substr(start, comma - start);
    const size_t colon = point.find(':');
    vthost::CurvePoint p{};
    if (colon == std::string_view::npos || !wholeText(point.substr(0, colon), p.x) ||
        !wholeText(point.substr(colon + 1), p.y)) {
      throw UsageError("--curve " + inQuotes(text) + ": point " + std::to_string(number) + " " +
                       inQuotes(std::string(point)) +
                       " is not x:y with whole numbers x and y, as in " + option.name +
                       "=0:8192,16384:8192.");
    }
    if (!option.points.empty() && p.x < option.points.back().x) {
      throw UsageError("--curve " + inQuotes(text) + ": x falls from " +
                       std::to_string(option.points.back().x) + " to " + std::to_string(p.x) +
                       " at point " + std::to_string(number) +
                       "; give the points from left to right.");
    }
    option.points.push_back(p);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return option;
}

void applyCurveOption(vthost::EffectHost& host, const CurveOption& option,
                      const std::string& text) {
  const std::vector<CurveHandle> handles = host.curveHandles();
  if (option.index >= handles.size()) {
    throw vthost::HostError("The plug-in " + std::string(host.descriptor().effectName) +
                            " has only " + std::to_string(handles.size()) + " curves; --curve " +
                            option.name + " cannot be set.");
  }
  vthost::Curve& curve = host.curve(handles[option.index]);
  const vtengine::CurveRange range{curve.xMin, curve.xMax, curve.yMin, curve.yMax};
  if (const vthost::CurvePoint* p = vtengine::firstPointOutside(option.points, range)) {
    throw UsageError("--curve " + inQuotes(text) + " puts a point at " + std::to_string(p->x) +
                     ":" + std::to_string(p->y) + ", outside the curve's range; keep x within " +
                     std::to_string(curve.xMin) + ".." + std::to_string(curve.xMax) +
                     " and y within " + std::to_string(curve.yMin) + ".." +
                     std::to_string(curve.yMax) + ".");
  }
  curve.points = option.points;
}

}  // namespace

int coresPerFile(const EffectRun& run) {
  const int cores = std::max(1, int(std::thread::hardware_concurrency()));
  const int workers = run.outputDirectory.empty() ? 1 : run.jobs > 0 ? run.jobs : cores;
  return std::max(1, cores / workers);
}

std::vector<CurveOption> parseCurveOptions(const EffectRun& run, const EffectCommand& effect) {
  std::vector<CurveOption> curves;
  for (const std::string& text : run.curves) {
    curves.push_back(parseCurveOption(text, effect));
    for (size_t i = 0; i + 1 < curves.size(); ++i) {
      if (curves[i].index == curves.back().index) {
        throw UsageError("--curve " + curves.back().name +
                         " is given twice; give each curve once.");
      }
    }
  }
  return curves;
}

std::string applySettings(vthost::EffectHost& host, const EffectRun& run,
                          const EffectCommand& effect, const std::vector<CurveOption>& curves) {
  std::string settings;
  if (!run.presetText.empty()) {
    try {
      host.applyPreset(run.presetText);
    } catch (const vthost::HostError& e) {
      throw UsageError(std::string("--preset-text: ") + e.what());
    }
    settings = "preset " + inQuotes(vthost::parsePreset(run.presetText).name);
  } else if (!run.preset.empty()) {
    const fs::path profile = run.profile.empty() ? defaultProfilePath() : fs::path(run.profile);
    std::vector<std::string> warnings;
    const PresetBook book = readPresetBook(host, effect.name, profile, warnings);
    for (const std::string& w : warnings) note("warning: " + w);
    const NamedPreset* preset = book.find(run.preset);
    // A number is the preset `vortigen presets` lists under it, unless a
    // preset is called so.
    size_t number = 0;
    const std::vector<NamedPreset> numbered = book.numbered();
    if (preset == nullptr && wholeText(run.preset, number)) {
      if (number < 1 || number > numbered.size()) {
        throw UsageError(effect.name + " has no preset number " + run.preset +
                         "; the presets are " + "numbered 1 to " + std::to_string(numbered.size()) +
                         " (see vortigen presets " + effect.name + ").");
      }
      preset = book.find(numbered[number - 1].name);
    }
    if (preset == nullptr) {
      std::vector<std::string> names;
      for (const NamedPreset& p : book.builtIn) names.push_back(inQuotes(p.name));
      for (const NamedPreset& p : book.storedOwn()) {
        if (std::find(names.begin(), names.end(), inQuotes(p.name)) == names.end())
          names.push_back(inQuotes(p.name));
      }
      throw UsageError(effect.name + " has no preset " + inQuotes(run.preset) +
                       " (built in or in " + profile.string() + "); the presets are " +
                       joined(names, " and ") + ".");
    }
    try {
      host.applyPreset(preset->text);
    } catch (const vthost::HostError& e) {
      throw UsageError(std::string(e.what()) + " (key " + preset->key + " in " + profile.string() +
                       "; correct it there)");
    }
    settings = "preset " + inQuotes(preset->name);
  }
  for (size_t i = 0; i < curves.size(); ++i) {
    applyCurveOption(host, curves[i], run.curves[i]);
    settings += (settings.empty() ? "curve " : ", curve ") + curves[i].name;
  }
  return settings;
}

RunSettings resolveSettings(const EffectRun& run, const EffectCommand& effect) {
  vthost::PluginLibrary plugin(pluginPath(effect.name, run.pluginDirectory));
  vthost::HostOptions options;
  options.logCalls = false;
  vthost::EffectHost host(plugin, vthost::WaveFormat{}, std::vector<uint8_t>{}, options);
  Instance instance(host);
  RunSettings settings;
  settings.label = applySettings(host, run, effect, parseCurveOptions(run, effect));
  for (const CurveHandle handle : host.curveHandles())
    settings.curves.push_back(host.curve(handle).points);
  return settings;
}

void applyResolved(vthost::EffectHost& host, const RunSettings& settings) {
  const std::vector<CurveHandle> handles = host.curveHandles();
  if (handles.size() != settings.curves.size()) {
    throw vthost::HostError("The plug-in " + std::string(host.descriptor().effectName) + " made " +
                            std::to_string(handles.size()) + " curves where it made " +
                            std::to_string(settings.curves.size()) +
                            " before; check that the plug-in library was not replaced.");
  }
  for (size_t i = 0; i < handles.size(); ++i) host.curve(handles[i]).points = settings.curves[i];
}

long long parsePosition(const std::string& text, const std::string& option, int sampleRate) {
  const std::string how = "; give seconds (as 1.5) or sample frames (as 66150s).";
  // Positions past this many frames cannot be counted, whatever the file.
  constexpr long long farthest = std::numeric_limits<long long>::max() / 2;
  const std::string tooFar = option + " " + inQuotes(text) +
                             " lies beyond any sound file: positions up to " +
                             std::to_string(farthest) + " sample frames can be counted" + how;
  if (!text.empty() && text.back() == 's') {
    const std::string_view digits = std::string_view(text).substr(0, text.size() - 1);
    long long frame = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), frame);
    if (!digits.empty() && error == std::errc::result_out_of_range &&
        end == digits.data() + digits.size() && digits[0] != '-') {
      throw UsageError(tooFar);
    }
    if (!wholeText(digits, frame) || frame < 0) {
      throw UsageError(option + " " + inQuotes(text) + " is no count of sample frames" + how);
    }
    if (frame > farthest) throw UsageError(tooFar);
    return frame;
  }
  double seconds = 0.0;
  if (!wholeText(std::string_view(text), seconds) || !std::isfinite(seconds) || seconds < 0.0) {
    const bool huge = text.find_first_not_of("0123456789.eE+") == std::string::npos &&
                      std::strtod(text.c_str(), nullptr) > 0;
    if (huge) throw UsageError(tooFar);
    throw UsageError(option + " " + inQuotes(text) + " is no position" + how);
  }
  const double frames = std::round(seconds * sampleRate);
  if (frames > double(farthest)) throw UsageError(tooFar);
  return static_cast<long long>(frames);
}

void checkRequest(const EffectRun& run, const EffectCommand& effect) {
  if (run.outputDirectory.empty() && (!run.shard.empty() || run.list)) {
    throw UsageError(std::string(run.list ? "--list" : "--shard") +
                     " is for a batch: give the inputs with --output-dir DIR.");
  }
  if (run.outputDirectory.empty() && run.output != "-" &&
      !vtmedia::isWritableAudioPath(run.output)) {
    throw UsageError(
        "The output " + run.output +
        " has no extension the tool writes; end its name in .wav, .aiff, .flac or .ogg.");
  }
  if (!run.from.empty()) parsePosition(run.from, "--from", 44100);
  if (!run.to.empty()) parsePosition(run.to, "--to", 44100);
  parseCurveOptions(run, effect);
  if (!run.presetText.empty()) {
    std::string problem;
    try {
      problem = vtengine::presetNameProblem(vthost::parsePreset(run.presetText).name);
    } catch (const vthost::HostError& e) {
      throw UsageError(std::string("--preset-text: ") + e.what());
    }
    if (!problem.empty()) throw UsageError("--preset-text: " + problem);
  }
  if (!run.bits.empty() && run.bits != "8" && run.bits != "16" && run.bits != "24" &&
      run.bits != "32" && run.bits != "float") {
    throw UsageError("--bits " + run.bits + " is no sample format; give 8, 16, 24, 32 or float.");
  }
  if (!run.path.empty() && run.path != "plugin" && run.path != "engine") {
    throw UsageError("--path " + run.path + " is no path; give plugin or engine.");
  }
  const bool batch = !run.outputDirectory.empty();
  if (!batch && run.output == "-" && run.type.empty()) {
    throw UsageError(
        "Standard output (-) has no extension to name its format; give --type wav, "
        "aiff, flac or ogg.");
  }
  if (!run.type.empty() && (batch || run.output != "-")) {
    throw UsageError("--type " + run.type +
                     " is for standard output (-) only; a file's extension names its format.");
  }
  if (!run.type.empty() && vtmedia::containerFor("-." + run.type) == 0) {
    throw UsageError("--type " + run.type +
                     " is no format the tool writes; give wav, aiff, flac or ogg.");
  }
  if (batch && !run.spectrogram.empty() && !run.spectrogram.ends_with("/") &&
      !fs::is_directory(run.spectrogram)) {
    throw UsageError("--spectrogram " + run.spectrogram +
                     " would be one picture for the many outputs of a batch; give a directory, "
                     "as in --spectrogram pictures/, and each output gets its own NAME.png there.");
  }
  if (!batch) {
    std::vector<Destination> destinations{{run.output, "the output"}};
    if (!run.spectrogram.empty()) destinations.push_back({run.spectrogram, "the spectrogram"});
    refuseOverlaps({run.input}, destinations, run.inPlace);
  }
}

int listEffects(const std::string& pluginDirectory) {
  const fs::path directory = vortigen::pluginDirectory(pluginDirectory);
  std::vector<fs::path> libraries;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    if (entry.path().extension() == ".so") libraries.push_back(entry.path());
  }
  std::sort(libraries.begin(), libraries.end());
  int listed = 0;
  for (const fs::path& library : libraries) {
    try {
      vthost::PluginLibrary plugin(library.string());
      XfmDescriptor descriptor{};
      plugin.queryXfm(&descriptor);
      // A plug-in may fill a text field to its end without a terminator.
      const std::string description(descriptor.description,
                                    strnlen(descriptor.description, sizeof descriptor.description));
      const std::string effectName(descriptor.effectName,
                                   strnlen(descriptor.effectName, sizeof descriptor.effectName));
      std::printf("%-10s %-28s %s\n", library.stem().c_str(), description.c_str(),
                  effectName.c_str());
      ++listed;
    } catch (const vthost::HostError& e) {
      note("warning: " + std::string(e.what()));
    }
  }
  if (listed == 0) {
    throw vthost::HostError(
        "No plug-in in " + directory.string() +
        " could be loaded; build the plug-ins or give their directory with --plugin-dir.");
  }
  return 0;
}

int listPresets(const std::string& effect, const std::string& profile,
                const std::string& pluginDirectory) {
  const EffectCommand& command = effectCommand(effect);
  vthost::PluginLibrary plugin(pluginPath(command.name, pluginDirectory));
  vthost::EffectHost host(plugin, vthost::WaveFormat{}, {});
  Instance instance(host);
  const fs::path profilePath = profile.empty() ? defaultProfilePath() : fs::path(profile);
  std::vector<std::string> warnings;
  const PresetBook book = readPresetBook(host, command.name, profilePath, warnings);
  for (const std::string& w : warnings) note("warning: " + w);

  int number = 0;
  auto print = [&number](const NamedPreset& p, const char* remark) {
    std::printf("%3d  %-26s %s%s\n", ++number, p.name.c_str(), p.text.c_str(), remark);
  };
  std::printf("Built-in presets of %s (%s):\n", command.name.c_str(),
              host.descriptor().description);
  for (const NamedPreset& p : book.builtIn) print(p, "");
  std::printf("Presets of %s stored in %s [%s]:\n", command.name.c_str(), profilePath.c_str(),
              host.descriptor().effectName);
  const std::vector<NamedPreset> own = book.storedOwn();
  for (const NamedPreset& p : own) {
    const bool replaces = std::any_of(book.builtIn.begin(), book.builtIn.end(),
                                      [&](const NamedPreset& b) { return b.name == p.name; });
    print(p, replaces ? "  (used instead of the built-in preset)" : "");
  }
  // Entries that cannot be read are no presets of the user's, but they are
  // there: a section holding only such entries holds no built-in presets
  // either (the plug-in seeds only an empty section).
  if (own.empty() && book.unreadableStored == 0) {
    std::printf("  none besides the built-in ones\n");
  } else if (own.empty() && book.stored.empty()) {
    std::printf("  no readable presets: the section holds only the entries the warnings name\n");
  } else if (own.empty()) {
    std::printf("  none besides the built-in ones that can be read; the warnings name the rest\n");
  }
  return 0;
}

}  // namespace vortigen
