// The sound side of the page: the waveform with its selection, the
// spectrograms of the selection before and after, and the player that
// switches between the original and the processed selection without a gap.

// ---- Waveform and selection -------------------------------------------------

export class Waveform {
  // onSelect(firstFrame, endFrame) when the person has dragged a selection.
  constructor(canvas, onSelect) {
    this.canvas = canvas;
    this.onSelect = onSelect;
    this.peaks = null;
    this.frames = 0;
    this.selection = [0, 0];
    this.playhead = -1;
    let anchor = null;
    const frameAt = (e) => {
      const box = canvas.getBoundingClientRect();
      const share = Math.min(1, Math.max(0, (e.clientX - box.left) / box.width));
      return Math.round(share * this.frames);
    };
    canvas.addEventListener("pointerdown", (e) => {
      if (!this.frames) return;
      anchor = frameAt(e);
      canvas.setPointerCapture(e.pointerId);
    });
    canvas.addEventListener("pointermove", (e) => {
      if (anchor === null) return;
      const at = frameAt(e);
      this.selection = [Math.min(anchor, at), Math.max(anchor, at)];
      this.draw();
    });
    canvas.addEventListener("pointerup", (e) => {
      if (anchor === null) return;
      const at = frameAt(e);
      anchor = null;
      if (Math.abs(at - this.selection[0]) < 2 && this.selection[1] - this.selection[0] < 2) return;
      this.onSelect(this.selection[0], this.selection[1]);
    });
  }

  show(peaks, frames, selection, sampleRate = 0) {
    this.peaks = peaks;
    this.frames = frames;
    this.selection = selection;
    this.sampleRate = sampleRate;
    this.draw();
  }

  draw() {
    const { canvas } = this;
    const c = canvas.getContext("2d");
    const w = canvas.width, h = canvas.height;
    c.fillStyle = "#16203a";
    c.fillRect(0, 0, w, h);
    if (!this.peaks || !this.frames) return;
    const [first, end] = this.selection;
    c.fillStyle = "rgba(120, 170, 255, 0.22)";
    c.fillRect((first / this.frames) * w, 0, ((end - first) / this.frames) * w, h);
    const columns = this.peaks.length / 2;
    c.fillStyle = "#8fb4ff";
    for (let x = 0; x < w; ++x) {
      const i = Math.floor((x * columns) / w);
      const low = this.peaks[2 * i], high = this.peaks[2 * i + 1];
      const top = ((1 - high) * h) / 2, bottom = ((1 - low) * h) / 2;
      c.fillRect(x, top, 1, Math.max(1, bottom - top));
    }
    if (this.sampleRate) timeRuler(c, w, h, 0, this.frames / this.sampleRate);
    if (this.playhead >= 0) {
      c.fillStyle = "#ffd166";
      c.fillRect((this.playhead / this.frames) * w, 0, 2, h);
    }
  }
}

// ---- Scales --------------------------------------------------------------------

// A step of 1, 2 or 5 times a power of ten that puts about `count` marks
// over `span`.
function niceStep(span, count) {
  const rough = span / count;
  const power = 10 ** Math.floor(Math.log10(rough));
  return [1, 2, 5, 10].map((m) => m * power).find((s) => s >= rough) || 10 * power;
}

function tickLabel(c, text, x, y, align = "left") {
  c.font = "11px DejaVu Sans, sans-serif";
  c.textAlign = align;
  c.fillStyle = "rgba(0, 0, 0, 0.55)";
  const width = c.measureText(text).width;
  c.fillRect(align === "left" ? x - 1 : x - width - 1, y - 10, width + 3, 13);
  c.fillStyle = "#e8ecf4";
  c.fillText(text, x + (align === "left" ? 0.5 : -0.5), y);
}

// Seconds along the bottom edge, from `start` to `end` across the width.
function timeRuler(c, w, h, start, end) {
  const span = end - start;
  if (!(span > 0)) return;
  const step = niceStep(span, 8);
  c.fillStyle = "rgba(232, 236, 244, 0.8)";
  for (let t = Math.ceil(start / step) * step; t <= end; t += step) {
    const x = Math.round(((t - start) / span) * w);
    c.fillRect(x, h - 5, 1, 5);
    if (x < w - 40) tickLabel(c, `${+t.toFixed(3)} s`, x + 3, h - 6);
  }
}

// ---- Spectrogram --------------------------------------------------------------

const FFT_SIZE = 1024;

// In-place radix-2 FFT of re/im (length a power of two).
function fft(re, im) {
  const n = re.length;
  for (let i = 1, j = 0; i < n; ++i) {
    let bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) {
      [re[i], re[j]] = [re[j], re[i]];
      [im[i], im[j]] = [im[j], im[i]];
    }
  }
  for (let size = 2; size <= n; size <<= 1) {
    const step = (-2 * Math.PI) / size;
    for (let start = 0; start < n; start += size) {
      for (let k = 0; k < size / 2; ++k) {
        const wr = Math.cos(step * k), wi = Math.sin(step * k);
        const a = start + k, b = a + size / 2;
        const tr = re[b] * wr - im[b] * wi, ti = re[b] * wi + im[b] * wr;
        re[b] = re[a] - tr;
        im[b] = im[a] - ti;
        re[a] += tr;
        im[a] += ti;
      }
    }
  }
}

