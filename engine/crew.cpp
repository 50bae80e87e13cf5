// The engine's helper threads (crew.h): a round per run(), its items taken
// one by one from a shared counter; the caller waits only for items other
// threads have started.
#include "crew.h"

namespace vtengine {

#if VORTIGEN_ENGINE_CREW_THREADS

Crew::Crew(int helpers) {
  for (int i = 0; i < helpers; ++i) threads_.emplace_back([this] { serve(); });
}

Crew::~Crew() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  start_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void Crew::run(Item item, void* context, int count) {
  uint32_t round = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    item_ = item;
    context_ = context;
    count_ = count;
    round = ++round_;
    done_.store(0, std::memory_order_relaxed);
    next_.store(uint64_t{round} << 32, std::memory_order_release);
  }
  start_.notify_all();
  takeItems(round, item, context, count);
  // What is left are items a helper has started: a frame's worth of work.
  while (done_.load(std::memory_order_acquire) < count) std::this_thread::yield();
}

void Crew::takeItems(uint32_t round, Item item, void* context, int count) {
  uint64_t next = next_.load(std::memory_order_acquire);
  for (;;) {
    if (uint32_t(next >> 32) != round || int(uint32_t(next)) >= count) return;
    if (next_.compare_exchange_weak(next, next + 1, std::memory_order_acq_rel)) {
      item(context, int(uint32_t(next)));
      done_.fetch_add(1, std::memory_order_release);
      next = next_.load(std::memory_order_acquire);
    }
  }
}

void Crew::serve() {
  uint32_t seen = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    start_.wait(lock, [&] { return quit_ || round_ != seen; });
    if (quit_) return;
    seen = round_;
    const Item item = item_;
    void* context = context_;
    const int count = count_;
    lock.unlock();
    takeItems(seen, item, context, count);
    lock.lock();
  }
}

#else

Crew::Crew(int) {}

Crew::~Crew() = default;

void Crew::run(Item item, void* context, int count) {
  for (int i = 0; i < count; ++i) item(context, i);
}

#endif

}  // namespace vtengine
