// The engine's stream: XfmDo's framing over float audio that arrives in
// blocks of any length, and the Engine calls that drive it. The stream's
// state is declared in stream.h; the transform of the gathered frames,
// shared out among helper threads, is in frame_sharing.cpp.
//
// Input is gathered per channel into blocks of H sample frames. When a
// block is complete, it and the block before make a frame of N = 2H
// samples per channel; each pair of channels (an odd last channel alone)
// goes through the stage together, and the processed frame is cross-faded
// into one output block of H sample frames, as the skeleton of XfmDo does
// it. That output block is the one before the block just completed, so
// that the first output exists once 2H input sample frames have arrived:
// output lags input by N - 1 sample frames, the first N - 1 of them being
// silence. finish() writes what the skeleton writes at the end of a
// selection.
//
// Frames are gathered into slots and transformed together at the end of
// each process() call, or when the slots are full. Output is written once
// the frames a stretch of input completed are transformed; the latency
// leaves it in step.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "crossfade.h"
#include "effects.h"
#include "engine.h"
#include "nsp.h"
#include "stream.h"

namespace vtengine {

int frameLengthFor(double sampleRate) { return 1 << frameOrder(sampleRate); }

float integerScaleForBits(int bitsPerSample) { return bitsPerSample == 8 ? 128.0f : 32768.0f; }

void releaseSharedTables() noexcept { nspFreeAllTwd(); }

namespace {

int groupFloats(const FrameGeometry& g, const SpectralStage& stage, int slots) {
  return slots * (g.channels * (g.n + 2) + 2 * (g.n + 2)) + g.channels * g.h + 2 * g.h +
         stage.ownFloats(g.n);
}

// More threads than this would only wait for each other.
constexpr int maxThreads = 64;

// Frames gathered before they are transformed together, when more than
// one thread transforms them: enough to make handing them over cheap, few
// enough to stay in the cache (a stereo frame and its spectra: 16 KB).
constexpr int slotsForThreads = 32;

// Floats per cache line: every group starts on one.
constexpr size_t lineFloats = 64 / sizeof(float);

size_t roundedToLines(size_t floats) { return (floats + lineFloats - 1) / lineFloats * lineFloats; }

void checkSettings(const EngineSettings& s) {
  if (!(s.sampleRate > 0) || !std::isfinite(s.sampleRate)) {
    throw EngineError("The sample rate " + std::to_string(s.sampleRate) +
                      " cannot be used; give a positive number of sample frames per second.");
  }
  if (s.channels < 1) {
    throw EngineError("The channel count " + std::to_string(s.channels) +
                      " cannot be used; give one channel or more.");
  }
  if (!(s.integerScale > 0) || !std::isfinite(s.integerScale)) {
    throw EngineError("The integer scale " + std::to_string(s.integerScale) +
                      " cannot be used; give a positive number such as 32768.");
  }
  if (s.threads < 1 || s.threads > maxThreads) {
    throw EngineError("The thread count " + std::to_string(s.threads) +
                      " cannot be used; give 1 to " + std::to_string(maxThreads) + ".");
  }
}

// Scaling copies, with the factor in a local so that the loops vectorise
// (a member read through a pointer might alias the destination).
void copyScaled(const float* source, float* destination, int count, float factor) {
  for (int i = 0; i < count; ++i) destination[i] = source[i] * factor;
}

void scaled(const float* const* in, size_t from, float* const* blocks, int at, int channels,
            int count, float factor) {
  for (int c = 0; c < channels; ++c) copyScaled(in[c] + from, blocks[c] + at, count, factor);
}

}  // namespace

Engine::Stream::Stream(const EngineSettings& settings, std::unique_ptr<CurveTables> curveTables)
    : effect(settings.effect),
      stage(stageOf(settings.effect)),
      tables(std::move(curveTables)),
      sampleRate(settings.sampleRate),
      channels(settings.channels),
      scale(settings.integerScale),
      inverseScale(1.0f / settings.integerScale),
      slots(settings.threads > 1 ? slotsForThreads : 1) {
  const FrameGeometry pair = frameGeometryFor(sampleRate, 2);
  const FrameGeometry single = frameGeometryFor(sampleRate, 1);
  n = pair.n;
  h = pair.h;

  const int pairs = channels / 2;
  const bool odd = channels % 2 == 1;
  const size_t pairFloats = roundedToLines(static_cast<size_t>(groupFloats(pair, stage, slots)));
  const size_t singleFloats =
      roundedToLines(static_cast<size_t>(groupFloats(single, stage, slots)));
  const size_t channelFloats = roundedToLines(static_cast<size_t>(slots + 3) * h);
  const size_t total = static_cast<size_t>(pairs) * pairFloats + (odd ? singleFloats : 0) +
                       static_cast<size_t>(channels) * channelFloats + lineFloats;
  storage.assign(total, 0.0f);

  // The first float on a cache line boundary.
  float* next = storage.data();
  while (reinterpret_cast<uintptr_t>(next) % 64 != 0) ++next;
  auto take = [&next](size_t floats) {
    float* buffer = next;
    next += floats;
    return buffer;
  };

  for (int c = 0; c < channels; c += 2) {
    const FrameGeometry& g = c + 1 < channels ? pair : single;
    float* start = next;
    Group group{g, c, {}, {nullptr, nullptr}, nullptr, nullptr, nullptr};
    for (int i = 0; i < slots; ++i) {
      Slot slot{{nullptr, nullptr}, {nullptr, nullptr}};
      for (int ch = 0; ch < g.channels; ++ch) slot.frame[ch] = take(static_cast<size_t>(g.n) + 2);
      float* spectra = take(2 * (static_cast<size_t>(g.n) + 2));
      slot.spectrum[0] = reinterpret_cast<ComplexFloat*>(spectra);
      slot.spectrum[1] = reinterpret_cast<ComplexFloat*>(spectra + g.n + 2);
      group.slots.push_back(slot);
    }
    for (int ch = 0; ch < g.channels; ++ch) group.tail[ch] = take(static_cast<size_t>(g.h));
    group.fadeIn = take(static_cast<size_t>(g.h));
    group.fadeOut = take(static_cast<size_t>(g.h));
    group.own = take(static_cast<size_t>(stage.ownFloats(g.n)));
    next = start + (g.channels == 2 ? pairFloats : singleFloats);

    fillRamps(group.fadeIn, group.fadeOut, g.h);
    stage.prepareWorkingArea(g, group.own);
    groups.push_back(std::move(group));
  }
  for (int c = 0; c < channels; ++c) {
    float* start = take(channelFloats);
    older.push_back(start);
    newer.push_back(start + h);
    output.push_back(start + 2 * h);
  }

  // The kernel makes its transform tables on a transform's first use: one
  // silent frame per group makes them now rather than in process().
  for (const Group& group : groups) stage.transformFrame(framesOf(group, 0), true);
  if (settings.threads > 1) crew = std::make_unique<Crew>(settings.threads - 1);
  restart();
}

void Engine::Stream::restart() {
  filled = 0;
  blocks = 0;
  silenceLeft = n - 1;
  outputRead = 0;
  outputReady = 0;
  gathered = 0;
}

StageFrames Engine::Stream::framesOf(const Group& group, int slot) const {
  const Slot& s = group.slots[static_cast<size_t>(slot)];
  return StageFrames{group.geometry,
                     {s.frame[0], s.frame[1]},
                     {s.spectrum[0], s.spectrum[1]},
                     group.own,
                     tableData(*tables)};
}

// The newer block is complete. The first block only waits for the second;
// from the second on, each makes a frame with the block before, gathered
// into the next slot.
void Engine::Stream::completeBlock() {
  if (blocks > 0) {
    const bool firstFrame = blocks == 1;
    if (gathered == 0) firstGathered = firstFrame;
    for (Group& group : groups) {
      const Slot& slot = group.slots[static_cast<size_t>(gathered)];
      for (int ch = 0; ch < group.geometry.channels; ++ch) {
        const int c = group.firstChannel + ch;
        std::memcpy(slot.frame[ch], older[c], sizeof(float) * static_cast<size_t>(h));
        std::memcpy(slot.frame[ch] + h, newer[c], sizeof(float) * static_cast<size_t>(h));
        // The first frame is first in its batch too: no tail is pending.
        if (firstFrame) startTail(slot.frame[ch], group.tail[ch], group.fadeOut, h);
      }
    }
    ++gathered;
  }
  std::swap(older, newer);
  filled = 0;
  ++blocks;
}

// The gathered frames through the stage, then cross-faded in order onto
// the output.
void Engine::Stream::transformGathered() {
  if (gathered == 0) return;
  transformSlots();

  // What is left of the output goes to its front, to make room.
  const int left = outputReady - outputRead;
  for (int c = 0; c < channels; ++c) {
    std::memmove(output[c], output[c] + outputRead, sizeof(float) * static_cast<size_t>(left));
  }
  outputRead = 0;
  outputReady = left;
  for (int slot = 0; slot < gathered; ++slot) {
    for (Group& group : groups) {
      const Slot& buffers = group.slots[static_cast<size_t>(slot)];
      for (int ch = 0; ch < group.geometry.channels; ++ch) {
        float* frame = buffers.frame[ch];
        overlapAdd(frame, group.tail[ch], group.fadeIn, group.fadeOut, h);
        copyScaled(frame, output[group.firstChannel + ch] + outputReady, h, inverseScale);
      }
    }
    outputReady += h;
  }
  lastSlot = gathered - 1;
  gathered = 0;
}

void Engine::Stream::write(float* const* out, size_t at, int count) {
  // Silence first, then the output.
  const int silent = std::min(count, silenceLeft);
  for (int c = 0; c < channels; ++c) std::fill_n(out[c] + at, silent, 0.0f);
  silenceLeft -= silent;
  at += static_cast<size_t>(silent);
  count -= silent;
  const int ready = std::min(count, outputReady - outputRead);
  for (int c = 0; c < channels; ++c) {
    std::memcpy(out[c] + at, output[c] + outputRead, sizeof(float) * static_cast<size_t>(ready));
  }
  outputRead += ready;
  // Never reached while the latency holds; silence rather than stale data.
  for (int c = 0; c < channels; ++c) std::fill_n(out[c] + at + ready, count - ready, 0.0f);
}

// The second half of the last frame, without fade, as the skeleton writes
// the last block.
void Engine::Stream::writeLastBlock(float* const* out, size_t at, int count) const {
  for (const Group& group : groups) {
    const Slot& last = group.slots[static_cast<size_t>(lastSlot)];
    for (int ch = 0; ch < group.geometry.channels; ++ch) {
      copyScaled(last.frame[ch] + h, out[group.firstChannel + ch] + at, count, inverseScale);
    }
  }
}

// A stream of at most H sample frames never makes a frame: it comes back as it
// went in, as XfmDo writes such a selection back.
void Engine::Stream::writeUnchanged(float* const* out, size_t at) const {
  const bool oneFullBlock = blocks == 1;
  const int count = oneFullBlock ? h : filled;
  for (int c = 0; c < channels; ++c) {
    copyScaled(oneFullBlock ? older[c] : newer[c], out[c] + at, count, inverseScale);
  }
}

Engine::Engine(const EngineSettings& settings) {
  checkSettings(settings);
  const std::vector<PointList>& curves =
      settings.curves.empty() ? effectInfo(settings.effect).initialCurves : settings.curves;
  stream_ = std::make_unique<Stream>(settings, prepareCurves(settings.effect, curves));
}

Engine::~Engine() = default;

int Engine::latency() const { return stream_->n - 1; }
int Engine::frameLength() const { return stream_->n; }
int Engine::channels() const { return stream_->channels; }
double Engine::sampleRate() const { return stream_->sampleRate; }
Effect Engine::effect() const { return stream_->effect; }

void Engine::process(const float* const* in, float* const* out, size_t sampleFrames) noexcept {
  Stream& s = *stream_;
  size_t done = 0;
  size_t unwritten = 0;  // output from here on waits for the gathered frames
  while (done < sampleFrames) {
    const int chunk =
        static_cast<int>(std::min(sampleFrames - done, static_cast<size_t>(s.h - s.filled)));
    scaled(in, done, s.newer.data(), s.filled, s.channels, chunk, s.scale);
    s.filled += chunk;
    done += static_cast<size_t>(chunk);
    if (s.filled == s.h) {
      s.completeBlock();
      if (s.gathered == s.slots) {
        s.transformGathered();
        // The input up to here is read, so out may be in.
        s.write(out, unwritten, static_cast<int>(done - unwritten));
        unwritten = done;
      }
    }
  }
  s.transformGathered();
  s.write(out, unwritten, static_cast<int>(done - unwritten));
}

void Engine::finish(float* const* out) noexcept {
  Stream& s = *stream_;
  const int room = s.n - 1;
  size_t at = 0;
  auto writeQueued = [&] {
    const int count = std::min(s.queued(), room - static_cast<int>(at));
    s.write(out, at, count);
    at += static_cast<size_t>(count);
  };
  writeQueued();
  if (s.blocks == 0 || (s.blocks == 1 && s.filled == 0)) {
    s.writeUnchanged(out, at);
    at += static_cast<size_t>(s.blocks == 1 ? s.h : s.filled);
  } else {
    int last = s.h;
    if (s.filled > 0) {
      // A short last block: silence after it, as XfmDo pads a short read.
      last = s.filled;
      for (int c = 0; c < s.channels; ++c) std::fill(s.newer[c] + s.filled, s.newer[c] + s.h, 0.0f);
      s.completeBlock();
      s.transformGathered();
      writeQueued();
    }
    s.writeLastBlock(out, at, last);
    at += static_cast<size_t>(last);
  }
  s.restart();
}

void Engine::reset() noexcept { stream_->restart(); }

void Engine::useCurves(std::unique_ptr<CurveTables>& tables) noexcept {
  if (tables == nullptr || tables->effect() != stream_->effect) return;
  std::swap(tables, stream_->tables);
}

}  // namespace vtengine
