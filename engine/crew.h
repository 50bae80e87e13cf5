// The engine's helper threads: each takes a share of a job while the
// calling thread takes its own. Made with the engine and kept for its
// life, so that nothing is made or allocated per job.
#ifndef VORTIGEN_ENGINE_CREW_H
#define VORTIGEN_ENGINE_CREW_H

#include <cstdint>
#include <vector>

// MinGW's win32 thread model, which the Windows cross builds use, has no
// std::thread. There a crew runs every part on the calling thread in turn:
// the parts of a job are independent, so the results are the same.
#if defined(__GLIBCXX__) && !defined(_GLIBCXX_HAS_GTHREADS)
#define VORTIGEN_ENGINE_CREW_THREADS 0
#else
#define VORTIGEN_ENGINE_CREW_THREADS 1
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace vtengine {

class Crew {
 public:
  using Job = void (*)(void* context, int part, int parts);

  explicit Crew(int helpers);
  ~Crew();
  Crew(const Crew&) = delete;
  Crew& operator=(const Crew&) = delete;

  // Runs every part of the job, part 0 on the calling thread; returns once
  // all are done.
  void run(Job job, void* context);

 private:
  void serve(int part);

  const int parts_;
#if VORTIGEN_ENGINE_CREW_THREADS
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable done_;
  Job job_ = nullptr;
  void* context_ = nullptr;
  uint64_t round_ = 0;
  int busy_ = 0;
  bool quit_ = false;
  std::vector<std::thread> threads_;  // last: they start once the rest exists
#endif
};

}  // namespace vtengine

#endif
