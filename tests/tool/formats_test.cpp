// Sample formats, channel counts and rates: what each path takes, what the
// output keeps, what --bits changes, and clipping reported.
#include "tool_fixture.h"

namespace {

using namespace tooltest;

int subtypeOf(const Sound& s) { return s.format & SF_FORMAT_SUBMASK; }

TEST_F(Tool, BitsWidensThePlugInsResultExactlyAndNarrowsItByRounding) {
  const std::string in = path("in.wav");
  writeSound(in, toneSound(2, 44100, 0.3, SF_FORMAT_WAV | SF_FORMAT_PCM_16));
  ASSERT_EQ(vortigen({"dynamic", in, path("16.wav"), "--preset", "Chaos"}).status, 0);
  const Sound reference = readSound(path("16.wav"));
  ASSERT_EQ(subtypeOf(reference), SF_FORMAT_PCM_16);
  struct Case {
    const char* bits;
    const char* file;
    int subtype;
    double tolerance;
  };
  const Case cases[] = {
      {"24", "24.wav", SF_FORMAT_PCM_24, 0.0},       {"32", "32.wav", SF_FORMAT_PCM_32, 0.0},
      {"float", "float.wav", SF_FORMAT_FLOAT, 0.0},  {"24", "24.flac", SF_FORMAT_PCM_24, 0.0},
      {"8", "8.wav", SF_FORMAT_PCM_U8, 0.5 / 128},   {"16", "16.aiff", SF_FORMAT_PCM_16, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const tool::Result r = vortigen({"dynamic", in, path(c.file), "--preset", "Chaos", "--bits", c.bits});
    ASSERT_EQ(r.status, 0) << r.err;
    const Sound out = readSound(path(c.file));
    EXPECT_EQ(subtypeOf(out), c.subtype);
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.rate, 44100);
    ASSERT_EQ(out.frames(), reference.frames());
    EXPECT_LE(largestDifference(out, reference), c.tolerance + 1e-9);
  }
}

TEST_F(Tool, ClippedSamplesAreCountedAndReported) {
  const std::string in = path("in.wav");
  writeSound(in, toneSound(2, 44100, 0.5, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 0.95));
  // Every level lifted to full scale.
  const tool::Result loud = vortigen({"fourier", in, path("loud.wav"), "--curve", "transfer=0:16384,16384:16384"});
  ASSERT_EQ(loud.status, 0) << loud.err;
  EXPECT_NE(loud.err.find("samples were clipped at full scale"), std::string::npos) << loud.err;
  const tool::Result gentle = vortigen({"fourier", in, path("gentle.wav"), "--preset", "No Effect"});
  ASSERT_EQ(gentle.status, 0) << gentle.err;
  EXPECT_EQ(gentle.err.find("clipped"), std::string::npos) << gentle.err;
}

}  // namespace
