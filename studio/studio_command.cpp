#include "studio_command.h"

#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
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

sigset_t stopSignalSet() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  return signals;
}

// The studio itself, in the process runStudio starts for it.
int serveStudio(const StudioOptions& options, const std::map<std::string, std::string>& pluginPaths,
                const std::string& defaultProfile) {
  // Ctrl-C and SIGTERM are taken by one thread that stops the server; every
  // other thread, started below, inherits the blocked mask.
  sigset_t stopSignals = stopSignalSet();
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
    } catch (const vtmedia::AudioError& e) {
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

  if (!isLoopbackAddress(options.address)) {
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

// Waits for the studio's process, passing on a SIGINT or SIGTERM sent to
// this one alone (Ctrl-C reaches both: the terminal signals the whole
// group). Returns its wait status.
int waitForStudio(pid_t studio) {
  const sigset_t stopSignals = stopSignalSet();
  for (;;) {
    int status = 0;
    const pid_t ended = waitpid(studio, &status, WNOHANG);
    if (ended == studio) return status;
    if (ended < 0) return 0;
    siginfo_t info{};
    const timespec aWhile{0, 100 * 1000 * 1000};
    if (sigtimedwait(&stopSignals, &info, &aWhile) > 0) kill(studio, SIGTERM);
  }
}

}  // namespace

// The studio runs in a process of its own whose temporary files (uploads,
// export scratch) all lie in one private directory: this process waits
// for it and removes that directory however it ended, a fault in a request
// handler included, then says how it ended.
int runStudio(const StudioOptions& options, const std::map<std::string, std::string>& pluginPaths,
              const std::string& defaultProfile) {
  std::error_code error;
  const std::filesystem::path tmp = std::filesystem::temp_directory_path(error);
  std::string scratch = ((error ? std::filesystem::path("/tmp") : tmp) / "vortigen-studio-XXXXXX");
  if (mkdtemp(scratch.data()) == nullptr) {
    std::fprintf(stderr,
                 "vortigen: the studio could not make its temporary directory in %s (%s); set "
                 "TMPDIR to a writable directory.\n",
                 tmp.c_str(), strerror(errno));
    return 1;
  }
  const sigset_t stopSignals = stopSignalSet();
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &stopSignals, &previous);
  std::fflush(nullptr);
  const pid_t studio = fork();
  if (studio == 0) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    setenv("TMPDIR", scratch.c_str(), 1);
    int status = 1;
    try {
      status = serveStudio(options, pluginPaths, defaultProfile);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "vortigen: %s\n", e.what());
    }
    std::fflush(nullptr);
    _exit(status);
  }
  int status = 0;
  if (studio < 0) {
    std::fprintf(stderr, "vortigen: the studio could not be started (%s).\n", strerror(errno));
  } else {
    status = waitForStudio(studio);
  }
  std::filesystem::remove_all(scratch, error);
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (studio < 0) return 1;
  if (WIFSIGNALED(status)) {
    std::fprintf(stderr,
                 "vortigen: the studio stopped on a fault (signal %d, %s); its temporary files are "
                 "removed, and curves not stored as presets are lost.\n",
                 WTERMSIG(status), strsignal(WTERMSIG(status)));
    return 1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace vtstudio
