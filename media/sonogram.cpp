// Spectrograms: the analysis of a sound (in memory or read from a file in
// blocks) into levels over time and frequency, and the PNG that shows
// labelled panels of them above a shared colour scale.
#include "sonogram.h"

#include <cairo.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <memory>

#include "nsp.h"
#include "sound_stream.h"

namespace vtmedia {

namespace {

constexpr int fftOrder = 11;
constexpr int fftSize = 1 << fftOrder;
constexpr double floorDb = -100.0;

std::vector<float> channelMean(const Audio& audio) {
  const int64_t frames = audio.frames();
  std::vector<float> mono(static_cast<size_t>(frames));
  for (int64_t f = 0; f < frames; ++f) {
    double sum = 0.0;
    for (int ch = 0; ch < audio.channels; ++ch) {
      const size_t i = size_t(f) * audio.channels + ch;
      if (audio.bitsPerSample == 8) {
        sum += (audio.bytes[i] - 128) / 128.0;
      } else {
        const auto v = static_cast<int16_t>(audio.bytes[2 * i] | (audio.bytes[2 * i + 1] << 8));
        sum += v / 32768.0;
      }
    }
    mono[size_t(f)] = static_cast<float>(sum / audio.channels);
  }
  return mono;
}

// A perceptually uniform dark-to-bright colour map (polynomial fit of a
// widely used one), t in 0..1.
std::array<double, 3> colourOf(double t) {
  static const double c[7][3] = {
      {0.0002189403691192265, 0.001651004631001012, -0.01948089843709184},
      {0.1065134194856116, 0.5639564367884091, 3.932712388889277},
      {11.60249308247187, -3.972853965665698, -15.9423941062914},
      {-41.70399613139459, 17.43639888205313, 44.35414519872813},
      {77.162935699427, -33.40235894210092, -81.80730925738993},
      {-71.31942824499214, 32.62606426397723, 73.20951985803202},
      {25.13112622477341, -12.24266895238567, -23.07032500287172}};
  t = std::clamp(t, 0.0, 1.0);
  std::array<double, 3> rgb{};
  for (int k = 0; k < 3; ++k) {
    double v = c[6][k];
    for (int p = 5; p >= 0; --p) v = v * t + c[p][k];
    rgb[k] = std::clamp(v, 0.0, 1.0);
  }
  return rgb;
}

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};

void drawText(cairo_t* cr, double x, double y, const std::string& text, double alignX = 0.0) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  cairo_move_to(cr, x - alignX * extents.width, y);
  cairo_show_text(cr, text.c_str());
}

// A tick step of 1, 2 or 5 times a power of ten giving about `count` ticks.
double niceStep(double range, int count) {
  const double raw = range / count;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double m : {1.0, 2.0, 5.0, 10.0}) {
    if (raw <= m * power) return m * power;
  }
  return 10 * power;
}

std::string formatNumber(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

}  // namespace

namespace {

// The analysis over `sampleFrames` mono samples, which `fetch(start, count, out)`
// delivers (zeros outside the sound).
template <typename Fetch>
Spectrogram analyseMono(int64_t sampleFrames, int sampleRate, int maxColumns, Fetch fetch) {
  Spectrogram s;
  s.rows = fftSize / 2 + 1;
  s.nyquistHz = sampleRate / 2.0;
  const int64_t hop = std::max<int64_t>(fftSize / 8, (sampleFrames + maxColumns - 1) / maxColumns);
  s.columns = static_cast<int>(std::max<int64_t>(1, (sampleFrames + hop - 1) / hop));
  s.secondsPerColumn = double(hop) / sampleRate;
  s.levels.assign(size_t(s.columns) * s.rows, float(floorDb));

  std::vector<float> window(fftSize), frame(fftSize);
  double windowSum = 0.0;
  for (int i = 0; i < fftSize; ++i) {
    window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * M_PI * i / fftSize));
    windowSum += window[i];
  }
  // A full-scale sine peaks at amplitude * windowSum / 2.
  const double reference = windowSum / 2;
  std::vector<ComplexFloat> spectrum(fftSize / 2 + 1);
  for (int col = 0; col < s.columns; ++col) {
    const int64_t centre = int64_t(col) * hop + hop / 2;
    fetch(centre - fftSize / 2, fftSize, frame.data());
    for (int i = 0; i < fftSize; ++i) frame[i] *= window[i];
    nspsRealFftNip(frame.data(), spectrum.data(), fftOrder, NSP_FftForward);
    for (int row = 0; row < s.rows; ++row) {
      const double magnitude = std::hypot(spectrum[row].re, spectrum[row].im) / reference;
      const double db = magnitude > 0 ? 20 * std::log10(magnitude) : floorDb;
      s.levels[size_t(col) * s.rows + row] = static_cast<float>(std::max(db, floorDb));
    }
  }
  return s;
}

}  // namespace

