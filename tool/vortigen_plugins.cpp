#include "vortigen_plugins.h"

#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "dialog_services.h"
#include "engine.h"

#ifndef VORTIGEN_INSTALLED_PLUGIN_DIR
#define VORTIGEN_INSTALLED_PLUGIN_DIR "../lib/vortigen/plugins"
#endif

namespace vortigen {

namespace fs = std::filesystem;

const std::vector<EffectCommand>& effectCommands() {
  static const std::vector<EffectCommand> commands = [] {
    std::vector<EffectCommand> made;
    for (const vtengine::Effect effect : vtengine::allEffects()) {
      const vtengine::EffectInfo& info = vtengine::effectInfo(effect);
      made.push_back({std::string(info.name), std::string(info.description),
                      std::vector<std::string>(info.curveNames.begin(), info.curveNames.end())});
    }
    return made;
  }();
  return commands;
}

const EffectCommand& effectCommand(const std::string& name) {
  for (const EffectCommand& c : effectCommands()) {
    if (c.name == name) return c;
  }
  throw UsageError("There is no effect \"" + name + "\"; name dynamic or fourier.");
}

fs::path pluginDirectory(const std::string& requested) {
  if (!requested.empty()) {
    if (!fs::is_directory(requested)) {
      throw UsageError("The plug-in directory " + requested +
                       " given with --plugin-dir is no directory; give the directory that holds "
                       "dynamic.so and fourier.so.");
    }
    return requested;
  }
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  const fs::path programDirectory = error ? fs::path(".") : self.parent_path();
  const fs::path candidates[] = {programDirectory / "plugins",
                                 programDirectory / VORTIGEN_INSTALLED_PLUGIN_DIR};
  for (const fs::path& candidate : candidates) {
    if (fs::is_directory(candidate)) return candidate.lexically_normal();
  }
  throw vthost::HostError("No plug-in directory was found at " + candidates[0].string() + " or " +
                          candidates[1].lexically_normal().string() +
                          "; build or install the plug-ins, or give --plugin-dir DIR.");
}

std::string pluginPath(const std::string& effect, const std::string& requestedDirectory) {
  if (effect.find('/') != std::string::npos || effect.ends_with(".so")) return effect;
  const fs::path library = pluginDirectory(requestedDirectory) / (effect + ".so");
  if (!fs::exists(library)) {
    throw vthost::HostError(
        "There is no plug-in \"" + effect + "\" at " + library.string() +
        "; name dynamic or fourier, or give the directory of the plug-ins with --plugin-dir.");
  }
  return library.string();
}

fs::path defaultProfilePath() {
  // The XDG base directory rules ignore a relative XDG_CONFIG_HOME.
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return fs::path(config) / "vortigen" / "presets.ini";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != '\0')
    return fs::path(home) / ".config" / "vortigen" / "presets.ini";
  throw UsageError(
      "Neither XDG_CONFIG_HOME nor HOME is set, so there is no place for the preset profile; "
      "give one with --profile FILE.");
}

ScratchProfile::ScratchProfile() {
  std::string pattern = (fs::temp_directory_path() / "vortigen-presets-XXXXXX").string();
  const int fd = mkstemp(pattern.data());
  if (fd < 0) {
    throw vthost::HostError("No scratch profile could be made in " +
                            fs::temp_directory_path().string() +
                            "; set TMPDIR to a writable directory.");
  }
  close(fd);
  path_ = pattern;
}

ScratchProfile::~ScratchProfile() { std::remove(path_.c_str()); }

Instance::Instance(vthost::EffectHost& host) : host_(host) {
  if (host_.init() != 1) {
    throw vthost::HostError(
        "The plug-in " + std::string(host_.descriptor().effectName) +
        " could not make its instance (XfmInit failed); check that it was built for this host.");
  }
}

Instance::~Instance() { host_.destroy(); }

std::vector<NamedPreset> presetsThroughDialog(vthost::EffectHost& host,
                                              const std::string& profilePath,
                                              std::vector<std::string>& warnings) {
  const size_t errorsBefore = host.errors().size();
  host.setProfilePath(profilePath);
  host.record().autoAccept = 0;
  host.record().showDialog = 0;
  const int ended = host.setup();
  host.record().autoAccept = AutoAcceptNone;
  for (size_t i = errorsBefore; i < host.errors().size(); ++i) warnings.push_back(host.errors()[i]);
  if (ended != 1) {
    throw vthost::HostError("The settings dialog of " + std::string(host.descriptor().effectName) +
                            " did not accept by itself (it ended with " + std::to_string(ended) +
                            "), so its presets could not be read from " + profilePath +
                            "; use --preset-text or --curve instead.");
  }
  std::vector<NamedPreset> presets;
  for (const vthost::ListedPreset& p : host.dialogSide().presets)
    presets.push_back({p.key, p.name, p.text});
  return presets;
}

const NamedPreset* PresetBook::find(const std::string& name) const {
  // The exact name first; then the name in other letter case, as the
  // dialog's list sorts names without regard to case.
  for (const bool exact : {true, false}) {
    for (const auto* list : {&stored, &builtIn}) {
      const auto found = std::find_if(list->begin(), list->end(), [&](const NamedPreset& p) {
        return exact ? p.name == name : strcasecmp(p.name.c_str(), name.c_str()) == 0;
      });
      if (found != list->end()) return &*found;
    }
  }
  return nullptr;
}

std::vector<NamedPreset> PresetBook::storedOwn() const {
  std::vector<NamedPreset> own;
  for (const NamedPreset& p : stored) {
    const bool builtInAsItIs =
        std::any_of(builtIn.begin(), builtIn.end(),
                    [&](const NamedPreset& b) { return b.name == p.name && b.text == p.text; });
    if (!builtInAsItIs) own.push_back(p);
  }
  return own;
}

std::vector<NamedPreset> PresetBook::numbered() const {
  std::vector<NamedPreset> all = builtIn;
  const std::vector<NamedPreset> own = storedOwn();
  all.insert(all.end(), own.begin(), own.end());
  return all;
}

PresetBook readPresetBook(vthost::EffectHost& host, const std::string& effect,
                          const fs::path& profilePath, std::vector<std::string>& warnings) {
  PresetBook book;
  book.effect = effect;
  book.profilePath = profilePath;
  {
    ScratchProfile scratch;
    book.builtIn = presetsThroughDialog(host, scratch.path(), warnings);
  }
  std::error_code error;
  if (profilePath.empty() || !fs::exists(profilePath, error)) return book;
  if (access(profilePath.c_str(), R_OK) != 0) {
    warnings.push_back("The preset profile " + profilePath.string() +
                       " cannot be read, so only the built-in presets are known; check the file or "
                       "give another with --profile.");
    return book;
  }
  // Read from a private copy: the plug-in seeds an empty section, and
  // reading must change nothing of the user's.
  ScratchProfile copy;
  fs::copy_file(profilePath, copy.path(), fs::copy_options::overwrite_existing, error);
  if (error) {
    throw vthost::HostError("The preset profile " + profilePath.string() + " could not be read (" +
                            error.message() + "); check the file or give another with --profile.");
  }
  std::vector<std::string> copyWarnings;
  book.stored = presetsThroughDialog(host, copy.path(), copyWarnings);
  book.unreadableStored = host.dialogSide().unreadablePresets;
  for (std::string& w : copyWarnings) {
    for (size_t at; (at = w.find(copy.path())) != std::string::npos;)
      w.replace(at, copy.path().size(), profilePath.string());
    warnings.push_back(std::move(w));
  }
  return book;
}

}  // namespace vortigen
