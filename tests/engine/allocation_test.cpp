// No allocation while streaming: process, finish, reset and useCurves are
// watched by replacements of operator new and of malloc and its relatives,
// which count every call while a watch is on. The kernel allocates with
// malloc, the engine with operator new; both are caught. Sanitizer builds
// own the allocator themselves, so there the count is skipped; the normal
// build runs it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "engine_support.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define ENGINE_TEST_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define ENGINE_TEST_SANITIZED 1
#endif
#endif

namespace {

std::atomic<bool> watching{false};
std::atomic<long> allocations{0};

[[maybe_unused]] void noteAllocation() {
  if (watching.load(std::memory_order_relaxed)) allocations.fetch_add(1);
}

}  // namespace

#if !defined(ENGINE_TEST_SANITIZED) && defined(__GLIBC__)
#define ENGINE_TEST_COUNTS 1
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);

void* malloc(size_t size) {
  noteAllocation();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) {
  noteAllocation();
  return __libc_calloc(count, size);
}
void* realloc(void* block, size_t size) {
  noteAllocation();
  return __libc_realloc(block, size);
}
void* aligned_alloc(size_t alignment, size_t size) {
  noteAllocation();
  return __libc_memalign(alignment, size);
}
void* memalign(size_t alignment, size_t size) {
  noteAllocation();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** block, size_t alignment, size_t size) {
  noteAllocation();
  *block = __libc_memalign(alignment, size);
  return *block == nullptr ? 12 /* ENOMEM */ : 0;
}
void free(void* block) { __libc_free(block); }
}

// Blocks for operator new, not counted a second time as a malloc.
static void* uncountedAllocate(size_t size, size_t alignment) {
  return __libc_memalign(alignment, size);
}

void* operator new(size_t size) {
  noteAllocation();
  const size_t alignment = alignof(std::max_align_t);
  if (void* block = uncountedAllocate(size == 0 ? 1 : size, alignment)) return block;
  throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void* operator new(size_t size, std::align_val_t alignment) {
  noteAllocation();
  if (void* block = uncountedAllocate(size == 0 ? 1 : size, static_cast<size_t>(alignment))) {
    return block;
  }
  throw std::bad_alloc();
}
void* operator new[](size_t size, std::align_val_t alignment) {
  return operator new(size, alignment);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t, std::align_val_t) noexcept { std::free(block); }

#endif  // ENGINE_TEST_COUNTS

namespace {

using vtengine::Effect;

// Counts the allocations made while it lives.
class AllocationWatch {
 public:
  AllocationWatch() {
    allocations = 0;
    watching = true;
  }
  ~AllocationWatch() { watching = false; }
  long count() const { return allocations.load(); }
};

#ifndef ENGINE_TEST_COUNTS
#define SKIP_UNLESS_COUNTING() GTEST_SKIP() << "allocations are counted in the normal build only"
#else
#define SKIP_UNLESS_COUNTING() (void)0
#endif

TEST(EngineAllocation, TheWatchSeesAllocations) {
  SKIP_UNLESS_COUNTING();
  long seen = 0;
  {
    AllocationWatch watch;
    delete new int(1);
    std::free(std::malloc(16));
    seen = watch.count();
  }
  EXPECT_EQ(seen, 2);
}

// Every effect, mono, stereo and five channels, every frame length, block
// lengths that end inside and on block boundaries; on one thread and with
// helper threads, which are handed frames without anything being made.
TEST(EngineAllocation, StreamingAllocatesNothing) {
  SKIP_UNLESS_COUNTING();
  for (Effect effect : {Effect::Dynamic, Effect::Fourier}) {
    for (int channels : {1, 2, 5}) {
      for (double rate : {11025.0, 22050.0, 44100.0}) {
        for (int threads : {1, 2}) {
          SCOPED_TRACE(std::to_string(channels) + " channels at " + std::to_string(rate) + " Hz, " +
                       std::to_string(threads) + " threads");
          vtengine::EngineSettings settings;
          settings.threads = threads;
          settings.effect = effect;
          settings.channels = channels;
          settings.sampleRate = rate;
          settings.curves =
              vtengine::parsePreset(vtengine::effectInfo(effect).builtInPresets.back().text).curves;
          vtengine::Engine engine(settings);
          const enginetest::Planar input = enginetest::silence(channels, 5000);
          enginetest::Planar output = enginetest::silence(channels, 5000);
          std::vector<const float*> in;
          std::vector<float*> out;
          for (int c = 0; c < channels; ++c) {
            in.push_back(input[c].data());
            out.push_back(output[c].data());
          }
          auto fresh = vtengine::prepareCurves(effect, vtengine::effectInfo(effect).initialCurves);

          AllocationWatch watch;
          for (size_t block : {1, 700, 4096}) engine.process(in.data(), out.data(), block);
          engine.useCurves(fresh);
          engine.process(in.data(), out.data(), 3000);
          engine.finish(out.data());
          engine.process(in.data(), out.data(), 100);
          engine.reset();
          engine.process(in.data(), out.data(), 5000);
          EXPECT_EQ(watch.count(), 0);
        }
      }
    }
  }
}

}  // namespace
