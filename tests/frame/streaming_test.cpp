// The streaming skeleton of XfmDo, driven through the reference host with
// the probe plug-in, whose stage leaves, silences or scales each frame.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "host_support.h"
#include "probe_control.h"
#include "vthost.h"

namespace {

using support::bytesOf16;
using support::samplesOf16;
using vthost::EffectHost;
using vthost::HostCall;
using vthost::HostOptions;
using vthost::PluginLibrary;
using vthost::Service;
using vthost::WaveFormat;

struct Probe {
  PluginLibrary library{VORTIGEN_PROBE_PLUGIN};
  ProbeConfigure configure = symbol<ProbeConfigure>("probeConfigure");
  ProbeStatsOf statsOf = symbol<ProbeStatsOf>("probeStats");
  ProbeLastFrame lastFrameOf = symbol<ProbeLastFrame>("probeLastFrame");

  template <typename F>
  F symbol(const char* name) {
    void* address = dlsym(library.module(), name);
    if (address == nullptr) throw std::runtime_error(std::string("probe lacks ") + name);
    return reinterpret_cast<F>(address);
  }
  ProbeStats stats() {
    ProbeStats s{};
    statsOf(&s);
    return s;
  }
  std::vector<float> lastFrame(int channel, int n) {
    std::vector<float> frame(n);
    lastFrameOf(channel, frame.data(), n);
    return frame;
  }
};

Probe& probe() {
  static Probe instance;
  return instance;
}

// At 11025 Hz N = 256 and H = 128: short selections still span many passes.
const int H = 128;

WaveFormat format(WORD channels, WORD bits, LONG rate = 11025) { return {channels, bits, rate}; }

// A probe instance over a waveform, initialised, with an empty call log.
struct Instance {
  EffectHost host;
  Instance(WaveFormat f, std::vector<uint8_t> waveform, ProbeMode mode = ProbeMode::Identity,
           float gain = 1.0f, HostOptions options = {})
      : host(probe().library, f, std::move(waveform), options) {
    probe().configure(mode, gain);
    EXPECT_EQ(host.init(), 1);
    host.clearCalls();
  }
};

// Distinct 16-bit values, full scale at both ends included.
std::vector<int16_t> distinct16(int count) {
  std::vector<int16_t> v(count);
  for (int i = 0; i < count; ++i) v[i] = static_cast<int16_t>((i * 7919) % 60001 - 30000);
  if (count > 2) {
    v[1] = -32768;
    v[count / 2] = 32767;
  }
  return v;
}

std::vector<uint8_t> distinct8(int count) {
  std::vector<uint8_t> v(count);
  for (int i = 0; i < count; ++i) v[i] = static_cast<uint8_t>((i * 97 + 11) % 256);
  if (count > 2) {
    v[1] = 0;
    v[count / 2] = 255;
  }
  return v;
}

std::vector<std::string> described(const std::vector<HostCall>& calls) {
  std::vector<std::string> out;
  for (const HostCall& call : calls) out.push_back(vthost::describe(call));
  return out;
}

std::vector<std::string> streamingCalls(const EffectHost& host) {
  std::vector<std::string> out;
  for (const HostCall& call : host.calls()) {
    if (call.service == Service::ReadData || call.service == Service::WriteData) {
      out.push_back(vthost::describe(call));
    }
  }
  return out;
}

// ---- Call order ------------------------------------------------------------------

TEST(StreamingCallOrder, ShortSelectionMakesExactlyTheseHostCalls) {
  // Frames 3 .. 3 + 4H + 49 of a 16-bit mono waveform: four whole blocks
  // of 256 bytes and a last block of 50 frames (100 bytes).
  Instance probeAt(format(1, 16), bytesOf16(distinct16(4 * H + 80)));
  EXPECT_EQ(probeAt.host.process(3, 3 + 4 * H + 49), 0);
  const std::vector<std::string> expected = {
      "getCurveValue(1, 0.5)", "setProgressText(0, \"Processing Selection\")",
      "readData(6, 256)",      "readData(262, 256)",
      "writeData(6, 256)",     "readData(518, 256)",
      "writeData(262, 256)",   "readData(774, 256)",
      "writeData(518, 256)",   "readData(1030, 100)",
      "writeData(774, 256)",   "writeData(1030, 100)",
      "endProgress()"};
  EXPECT_EQ(described(probeAt.host.calls()), expected);
  EXPECT_TRUE(probeAt.host.errors().empty());
}

TEST(StreamingCallOrder, ProgressFollowsPassesNineEighteenAndTwentySeven) {
  const int blocks = 30;  // 29 passes
  Instance probeAt(format(1, 16), bytesOf16(distinct16(blocks * H)));
  ASSERT_EQ(probeAt.host.process(), 0);
  const long total = blocks * H * 2;
  std::vector<std::string> progress;
  int writes = 0;
  for (const HostCall& call : probeAt.host.calls()) {
    if (call.service == Service::WriteData) ++writes;
    if (call.service == Service::ReportProgress) {
      progress.push_back("after write " + std::to_string(writes) + ": " + vthost::describe(call));
    }
  }
  const std::vector<std::string> expected = {
      "after write 9: reportProgress(" + std::to_string(10 * H * 2) + ", " + std::to_string(total) +
          ")",
      "after write 18: reportProgress(" + std::to_string(19 * H * 2) + ", " +
          std::to_string(total) + ")",
      "after write 27: reportProgress(" + std::to_string(28 * H * 2) + ", " +
          std::to_string(total) + ")"};
  EXPECT_EQ(progress, expected);
}

TEST(StreamingCallOrder, ReadsAndWritesCoverTheSelectionOnceWritingOneBlockBehind) {
  struct Case {
    const char* name;
    WaveFormat format;
    LONG first, last;
  };
  const Case cases[] = {
      {"stereo 8-bit, partial last block", format(2, 8), 17, 17 + 11 * H + 5},
      {"mono 16-bit, whole blocks", format(1, 16, 44100), 0, 6 * 512 - 1},
      {"stereo 16-bit at 22050 Hz", format(2, 16, 22050), 1000, 1000 + 7 * 256 + 255},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int align = c.format.blockAlign();
    Instance probeAt(c.format, std::vector<uint8_t>((c.last + 40) * align, 0x80));
    ASSERT_EQ(probeAt.host.process(c.first, c.last), 0);
    long nextRead = c.first * align, nextWrite = c.first * align;
    int reads = 0, writes = 0;
    for (const HostCall& call : probeAt.host.calls()) {
      if (call.service == Service::ReadData) {
        EXPECT_EQ(call.args[0], nextRead) << "read " << reads << " is not the next stretch";
        nextRead += call.args[1];
        ++reads;
      } else if (call.service == Service::WriteData) {
        EXPECT_EQ(call.args[0], nextWrite) << "write " << writes << " is not the next stretch";
        nextWrite += call.args[1];
        ++writes;
        if (nextWrite < (c.last + 1) * align) {
          EXPECT_EQ(reads, writes + 1) << "write " << writes << " does not lag one block behind";
        }
      }
    }
    EXPECT_EQ(nextRead, (c.last + 1) * align) << "reads do not end with the selection";
    EXPECT_EQ(nextWrite, (c.last + 1) * align) << "writes do not end with the selection";
    EXPECT_EQ(reads, writes);
    EXPECT_TRUE(probeAt.host.errors().empty());
  }
}

TEST(StreamingCallOrder, FrameLengthFollowsTheSampleRate) {
  struct Case {
    LONG rate;
    int n;
  };
  const Case cases[] = {{96000, 1024}, {44100, 1024}, {44099, 512},
                        {22050, 512},  {22049, 256},  {8000, 256}};
  for (const Case& c : cases) {
    SCOPED_TRACE("sample rate " + std::to_string(c.rate));
    Instance probeAt(format(2, 16, c.rate), std::vector<uint8_t>(4 * 1024 * 4));
    ASSERT_EQ(probeAt.host.process(), 0);
    EXPECT_EQ(probe().stats().n, c.n);
    EXPECT_EQ(probeAt.host.callsOf(Service::ReadData).front().args[1], c.n / 2 * 4)
        << "a block is not H sample frames";
  }
}

// ---- Selections at the edges ------------------------------------------------------

TEST(StreamingSelection, SelectionOfAtMostHFramesGoesBackUnchanged) {
  for (int frames : {1, H / 2, H}) {
    SCOPED_TRACE(std::to_string(frames) + " frames");
    const std::vector<uint8_t> before = bytesOf16(distinct16(H + 20));
    Instance probeAt(format(1, 16), before, ProbeMode::Silence);
    ASSERT_EQ(probeAt.host.process(5, 5 + frames - 1), 0);
    const std::string stretch = "(10, " + std::to_string(frames * 2) + ")";
    EXPECT_EQ(streamingCalls(probeAt.host),
              (std::vector<std::string>{"readData" + stretch, "writeData" + stretch}));
    EXPECT_EQ(probeAt.host.waveform(), before) << "a block that was never framed changed";
    EXPECT_EQ(probe().stats().transforms, 0);
    EXPECT_EQ(probeAt.host.callsOf(Service::EndProgress).size(), 1u);
  }
}

TEST(StreamingSelection, HPlusOneFramesMakeOnePassAndAOneFrameFinish) {
  const std::vector<int16_t> input = distinct16(H + 1);
  Instance probeAt(format(1, 16), bytesOf16(input));
  ASSERT_EQ(probeAt.host.process(), 0);
  EXPECT_EQ(streamingCalls(probeAt.host),
            (std::vector<std::string>{"readData(0, 256)", "readData(256, 2)", "writeData(0, 256)",
                                      "writeData(256, 2)"}));
  EXPECT_EQ(probe().stats().transforms, 1);
  std::vector<int16_t> expected = input;
  std::replace(expected.begin(), expected.end(), int16_t{-32768}, int16_t{-32767});
  EXPECT_EQ(samplesOf16(probeAt.host.waveform()), expected);
}

// The last block's buffer held an older block; what the read leaves of it
// must be silence, and nothing past the selection may be written.
TEST(StreamingSelection, ShortLastBlockIsPaddedWithSilenceAndWrittenWithItsOwnCount) {
  struct Case {
    const char* name;
    WaveFormat format;
  };
  for (const Case& c : {Case{"16-bit", format(1, 16)}, Case{"8-bit", format(1, 8)}}) {
    SCOPED_TRACE(c.name);
    const int selected = 2 * H + 10;
    const int align = c.format.blockAlign();
    std::vector<uint8_t> waveform(static_cast<size_t>(selected + 30) * align);
    for (size_t i = 0; i < waveform.size(); ++i) waveform[i] = static_cast<uint8_t>(0x31 + i % 7);
    Instance probeAt(c.format, waveform);
    ASSERT_EQ(probeAt.host.process(0, selected - 1), 0);

    const std::vector<float> frame = probe().lastFrame(0, 2 * H);
    for (int i = H + 10; i < 2 * H; ++i) {
      ASSERT_EQ(frame[i], 0.0f) << "sample " << i << " of the last frame is not silence";
    }
    EXPECT_NE(frame[H + 9], 0.0f) << "the last selected sample did not reach the frame";
    const auto writes = probeAt.host.callsOf(Service::WriteData);
    EXPECT_EQ(writes.back().args[1], 10 * align);
    EXPECT_TRUE(std::equal(waveform.begin() + selected * align, waveform.end(),
                           probeAt.host.waveform().begin() + selected * align))
        << "bytes after the selection changed";
  }
}

TEST(StreamingSelection, EmptyOrInvertedSelectionTouchesNothing) {
  for (auto [first, last] : {std::pair<LONG, LONG>{10, 9}, {10, -3}, {0, -1}}) {
    SCOPED_TRACE(std::to_string(first) + ".." + std::to_string(last));
    Instance probeAt(format(1, 16), bytesOf16(distinct16(4 * H)));
    support::MemoryWatch memory;
    EXPECT_EQ(probeAt.host.process(first, last), 0);
    EXPECT_TRUE(probeAt.host.calls().empty()) << vthost::describe(probeAt.host.calls().front());
    memory.expectNothingLeaked("after an empty selection");
  }
}

TEST(StreamingSelection, RecordsThatWouldMisreadTheWaveformAreRefusedBeforeAnything) {
  struct Case {
    const char* name;
    WaveFormat format;
    WORD blockAlign;
    LONG first, last;
  };
  const Case cases[] = {
      {"mono 16-bit claiming 4-byte frames", format(1, 16), 4, 0, 3 * H},
      {"stereo 16-bit claiming 2-byte frames", format(2, 16), 2, 0, 3 * H},
      {"stereo 8-bit claiming 1-byte frames", format(2, 8), 1, 0, 3 * H},
      {"zero-byte frames", format(1, 8), 0, 0, 3 * H},
      {"end byte beyond 32 bits", format(1, 16), 2, 0, 0x3FFFFFFF},
      {"start byte beyond 32 bits", format(2, 16), 4, 0x20000000, 0x20000001},
      {"negative first frame", format(1, 16), 2, -4, 3 * H},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Instance probeAt(c.format, std::vector<uint8_t>(4 * H * 4));
    support::MemoryWatch memory;
    probeAt.host.record().blockAlign = c.blockAlign;
    EXPECT_EQ(probeAt.host.process(c.first, c.last), 1);
    EXPECT_TRUE(probeAt.host.calls().empty()) << vthost::describe(probeAt.host.calls().front());
    memory.expectNothingLeaked("after a refused record");
  }
}

TEST(StreamingSelection, ReadsBeyondTheWaveformAreRefusedByTheHostNotFatal) {
  Instance probeAt(format(1, 16), bytesOf16(distinct16(3 * H)));
  EXPECT_EQ(probeAt.host.process(0, 5 * H), 0);
  EXPECT_FALSE(probeAt.host.errors().empty());
  EXPECT_NE(probeAt.host.errors().front().find("readData"), std::string::npos);
}

// ---- Samples: conversion, cross-fade, clipping ---------------------------------------------

TEST(StreamingSamples, UnchangedFramesReturnEvery16BitSampleExceptTheClippedMinimum) {
  for (WORD channels : {1, 2}) {
    SCOPED_TRACE(std::to_string(channels) + " channels");
    const std::vector<int16_t> input = distinct16((7 * H + 33) * channels);
    Instance probeAt(format(channels, 16), bytesOf16(input));
    ASSERT_EQ(probeAt.host.process(), 0);
    std::vector<int16_t> expected = input;
    std::replace(expected.begin(), expected.end(), int16_t{-32768}, int16_t{-32767});
    EXPECT_EQ(samplesOf16(probeAt.host.waveform()), expected);
  }
}

TEST(StreamingSamples, SilencedFramesLeaveOnlyTheFadedFirstBlock) {
  for (WORD bits : {8, 16}) {
    for (WORD channels : {1, 2}) {
      SCOPED_TRACE(std::to_string(channels) + " channels of " + std::to_string(bits) + " bits");
      const int frames = 5 * H + 17;
      std::vector<uint8_t> input;
      if (bits == 16) {
        input = bytesOf16(distinct16(frames * channels));
      } else {
        input = distinct8(frames * channels);
      }
      Instance probeAt(format(channels, bits), input, ProbeMode::Silence);
      ASSERT_EQ(probeAt.host.process(), 0);
      const std::vector<uint8_t>& output = probeAt.host.waveform();
      for (int t = 0; t < frames; ++t) {
        for (int ch = 0; ch < channels; ++ch) {
          const size_t i = static_cast<size_t>(t) * channels + ch;
          float expected = 0.0f;
          if (t < H) {
            const float fadeOut = static_cast<float>(H - 1 - t) / static_cast<float>(H - 1);
            const float x = bits == 16 ? samplesOf16(input)[i] : float(int(input[i]) - 128);
            expected = std::max(x * fadeOut, bits == 16 ? -32767.0f : -127.0f);
          }
          if (bits == 16) {
            ASSERT_EQ(samplesOf16(output)[i], static_cast<int16_t>(std::nearbyint(expected)))
                << "frame " << t << " channel " << ch;
          } else {
            ASSERT_EQ(output[i], static_cast<uint8_t>(static_cast<int>(expected + 128.0f)))
                << "frame " << t << " channel " << ch;
          }
        }
      }
    }
  }
}

TEST(StreamingSamples, LoudFramesAreClippedShortOfTheMostNegativeValue) {
  Instance loud16(format(2, 16), bytesOf16(distinct16(6 * H * 2)), ProbeMode::Gain, 4.0f);
  ASSERT_EQ(loud16.host.process(), 0);
  const std::vector<int16_t> out16 = samplesOf16(loud16.host.waveform());
  EXPECT_EQ(*std::min_element(out16.begin(), out16.end()), -32767);
  EXPECT_EQ(*std::max_element(out16.begin(), out16.end()), 32767);

  Instance loud8(format(1, 8), distinct8(6 * H), ProbeMode::Gain, 4.0f);
  ASSERT_EQ(loud8.host.process(), 0);
  const std::vector<uint8_t>& out8 = loud8.host.waveform();
  EXPECT_EQ(*std::min_element(out8.begin(), out8.end()), 1);
  EXPECT_EQ(*std::max_element(out8.begin(), out8.end()), 255);
}

TEST(StreamingSamples, StageIsToldOfTheFirstFrameOnceAndKeepsItsBuffers) {
  Instance probeAt(format(2, 16), bytesOf16(distinct16(6 * H * 2)));
  ASSERT_EQ(probeAt.host.process(), 0);
  ProbeStats stats = probe().stats();
  EXPECT_EQ(stats.transforms, 5);
  EXPECT_EQ(stats.firstFrames, 1);
  EXPECT_EQ(stats.firstFrameTransform, 1);
  EXPECT_EQ(stats.ownBufferDamage, 0);
  EXPECT_EQ(stats.channels, 2);

  ASSERT_EQ(probeAt.host.process(), 0);  // a second call starts afresh
  stats = probe().stats();
  EXPECT_EQ(stats.firstFrames, 2);
  EXPECT_EQ(stats.firstFrameTransform, 6);
}

// ---- Cancel and optional services ---------------------------------------------------------

TEST(StreamingCancel, CancelAfterPassOneWritesTwoBlocksAndLeavesTheRest) {
  const std::vector<uint8_t> input = bytesOf16(distinct16(10 * H));
  Instance probeAt(format(1, 16), input, ProbeMode::Silence);
  probeAt.host.cancelAfterPass(1);
  ASSERT_EQ(probeAt.host.process(), 0);
  EXPECT_EQ(streamingCalls(probeAt.host),
            (std::vector<std::string>{"readData(0, 256)", "readData(256, 256)", "writeData(0, 256)",
                                      "writeData(256, 256)"}));
  EXPECT_EQ(probeAt.host.callsOf(Service::EndProgress).size(), 1u);
  const std::vector<uint8_t>& output = probeAt.host.waveform();
  EXPECT_TRUE(std::all_of(output.begin() + 256, output.begin() + 512, [](uint8_t b) {
    return b == 0;
  })) << "block 1 was not written from the last (silenced) frame";
  EXPECT_TRUE(std::equal(input.begin() + 512, input.end(), output.begin() + 512))
      << "blocks after the cancel changed";
}

TEST(StreamingOptionalServices, HostWithoutProgressServicesGetsTheSameStreaming) {
  const std::vector<uint8_t> input = bytesOf16(distinct16(2 * (12 * H + 9)));
  Instance full(format(2, 16), input, ProbeMode::Gain, 0.5f);
  ASSERT_EQ(full.host.process(), 0);
  Instance bare(format(2, 16), input, ProbeMode::Gain, 0.5f, HostOptions{false, false, false});
  ASSERT_EQ(bare.host.process(), 0);

  EXPECT_EQ(streamingCalls(bare.host), streamingCalls(full.host));
  EXPECT_EQ(bare.host.waveform(), full.host.waveform());
  EXPECT_FALSE(full.host.callsOf(Service::ReportProgress).empty());
  EXPECT_TRUE(bare.host.errors().empty());
}

// ---- Memory ---------------------------------------------------------------------------------

// Every movable block and every lock XfmDo takes, in the order it takes
// them: a failure at any of them returns 1 before anything is read, and
// leaves nothing allocated or locked.
TEST(StreamingMemory, EachAllocationOrLockFailureReturnsOneAndLeaksNothing) {
  struct Case {
    const char* name;
    long failAlloc, failLock;
    size_t curveValuesRead;
  };
  const Case cases[] = {
      {"table allocation", 1, 0, 0},  {"table lock", 0, 1, 0},
      {"instance lock", 0, 2, 0},     {"working area allocation", 2, 0, 1},
      {"working area lock", 0, 3, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Instance probeAt(format(1, 16), bytesOf16(distinct16(4 * H)));
    support::MemoryWatch memory;
    vtGlobalFailAlloc(c.failAlloc);
    vtGlobalFailLock(c.failLock);
    const int result = probeAt.host.process();
    vtGlobalFailAlloc(0);
    vtGlobalFailLock(0);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(streamingCalls(probeAt.host).empty());
    EXPECT_TRUE(probeAt.host.callsOf(Service::SetProgressText).empty());
    EXPECT_TRUE(probeAt.host.callsOf(Service::EndProgress).empty());
    EXPECT_EQ(probeAt.host.callsOf(Service::GetCurveValue).size(), c.curveValuesRead);
    memory.expectNothingLeaked("after the failure");
    EXPECT_EQ(probeAt.host.process(), 0) << "the instance did not recover";
    memory.expectNothingLeaked("after the next call");
  }
}

TEST(LifecycleMemory, LockFailuresLeaveTheCurvesAlone) {
  Instance probeAt(format(1, 16), bytesOf16(distinct16(4 * H)));
  const std::vector<WORD> words = probeAt.host.instanceWords();
  probeAt.host.clearCalls();

  vtGlobalFailLock(1);
  EXPECT_EQ(probeAt.host.destroy(), 0);
  EXPECT_TRUE(probeAt.host.calls().empty()) << "XfmDestroy released curves without the lock";
  EXPECT_EQ(probeAt.host.instanceWords(), words);

  EffectHost fresh(probe().library, format(1, 16), bytesOf16(distinct16(4 * H)));
  support::MemoryWatch memory;
  vtGlobalFailLock(1);
  EXPECT_EQ(fresh.init(), 0);
  EXPECT_TRUE(fresh.calls().empty()) << "XfmInit created curves without the lock";
  memory.expectNothingLeaked("after a failed XfmInit");
}

}  // namespace
