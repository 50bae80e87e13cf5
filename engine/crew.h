// The engine's helper threads: each takes a share of a job while the
// calling thread takes its own. Made with the engine and kept for its
// life, so that nothing is made or allocated per job.
#ifndef VORTIGEN_ENGINE_CREW_H
#define VORTIGEN_ENGINE_CREW_H

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

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
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable done_;
  Job job_ = nullptr;
  void* context_ = nullptr;
  uint64_t round_ = 0;
  int busy_ = 0;
  bool quit_ = false;
  std::vector<std::thread> threads_;  // last: they start once the rest exists
};

}  // namespace vtengine

#endif
