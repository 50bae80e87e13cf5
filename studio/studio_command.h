// `vortigen studio`: shape the effects' curves in a browser through the
// plug-ins' own settings dialogs, hear and see the result, keep presets.
#ifndef VORTIGEN_STUDIO_STUDIO_COMMAND_H
#define VORTIGEN_STUDIO_STUDIO_COMMAND_H

#include <map>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace vtstudio {

struct StudioOptions {
  std::vector<std::string> files;
  int port = 0;
  std::string address = "127.0.0.1";
  std::string profile;  // empty: the per-user profile
  std::string pluginDirectory;
  bool open = false;
  int uploadLimitMegabytes = 256;
};

// Adds the command and its options to the tool's command line.
CLI::App* addStudioCommand(CLI::App& app, StudioOptions& options);

// Serves the studio until Ctrl-C (or SIGTERM). pluginPaths: effect name to
// plug-in library; defaultProfile: the profile when --profile is not given.
// Returns the tool's exit status.
int runStudio(const StudioOptions& options, const std::map<std::string, std::string>& pluginPaths,
              const std::string& defaultProfile);

}  // namespace vtstudio

#endif