Spectrogram analyse(const Audio& audio, int maxColumns) {
  const std::vector<float> mono = channelMean(audio);
  const auto sampleFrames = static_cast<int64_t>(mono.size());
  return analyseMono(sampleFrames, audio.sampleRate, maxColumns,
                     [&](int64_t start, int count, float* out) {
                       for (int i = 0; i < count; ++i) {
                         const int64_t t = start + i;
                         out[i] = (t >= 0 && t < sampleFrames) ? mono[size_t(t)] : 0.0f;
                       }
                     });
}

Spectrogram analyseFile(const std::string& path, int maxColumns) {
  SoundReader reader(path);
  const int channels = reader.info().channels;
  const int64_t sampleFrames = std::min(reader.info().frames, reader.framesRead());
  std::vector<float> samples(size_t(fftSize) * channels);
  return analyseMono(sampleFrames, reader.info().sampleRate, maxColumns,
                     [&](int64_t start, int count, float* out) {
                       std::fill(out, out + count, 0.0f);
                       const int64_t from = std::max<int64_t>(start, 0);
                       const int skip = static_cast<int>(from - start);
                       const int64_t got = reader.readFloat(from, samples.data(), count - skip);
                       for (int64_t f = 0; f < got; ++f) {
                         double sum = 0.0;
                         for (int ch = 0; ch < channels; ++ch)
                           sum += samples[size_t(f * channels + ch)];
                         out[skip + f] = static_cast<float>(sum / channels);
                       }
                     });
}

namespace {

// The picture's layout in pixels: the panels' plots one above the other,
// the frequency axis to their left, the colour scale to their right.
constexpr int plotWidth = 900, plotHeight = 280;
constexpr int left = 70, right = 110, top = 36, gap = 64, bottom = 50;

// The levels of one panel, one pixel per column and row of the plot, at
// rows y0 onwards.
void paintLevels(cairo_surface_t* surface, const Spectrogram& s, int y0) {
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int px = 0; px < plotWidth; ++px) {
    const int col = std::min(s.columns - 1, px * s.columns / plotWidth);
    for (int py = 0; py < plotHeight; ++py) {
      // Rows of pixels cover bins from the top (Nyquist) down to 0 Hz;
      // each pixel shows the loudest bin it covers.
      const int hiRow = (plotHeight - py) * (s.rows - 1) / plotHeight;
      const int loRow = (plotHeight - py - 1) * (s.rows - 1) / plotHeight;
      float db = float(floorDb);
      for (int r = loRow; r <= hiRow; ++r) db = std::max(db, s.level(col, r));
      const auto rgb = colourOf((db - floorDb) / -floorDb);
      auto* pixel = reinterpret_cast<uint32_t*>(data + (y0 + py) * stride) + left + px;
      *pixel =
          (uint32_t(rgb[0] * 255) << 16) | (uint32_t(rgb[1] * 255) << 8) | uint32_t(rgb[2] * 255);
    }
  }
  cairo_surface_mark_dirty(surface);
}

