#include "vortigen_output.h"

#include <fcntl.h>
#include <sys/file.h>
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
#include <iterator>
#include <string>
#include <thread>

#include "progress.h"

namespace vortigen {

namespace fs = std::filesystem;

// ---- Temporary files a signal removes -----------------------------------------------------

namespace {

// Fixed slots, so that a signal handler can walk them without locks or
// allocation: the path in a slot is complete before the slot is marked.
constexpr int temporarySlots = 8;
char temporaryPaths[temporarySlots][4096];
volatile std::sig_atomic_t temporaryUsed[temporarySlots];

int registerTemporary(const std::string& path) {
  for (int i = 0; i < temporarySlots; ++i) {
    if (temporaryUsed[i] == 0 && path.size() < sizeof temporaryPaths[i]) {
      std::memcpy(temporaryPaths[i], path.c_str(), path.size() + 1);
      temporaryUsed[i] = 1;
      return i;
    }
  }
  return -1;
}

void unregisterTemporary(int slot) {
  if (slot >= 0) temporaryUsed[slot] = 0;
}

// Async-signal-safe.
void removeTemporaries() {
  for (int i = 0; i < temporarySlots; ++i) {
    if (temporaryUsed[i] != 0) unlink(temporaryPaths[i]);
  }
}

}  // namespace

// ---- Output files ------------------------------------------------------------------------

OutputFile::OutputFile(const fs::path& path) : target_(path) {
  // Written through a link: the link's target is what gets replaced.
  std::error_code error;
  if (fs::is_symlink(target_, error)) target_ = fs::weakly_canonical(target_, error);
  if (error) target_ = path;
  const fs::path directory = target_.has_parent_path() ? target_.parent_path() : fs::path(".");
  const std::string extension = target_.extension().string();
  std::string pattern =
      (directory / ("." + target_.stem().string() + ".vortigen-XXXXXX" + extension)).string();
  const int fd = mkstemps(pattern.data(), static_cast<int>(extension.size()));
  if (fd < 0) {
    const std::string reason = std::strerror(errno);
    throw vtmedia::AudioError("cannot write '" + path.string() + "': no file can be made in " +
                              directory.string() + " (" + reason +
                              "); check that the directory exists and is writable");
  }
  // The lock tells a later run that this temporary is in use; it ends
  // with the process, however the process ends.
  flock(fd, LOCK_EX | LOCK_NB);
  lock_ = fd;
  temporary_ = pattern;
  slot_ = registerTemporary(temporary_);
}

OutputFile::~OutputFile() {
  if (!committed_) std::remove(temporary_.c_str());
  unregisterTemporary(slot_);
  if (lock_ >= 0) close(lock_);
}

void OutputFile::write(const vtmedia::Audio& audio) {
  writeWith([&](const std::string& temporary) { vtmedia::writeAudio(temporary, audio); });
}

void OutputFile::writeWith(const std::function<void(const std::string& temporary)>& writer) {
  try {
    writer(temporary_);
  } catch (const vtmedia::AudioError& e) {
    std::string message = e.what();
    for (size_t at; (at = message.find(temporary_)) != std::string::npos;) {
      message.replace(at, temporary_.size(), target_.string());
    }
    throw vtmedia::AudioError(message);
  }
}

void OutputFile::commit() { commitTo(target_); }

void OutputFile::commitTo(const fs::path& target) {
  struct stat existing {};
  mode_t mode = 0;
  if (stat(target.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
    // Only a user who may give files away can keep another's owner; a
    // group is kept where the user belongs to it. Otherwise the file is
    // the user's, as any file they write.
    if (chown(temporary_.c_str(), existing.st_uid, existing.st_gid) != 0 &&
        chown(temporary_.c_str(), static_cast<uid_t>(-1), existing.st_gid) != 0) {
      errno = 0;
    }
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  chmod(temporary_.c_str(), mode);
  std::error_code error;
  fs::rename(temporary_, target, error);
  if (error) {
    throw vtmedia::AudioError(
        "cannot put the finished '" + target.string() + "' in place (" + error.message() +
        "); check that it is not a directory and that its directory is writable");
  }
  committed_ = true;
  unregisterTemporary(slot_);
  slot_ = -1;
}

void OutputFile::copyTo(int fd) {
  const int in = open(temporary_.c_str(), O_RDONLY);
  if (in < 0)
    throw vtmedia::AudioError("cannot read back '" + temporary_ + "': " + std::strerror(errno));
  std::vector<char> block(1 << 16);
  for (;;) {
    const ssize_t got = read(in, block.data(), block.size());
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    for (ssize_t sent = 0; sent < got;) {
      const ssize_t n = ::write(fd, block.data() + sent, size_t(got - sent));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        const std::string reason = std::strerror(errno);
        close(in);
        throw vtmedia::AudioError("cannot write all of standard output: " + reason);
      }
      sent += n;
    }
  }
  close(in);
}

std::vector<std::string> removeAbandonedTemporaries(const fs::path& path) {
  std::vector<std::string> removed;
  const fs::path directory = path.has_parent_path() ? path.parent_path() : fs::path(".");
  const std::string prefix = "." + path.stem().string() + ".vortigen-";
  const std::string extension = path.extension().string();
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory, error)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(prefix) || !name.ends_with(extension) ||
        name.size() != prefix.size() + 6 + extension.size()) {
      continue;
    }
    const int fd = open(entry.path().c_str(), O_RDONLY);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0 && unlink(entry.path().c_str()) == 0)
      removed.push_back(entry.path().string());
    close(fd);
  }
  return removed;
}

