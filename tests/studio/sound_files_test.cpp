// The studio's sounds: the selection a preview covers, uploads, names from
// requests, and the preview against the plug-in run over the whole file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "processing.h"
#include "sound_files.h"
#include "sound_stream.h"

namespace {

namespace fs = std::filesystem;

vtmedia::Audio stereoSound(double seconds, int sampleRate = 44100) {
  vtmedia::Audio audio;
  audio.channels = 2;
  audio.sampleRate = sampleRate;
  const auto frames = static_cast<size_t>(seconds * sampleRate);
  audio.bytes.resize(frames * 4);
  for (size_t f = 0; f < frames; ++f) {
    const double t = double(f) / sampleRate;
    const double beat = std::exp(-6.0 * std::fmod(t, 0.4));
    const auto left = static_cast<int16_t>(9000 * std::sin(2 * M_PI * 330 * t) * beat);
    const auto right = static_cast<int16_t>(7000 * std::sin(2 * M_PI * 2500 * t) +
                                            3000 * std::sin(2 * M_PI * 90 * t));
    for (const auto& [at, v] : {std::pair{4 * f, left}, std::pair{4 * f + 2, right}}) {
      audio.bytes[at] = static_cast<uint8_t>(static_cast<uint16_t>(v) & 0xFF);
      audio.bytes[at + 1] = static_cast<uint8_t>(static_cast<uint16_t>(v) >> 8);
    }
  }
  return audio;
}

struct RangeCase {
  const char* fault;
  int64_t first, end;
  int64_t wantFirst, wantEnd;
};

void PrintTo(const RangeCase& c, std::ostream* out) { *out << c.fault; }

class StudioPreviewRange : public testing::TestWithParam<RangeCase> {};

// A range from the page is only a request: it must end up inside the sound,
// hold a frame at least, and never exceed the preview's 30 seconds.
TEST_P(StudioPreviewRange, StaysInsideTheSoundAndThePreviewLength) {
  const vtmedia::Audio audio = stereoSound(40.0, 1000);  // 40000 frames
  const RangeCase& c = GetParam();
  const vtstudio::FrameRange range = vtstudio::previewRange(audio, c.first, c.end);
  EXPECT_EQ(range.first, c.wantFirst) << c.fault;
  EXPECT_EQ(range.end, c.wantEnd) << c.fault;
}

INSTANTIATE_TEST_SUITE_P(
    Requests, StudioPreviewRange,
    testing::Values(RangeCase{"inside: kept", 1000, 5000, 1000, 5000},
                    RangeCase{"longer than 30 s: cut", 0, 40000, 0, 30000},
                    RangeCase{"end after the sound: cut", 35000, 99999, 35000, 40000},
                    RangeCase{"start after the sound: the last frame", 50000, 60000, 39999, 40000},
                    RangeCase{"reversed: one frame", 2000, 1000, 2000, 2001},
                    RangeCase{"negative start: from 0", -500, 100, 0, 100}),
    [](const testing::TestParamInfo<RangeCase>& info) {
      return "Case" + std::to_string(info.index);
    });

TEST(StudioUploads, AnUploadNameNeverBecomesAPath) {
  EXPECT_EQ(vtstudio::safeFileName("../../etc/passwd"), "passwd");
  EXPECT_EQ(vtstudio::safeFileName("/home/someone/.config/x.ini"), "x.ini");
  EXPECT_EQ(vtstudio::safeFileName(".."), "sound");
  EXPECT_EQ(vtstudio::safeFileName("a\"b;c\r\nd.wav"),
            "a_b_c__d.wav");  // no header injection in a download name
}

TEST(StudioUploads, AnUnreadableUploadIsNamedAsTheUserKnowsItAndLeavesNoFile) {
  vtstudio::SoundFiles sounds;
  try {
    sounds.openUpload("holiday.wav", "RIFF\x10\0\0\0WAVEnot a sound");
    FAIL() << "garbage was taken for a sound";
  } catch (const vtmedia::AudioError& e) {
    const std::string sentence = e.what();
    EXPECT_NE(sentence.find("holiday.wav"), std::string::npos) << sentence;
    EXPECT_EQ(sentence.find("upload-"), std::string::npos) << sentence;
  }
  EXPECT_TRUE(sounds.all().empty());
  for (const auto& entry : fs::directory_iterator(fs::temp_directory_path())) {
    if (entry.path().filename().string().rfind("vortigen-studio-", 0) != 0 || !entry.is_directory())
      continue;
    for (const auto& inside : fs::directory_iterator(entry.path())) {
      EXPECT_EQ(inside.path().filename().string().rfind("upload-", 0), std::string::npos)
          << inside.path();
    }
  }
}

TEST(StudioUploads, SoundsAreFoundByTheirNumberOnly) {
  vtstudio::SoundFiles sounds;
  EXPECT_EQ(sounds.find(1), nullptr);
  EXPECT_EQ(sounds.find(-1), nullptr);
}

struct PreviewCase {
  const char* effect;
  int bits;
  vtstudio::CurveSet curves;
};

void PrintTo(const PreviewCase& c, std::ostream* out) {
  *out << c.effect << " " << c.bits << "-bit";
}

class StudioPreview : public testing::TestWithParam<PreviewCase> {};

// The preview of a selection must be what the plug-in makes of that
// selection inside the whole file (the page plays it as such, and export
// runs the plug-in itself): the engine's float output, quantised as XfmDo
// quantises, sample for sample.
TEST_P(StudioPreview, EqualsThePluginOverTheSameSelectionOfTheWholeFile) {
  const PreviewCase& c = GetParam();
  const std::map<std::string, std::string> plugins{{"dynamic", VORTIGEN_DYNAMIC_PLUGIN},
                                                   {"fourier", VORTIGEN_FOURIER_PLUGIN}};
  vtstudio::Processing processing(plugins);
  vtmedia::Audio audio = stereoSound(2.0);
  if (c.bits == 8) {
    const std::vector<int16_t> wide = vtstudio::samples16(audio, {0, audio.frames()});
    audio.bitsPerSample = 8;
    audio.bytes.clear();
    for (int16_t v : wide) audio.bytes.push_back(static_cast<uint8_t>(v / 256 + 128));
  }
  const vtstudio::FrameRange range{20000, 70000};
  const std::vector<int16_t> preview = processing.preview(c.effect, c.curves, audio, range);

  vthost::PluginLibrary plugin(plugins.at(c.effect));
  vthost::EffectHost host(plugin, vthost::WaveFormat{2, static_cast<WORD>(c.bits), 44100},
                          audio.bytes);
  ASSERT_EQ(host.init(), 1);
  const std::vector<CurveHandle> handles = host.curveHandles();
  for (size_t i = 0; i < handles.size(); ++i) host.curve(handles[i]).points = c.curves[i];
  ASSERT_EQ(host.process(static_cast<LONG>(range.first), static_cast<LONG>(range.end - 1)), 0);
  host.destroy();
  vtmedia::Audio whole = audio;
  whole.bytes = host.waveform();
  const std::vector<int16_t> expected = vtstudio::samples16(whole, range);

  ASSERT_EQ(preview.size(), expected.size());
  size_t differing = 0;
  for (size_t i = 0; i < preview.size(); ++i) differing += preview[i] != expected[i];
  EXPECT_EQ(differing, 0u) << "samples of the preview differ from the plug-in's output";
  EXPECT_NE(expected, vtstudio::samples16(audio, range))
      << "the curves did nothing; the case proves nothing";
}

// The stretch around the play position is computed first and spliced
// into what the page plays: it must be the same samples the whole
// selection's preview has there, in the middle, at the selection's start
// and at its end, or the splice is heard.
TEST_P(StudioPreview, PartsEqualTheWholeSelectionsPreviewThere) {
  const PreviewCase& c = GetParam();
  vtstudio::Processing processing(std::map<std::string, std::string>{
      {"dynamic", VORTIGEN_DYNAMIC_PLUGIN}, {"fourier", VORTIGEN_FOURIER_PLUGIN}});
  vtmedia::Audio audio = stereoSound(7.0);
  const vtstudio::FrameRange selection{3000, 300000};
  const std::vector<int16_t> whole = processing.preview(c.effect, c.curves, audio, selection);
  const auto never = [] { return false; };
  for (const vtstudio::FrameRange part :
       {vtstudio::FrameRange{241111, 270000}, vtstudio::FrameRange{3000, 9000},
        vtstudio::FrameRange{298000, 300000}}) {
    const std::vector<int16_t> got =
        processing.previewPart(c.effect, c.curves, audio, selection, part, never);
    const auto from = whole.begin() + (part.first - selection.first) * 2;
    const std::vector<int16_t> expected(from, from + part.frames() * 2);
    ASSERT_EQ(got.size(), expected.size());
    size_t differing = 0;
    for (size_t i = 0; i < got.size(); ++i) differing += got[i] != expected[i];
    EXPECT_EQ(differing, 0u) << "the part " << part.first << ".." << part.end
                             << " differs from the whole preview there";
  }
}

INSTANTIATE_TEST_SUITE_P(
    EffectsAndSampleSizes, StudioPreview,
    testing::Values(PreviewCase{"dynamic",
                                16,
                                {{{0, 12375}, {9000, 3000}, {16384, 12375}},
                                 {{0, 1394}, {16384, 1394}},
                                 {{0, 0}, {16384, 3834}}}},
                    PreviewCase{"fourier", 16, {{{0, 0}, {11969, 4740}, {16384, 16384}}}},
                    PreviewCase{"dynamic",
                                8,
                                {{{0, 1742}, {16384, 1742}},
                                 {{0, 1394}, {16384, 1394}},
                                 {{0, 0}, {16384, 0}}}}),
    [](const testing::TestParamInfo<PreviewCase>& info) {
      return std::string(info.param.effect) + std::to_string(info.param.bits) + "Bit";
    });

// A 24-bit 96 kHz file exports as 24-bit, sample for sample what the tool
// makes of it with the same preset text (it once came out as 16-bit, its
// samples cut to the plug-ins' 16 bits, with only a note saying so).
TEST(StudioExport, A24BitFileExportsAsTheToolWritesIt) {
  const std::string input = testing::TempDir() + "vortigen-studio-export-24.wav";
  const std::string exported = testing::TempDir() + "vortigen-studio-export-24-studio.wav";
  const std::string reference = testing::TempDir() + "vortigen-studio-export-24-tool.wav";
  const int64_t frames = 96000;
  {
    const vtmedia::SampleFormat pcm24 = vtmedia::outputFormat({}, "24", input);
    vtmedia::SoundWriter writer(input, 2, 96000, pcm24, frames);
    std::vector<int32_t> samples(static_cast<size_t>(frames) * 2);
    for (int64_t f = 0; f < frames; ++f) {
      const double t = double(f) / 96000;
      const double beat = std::exp(-6.0 * std::fmod(t, 0.3));
      // Below the 16-bit step too, where a 16-bit export loses it.
      samples[2 * f] =
          static_cast<int32_t>(0.4 * beat * std::sin(2 * M_PI * 440 * t) * 2147483647.0) & ~0xFF;
      samples[2 * f + 1] = static_cast<int32_t>((0.3 * std::sin(2 * M_PI * 3100 * t) +
                                                 0.00001 * std::sin(2 * M_PI * 50 * t)) *
                                                2147483647.0) &
                           ~0xFF;
    }
    writer.writeInt(samples.data(), frames);
    writer.close();
  }
  const std::string text =
      "Mine,3,3,0,12375,9000,3000,16384,12375,2,0,1394,16384,1394,2,0,0,16384,3834";
  vtstudio::SoundFiles sounds;
  vtstudio::Processing processing(
      std::map<std::string, std::string>{{"dynamic", VORTIGEN_DYNAMIC_PLUGIN}});
  {
    const std::string bytes =
        processing.exportFile("dynamic", text, *sounds.open(input), "out.wav");
    std::ofstream(exported, std::ios::binary) << bytes;
  }
  const std::string command = std::string(VORTIGEN_TOOL) + " dynamic '" + input + "' '" +
                              reference + "' --preset-text '" + text + "' --plugin-dir '" +
                              VORTIGEN_PLUGIN_DIR + "' -q";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  vtmedia::SoundReader studio(exported), tool(reference), original(input);
  EXPECT_EQ(studio.info().format.bits, 24);
  EXPECT_EQ(studio.info().sampleRate, 96000);
  ASSERT_EQ(studio.info().frames, tool.info().frames);
  std::vector<int32_t> a(static_cast<size_t>(frames) * 2), b(a.size()), c(a.size());
  studio.readInt(0, a.data(), frames);
  tool.readInt(0, b.data(), frames);
  original.readInt(0, c.data(), frames);
  size_t differing = 0;
  for (size_t i = 0; i < a.size(); ++i) differing += a[i] != b[i];
  EXPECT_EQ(differing, 0u) << "samples of the studio's export differ from the tool's output";
  EXPECT_NE(b, c) << "the preset did nothing; the case proves nothing";
  for (const std::string& file : {input, exported, reference}) fs::remove(file);
}

// A newer preview stops an older one between blocks, and one that waited
// for the processing to be free does not start at all once replaced.
TEST(StudioPreviewStop, AStoppedPreviewEndsWithinABlockAndSaysSo) {
  vtstudio::Processing processing(
      std::map<std::string, std::string>{{"fourier", VORTIGEN_FOURIER_PLUGIN}});
  vtmedia::Audio audio = stereoSound(3.0);
  const vtstudio::FrameRange selection{0, audio.frames()};
  const vtstudio::CurveSet curves{{{0, 0}, {11969, 4740}, {16384, 16384}}};
  int asked = 0;
  EXPECT_THROW(processing.previewPart("fourier", curves, audio, selection, selection,
                                      [&] { return ++asked > 2; }),
               vtstudio::PreviewStopped);
  EXPECT_EQ(asked, 3) << "the preview went on after it was told to stop";
  EXPECT_THROW(
      processing.previewPart("fourier", curves, audio, selection, selection, [] { return true; }),
      vtstudio::PreviewStopped);
}

}  // namespace
