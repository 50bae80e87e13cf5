// The plug-in path's waveform, read ahead and written behind XfmDo on
// threads of its own, or on XfmDo's thread where a batch has every core:
// the order of the file's frames, reads out of that order, and a full disk
// met by the writing.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

#include "file_waveform.h"
#include "sound_file_fixture.h"

namespace {

// The parameter: reading ahead and writing behind on threads.
class Waveform : public SoundFileFixture, public ::testing::WithParamInterface<bool> {};

INSTANTIATE_TEST_SUITE_P(WithAndWithoutThreads, Waveform, ::testing::Bool());

// The plug-in path's waveform as XfmDo meets it: reads of the selection
// in order with the writes lagging, one read back out of that order, the
// frames around the selection copied from the input.
TEST_P(Waveform, ServesThePlugInsReadsAndWritesInTheFilesOrder) {
  const int64_t frames = 50000, first = 3000, end = 41000, lag = 1500;
  const std::vector<int32_t> input = writeInput(path("in.wav"), frames, 16);
  vtmedia::SoundReader reader(path("in.wav"));
  vtmedia::SoundReader copier(path("in.wav"));
  vtmedia::SoundWriter writer(path("out.wav"), 2, 44100, reader.info().format, frames);
  {
    vortigen::FileWaveform store(reader, copier, writer, 16, end, GetParam());
    std::vector<unsigned char> selection(size_t(end - first) * 4);
    std::string why;
    int64_t written = first;
    // Each frame's bytes, every byte inverted, written `lag` frames behind the reading.
    auto writeUpTo = [&](int64_t frame) {
      std::vector<unsigned char> out(selection.begin() + (written - first) * 4,
                                     selection.begin() + (frame - first) * 4);
      for (unsigned char& b : out) b = static_cast<unsigned char>(~b);
      ASSERT_TRUE(store.write(out.data(), uint64_t(written) * 4, out.size(), why)) << why;
      written = frame;
    };
    for (int64_t at = first; at < end; at += 700) {
      const int64_t n = std::min<int64_t>(700, end - at);
      ASSERT_TRUE(
          store.read(&selection[size_t(at - first) * 4], uint64_t(at) * 4, size_t(n) * 4, why))
          << why;
      if (at - lag > written) writeUpTo(at - lag);
      if (at == first + 21000) {
        // Back to the start, a block behind: the same bytes as the first time.
        std::vector<unsigned char> again(400);
        ASSERT_TRUE(store.read(again.data(), uint64_t(first) * 4, again.size(), why)) << why;
        EXPECT_TRUE(std::equal(again.begin(), again.end(), selection.begin()));
      }
    }
    writeUpTo(end);
    // Past the end of the file: refused, not waited for.
    unsigned char past[8];
    EXPECT_FALSE(store.read(past, uint64_t(frames - 1) * 4, sizeof past, why));
    EXPECT_FALSE(store.write(selection.data(), uint64_t(first) * 4, 4, why))
        << "a write behind the output was taken";
    store.copyInputUpTo(frames);
    store.finishWriting();
    EXPECT_EQ(store.framesDone(), frames);
  }
  writer.close();
  const std::vector<int32_t> output = readBack(path("out.wav"));
  ASSERT_EQ(output.size(), input.size());
  for (int64_t f = 0; f < frames; ++f) {
    for (int c = 0; c < 2; ++c) {
      const size_t i = size_t(f * 2 + c);
      const bool processed = f >= first && f < end;
      // Both bytes inverted: the 16-bit value v became -v - 1.
      const int32_t expected =
          processed ? int32_t(uint32_t(-(input[i] >> 16) - 1) << 16) : input[i];
      ASSERT_EQ(output[i], expected) << "frame " << f << (processed ? ", processed" : "");
    }
  }
}

// A full disk seen by the writing reaches the plug-in's next write
// as a refusal, the host is told once, and finishing says why.
TEST_P(Waveform, AWritingFailureStopsThePlugInAndIsReported) {
  const int64_t frames = 200000;
  writeInput(path("in.wav"), frames, 16);
  vtmedia::SoundReader reader(path("in.wav"));
  vtmedia::SoundReader copier(path("in.wav"));
  signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  getrlimit(RLIMIT_FSIZE, &previous);
  rlimit limit = previous;
  limit.rlim_cur = 100000;
  setrlimit(RLIMIT_FSIZE, &limit);
  vtmedia::SoundWriter writer(path("out.wav"), 2, 44100, reader.info().format, frames);
  int failures = 0;
  int64_t at = 0;
  std::string why, reported;
  {
    vortigen::FileWaveform store(reader, copier, writer, 16, frames, GetParam());
    store.onFailure([&] { ++failures; });
    std::vector<unsigned char> bytes(2048 * 4);
    for (; at < frames; at += 2048) {
      const auto n = size_t(std::min<int64_t>(2048, frames - at));
      ASSERT_TRUE(store.read(bytes.data(), uint64_t(at) * 4, n * 4, why)) << why;
      if (!store.write(bytes.data(), uint64_t(at) * 4, n * 4, why)) break;
    }
    try {
      store.finishWriting();
    } catch (const vtmedia::AudioError& e) {
      reported = e.what();
    }
  }
  setrlimit(RLIMIT_FSIZE, &previous);
  EXPECT_LT(at, frames) << "every write was taken";
  EXPECT_EQ(failures, 1);
  EXPECT_NE(why.find("cannot write"), std::string::npos) << why;
  EXPECT_NE(reported.find("cannot write"), std::string::npos) << reported;
}

}  // namespace