void drawBorderAndTitle(cairo_t* cr, const std::string& title, int y0) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, left - 0.5, y0 - 0.5, plotWidth + 1, plotHeight + 1);
  cairo_stroke(cr);
  cairo_set_font_size(cr, 14);
  drawText(cr, left, y0 - 10, title);
}

// The frequency axis in kHz.
void drawFrequencyAxis(cairo_t* cr, const Spectrogram& s, int y0) {
  cairo_set_font_size(cr, 11);
  const double maxKhz = s.nyquistHz / 1000;
  const double fStep = niceStep(maxKhz, 5);
  for (double f = 0; f <= maxKhz + 1e-9; f += fStep) {
    const double y = y0 + plotHeight - f / maxKhz * plotHeight;
    cairo_move_to(cr, left - 5, y);
    cairo_line_to(cr, left, y);
    cairo_stroke(cr);
    drawText(cr, left - 8, y + 4, formatNumber(f), 1.0);
  }
  cairo_save(cr);
  cairo_move_to(cr, 16, y0 + plotHeight / 2 + 40);
  cairo_rotate(cr, -M_PI / 2);
  cairo_show_text(cr, "frequency (kHz)");
  cairo_restore(cr);
}

// The time axis in seconds.
void drawTimeAxis(cairo_t* cr, const Spectrogram& s, int y0) {
  const double totalSeconds = s.columns * s.secondsPerColumn;
  const double tStep = niceStep(totalSeconds, 8);
  for (double t = 0; t <= totalSeconds + 1e-9; t += tStep) {
    const double x = left + t / totalSeconds * plotWidth;
    cairo_move_to(cr, x, y0 + plotHeight);
    cairo_line_to(cr, x, y0 + plotHeight + 5);
    cairo_stroke(cr);
    drawText(cr, x, y0 + plotHeight + 18, formatNumber(t), 0.5);
  }
  drawText(cr, left + plotWidth / 2.0, y0 + plotHeight + 34, "time (s)", 0.5);
}

// The dB colour scale beside the panels, over the picture's height.
void drawColourScale(cairo_t* cr, int height) {
  const int barX = left + plotWidth + 30, barTop = top, barHeight = height - top - bottom;
  for (int y = 0; y < barHeight; ++y) {
    const auto rgb = colourOf(1.0 - double(y) / barHeight);
    cairo_set_source_rgb(cr, rgb[0], rgb[1], rgb[2]);
    cairo_rectangle(cr, barX, barTop + y, 16, 1);
    cairo_fill(cr);
  }
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_rectangle(cr, barX - 0.5, barTop - 0.5, 17, barHeight + 1);
  cairo_stroke(cr);
  cairo_set_font_size(cr, 11);
  for (double db = 0; db >= floorDb; db -= 20) {
    const double y = barTop + (db / floorDb) * barHeight;
    drawText(cr, barX + 22, y + 4, formatNumber(db));
  }
  drawText(cr, barX - 4, barTop - 10, "level (dB)");
}

}  // namespace

void writeSpectrogramPng(const std::string& path,
                         const std::vector<std::pair<std::string, Spectrogram>>& panels) {
  const int count = static_cast<int>(panels.size());
  const int width = left + plotWidth + right;
  const int height = top + count * plotHeight + (count - 1) * gap + bottom;

  std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(
      cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  std::unique_ptr<cairo_t, ContextDeleter> context(cairo_create(surface.get()));
  cairo_t* cr = context.get();
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);

  for (int p = 0; p < count; ++p) {
    const auto& [title, s] = panels[p];
    const int y0 = top + p * (plotHeight + gap);
    paintLevels(surface.get(), s, y0);
    drawBorderAndTitle(cr, title, y0);
    drawFrequencyAxis(cr, s, y0);
    drawTimeAxis(cr, s, y0);
  }
  drawColourScale(cr, height);

  cairo_surface_flush(surface.get());
  if (cairo_surface_write_to_png(surface.get(), path.c_str()) != CAIRO_STATUS_SUCCESS) {
    throw AudioError("cannot write the spectrogram '" + path +
                     "': check that its folder exists and is writable");
  }
}

}  // namespace vtmedia
