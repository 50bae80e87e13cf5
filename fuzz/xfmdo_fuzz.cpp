// XfmDo through the real plug-in libraries, as a host with a damaged or
// hostile record would call it: the record's channels, bits per sample,
// block alignment, sample rate and selection bounds come from the fuzzer,
// and so do the waveform's bytes and which curves the instance has. The
// host refuses reads and writes outside its waveform; the plug-in must
// neither crash nor touch memory it does not own, must answer 0 or 1, and
// where the record is consistent must leave the bytes outside the
// selection as they were.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "vthost.h"

namespace {

vthost::PluginLibrary& library(bool fourier) {
  static vthost::PluginLibrary dynamic(VORTIGEN_DYNAMIC_PLUGIN);
  static vthost::PluginLibrary fourierLibrary(VORTIGEN_FOURIER_PLUGIN);
  return fourier ? fourierLibrary : dynamic;
}

const char* const dynamicPresets[] = {
    nullptr, "Chaos,3,2,0,8192,16384,8192,2,0,8192,16384,8192,2,0,16384,16384,16384",
    "Hard,3,2,0,16384,16384,16384,2,0,16384,16384,16384,2,0,3834,16384,3834",
    "Soft,3,2,0,0,16384,0,2,0,0,16384,0,2,0,0,16384,0"};
const char* const fourierPresets[] = {
    nullptr, "Zero,3,2,0,0,16384,0", "Full,3,2,0,16384,16384,16384",
    "Five,3,15,0,0,9739,0,10194,9686,10558,0,11195,0,11741,11386,12105,0,12652,0,13334,13292,"
    "13789,0,14336,0,14836,14838,15291,0,16065,0,16384,16384"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const bool fourier = input.ConsumeBool();
  const int preset = input.ConsumeIntegralInRange(0, 3);
  // Mostly the values a host gives, sometimes anything at all.
  const bool wild = input.ConsumeBool();
  const WORD channels =
      wild ? input.ConsumeIntegral<WORD>() : input.ConsumeIntegralInRange<WORD>(1, 2);
  const WORD bits = wild ? input.ConsumeIntegral<WORD>() : (input.ConsumeBool() ? 8 : 16);
  const WORD usualAlign = static_cast<WORD>((channels == 1 ? 1 : 2) * (bits == 8 ? 1 : 2));
  const WORD blockAlign = wild ? input.ConsumeIntegral<WORD>() : usualAlign;
  const LONG sampleRate = wild ? input.ConsumeIntegral<LONG>()
                               : input.PickValueInArray<LONG>({8000, 22050, 44100, 96000});
  const LONG first =
      wild ? input.ConsumeIntegral<LONG>() : input.ConsumeIntegralInRange<LONG>(-4, 3000);
  const LONG span = input.ConsumeIntegralInRange<LONG>(-3, 13000);
  const LONG last = static_cast<LONG>(static_cast<uint32_t>(first) + static_cast<uint32_t>(span));
  // The waveform's length is chosen apart from its bytes, which repeat to
  // fill it: short inputs still stream many blocks.
  std::vector<uint8_t> waveform(input.ConsumeIntegralInRange<size_t>(0, 24000), 0);
  const std::vector<uint8_t> samples = input.ConsumeRemainingBytes<uint8_t>();
  for (size_t i = 0; i < waveform.size() && !samples.empty(); ++i) {
    waveform[i] = samples[i % samples.size()];
  }

  vthost::HostOptions options;
  options.logCalls = false;
  // The record's format fields are set below, after XfmInit.
  vthost::EffectHost host(library(fourier), vthost::WaveFormat{1, 8, 44100}, waveform, options);
  FUZZ_CHECK(host.init() == 1);
  const char* text = (fourier ? fourierPresets : dynamicPresets)[preset];
  if (text != nullptr) host.applyPreset(text);
  XfmDoRecord& record = host.record();
  record.channels = channels;
  record.bitsPerSample = bits;
  record.blockAlign = blockAlign;
  record.sampleRate = sampleRate;

  const int result = host.process(first, last);
  FUZZ_CHECK(result == 0 || result == 1);

  const bool consistent = blockAlign == usualAlign && first >= 0 && last >= first &&
                          (static_cast<uint64_t>(last) + 1) * blockAlign <= waveform.size();
  if (consistent) {
    const size_t from = static_cast<size_t>(first) * blockAlign;
    const size_t to = (static_cast<size_t>(last) + 1) * blockAlign;
    for (size_t i = 0; i < from; ++i) FUZZ_CHECK(host.waveform()[i] == waveform[i]);
    for (size_t i = to; i < waveform.size(); ++i) FUZZ_CHECK(host.waveform()[i] == waveform[i]);
  }
  host.destroy();
  return 0;
}
