// The effect command over many files: outputs of the same name in one
// directory, worker processes, resumption by skipping complete outputs,
// and deterministic shards of the input list for schedulers that spread one
// job over many machines.
#include <sndfile.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>

#include "progress.h"
#include "shard.h"
#include "vortigen_commands.h"
#include "vortigen_output.h"

namespace vortigen {

namespace fs = std::filesystem;

namespace {

// Exit status of a worker for each way a file can end.
enum WorkerStatus { WorkerProcessed = 0, WorkerFailed = 1, WorkerUsage = 2, WorkerTooShort = 3 };

struct Job {
  std::string input;
  std::string output;
};

// What tells two spellings of one file apart from two files: device and
// inode where the file exists, else the absolute path without "." and "..".
std::string identityOf(const std::string& path) {
  struct stat status {};
  if (stat(path.c_str(), &status) == 0) {
    return std::to_string(status.st_dev) + ":" + std::to_string(status.st_ino);
  }
  std::error_code error;
  return fs::absolute(path, error).lexically_normal().string();
}

// The distinct inputs (a file given twice, in any spelling, counts once),
// each with its output in the directory, those of the shard in the order
// of their names. Two different inputs of one name cannot share an output.
std::vector<Job> jobsOf(const EffectRun& run) {
  const Shard shard = run.shard.empty() ? Shard{} : parseShard(run.shard);
  struct Given {
    std::string input;
    std::string identity;
  };
  std::map<std::string, Given> byName;  // sorted by name
  for (const std::string& input : run.files) {
    const std::string name = fs::path(input).filename().string();
    const std::string identity = identityOf(input);
    const auto [other, fresh] = byName.emplace(name, Given{input, identity});
    if (!fresh && other->second.identity != identity) {
      throw UsageError("The inputs " + other->second.input + " and " + input +
                       " would both be written to " +
                       (fs::path(run.outputDirectory) / name).string() +
                       "; rename one, or run them separately.");
    }
    if (!isWritableAudioPath(name)) {
      throw UsageError("The input " + input +
                       " has no extension the tool writes, so its output cannot keep the name; "
                       "give .wav, .aiff, .flac or .ogg files.");
    }
  }
  std::vector<Job> jobs;
  for (const auto& [name, given] : byName) {
    if (inShard(name, shard))
      jobs.push_back({given.input, (fs::path(run.outputDirectory) / name).string()});
  }
  return jobs;
}

int64_t framesOf(const std::string& path, int& channels) {
  SF_INFO info{};
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) return -1;
  sf_close(file);
  channels = info.channels;
  return info.frames;
}

// Outputs appear only once complete (they are renamed into place), so one
// that is there and as long as its input is a finished result.
bool alreadyComplete(const Job& job) {
  std::error_code error;
  if (!fs::exists(job.output, error)) return false;
  int inChannels = 0, outChannels = 0;
  const int64_t inFrames = framesOf(job.input, inChannels);
  const int64_t outFrames = framesOf(job.output, outChannels);
  return inFrames > 0 && inFrames == outFrames && inChannels == outChannels;
}

// What a run would do with each job, one line each, nothing processed:
// "process", "skip" (complete) or "redo" (an output that is not), a tab,
// the input, a tab, the output.
void listJobs(const std::vector<Job>& jobs) {
  for (const Job& job : jobs) {
    std::error_code error;
    const char* action = !fs::exists(job.output, error) ? "process"
                         : alreadyComplete(job)         ? "skip"
                                                        : "redo";
    std::printf("%s\t%s\t%s\n", action, job.input.c_str(), job.output.c_str());
  }
  std::fflush(stdout);
}

// In a new worker, with the batch's signals blocked: they reach the
// worker's own handlers once those are in place.
int processInWorker(const EffectRun& run, const Job& job, const sigset_t& unblocked) {
  InterruptWatch interrupts;
  sigprocmask(SIG_SETMASK, &unblocked, nullptr);
  try {
    switch (processFile(run, job.input, job.output, false)) {
      case Outcome::Processed: return WorkerProcessed;
      case Outcome::TooShort: return WorkerTooShort;
      case Outcome::Interrupted: return interruptedStatus();
    }
  } catch (const UsageError& e) {
    note(job.input + ": " + e.what());
    return WorkerUsage;
  } catch (const std::exception& e) {
    std::string sentence = e.what();
    if (!sentence.empty() && sentence.back() != '.') sentence += '.';
    note(job.input + ": " + sentence);
  }
  return WorkerFailed;
}

// The workers running, for the signal handler to pass a signal on.
constexpr int maxWorkers = 256;
volatile pid_t workerPids[maxWorkers];
volatile std::sig_atomic_t batchSignal = 0;

extern "C" void onBatchSignal(int number) {
  batchSignal = number;
  for (int i = 0; i < maxWorkers; ++i) {
    if (workerPids[i] > 0) kill(workerPids[i], number);
  }
}

class BatchSignals {
 public:
  BatchSignals() {
    struct sigaction action {};
    action.sa_handler = onBatchSignal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < std::size(signals_); ++i) sigaction(signals_[i], &action, &previous_[i]);
  }
  ~BatchSignals() {
    for (size_t i = 0; i < std::size(signals_); ++i) sigaction(signals_[i], &previous_[i], nullptr);
  }
  BatchSignals(const BatchSignals&) = delete;
  BatchSignals& operator=(const BatchSignals&) = delete;

