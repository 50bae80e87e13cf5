// The engine's helper threads (crew.h): one round of a job per run(), each
// helper woken for it and counted back in.
#include "crew.h"

namespace vtengine {

#if VORTIGEN_ENGINE_CREW_THREADS

Crew::Crew(int helpers) : parts_(helpers + 1) {
  for (int part = 1; part <= helpers; ++part) threads_.emplace_back([this, part] { serve(part); });
}

Crew::~Crew() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  start_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

void Crew::run(Job job, void* context) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    job_ = job;
    context_ = context;
    busy_ = parts_ - 1;
    ++round_;
  }
  start_.notify_all();
  job(context, 0, parts_);
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return busy_ == 0; });
}

void Crew::serve(int part) {
  uint64_t seen = 0;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    start_.wait(lock, [&] { return quit_ || round_ != seen; });
    if (quit_) return;
    seen = round_;
    const Job job = job_;
    void* context = context_;
    lock.unlock();
    job(context, part, parts_);
    lock.lock();
    if (--busy_ == 0) done_.notify_one();
  }
}

#else

Crew::Crew(int helpers) : parts_(helpers + 1) {}

Crew::~Crew() = default;

void Crew::run(Job job, void* context) {
  for (int part = 0; part < parts_; ++part) job(context, part, parts_);
}

void Crew::serve(int) {}

#endif

}  // namespace vtengine
