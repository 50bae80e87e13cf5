// run() and work_response() allocate and free nothing: this program
// replaces the C heap's entry points (C++'s operator new reaches them too)
// and counts the calls made while the test host is inside an audio-thread
// call, through every path the audio thread has: preset switches, bypass
// fades, patch:Set of a text and of a file, patch:Get, curves swapped in.
// Not built with the sanitizers, which replace the heap themselves.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "test_host.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* block, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* block);
}

namespace {
std::atomic<int> audioHeapCalls{0};

void count() {
  if (lv2test::inAudioThread()) audioHeapCalls.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

extern "C" {
void* malloc(std::size_t size) {
  count();
  return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) {
  count();
  return __libc_calloc(n, size);
}
void* realloc(void* block, std::size_t size) {
  count();
  return __libc_realloc(block, size);
}
void free(void* block) {
  if (block != nullptr) count();
  __libc_free(block);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
  count();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** block, std::size_t alignment, std::size_t size) {
  count();
  *block = __libc_memalign(alignment, size);
  return *block != nullptr ? 0 : ENOMEM;
}
}

namespace lv2test {
namespace {

TEST(AudioThread, TheHeapCounterSeesAnAllocationMadeThere) {
  audioHeapCalls = 0;
  inAudioThread() = true;
  void* volatile block = std::malloc(32);
  std::free(block);
  inAudioThread() = false;
  EXPECT_EQ(audioHeapCalls.load(), 2) << "the heap is not interposed; the next test proves nothing";
}

TEST(AudioThread, RunAndWorkResponseNeitherAllocateNorFree) {
  const auto file = std::filesystem::temp_directory_path() / "vortigen-lv2-noalloc.txt";
  std::ofstream(file) << "From a file,3,2,0,9000,16384,9000,2,0,4000,16384,4000,2,0,0,16384,8000\n";
  World world;
  for (const char* uri : {dynamicUri, fourierMonoUri}) {
    Instance plugin(world, uri, 48000);
    const bool dynamic = std::string(uri) == dynamicUri;
    const std::string text =
        dynamic ? "Mine,3,2,0,12000,16384,3000,2,0,2000,16384,9000,2,0,0,16384,5000"
                : "Mine,3,3,0,0,6000,14000,16384,16384";
    audioHeapCalls = 0;
    for (int cycle = 0; cycle < 400; ++cycle) {
      if (cycle % 50 == 10) plugin.setControl("preset", static_cast<float>(cycle / 50 % 6));
      if (cycle % 80 == 40) plugin.setControl("enabled", cycle % 160 == 40 ? 0.0f : 1.0f);
      if (cycle == 100) plugin.patchSetText(text);
      if (cycle == 150 && dynamic) plugin.patchSetFile(file.string());
      if (cycle == 151) plugin.patchSetText("Broken,3,1");
      if (cycle % 60 == 0) plugin.patchGet();
      plugin.cycle(cycle % 7 == 0 ? 1 : 64);
    }
    EXPECT_EQ(audioHeapCalls.load(), 0) << uri;
    EXPECT_EQ(
        plugin.notified().at(presetTextUri),
        dynamic ? "From a file,3,2,0,9000,16384,9000,2,0,4000,16384,4000,2,0,0,16384,8000" : text)
        << "the custom curves did not arrive, so their path was not exercised";
  }
  std::filesystem::remove(file);
}

}  // namespace
}  // namespace lv2test