 private:
  const int signals_[3] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction previous_[3];
};

struct Tally {
  int processed = 0, skipped = 0, failed = 0, tooShort = 0, interrupted = 0, done = 0;
};

void count(Tally& tally, int waitStatus) {
  ++tally.done;
  const int code = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
  if (code == WorkerProcessed) {
    ++tally.processed;
  } else if (code == WorkerTooShort) {
    ++tally.tooShort;
  } else if (code > 128) {
    ++tally.interrupted;
  } else {
    ++tally.failed;
  }
}

// The frames of work a batch has: those of the inputs it will process
// (skipped ones cost nothing), and how far it is, the files that are
// running counted by what their workers publish.
class BatchWork {
 public:
  BatchWork(const std::vector<Job>& jobs, const std::vector<bool>& complete) {
    frames_.resize(jobs.size());
    for (size_t i = 0; i < jobs.size(); ++i) {
      int channels = 0;
      frames_[i] = complete[i] ? 0 : std::max<int64_t>(framesOf(jobs[i].input, channels), 0);
      total_ += double(frames_[i]);
    }
    // One word per worker slot, shared with the workers (they inherit it).
    void* shared = mmap(nullptr, sizeof(std::atomic<int64_t>) * maxWorkers, PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (shared != MAP_FAILED) published_ = new (shared) std::atomic<int64_t>[maxWorkers];
  }
  ~BatchWork() {
    if (published_ != nullptr) munmap(published_, sizeof(std::atomic<int64_t>) * maxWorkers);
  }
  BatchWork(const BatchWork&) = delete;
  BatchWork& operator=(const BatchWork&) = delete;

  // Called in the parent before the worker of `job` starts in `slot`, and
  // in the worker once it runs.
  void starting(int slot) {
    if (published_ != nullptr) published_[slot].store(0);
  }
  void inWorker(int slot) {
    if (published_ != nullptr) publishProgressTo(&published_[slot]);
  }
  void finished(size_t job) { finished_ += double(frames_[job]); }

  // The frames done: those of finished files and what the running ones
  // have published.
  double done(const std::map<pid_t, int>& running) const {
    double frames = finished_;
    if (published_ != nullptr) {
      for (const auto& [pid, slot] : running)
        frames += double(published_[slot].load(std::memory_order_relaxed));
    }
    return std::min(frames, total_);
  }
  double total() const { return total_; }

 private:
  std::vector<int64_t> frames_;
  double total_ = 0;
  double finished_ = 0;
  std::atomic<int64_t>* published_ = nullptr;
};

// Runs the jobs in up to `workers` processes at a time, one file each.
Tally runWorkers(const EffectRun& run, const std::vector<Job>& jobs, int workers) {
  Tally tally;
  const int total = static_cast<int>(jobs.size());
  std::vector<bool> complete(jobs.size());
  for (size_t i = 0; i < jobs.size(); ++i) complete[i] = alreadyComplete(jobs[i]);
  BatchWork work(jobs, complete);
  std::map<pid_t, int> running;  // pid -> slot in workerPids
  std::map<pid_t, size_t> jobOf;
  size_t next = 0;
  ProgressBar bar(run.effect, !run.quiet, run.progressInterval);
  const auto showProgress = [&] {
    bar.show(Progress{work.done(running), work.total(), tally.done, total});
  };
  showProgress();
  sigset_t batchSignals, unblocked;
  sigemptyset(&batchSignals);
  for (int number : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&batchSignals, number);
  // After a signal no worker starts; those running are waited for.
  while ((batchSignal == 0 && next < jobs.size()) || !running.empty()) {
    while (batchSignal == 0 && next < jobs.size() && int(running.size()) < workers) {
      const size_t index = next++;
      const Job& job = jobs[index];
      if (complete[index]) {
        ++tally.skipped;
        ++tally.done;
        continue;
      }
      std::fflush(nullptr);
      int slot = 0;
      while (workerPids[slot] != 0) ++slot;
      work.starting(slot);
      bar.setName(fs::path(job.input).filename().string());
      // No signal between the fork and the worker's slot: it would miss it.
      sigprocmask(SIG_BLOCK, &batchSignals, &unblocked);
      const pid_t pid = fork();
      if (pid == 0) {
        // A group of its own: the parent alone hears the terminal and
        // passes each signal on exactly once.
        setpgid(0, 0);
        for (int number : {SIGINT, SIGTERM, SIGHUP}) signal(number, SIG_DFL);
        work.inWorker(slot);
        const int status = processInWorker(run, job, unblocked);
        std::fflush(nullptr);
        _exit(status);
      }
      if (pid > 0) {
        workerPids[slot] = pid;
        running[pid] = slot;
        jobOf[pid] = index;
      }
      sigprocmask(SIG_SETMASK, &unblocked, nullptr);
      if (pid < 0) {
        throw vthost::HostError("No worker process could be started for " + job.input +
                                "; give fewer --jobs.");
      }
    }
    showProgress();
    if (running.empty()) continue;
    // Polled, so that the progress of the running files is shown as it
    // grows; a worker that ends is seen within 10 ms.
    int status = 0;
    const pid_t pid = waitpid(-1, &status, WNOHANG);
    const auto found = running.find(pid);
    if (pid <= 0 || found == running.end()) {
      usleep(10000);
      continue;
    }
    workerPids[found->second] = 0;
    running.erase(found);
    work.finished(jobOf[pid]);
    jobOf.erase(pid);
    count(tally, status);
  }
  showProgress();
  return tally;
}

}  // namespace

