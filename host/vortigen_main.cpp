// vortigen: the command-line face of the reference host.
//
//   vortigen dialog EFFECT --png FILE [--profile FILE] [--scale N]
//
// runs the settings dialog of a plug-in (dynamic, fourier, or the path of
// a plug-in library) as the host would, with no one at the screen, and
// draws it as it stands once it has opened: its controls as the template
// lays them out, the preset list as the host filled it, the curves as the
// host drew them. The presets come from --profile, which is seeded with
// the built-in presets when its section is empty, or else from a scratch
// profile that is removed again.
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dialog_picture.h"
#include "dialog_script.h"
#include "vthost.h"

namespace {

namespace fs = std::filesystem;

// A plug-in named by its effect is the library of that name in plugins/
// beside this program; anything with a slash or a ".so" is a path.
std::string pluginPath(const std::string& effect) {
  if (effect.find('/') != std::string::npos || effect.ends_with(".so")) return effect;
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  const fs::path library = (error ? fs::path(".") : self.parent_path()) / "plugins" / (effect + ".so");
  if (!fs::exists(library)) {
    throw vthost::HostError("There is no plug-in \"" + effect + "\" at " + library.string() +
                            "; name dynamic or fourier, or give the path of a plug-in library.");
  }
  return library.string();
}

// A profile of its own for one run, removed when the run ends.
class ScratchProfile {
 public:
  ScratchProfile() {
    std::string pattern = (fs::temp_directory_path() / "vortigen-presets-XXXXXX").string();
    const int fd = mkstemp(pattern.data());
    if (fd < 0) {
      throw vthost::HostError("No scratch profile could be made in " +
                              fs::temp_directory_path().string() + "; set TMPDIR to a writable directory.");
    }
    close(fd);
    path_ = pattern;
  }
  ~ScratchProfile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

int drawDialog(const std::string& effect, const std::string& pngPath, const std::string& profile,
               double scale) {
  vthost::PluginLibrary plugin(pluginPath(effect));
  vthost::EffectHost host(plugin, vthost::WaveFormat{}, {});
  std::unique_ptr<ScratchProfile> scratch;
  if (profile.empty()) scratch = std::make_unique<ScratchProfile>();
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

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"vortigen: runs the Vortigen effect plug-ins as their host does."};
  app.require_subcommand(1);

  std::string effect, pngPath, profile;
  double scale = 2.0;
  CLI::App* dialog = app.add_subcommand("dialog", "Draw a plug-in's settings dialog into a PNG file.");
  dialog->add_option("EFFECT", effect, "dynamic, fourier, or the path of a plug-in library")->required();
  dialog->add_option("--png", pngPath, "the picture to write")->required();
  dialog->add_option("--profile", profile,
                     "the preset profile (seeded with the built-in presets when empty); "
                     "without it a scratch profile is used");
  dialog->add_option("--scale", scale, "enlargement of the screen pixels")->check(CLI::Range(0.5, 8.0));

  CLI11_PARSE(app, argc, argv);
  try {
    if (*dialog) return drawDialog(effect, pngPath, profile, scale);
  } catch (const vthost::HostError& e) {
    std::fprintf(stderr, "vortigen: %s\n", e.what());
    return 1;
  }
  return 0;
}