// Dark blue through red and yellow to white, for levels 0..1.
function colour(level) {
  const stops = [[0, [10, 14, 40]], [0.35, [70, 20, 140]], [0.6, [210, 50, 60]], [0.82, [250, 190, 50]], [1, [255, 255, 235]]];
  for (let i = 1; i < stops.length; ++i) {
    if (level <= stops[i][0]) {
      const [p0, c0] = stops[i - 1], [p1, c1] = stops[i];
      const t = (level - p0) / (p1 - p0);
      return c0.map((v, k) => v + t * (c1[k] - v));
    }
  }
  return stops[stops.length - 1][1];
}

// Draws samples (Int16Array, interleaved channels mixed) as a spectrogram:
// time to the right, frequency upward from 0 to half the sample rate
// (the curves' Fmax), level in dB from -100 to 0 relative to full scale.
// With `sampleRate`, scales are drawn over it: frequency in Hz on the left,
// seconds from `startSeconds` along the bottom, and the level colours on
// the right.
export function drawSpectrogram(canvas, samples, channels, sampleRate = 0, startSeconds = 0) {
  const c = canvas.getContext("2d");
  const w = canvas.width, h = canvas.height;
  const image = c.createImageData(w, h);
  const frames = Math.floor(samples.length / channels);
  const window = new Float32Array(FFT_SIZE).map((_, i) => 0.5 - 0.5 * Math.cos((2 * Math.PI * i) / (FFT_SIZE - 1)));
  const re = new Float32Array(FFT_SIZE), im = new Float32Array(FFT_SIZE);
  const bins = FFT_SIZE / 2;
  const scale = 2 / (FFT_SIZE * 0.5 * 32768 * channels);
  for (let x = 0; x < w; ++x) {
    const centre = Math.floor(((x + 0.5) * frames) / w);
    for (let i = 0; i < FFT_SIZE; ++i) {
      const f = centre - FFT_SIZE / 2 + i;
      let v = 0;
      if (f >= 0 && f < frames) for (let ch = 0; ch < channels; ++ch) v += samples[f * channels + ch];
      re[i] = v * window[i];
      im[i] = 0;
    }
    fft(re, im);
    for (let y = 0; y < h; ++y) {
      const bin = Math.min(bins - 1, Math.floor(((h - 1 - y) * bins) / h));
      const magnitude = Math.hypot(re[bin], im[bin]) * scale;
      const level = Math.min(1, Math.max(0, (20 * Math.log10(magnitude + 1e-12) + 100) / 100));
      const [r, g, b] = colour(level);
      const at = 4 * (y * w + x);
      image.data[at] = r;
      image.data[at + 1] = g;
      image.data[at + 2] = b;
      image.data[at + 3] = 255;
    }
  }
  c.putImageData(image, 0, 0);
  if (!sampleRate) return;
  const nyquist = sampleRate / 2;
  const step = niceStep(nyquist, 5);
  for (let f = step; f < nyquist; f += step) {
    const y = Math.round(h - 1 - (f / nyquist) * h);
    c.fillStyle = "rgba(232, 236, 244, 0.8)";
    c.fillRect(0, y, 5, 1);
    tickLabel(c, f >= 1000 ? `${+(f / 1000).toFixed(1)} kHz` : `${f} Hz`, 7, y + 4);
  }
  timeRuler(c, w, h, startSeconds, startSeconds + frames / sampleRate);
  // The level colours, -100 dB at the bottom to 0 dB at the top.
  const barTop = 8, barHeight = h - 40;
  for (let i = 0; i < barHeight; ++i) {
    const [r, g, b] = colour(1 - i / barHeight);
    c.fillStyle = `rgb(${r}, ${g}, ${b})`;
    c.fillRect(w - 14, barTop + i, 8, 1);
  }
  tickLabel(c, "0 dB", w - 17, barTop + 9, "right");
  tickLabel(c, "-50 dB", w - 17, barTop + barHeight / 2 + 4, "right");
  tickLabel(c, "-100 dB", w - 17, barTop + barHeight, "right");
}

// ---- Player ----------------------------------------------------------------------

// Seconds over which one processed buffer gives way to the next: short
// enough to hear the edit at once, long enough that the change makes no
// click.
const CROSSFADE_SECONDS = 0.015;

// Plays the original and the processed selection together, from the same
// start time, each through its own gain; A/B sets the gains, so the switch
// has no gap and keeps the position. A new processed buffer (a whole
// preview, or a part spliced into the one playing) takes over at the
// position playing, cross-faded with the one before.
export class Player {
  constructor() {
    this.context = null;
    this.buffers = { original: null, processed: null };
    this.sources = { original: null, processed: null };
    this.fades = { original: null, processed: null };
    this.gains = { original: null, processed: null };
    this.listening = "processed";
    this.loop = true;
    this.playing = false;
    this.startedAt = 0;  // context time at which offset 0 of the selection played
    this.starts = 0;     // sources started since play(), for the page's tests
  }

