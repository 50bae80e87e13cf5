// The effect command over many files: outputs of the same name in one
// directory, worker processes, resumption by skipping outputs whose
// completion record says this run made them, and deterministic shards of
// the input list for schedulers that spread one job over many machines.
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "output_guard.h"
#include "output_record.h"
#include "progress.h"
#include "shard.h"
#include "usage_error.h"
#include "vortigen_commands.h"
#include "vortigen_output.h"
#include "vortigen_plugins.h"

namespace vortigen {

namespace fs = std::filesystem;

namespace {

// Exit status of a worker for each way a file can end.
enum WorkerStatus {
  WorkerProcessed = 0,
  WorkerFailed = 1,
  WorkerUsage = 2,
  WorkerTooShort = 3,
  WorkerTruncated = 4
};

struct Job {
  std::string input;
  Destinations to;
  bool redo = false;  // an output of other settings is there
};

// --spectrogram in a batch names a directory (DIR/ or one that is there):
// each output gets its own picture there, NAME.png.
std::string spectrogramOf(const EffectRun& run, const std::string& name) {
  if (run.spectrogram.empty()) return "";
  return (fs::path(run.spectrogram) / (fs::path(name).stem().string() + ".png")).string();
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
    if (input == "-") {
      throw UsageError(
          "Standard input (-) cannot be one of a batch's inputs; give it as the INPUT "
          "of a single run.");
    }
    const std::string name = fs::path(input).filename().string();
    const std::string identity = fileIdentity(input);
    const auto [other, fresh] = byName.emplace(name, Given{input, identity});
    if (!fresh && other->second.identity != identity) {
      throw UsageError("The inputs " + other->second.input + " and " + input +
                       " would both be written to " +
                       (fs::path(run.outputDirectory) / name).string() +
                       "; rename one, or run them separately.");
    }
    if (!vtmedia::isWritableAudioPath(name)) {
      throw UsageError("The input " + input +
                       " has no extension the tool writes, so its output cannot keep the name; "
                       "give .wav, .aiff, .flac or .ogg files.");
    }
  }
  std::vector<Job> jobs;
  std::vector<std::string> inputs;
  for (const auto& [name, given] : byName) {
    inputs.push_back(given.input);
    if (inShard(name, shard)) {
      const std::string output = (fs::path(run.outputDirectory) / name).string();
      jobs.push_back({given.input, {output, spectrogramOf(run, name), "", ""}});
    }
  }
  // Every input of the command line, not only the shard's, is guarded.
  std::vector<Destination> destinations;
  for (const Job& job : jobs) {
    destinations.push_back({job.to.output, "the output"});
    if (!job.to.spectrogram.empty())
      destinations.push_back({job.to.spectrogram, "the spectrogram"});
  }
  refuseOverlaps(inputs, destinations, false);
  return jobs;
}

// The completion records the jobs' outputs would carry.
void setRecords(const EffectRun& run, const RunSettings& settings, std::vector<Job>& jobs) {
  if (jobs.empty()) return;
  const std::string key = settingsKey(run, settings, jobs[0].to.output);
  for (Job& job : jobs) job.to.record = completionRecord(key, job.input);
}

// What a run would do with each job, one line each, nothing processed:
// "process", "skip" (complete) or "redo" (an output that is not, or any
// with --force), a tab, the input, a tab, the output.
void listJobs(const EffectRun& run, const std::vector<Job>& jobs) {
  for (const Job& job : jobs) {
    const OutputState state = outputState(job.input, job.to.output, job.to.record);
    const char* action = state == OutputState::Absent                   ? "process"
                         : state == OutputState::Complete && !run.force ? "skip"
                                                                        : "redo";
    std::printf("%s\t%s\t%s\n", action, job.input.c_str(), job.to.output.c_str());
  }
  std::fflush(stdout);
}

// In a new worker, with the batch's signals blocked: they reach the
// worker's own handlers once those are in place.
int processInWorker(const EffectRun& run, const RunSettings& settings, const Job& job,
                    const sigset_t& unblocked) {
  InterruptWatch interrupts;
  sigprocmask(SIG_SETMASK, &unblocked, nullptr);
  try {
    switch (processFile(run, settings, job.input, job.to, false)) {
      case Outcome::Processed: return WorkerProcessed;
      case Outcome::TooShort: return WorkerTooShort;
      case Outcome::Truncated: return WorkerTruncated;
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
  int processed = 0, redone = 0, skipped = 0, failed = 0, tooShort = 0, truncated = 0, died = 0,
      interrupted = 0, done = 0;
};

// A worker that the batch's own signal stopped was interrupted; one killed
// by anything else (the out-of-memory killer) died, which is a failure, and
// its temporary files are removed here, since it could not.
void count(Tally& tally, const Job& job, int waitStatus) {
  ++tally.done;
  const int code = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
  if (code == WorkerProcessed) {
    ++tally.processed;
    tally.redone += job.redo;
  } else if (code == WorkerTooShort) {
    ++tally.tooShort;
  } else if (code == WorkerTruncated) {
    ++tally.truncated;
    tally.redone += job.redo;
  } else if (code > 128 && batchSignal != 0) {
    ++tally.interrupted;
  } else if (WIFSIGNALED(waitStatus)) {
    ++tally.died;
    note(job.input + ": the worker processing it was killed (signal " +
         std::to_string(WTERMSIG(waitStatus)) + ", " + strsignal(WTERMSIG(waitStatus)) +
         "); nothing was written to " + job.to.output + ".");
    removeAbandonedTemporaries(job.to.output);
    if (!job.to.spectrogram.empty()) removeAbandonedTemporaries(job.to.spectrogram);
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
      frames_[i] = complete[i] ? 0 : std::max<int64_t>(soundFileFrames(jobs[i].input, channels), 0);
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

// SIGCHLD blocked while it lives, so that a worker's end stays pending
// until waited for, however soon after the check it comes.
class ChildSignal {
 public:
  ChildSignal() {
    sigemptyset(&child_);
    sigaddset(&child_, SIGCHLD);
    sigprocmask(SIG_BLOCK, &child_, &previous_);
  }
  ~ChildSignal() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }
  ChildSignal(const ChildSignal&) = delete;
  ChildSignal& operator=(const ChildSignal&) = delete;

  // Until a worker ends, a signal arrives or `milliseconds` pass.
  void waitUpTo(long milliseconds) const {
    const timespec timeout{milliseconds / 1000, milliseconds % 1000 * 1000000};
    sigtimedwait(&child_, nullptr, &timeout);
  }

 private:
  sigset_t child_;
  sigset_t previous_;
};

// Runs the jobs in up to `workers` processes at a time, one file each.
Tally runWorkers(const EffectRun& run, const RunSettings& settings, std::vector<Job>& jobs,
                 int workers) {
  Tally tally;
  const int total = static_cast<int>(jobs.size());
  const pid_t parent = getpid();
  std::vector<bool> complete(jobs.size());
  for (size_t i = 0; i < jobs.size(); ++i) {
    const OutputState state = outputState(jobs[i].input, jobs[i].to.output, jobs[i].to.record);
    complete[i] = state == OutputState::Complete && !run.force;
    jobs[i].redo = state == OutputState::ChangedSettings;
  }
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
  // The end of a worker is waited for as SIGCHLD, held pending while
  // blocked, so that the next file starts as soon as one ends.
  ChildSignal childSignal;
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
        // A worker stops with its parent, however the parent ends: its
        // SIGTERM reaches the worker's handler, which removes the temporary.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(WorkerFailed);
        work.inWorker(slot);
        sigset_t workerMask = unblocked;
        sigdelset(&workerMask, SIGCHLD);
        const int status = processInWorker(run, settings, job, workerMask);
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
    // A worker that ends is seen at once; between ends the progress of the
    // running files is shown as it grows, ten times a second.
    int status = 0;
    const pid_t pid = waitpid(-1, &status, WNOHANG);
    const auto found = running.find(pid);
    if (pid <= 0 || found == running.end()) {
      childSignal.waitUpTo(100);
      continue;
    }
    workerPids[found->second] = 0;
    running.erase(found);
    const size_t index = jobOf[pid];
    work.finished(index);
    jobOf.erase(pid);
    count(tally, jobs[index], status);
  }
  showProgress();
  return tally;
}

}  // namespace

int runBatch(const EffectRun& run, const RunSettings& settings) {
  std::vector<Job> jobs = jobsOf(run);
  setRecords(run, settings, jobs);
  if (run.list) {
    listJobs(run, jobs);
    return 0;
  }
  for (const std::string& directory : {run.outputDirectory, run.spectrogram}) {
    if (directory.empty()) continue;
    std::error_code error;
    fs::create_directories(directory, error);
    if (error || !fs::is_directory(directory)) {
      throw vtmedia::AudioError(
          "cannot make the directory '" + directory + "' (" +
          (error ? error.message() : std::string("a file of that name is in the way")) +
          "); give another directory");
    }
  }
  // Temporaries of earlier runs that were killed outright; those of a run
  // still writing are locked and stay.
  size_t abandoned = 0;
  for (const Job& job : jobs) {
    abandoned += removeAbandonedTemporaries(job.to.output).size();
    if (!job.to.spectrogram.empty())
      abandoned += removeAbandonedTemporaries(job.to.spectrogram).size();
  }
  if (abandoned > 0 && !run.quiet) {
    note("removed " + std::to_string(abandoned) + " temporary " +
         (abandoned == 1 ? "file" : "files") + " that an earlier, killed run left in " +
         run.outputDirectory + ".");
  }
  if (settings.label.empty() && !run.quiet) noteNearTransparent();
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const int workers = std::clamp(run.jobs > 0 ? run.jobs : int(cores), 1, maxWorkers);

  // The plug-in loaded here, once, so that each worker finds it in place
  // instead of loading and linking it again. Its settings were read through
  // its dialog and it was unloaded since, so this load is as fresh as a
  // worker's own. A plug-in that cannot be loaded is each worker's to
  // report, for the files that need it.
  std::unique_ptr<vthost::PluginLibrary> loaded;
  try {
    loaded = std::make_unique<vthost::PluginLibrary>(pluginPath(run.effect, run.pluginDirectory));
  } catch (const std::exception&) {
  }

  BatchSignals signals;
  const Tally tally = runWorkers(run, settings, jobs, workers);
  const int total = static_cast<int>(jobs.size());
  const int notStarted = total - tally.done;
  const int failed = tally.failed + tally.tooShort + tally.truncated + tally.died;
  std::string summary = std::to_string(total) + (total == 1 ? " file: " : " files: ") +
                        std::to_string(tally.processed) + " processed";
  if (tally.redone > 0)
    summary += " (" + std::to_string(tally.redone) + " redone for changed settings)";
  summary += ", " + std::to_string(tally.skipped) + " skipped (already complete), " +
             std::to_string(failed) + " failed";
  std::vector<std::string> why;
  if (tally.tooShort > 0) why.push_back(std::to_string(tally.tooShort) + " too short to process");
  if (tally.truncated > 0)
    why.push_back(std::to_string(tally.truncated) + " truncated, written incomplete");
  if (tally.died > 0) why.push_back(std::to_string(tally.died) + " killed");
  for (size_t i = 0; i < why.size(); ++i) summary += (i == 0 ? " (" : ", ") + why[i];
  if (!why.empty()) summary += ")";
  if (tally.interrupted + notStarted > 0) {
    summary += ", " + std::to_string(tally.interrupted + notStarted) +
               " not done (interrupted; run again to resume)";
  }
  if (!run.quiet) {
    std::printf("%s.\n", summary.c_str());
    std::fflush(stdout);
  }
  if (batchSignal != 0) return 128 + batchSignal;
  return failed > 0 || tally.interrupted + notStarted > 0 ? 1 : 0;
}

}  // namespace vortigen
