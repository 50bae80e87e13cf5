// Spectrogram pictures: the input's and the output's spectrograms one
// above the other, computed with the kernel's real FFT and drawn with cairo.
#ifndef VORTIGEN_MEDIA_SONOGRAM_H
#define VORTIGEN_MEDIA_SONOGRAM_H

#include <string>
#include <vector>

#include "audio_file.h"

namespace vtmedia {

// Levels in dB (0 dB = a full-scale sine) of one sound: columns over time,
// rows from 0 Hz up to half the sample rate.
struct Spectrogram {
  int columns = 0;
  int rows = 0;
  double secondsPerColumn = 0.0;
  double nyquistHz = 0.0;
  std::vector<float> levels;  // columns * rows, column-major

  float level(int column, int row) const { return levels[size_t(column) * rows + row]; }
};

// Analyses the channels' mean with frames of 2048 samples and a Hann
// window, at most `maxColumns` columns.
Spectrogram analyse(const Audio& audio, int maxColumns = 900);
// The same, read from a file in blocks: any length, any channel count.
Spectrogram analyseFile(const std::string& path, int maxColumns = 900);

// One labelled panel per entry, top to bottom, with a shared dB colour
// scale. Throws AudioError naming the file when it cannot be written.
void writeSpectrogramPng(const std::string& path,
                         const std::vector<std::pair<std::string, Spectrogram>>& panels);

}  // namespace vtmedia

#endif