int runBatch(const EffectRun& run) {
  const std::vector<Job> jobs = jobsOf(run);
  if (run.list) {
    listJobs(jobs);
    return 0;
  }
  std::error_code error;
  fs::create_directories(run.outputDirectory, error);
  if (error || !fs::is_directory(run.outputDirectory)) {
    throw AudioError("cannot make the output directory '" + run.outputDirectory + "' (" +
                     (error ? error.message() : std::string("a file of that name is in the way")) +
                     "); give another directory");
  }
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const int workers = std::clamp(run.jobs > 0 ? run.jobs : int(cores), 1, maxWorkers);

  BatchSignals signals;
  const Tally tally = runWorkers(run, jobs, workers);
  const int total = static_cast<int>(jobs.size());
  const int notStarted = total - tally.done;
  const auto [processed, skipped, failed, tooShort, interrupted, done] = tally;
  (void)done;
  std::string summary = std::to_string(total) + (total == 1 ? " file: " : " files: ") +
                        std::to_string(processed) + " processed, " + std::to_string(skipped) +
                        " skipped (already complete), " + std::to_string(failed + tooShort) +
                        " failed";
  if (tooShort > 0) summary += " (" + std::to_string(tooShort) + " too short to process)";
  if (interrupted + notStarted > 0) {
    summary += ", " + std::to_string(interrupted + notStarted) +
               " not done (interrupted; run again to resume)";
  }
  if (!run.quiet) {
    std::printf("%s.\n", summary.c_str());
    std::fflush(stdout);
  }
  if (batchSignal != 0) return 128 + batchSignal;
  return failed + tooShort > 0 ? 1 : 0;
}

}  // namespace vortigen
