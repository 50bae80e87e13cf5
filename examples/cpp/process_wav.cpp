// process_wav_cpp: applies one of the effects to a WAV file with
// libvortigen's planar calls, the instance owned by a std::unique_ptr and
// the files by libsndfile's C++ handle. Writes what
// `vortigen EFFECT IN OUT --preset PRESET --path engine` writes, byte for
// byte.
//
//   process_wav_cpp fourier "Hay Fever" in.wav out.wav
#include <vortigen/vortigen.h>
#include <sndfile.hh>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

using Instance = std::unique_ptr<vortigen_instance, decltype(&vortigen_free)>;

Instance makeInstance(const char* effect, const char* preset, int rate, int channels, int scale) {
  vortigen_instance* p = nullptr;
  if (vortigen_new(effect, preset, rate, channels, scale, &p) != VORTIGEN_OK)
    throw std::runtime_error(vortigen_last_error());
  return Instance(p, vortigen_free);
}

int bitsOf(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32: return 32;
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE: return 0;
    default: throw std::runtime_error("the input is not PCM or float; give such a WAV file");
  }
}

// Planar float frames to the file: floats as they are, integers as the
// plug-ins make them (clipped to full scale on both sides, 8-bit
// truncating value + 128 added in single precision, wider ones rounding to
// nearest, ties to even).
class Writer {
 public:
  Writer(SndfileHandle& file, int bits, int channels)
      : file_(file), bits_(bits), channels_(channels) {}

  void write(const std::vector<std::vector<float>>& planes, size_t from, size_t frames) {
    floats_.resize(frames * size_t(channels_));
    for (size_t f = 0; f < frames; ++f) {
      for (size_t c = 0; c < size_t(channels_); ++c)
        floats_[f * size_t(channels_) + c] = planes[c][from + f];
    }
    sf_count_t written;
    if (bits_ == 0) {
      written = file_.writef(floats_.data(), sf_count_t(frames));
    } else {
      const double steps = std::ldexp(1.0, bits_ - 1), high = steps - 1, low = -high;
      ints_.resize(floats_.size());
      for (size_t i = 0; i < floats_.size(); ++i) {
        const double scaled = floats_[i] * steps;
        double v = bits_ == 8 ? std::floor(double(float(scaled) + 128.0f)) - 128.0
                              : std::nearbyint(scaled);
        if (!(scaled <= high && scaled >= low))
          v = std::isnan(scaled) ? 0.0 : std::clamp(v, low, high);
        ints_[i] = static_cast<int>(static_cast<uint32_t>(static_cast<int64_t>(v)) << (32 - bits_));
      }
      written = file_.writef(ints_.data(), sf_count_t(frames));
    }
    if (written != sf_count_t(frames)) throw std::runtime_error("cannot write all of the output");
  }

 private:
  SndfileHandle& file_;
  int bits_, channels_;
  std::vector<float> floats_;
  std::vector<int> ints_;
};

void processFile(const char* effect, const char* preset, const char* inPath, const char* outPath) {
  SndfileHandle in(inPath);
  if (in.error() != 0) throw std::runtime_error(std::string("cannot read ") + inPath);
  const int bits = bitsOf(in.format() & SF_FORMAT_SUBMASK);
  const int channels = in.channels();
  // 8-bit samples are on the plug-ins' 8-bit scale, all others on the 16-bit one.
  Instance instance =
      makeInstance(effect, preset, in.samplerate(), channels, bits == 8 ? 128 : 32768);
  SndfileHandle out(outPath, SFM_WRITE, SF_FORMAT_WAV | (in.format() & SF_FORMAT_SUBMASK), channels,
                    in.samplerate());
  if (out.error() != 0) throw std::runtime_error(std::string("cannot write ") + outPath);
  out.command(SFC_SET_CLIPPING, nullptr, SF_FALSE);
  Writer writer(out, bits, channels);

  const size_t block = 4096, latency = size_t(vortigen_latency(instance.get()));
  std::vector<float> interleaved(block * size_t(channels));
  std::vector<std::vector<float>> planes(static_cast<size_t>(channels), std::vector<float>(block));
  std::vector<float*> pointers;
  for (auto& plane : planes) pointers.push_back(plane.data());
  size_t skip = latency;  // the output lags the input: its first frames are dropped
  auto emit = [&](size_t frames) {
    const size_t dropped = std::min(skip, frames);
    skip -= dropped;
    writer.write(planes, dropped, frames - dropped);
  };
  for (sf_count_t got; (got = in.readf(interleaved.data(), sf_count_t(block))) > 0;) {
    for (size_t f = 0; f < size_t(got); ++f) {
      for (size_t c = 0; c < size_t(channels); ++c)
        planes[c][f] = interleaved[f * size_t(channels) + c];
    }
    vortigen_process(instance.get(), pointers.data(), pointers.data(), size_t(got));
    emit(size_t(got));
  }
  vortigen_flush(instance.get(), pointers.data());  // latency frames, fewer than a block
  emit(latency);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: " << argv[0] << " EFFECT PRESET IN.wav OUT.wav\n";
    return 2;
  }
  try {
    processFile(argv[1], argv[2], argv[3], argv[4]);
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
  return 0;
}
