// The three-thread sound pipeline on its own (and under ThreadSanitizer):
// every block in order, the frames outside the selection copied exactly,
// a writer's failure stopping the reading and reported, and an early stop
// that joins every thread.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <future>

#include "sound_file_fixture.h"
#include "sound_pipeline.h"

namespace {

using vtmedia::SoundBlock;
using vtmedia::SoundPipeline;

class Pipeline : public SoundFileFixture {};

TEST_F(Pipeline, EveryBlockComesInOrderAndFramesOutsideTheSelectionAreCopiedExactly) {
  const int64_t frames = 20000, first = 1234, end = 15000;
  const std::vector<int32_t> input = writeInput(path("in.wav"), frames, 24);
  vtmedia::SoundReader reader(path("in.wav"));
  vtmedia::SoundWriter writer(path("out.wav"), 2, 44100, reader.info().format, frames);
  {
    // Small blocks, few of them: the threads wait on each other often.
    SoundPipeline pipeline(reader, writer, first, end, 777, 3);
    int64_t expected = 0;
    while (SoundBlock* block = pipeline.next()) {
      EXPECT_EQ(block->first, expected);
      EXPECT_EQ(block->selected, block->first >= first && block->first < end);
      EXPECT_EQ(block->integer, !block->selected);
      // No block straddles an edge of the selection.
      EXPECT_TRUE(block->first + block->frames <= first || block->first >= first);
      EXPECT_TRUE(block->first + block->frames <= end || block->first >= end);
      expected += block->frames;
      if (block->selected) {
        for (int64_t i = 0; i < block->frames * 2; ++i) block->floats[size_t(i)] *= -0.5f;
      }
      pipeline.write(block);
    }
    EXPECT_EQ(expected, frames);
    pipeline.finish();
  }
  writer.close();
  const std::vector<int32_t> output = readBack(path("out.wav"));
  ASSERT_EQ(output.size(), input.size());
  for (int64_t f = 0; f < frames; ++f) {
    for (int c = 0; c < 2; ++c) {
      const size_t i = size_t(f * 2 + c);
      if (f < first || f >= end) {
        ASSERT_EQ(output[i], input[i]) << "frame " << f;
      } else {
        // Halved and negated, and rounded back to 24 bits.
        ASSERT_NEAR(double(output[i]), -0.5 * double(input[i]), 256.0) << "frame " << f;
      }
    }
  }
}

TEST_F(Pipeline, AWriterThatFailsStopsTheReadingAndItsFailureIsReported) {
  const int64_t frames = 200000;
  writeInput(path("in.wav"), frames, 24);
  vtmedia::SoundReader reader(path("in.wav"));
  // A file-size limit stands for a full disk: writes past it fail.
  signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  getrlimit(RLIMIT_FSIZE, &previous);
  rlimit limit = previous;
  limit.rlim_cur = 100000;
  setrlimit(RLIMIT_FSIZE, &limit);
  vtmedia::SoundWriter writer(path("out.wav"), 2, 44100, reader.info().format, frames);
  int64_t taken = 0;
  bool reported = false;
  {
    SoundPipeline pipeline(reader, writer, 0, frames, 1000, 4);
    while (SoundBlock* block = pipeline.next()) {
      taken += block->frames;
      pipeline.write(block);
    }
    try {
      pipeline.finish();
    } catch (const vtmedia::AudioError& e) {
      reported = std::string(e.what()).find("cannot write") != std::string::npos;
    }
  }
  setrlimit(RLIMIT_FSIZE, &previous);
  EXPECT_TRUE(reported);
  EXPECT_LT(taken, frames / 2) << "the reading went on after the writer failed";
}

TEST_F(Pipeline, StoppingEarlyJoinsEveryThreadAndWritesWhatWasGiven) {
  const int64_t frames = 50000;
  writeInput(path("in.wav"), frames, 24);
  vtmedia::SoundReader reader(path("in.wav"));
  vtmedia::SoundWriter writer(path("out.wav"), 2, 44100, reader.info().format, frames);
  {
    SoundPipeline pipeline(reader, writer, 0, frames, 1000, 3);
    pipeline.write(pipeline.next());
    SoundBlock* held = pipeline.next();
    // The reader has filled every other block and waits for one.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    pipeline.release(held);
    pipeline.finish();
  }
  EXPECT_EQ(writer.framesWritten(), 1000);
  // The reader and the writer are the caller's again.
  int32_t samples[2];
  EXPECT_EQ(reader.readInt(frames - 1, samples, 1), 1);
}

TEST_F(Pipeline, ASpareBlockComesAtOnceWhileTheCallerHoldsOneAndTheReaderFilledTheRest) {
  const int64_t frames = 50000;
  writeInput(path("in.wav"), frames, 24);
  vtmedia::SoundReader reader(path("in.wav"));
  vtmedia::SoundWriter writer(path("out.wav"), 2, 44100, reader.info().format, frames);
  SoundPipeline pipeline(reader, writer, 0, 1000, 1000, 4);
  SoundBlock* held = pipeline.next();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  auto spare = std::async(std::launch::async, [&] { return pipeline.spare(); });
  if (spare.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ADD_FAILURE() << "spare() waits for a block that never comes";
    std::_Exit(1);  // the waiting thread cannot be joined
  }
  pipeline.write(spare.get());
  pipeline.write(held);
  while (SoundBlock* block = pipeline.next()) pipeline.write(block);
  pipeline.finish();
  EXPECT_EQ(writer.framesWritten(), frames);
}

}  // namespace
