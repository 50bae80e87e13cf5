#include "studio_command.h"

#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "studio_server.h"

extern char** environ;

namespace vtstudio {

CLI::App* addStudioCommand(CLI::App& app, StudioOptions& options) {
  CLI::App* command = app.add_subcommand("studio",
                                         "Shape the curves in a browser through the plug-ins' own "
                                         "settings dialogs; hear and see the result.");
  command->add_option("FILE", options.files,
                      "sounds to open: WAV, AIFF, FLAC or Ogg Vorbis (more can be uploaded)");
  command->add_option("--port", options.port, "the port to listen on (default: any free one)")
      ->check(CLI::Range(0, 65535));
  command
      ->add_option(
          "--profile", options.profile,
          "the preset profile Add writes to (default $XDG_CONFIG_HOME/vortigen/presets.ini or "
          "~/.config/vortigen/presets.ini)")
      ->type_name("FILE");
  command
      ->add_option(
          "--address", options.address,
          "the address to listen on; anything but 127.0.0.1 lets other machines reach the studio")
      ->capture_default_str();
  command
      ->add_option("--max-upload", options.uploadLimitMegabytes, "the largest upload, in megabytes")
      ->check(CLI::Range(1, 4096))
      ->capture_default_str();
  command
      ->add_option("--plugin-dir", options.pluginDirectory,
                   "the directory of the plug-in libraries")
      ->type_name("DIR");
  command->add_flag("--open", options.open, "open the studio in the default browser");
  return command;
}

namespace {

void openInBrowser(const std::string& url) {
  const char* argv[] = {"xdg-open", url.c_str(), nullptr};
  pid_t child = 0;
  if (posix_spawnp(&child, "xdg-open", nullptr, nullptr, const_cast<char* const*>(argv), environ) !=
      0) {
    std::fprintf(
        stderr,
        "vortigen: no browser could be started (xdg-open is missing); open the address above.\n");
    return;
  }
  std::thread([child] { waitpid(child, nullptr, 0); }).detach();
}

}  // namespace

int runStudio(const StudioOptions& options, const std::map<std::string, std::string>& pluginPaths,
              const std::string& defaultProfile) {
  // Ctrl-C and SIGTERM are taken by one thread that stops the server; every
  // other thread, started below, inherits the blocked mask.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  const std::string profile = options.profile.empty() ? defaultProfile : options.profile;
  std::error_code ignored;
  if (options.profile.empty())
    std::filesystem::create_directories(std::filesystem::path(profile).parent_path(), ignored);

  SoundFiles sounds;
  std::vector<std::string> problems;
  for (const std::string& file : options.files) {
    try {
      sounds.open(file);
    } catch (const vortigen::AudioError& e) {
      // The studio starts without it; the page says why.
      std::string sentence = e.what();
      if (!sentence.empty() && sentence.back() != '.') sentence += '.';
      problems.push_back(sentence);
      std::fprintf(stderr, "vortigen: %s The studio starts without it.\n", sentence.c_str());
    }
  }
  DialogSession dialogs(pluginPaths, profile);
  Processing processing(pluginPaths);
  ServerSettings settings;
  settings.address = options.address;
  settings.port = options.port;
  settings.uploadLimit = static_cast<size_t>(options.uploadLimitMegabytes) << 20;
  StudioServer server(dialogs, sounds, processing, settings);
  for (const std::string& sentence : problems) server.reportProblem(sentence);
  server.bind();

  if (options.address != "127.0.0.1" && options.address != "localhost") {
    std::fprintf(stderr,
                 "vortigen: warning: the studio listens on %s, where other machines may reach it; "
                 "anyone who has "
                 "the address with its token can use it and hear the sounds you open.\n",
                 options.address.c_str());
  }
  std::printf("vortigen studio: open %s\n", server.url().c_str());
  std::printf("  presets are stored in %s; Ctrl-C stops the studio.\n", profile.c_str());
  std::fflush(stdout);
  if (options.open) openInBrowser(server.url());

  std::thread stopper([&] {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    server.stop();
  });
  server.serve();
  pthread_kill(stopper.native_handle(), SIGTERM);
  stopper.join();
  std::printf("vortigen studio: stopped.\n");
  return 0;
}

}  // namespace vtstudio
