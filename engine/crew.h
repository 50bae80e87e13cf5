// The engine's helper threads: the items of a job (one frame each) are
// taken one at a time by whichever thread is free, the calling thread
// among them. No thread is given a fixed share, so a helper that the
// system leaves waiting for a core (the reading and writing threads want
// one too) holds up at most the item it has started, never half a job.
// Made with the engine and kept for its life, so that nothing is made or
// allocated per job.
#ifndef VORTIGEN_ENGINE_CREW_H
#define VORTIGEN_ENGINE_CREW_H

#include <cstdint>
#include <vector>

// MinGW's win32 thread model, which the Windows cross builds use, has no
// std::thread. There a crew runs every item on the calling thread in turn:
// the items of a job are independent, so the results are the same.
#if defined(__GLIBCXX__) && !defined(_GLIBCXX_HAS_GTHREADS)
#define VORTIGEN_ENGINE_CREW_THREADS 0
#else
#define VORTIGEN_ENGINE_CREW_THREADS 1
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

namespace vtengine {

class Crew {
 public:
  using Item = void (*)(void* context, int item);

  explicit Crew(int helpers);
  ~Crew();
  Crew(const Crew&) = delete;
  Crew& operator=(const Crew&) = delete;

  // Runs item(context, i) once for every i in 0 .. count - 1, on this
  // thread and the helpers; returns once every item is done.
  void run(Item item, void* context, int count);

 private:
#if VORTIGEN_ENGINE_CREW_THREADS
  void serve();
  // Takes and runs items of round `round` until none is left.
  void takeItems(uint32_t round, Item item, void* context, int count);

  std::mutex mutex_;
  std::condition_variable start_;
  Item item_ = nullptr;
  void* context_ = nullptr;
  int count_ = 0;
  uint32_t round_ = 0;
  bool quit_ = false;
  // The round in the high half, the next item to take in the low half:
  // a helper that wakes late cannot take an item of a later round.
  std::atomic<uint64_t> next_{0};
  std::atomic<int> done_{0};          // items of this round finished
  std::vector<std::thread> threads_;  // last: they start once the rest exists
#endif
};

}  // namespace vtengine

#endif
