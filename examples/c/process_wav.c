/* process_wav: applies one of the effects to a WAV file through
 * libvortigen's C interface, reading and writing with libsndfile. The
 * output is what `vortigen EFFECT IN OUT --preset PRESET --path engine`
 * writes, byte for byte: the same integer scale, and integer samples
 * rounded and clipped as the plug-ins clip them.
 *
 *   cc process_wav.c $(pkg-config --cflags --libs vortigen sndfile) -o process_wav
 *   ./process_wav dynamic "Hard Attack" in.wav out.wav
 */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <sndfile.h>
#include <vortigen/vortigen.h>

enum { block_frames = 4096 };

/* The bits of an integer PCM subtype, 0 for float samples, -1 for others. */
static int bits_of(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_S8: return 8;
    case SF_FORMAT_PCM_16: return 16;
    case SF_FORMAT_PCM_24: return 24;
    case SF_FORMAT_PCM_32: return 32;
    case SF_FORMAT_FLOAT:
    case SF_FORMAT_DOUBLE: return 0;
    default: return -1;
  }
}

/* Writes float frames as `bits`-bit integers as the plug-ins make them:
 * clipped to full scale on both sides (-32767..32767 for 16 bits), 8-bit
 * truncating value + 128 (added in single precision, as they add it),
 * wider ones rounding to nearest, ties to even. */
static int write_frames(SNDFILE* out, int bits, int channels, const float* samples, int* scratch,
                        sf_count_t frames) {
  if (bits == 0) return sf_writef_float(out, samples, frames) == frames;
  const double steps = ldexp(1.0, bits - 1), high = steps - 1, low = -high;
  for (sf_count_t i = 0; i < frames * channels; ++i) {
    const double scaled = samples[i] * steps;
    double v = bits == 8 ? floor((double)((float)scaled + 128.0f)) - 128.0 : nearbyint(scaled);
    if (!(scaled <= high && scaled >= low)) v = isnan(scaled) ? 0.0 : scaled > 0 ? high : low;
    scratch[i] = (int)((unsigned)(long long)v << (32 - bits));
  }
  return sf_writef_int(out, scratch, frames) == frames;
}

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: %s EFFECT PRESET IN.wav OUT.wav\n", argv[0]);
    return 2;
  }
  SF_INFO info;
  memset(&info, 0, sizeof info);
  SNDFILE* in = sf_open(argv[3], SFM_READ, &info);
  if (in == NULL) {
    fprintf(stderr, "cannot read %s: %s\n", argv[3], sf_strerror(NULL));
    return 1;
  }
  const int bits = bits_of(info.format & SF_FORMAT_SUBMASK);
  if (bits < 0) {
    fprintf(stderr, "%s is not PCM or float; give such a WAV file\n", argv[3]);
    return 1;
  }
  /* 8-bit samples are on the plug-ins' 8-bit scale, all others on the 16-bit one. */
  vortigen_instance* effect = NULL;
  if (vortigen_new(argv[1], argv[2], info.samplerate, info.channels, bits == 8 ? 128 : 32768,
                   &effect) != VORTIGEN_OK) {
    fprintf(stderr, "%s\n", vortigen_last_error());
    return 2;
  }
  SF_INFO out_info = info;
  out_info.format = SF_FORMAT_WAV | (info.format & SF_FORMAT_SUBMASK);
  SNDFILE* out = sf_open(argv[4], SFM_WRITE, &out_info);
  if (out == NULL) {
    fprintf(stderr, "cannot write %s: %s\n", argv[4], sf_strerror(NULL));
    return 1;
  }
  sf_command(out, SFC_SET_CLIPPING, NULL, SF_FALSE);

  const size_t channels = (size_t)info.channels;
  float* samples = malloc(block_frames * channels * sizeof *samples);
  int* scratch = malloc(block_frames * channels * sizeof *scratch);
  /* The output lags the input by the latency: its first frames are dropped. */
  sf_count_t skip = vortigen_latency(effect), got;
  int ok = samples != NULL && scratch != NULL;
  while (ok && (got = sf_readf_float(in, samples, block_frames)) > 0) {
    vortigen_process_interleaved(effect, samples, samples, (size_t)got);
    const sf_count_t dropped = skip < got ? skip : got;
    skip -= dropped;
    ok = write_frames(out, bits, info.channels, samples + dropped * channels, scratch,
                      got - dropped);
  }
  if (ok) {
    /* The rest of the output: latency frames, fewer than a block. */
    vortigen_flush_interleaved(effect, samples);
    const sf_count_t tail = vortigen_latency(effect) - skip;
    ok = write_frames(out, bits, info.channels, samples + skip * channels, scratch, tail);
  }
  free(samples);
  free(scratch);
  vortigen_free(effect);
  sf_close(in);
  if (sf_close(out) != 0 || !ok) {
    fprintf(stderr, "cannot write all of %s\n", argv[4]);
    return 1;
  }
  return 0;
}
