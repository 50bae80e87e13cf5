// The vortigen tool's view of the plug-ins: where their libraries are,
// what their curves are called on the command line, and their presets,
// which reach the tool as they reach the host: through the plug-in's own
// settings dialog over a profile file.
#ifndef VORTIGEN_TOOL_VORTIGEN_PLUGINS_H
#define VORTIGEN_TOOL_VORTIGEN_PLUGINS_H

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio_file.h"
#include "usage_error.h"
#include "vthost.h"

namespace vortigen {

// An effect the tool runs: its command, which is also its library's name,
// what it does, and the names of its curves in the order of its curve
// words. The command line's subcommands and help are made from these.
struct EffectCommand {
  std::string name;
  std::string description;
  std::vector<std::string> curveNames;
};

const std::vector<EffectCommand>& effectCommands();
const EffectCommand& effectCommand(const std::string& name);

// The directory the plug-ins are loaded from: `requested` when given;
// otherwise plugins/ beside the program (the build tree) or the installed
// plug-in directory relative to it. Throws HostError naming the places
// looked at.
std::filesystem::path pluginDirectory(const std::string& requested);

// The library of an effect: `effect` itself when it is a path (it holds a
// slash or ends in ".so"), else effect.so in the plug-in directory.
std::string pluginPath(const std::string& effect, const std::string& requestedDirectory);

// The per-user profile: $XDG_CONFIG_HOME/vortigen/presets.ini, or
// ~/.config/vortigen/presets.ini.
std::filesystem::path defaultProfilePath();

// An empty profile of its own for one run, removed when the run ends.
class ScratchProfile {
 public:
  ScratchProfile();
  ~ScratchProfile();
  ScratchProfile(const ScratchProfile&) = delete;
  ScratchProfile& operator=(const ScratchProfile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// An instance of the effect for the lifetime of the object: XfmInit on
// construction, XfmDestroy at the end.
class Instance {
 public:
  explicit Instance(vthost::EffectHost& host);
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

 private:
  vthost::EffectHost& host_;
};

struct NamedPreset {
  std::string key;
  std::string name;
  std::string text;
};

// Opens the plug-in's settings dialog over the profile at `profilePath`
// with automatic accept, as a host that shows no dialog does, and returns
// the presets the section then holds, in key order. The plug-in seeds an
// empty section with its built-in presets. Entries the host cannot read
// are left out and described in `warnings`.
std::vector<NamedPreset> presetsThroughDialog(vthost::EffectHost& host,
                                              const std::string& profilePath,
                                              std::vector<std::string>& warnings);

// The built-in presets of an effect (read through the dialog from a
// scratch profile) and the presets stored in a profile file.
struct PresetBook {
  std::string effect;
  std::filesystem::path profilePath;
  std::vector<NamedPreset> builtIn;
  std::vector<NamedPreset> stored;
  // Entries of the profile's section that could not be read (each named in
  // a warning); they are neither in `stored` nor changed in the file.
  std::size_t unreadableStored = 0;

  // The stored preset of that name, else the built-in one, else the same
  // with the letter case ignored; null if none.
  const NamedPreset* find(const std::string& name) const;
  // Stored presets that are not a built-in preset unchanged.
  std::vector<NamedPreset> storedOwn() const;
  // The presets as `vortigen presets` numbers them from 1: the built-in
  // ones, then the stored ones of the user's own.
  std::vector<NamedPreset> numbered() const;
};

// Reads both lists without writing any profile: the stored presets are
// read from a private copy of the profile. An empty `profilePath`, or one
// that does not exist, gives the built-in presets only.
PresetBook readPresetBook(vthost::EffectHost& host, const std::string& effect,
                          const std::filesystem::path& profilePath,
                          std::vector<std::string>& warnings);

}  // namespace vortigen

#endif
