// Eight instances on four threads at once, as a host with a multi-threaded
// audio graph runs them, while the main thread instantiates more at a rate
// whose FFT tables do not exist yet. Each instance must compute exactly
// what it computes alone. Run under ThreadSanitizer by scripts/test.sh,
// which reports any data race in the plug-in, the engine or the kernel.
#include <gtest/gtest.h>

#include <barrier>
#include <memory>
#include <string_view>
#include <thread>

#include "test_host.h"

namespace lv2test {
namespace {

struct Scene {
  const char* uri;
  double rate;
  float preset;
};

bool isDynamic(const Scene& s) {
  return std::string_view(s.uri).find("dynamic") != std::string_view::npos;
}

const Scene setups[] = {
    {dynamicUri, 44100, 9},     {fourierUri, 48000, 2},     {dynamicMonoUri, 22050, 12},
    {fourierMonoUri, 96000, 5}, {dynamicUri, 96000, 3},     {fourierUri, 22050, 6},
    {dynamicMonoUri, 48000, 0}, {fourierMonoUri, 44100, 1},
};

constexpr const char* dynamicText =
    "Mine,3,2,0,12000,16384,3000,2,0,2000,16384,9000,2,0,0,16384,5000";

// What one instance goes through: blocks of 64 frames, a bypass fade, a
// custom curve text and a preset change half-way.
Channels drive(Instance& plugin, const Channels& input, bool dynamic) {
  Channels output(input.size(), std::vector<float>(input[0].size()));
  const std::vector<float*> in = plugin.inputs(), out = plugin.outputs();
  for (std::size_t start = 0, block = 0; start < input[0].size(); start += 64, ++block) {
    if (block == 20) plugin.setControl("enabled", 0);
    if (block == 40) plugin.setControl("enabled", 1);
    if (block == 60 && dynamic) plugin.patchSetText(dynamicText);
    if (block == 90) plugin.setControl("preset", 4);
    const std::size_t n = std::min<std::size_t>(64, input[0].size() - start);
    for (std::size_t c = 0; c < input.size(); ++c) std::copy_n(input[c].data() + start, n, in[c]);
    plugin.cycle(static_cast<std::uint32_t>(n));
    for (std::size_t c = 0; c < input.size(); ++c) std::copy_n(out[c], n, output[c].data() + start);
  }
  return output;
}

TEST(Threads, EightInstancesOnFourThreadsComputeWhatEachComputesAlone) {
  World world;
  std::vector<Channels> inputs, alone;
  std::vector<std::unique_ptr<Instance>> instances;
  for (const Scene& s : setups) {
    Instance reference(world, s.uri, s.rate);
    reference.setControl("preset", s.preset);
    inputs.push_back(testSignal(s.rate, reference.channels(), 0.25));
    alone.push_back(drive(reference, inputs.back(), isDynamic(s)));
    instances.push_back(std::make_unique<Instance>(world, s.uri, s.rate));
    instances.back()->setControl("preset", s.preset);
  }

  std::vector<Channels> together(std::size(setups));
  std::barrier start(5);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      for (int k = t; k < 8; k += 4) {
        together[k] = drive(*instances[k], inputs[k], isDynamic(setups[k]));
      }
    });
  }
  // Meanwhile a new instance at 16000 Hz (256-point frames, tables not yet
  // built by anyone) is instantiated and run here.
  start.arrive_and_wait();
  Instance late(world, fourierUri, 16000);
  late.setControl("preset", 3);
  const Channels lateInput = testSignal(16000, 2, 0.25);
  const Channels lateOutput = drive(late, lateInput, false);
  for (auto& thread : threads) thread.join();

  for (std::size_t k = 0; k < std::size(setups); ++k) {
    EXPECT_EQ(together[k], alone[k]) << setups[k].uri << " at " << setups[k].rate;
  }
  Instance lateAlone(world, fourierUri, 16000);
  lateAlone.setControl("preset", 3);
  EXPECT_EQ(lateOutput, drive(lateAlone, lateInput, false));
}

// Two instances created at the same moment on two threads, at a rate whose
// FFT tables nobody has built: both build them, one table is kept, and
// both compute the same. Called through the descriptor, as a host that
// instantiates off its main thread does.
TEST(Threads, TwoInstancesCreatedAtOnceShareTheTablesTheyBuild) {
  World world;
  Instance first(world, fourierMonoUri, 44100);
  const LV2_Descriptor* descriptor = first.descriptor();
  const Channels input = testSignal(11025, 1, 0.2);
  std::vector<float> outputs[2];
  std::barrier start(2);
  auto body = [&](int t) {
    start.arrive_and_wait();
    LV2_Handle handle = descriptor->instantiate(descriptor, 11025, VORTIGEN_LV2_BUNDLE, nullptr);
    ASSERT_NE(handle, nullptr);
    float preset = 4, enabled = 1, latency = 0;
    std::vector<float> in(input[0]), out(in.size());
    descriptor->connect_port(handle, 0, &preset);
    descriptor->connect_port(handle, 1, &enabled);
    descriptor->connect_port(handle, 2, &latency);
    descriptor->connect_port(handle, 3, nullptr);
    descriptor->connect_port(handle, 4, nullptr);
    descriptor->activate(handle);
    for (std::size_t at = 0; at < in.size(); at += 64) {
      const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(64, in.size() - at));
      descriptor->connect_port(handle, 5, in.data() + at);
      descriptor->connect_port(handle, 6, out.data() + at);
      descriptor->run(handle, n);
    }
    descriptor->cleanup(handle);
    outputs[t] = out;
  };
  std::thread other(body, 1);
  body(0);
  other.join();
  EXPECT_EQ(outputs[0], outputs[1]);
}

}  // namespace
}  // namespace lv2test
