// The reference host's hooks for a front end: the progress handler and a
// cancel request arriving while the plug-in streams.
#include <gtest/gtest.h>

#include <vector>

#include "plugins.h"

namespace {

vthost::WaveFormat stereo44k() { return vthost::WaveFormat{2, 16, 44100}; }

std::vector<uint8_t> music(int frames) {
  return support::pcm16Of(support::musicLike(frames, 2, 8000.0));
}

TEST(HostHooks, ProgressHandlerHearsEveryReportWithItsNumbers) {
  plugins::Instance instance(plugins::dynamic(), stereo44k(), music(40 * 512));
  std::vector<std::pair<long, long>> heard;
  instance.host.setProgressHandler([&](long done, long total) { heard.emplace_back(done, total); });
  EXPECT_EQ(instance.host.process(), 0);
  const auto reports = instance.host.callsOf(vthost::Service::ReportProgress);
  ASSERT_EQ(heard.size(), reports.size());
  ASSERT_FALSE(heard.empty());
  for (size_t i = 0; i < heard.size(); ++i) {
    EXPECT_EQ(heard[i].first, reports[i].args[0]);
    EXPECT_EQ(heard[i].second, reports[i].args[1]);
  }
}

TEST(HostHooks, CancelRequestedDuringStreamingStopsAfterThatPass) {
  // Requested from the first progress report (after pass 9), as a signal
  // handler would: passes 1..9 write blocks 0..8, Finish writes block 9,
  // and the rest stays untouched.
  const std::vector<uint8_t> input = music(40 * 512);
  plugins::Instance instance(plugins::fourier(), stereo44k(), input,
                             "Only 1,3,3,0,0,16065,0,16384,16384");
  instance.host.setProgressHandler([&](long, long) { instance.host.requestCancel(); });
  EXPECT_EQ(instance.host.process(), 0);
  const auto writes = instance.host.callsOf(vthost::Service::WriteData);
  ASSERT_EQ(writes.size(), 10u);
  const size_t written = 10 * 512 * 4;
  EXPECT_EQ(writes.back().args[0] + writes.back().args[1], long(written));
  const auto& output = instance.host.waveform();
  EXPECT_TRUE(std::equal(input.begin() + written, input.end(), output.begin() + written));
  EXPECT_EQ(instance.host.callsOf(vthost::Service::EndProgress).size(), 1u);
}

TEST(HostHooks, ProcessClearsAnEarlierCancelRequest) {
  plugins::Instance instance(plugins::dynamic(), stereo44k(), music(20 * 512));
  instance.host.requestCancel();
  EXPECT_EQ(instance.host.process(), 0);
  EXPECT_EQ(instance.host.callsOf(vthost::Service::WriteData).size(), 20u);
}

}  // namespace

namespace {

// A waveform kept outside the host: in memory here, with a byte position
// from which it refuses to store anything.
class RefusingStore : public vthost::WaveformStore {
 public:
  RefusingStore(std::vector<uint8_t> bytes, uint64_t refuseFrom)
      : bytes_(std::move(bytes)), refuseFrom_(refuseFrom) {}
  uint64_t size() const override { return bytes_.size(); }
  bool read(void* buffer, uint64_t position, size_t count, std::string&) override {
    std::copy_n(bytes_.begin() + long(position), count, static_cast<uint8_t*>(buffer));
    return true;
  }
  bool write(const void* buffer, uint64_t position, size_t count, std::string& why) override {
    if (position + count > refuseFrom_) {
      why = "the disk is full";
      return false;
    }
    std::copy_n(static_cast<const uint8_t*>(buffer), count, bytes_.begin() + long(position));
    return true;
  }
  std::vector<uint8_t> bytes_;
  uint64_t refuseFrom_;
};

TEST(HostHooks, AStoreServesThePlugInAsTheInMemoryWaveformDoesAndItsRefusalsAreRecorded) {
  const std::vector<uint8_t> input = music(30 * 512);
  plugins::Instance inMemory(plugins::dynamic(), stereo44k(), input);
  ASSERT_EQ(inMemory.host.process(300, 30 * 512 - 300), 0);

  RefusingStore store(input, UINT64_MAX);
  vthost::EffectHost host(plugins::dynamic(), stereo44k(), store);
  ASSERT_EQ(host.init(), 1);
  ASSERT_EQ(host.process(300, 30 * 512 - 300), 0);
  EXPECT_TRUE(store.bytes_ == inMemory.host.waveform());
  EXPECT_TRUE(host.errors().empty());

  RefusingStore full(input, 10 * 512 * 4);
  vthost::EffectHost refused(plugins::dynamic(), stereo44k(), full);
  ASSERT_EQ(refused.init(), 1);
  refused.process();
  ASSERT_FALSE(refused.errors().empty());
  EXPECT_EQ(refused.errors().front(), "the disk is full");
  refused.destroy();
  host.destroy();
}

}  // namespace