  ensureContext() {
    if (!this.context) {
      this.context = new AudioContext();
      for (const which of ["original", "processed"]) {
        this.gains[which] = this.context.createGain();
        this.gains[which].connect(this.context.destination);
      }
      this.setGains();
    }
    return this.context;
  }

  toBuffer(samples, channels, sampleRate) {
    const context = this.ensureContext();
    const frames = Math.floor(samples.length / channels);
    const buffer = context.createBuffer(channels, Math.max(1, frames), sampleRate);
    for (let ch = 0; ch < channels; ++ch) {
      const data = buffer.getChannelData(ch);
      for (let f = 0; f < frames; ++f) data[f] = samples[f * channels + ch] / 32768;
    }
    return buffer;
  }

  duration() {
    return this.buffers.original ? this.buffers.original.duration : 0;
  }

  // Seconds into the selection at context time `at` (now when left out).
  position(at = null) {
    if (!this.playing) return 0;
    const elapsed = Math.max(0, (at ?? this.context.currentTime) - this.startedAt);
    const d = this.duration();
    return this.loop ? elapsed % d : Math.min(elapsed, d);
  }

  setGains() {
    if (!this.context) return;
    const now = this.context.currentTime;
    for (const which of ["original", "processed"]) {
      this.gains[which].gain.setValueAtTime(which === this.listening ? 1 : 0, now);
    }
  }

  listen(which) {
    this.listening = which;
    this.setGains();
  }

  // Starts a source of `which` at context time `when`, `offset` seconds
  // into its buffer, through a gain of its own that rises over the
  // cross-fade when `fadeIn`.
  startSource(which, when, offset, fadeIn = false) {
    const buffer = this.buffers[which];
    if (!buffer) return;
    const source = this.context.createBufferSource();
    const fade = this.context.createGain();
    source.buffer = buffer;
    source.loop = this.loop;
    source.connect(fade);
    fade.connect(this.gains[which]);
    if (fadeIn) {
      fade.gain.setValueAtTime(0, when);
      fade.gain.linearRampToValueAtTime(1, when + CROSSFADE_SECONDS);
    }
    source.start(when, Math.min(offset, buffer.duration));
    this.sources[which] = source;
    this.fades[which] = fade;
    this.starts += 1;
    if (which === "original" && !this.loop) source.onended = () => {
      if (this.sources.original === source) this.stop();
    };
  }

  async play() {
    const context = this.ensureContext();
    await context.resume();
    this.stop();
    const when = context.currentTime + 0.05;
    this.startedAt = when;
    this.starts = 0;
    this.playing = true;
    this.startSource("original", when, 0);
    this.startSource("processed", when, 0);
  }

  stop() {
    for (const which of ["original", "processed"]) {
      if (this.sources[which]) {
        this.sources[which].onended = null;
        this.sources[which].stop();
        this.sources[which] = null;
      }
    }
    this.playing = false;
  }

  setLoop(loop) {
    this.loop = loop;
    for (const source of Object.values(this.sources)) if (source) source.loop = loop;
  }

  // New selection: both buffers change, playback starts over if it ran.
  setSelection(original, processed) {
    const wasPlaying = this.playing;
    this.stop();
    this.buffers.original = original;
    this.buffers.processed = processed;
    if (wasPlaying) this.play();
  }

  // A new processed preview of the same selection: it takes over at the
  // position playing, the one before fading out as it fades in, the
  // original going on untouched.
  replaceProcessed(buffer) {
    this.buffers.processed = buffer;
    if (!this.playing) return;
    const now = this.context.currentTime;
    const old = this.sources.processed, oldFade = this.fades.processed;
    this.startSource("processed", now, this.position(now), true);
    if (old) {
      oldFade.gain.setValueAtTime(1, now);
      oldFade.gain.linearRampToValueAtTime(0, now + CROSSFADE_SECONDS);
      old.onended = null;
      old.stop(now + CROSSFADE_SECONDS);
    }
  }

  // Part of a new preview (16-bit interleaved samples from frame `first`
  // of the selection) written over a copy of the processed buffer, which
  // then takes over: the rest of the selection plays as before until the
  // whole preview comes.
  spliceProcessed(samples, channels, first) {
    const current = this.buffers.processed;
    if (!current) return;
    const copy = this.ensureContext().createBuffer(current.numberOfChannels, current.length, current.sampleRate);
    const frames = Math.min(Math.floor(samples.length / channels), current.length - first);
    for (let ch = 0; ch < copy.numberOfChannels; ++ch) {
      const data = copy.getChannelData(ch);
      data.set(current.getChannelData(ch));
      for (let f = 0; f < frames; ++f) data[first + f] = samples[f * channels + ch] / 32768;
    }
    this.replaceProcessed(copy);
  }
}
