#include "vortigen_output.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace vortigen {

namespace fs = std::filesystem;

// ---- Output files ------------------------------------------------------------------------

OutputFile::OutputFile(const fs::path& path) : target_(path) {
  // Written through a link: the link's target is what gets replaced.
  std::error_code error;
  if (fs::is_symlink(target_, error)) target_ = fs::weakly_canonical(target_, error);
  if (error) target_ = path;
  const fs::path directory = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
  const std::string extension = target_.extension().string();
  std::string pattern = (directory / ("." + target_.stem().string() + ".vortigen-XXXXXX" + extension)).string();
  const int fd = mkstemps(pattern.data(), static_cast<int>(extension.size()));
  if (fd < 0) {
    const std::string reason = std::strerror(errno);
    throw AudioError("cannot write '" + path.string() + "': no file can be made in " + directory.string() +
                     " (" + reason + "); check that the directory exists and is writable");
  }
  close(fd);
  temporary_ = pattern;
}

OutputFile::~OutputFile() {
  if (!committed_) std::remove(temporary_.c_str());
}

void OutputFile::write(const Audio& audio) {
  try {
    writeAudio(temporary_, audio);
  } catch (const AudioError& e) {
    std::string message = e.what();
    for (size_t at; (at = message.find(temporary_)) != std::string::npos;) {
      message.replace(at, temporary_.size(), target_.string());
    }
    throw AudioError(message);
  }
}

void OutputFile::commit() {
  struct stat existing {};
  mode_t mode = 0;
  if (stat(target_.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  chmod(temporary_.c_str(), mode);
  std::error_code error;
  fs::rename(temporary_, target_, error);
  if (error) {
    throw AudioError("cannot put the finished '" + target_.string() + "' in place (" + error.message() +
                     "); check that it is not a directory and that its directory is writable");
  }
  committed_ = true;
}

void writeAudioSafely(const fs::path& path, const Audio& audio) {
  OutputFile file(path);
  file.write(audio);
  file.commit();
}

// ---- Interrupts ----------------------------------------------------------------------------

namespace {

volatile std::sig_atomic_t caughtSignal = 0;
std::atomic<vthost::EffectHost*> processingHost{nullptr};
static_assert(std::atomic<vthost::EffectHost*>::is_always_lock_free);

struct sigaction previousInt {}, previousTerm {};

extern "C" void onInterrupt(int number) {
  caughtSignal = number;
  if (vthost::EffectHost* host = processingHost.load(std::memory_order_relaxed)) host->requestCancel();
}

// Makes the host the one an interrupt cancels, while it processes.
class CancelTarget {
 public:
  explicit CancelTarget(vthost::EffectHost& host) { processingHost.store(&host); }
  ~CancelTarget() { processingHost.store(nullptr); }
  CancelTarget(const CancelTarget&) = delete;
  CancelTarget& operator=(const CancelTarget&) = delete;
};

long environmentNumber(const char* name) {
  const char* text = std::getenv(name);
  return text != nullptr ? std::strtol(text, nullptr, 10) : 0;
}

}  // namespace

InterruptWatch::InterruptWatch() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  sigemptyset(&action.sa_mask);
  // The first signal cancels; a second one finds the default action back
  // and ends the process, for a user who does not want to wait.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, &previousInt);
  sigaction(SIGTERM, &action, &previousTerm);
}

InterruptWatch::~InterruptWatch() {
  sigaction(SIGINT, &previousInt, nullptr);
  sigaction(SIGTERM, &previousTerm, nullptr);
}

int InterruptWatch::signal() { return caughtSignal; }

int interruptedStatus() { return 128 + (caughtSignal != 0 ? caughtSignal : SIGINT); }

// ---- Progress ------------------------------------------------------------------------------

namespace {

// A bar on standard error, redrawn in place when its percentage changes.
class ProgressBar {
 public:
  ProgressBar(std::string label, bool shown) : label_(std::move(label)), shown_(shown) {}
  ~ProgressBar() {
    if (drawn_) std::fputs(erase_ ? "\r\033[K" : "\n", stderr);
  }
  // Takes the bar off the screen at the end instead of leaving it.
  void eraseAtEnd() { erase_ = true; }
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  void show(double fraction) {
    if (!shown_) return;
    const int percent = std::clamp(static_cast<int>(fraction * 100.0), 0, 100);
    if (drawn_ && percent == percent_) return;
    percent_ = percent;
    drawn_ = true;
    const int width = 30;
    const int filled = percent * width / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", label_.c_str(), std::string(size_t(filled), '#').c_str(),
                 std::string(size_t(width - filled), '.').c_str(), percent);
    std::fflush(stderr);
  }

 private:
  std::string label_;
  bool shown_;
  bool drawn_ = false;
  bool erase_ = false;
  int percent_ = -1;
};

}  // namespace

bool processWithProgress(vthost::EffectHost& host, long first, long last, const std::string& label,
                         bool showProgress, bool eraseWhenDone) {
  if (InterruptWatch::signal() != 0) return false;
  ProgressBar bar(label, showProgress && isatty(STDERR_FILENO) == 1);
  const long delayMs = environmentNumber("VORTIGEN_TEST_PROGRESS_DELAY_MS");
  host.setProgressHandler([&](long done, long total) {
    if (total > 0) bar.show(double(done) / double(total));
    if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  });
  host.cancelAfterPass(static_cast<int>(environmentNumber("VORTIGEN_TEST_CANCEL_AFTER_PASS")));
  int result = 0;
  {
    CancelTarget target(host);
    bar.show(0.0);
    result = host.process(first, last);
  }
  host.setProgressHandler(nullptr);
  const bool cancelled = host.record().cancelFlag != nullptr && *host.record().cancelFlag != 0;
  if (result != 0) {
    throw vthost::HostError("The plug-in " + std::string(host.descriptor().effectName) +
                            " could not process the selection (XfmDo returned " + std::to_string(result) +
                            ": no working memory); close other programs or process a shorter selection.");
  }
  if (cancelled || InterruptWatch::signal() != 0) return false;
  bar.show(1.0);
  if (eraseWhenDone) bar.eraseAtEnd();
  return true;
}

}  // namespace vortigen