void writeAudioSafely(const fs::path& path, const vtmedia::Audio& audio) {
  OutputFile file(path);
  file.write(audio);
  file.commit();
}

// ---- Interrupts ----------------------------------------------------------------------------

namespace {

volatile std::sig_atomic_t caughtSignal = 0;
std::atomic<vthost::EffectHost*> processingHost{nullptr};
static_assert(std::atomic<vthost::EffectHost*>::is_always_lock_free);

const int watchedSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction previousActions[std::size(watchedSignals)];

extern "C" void onInterrupt(int number) {
  if (caughtSignal != 0) {
    // A second signal: the user does not want to wait for the clean-up.
    removeTemporaries();
    _exit(128 + number);
  }
  caughtSignal = number;
  if (vthost::EffectHost* host = processingHost.load(std::memory_order_relaxed))
    host->requestCancel();
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
  for (int number : watchedSignals) sigaddset(&action.sa_mask, number);
  for (size_t i = 0; i < std::size(watchedSignals); ++i) {
    sigaction(watchedSignals[i], &action, &previousActions[i]);
  }
}

InterruptWatch::~InterruptWatch() {
  for (size_t i = 0; i < std::size(watchedSignals); ++i) {
    sigaction(watchedSignals[i], &previousActions[i], nullptr);
  }
}

int InterruptWatch::signal() { return caughtSignal; }

int interruptedStatus() { return 128 + (caughtSignal != 0 ? caughtSignal : SIGINT); }

long testProgressDelayMs() { return environmentNumber("VORTIGEN_TEST_PROGRESS_DELAY_MS"); }

// ---- Progress ------------------------------------------------------------------------------

bool processWithProgress(vthost::EffectHost& host, long first, long last, ProgressBar& bar,
                         bool eraseWhenDone, const std::function<double()>& framesDone,
                         double framesTotal) {
  if (InterruptWatch::signal() != 0) return false;
  const long delayMs = testProgressDelayMs();
  host.setProgressHandler([&](long done, long total) {
    if (framesDone) {
      bar.show(framesDone(), framesTotal);
    } else if (total > 0) {
      bar.show(double(done), double(total));
    }
    if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  });
  host.cancelAfterPass(static_cast<int>(environmentNumber("VORTIGEN_TEST_CANCEL_AFTER_PASS")));
  int result = 0;
  {
    CancelTarget target(host);
    bar.show(framesDone ? framesDone() : 0.0, framesDone ? framesTotal : 1.0);
    result = host.process(first, last);
  }
  host.setProgressHandler(nullptr);
  const bool cancelled = host.record().cancelFlag != nullptr && *host.record().cancelFlag != 0;
  if (result != 0) {
    throw vthost::HostError(
        "The plug-in " + std::string(host.descriptor().effectName) +
        " could not process the selection (XfmDo returned " + std::to_string(result) +
        ": no working memory); close other programs or process a shorter selection.");
  }
  if (cancelled || InterruptWatch::signal() != 0) return false;
  bar.show(framesDone ? framesDone() : 1.0, framesDone ? framesTotal : 1.0);
  if (eraseWhenDone) bar.eraseAtEnd();
  return true;
}

}  // namespace vortigen
