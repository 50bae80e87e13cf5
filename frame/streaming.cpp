// The streaming skeleton of XfmDo.
//
// The selection is read in blocks of H sample frames. Each pass joins the
// two latest blocks into a frame of N = 2H samples per channel, has the
// spectral stage transform it, cross-fades its first half with the faded
// tail of the previous frame, clips, converts back to the host's format and
// writes the older block to where it was read: writing lags reading by one
// block. At the end the second half of the last frame is written.
#include "streaming.h"

#include <cstdint>
#include <cstring>

#include "crossfade.h"
#include "globalblock.h"
#include "hostcalls.h"

namespace {

enum class SelectionCheck { Stream, Empty, Refused };

struct SampleFormat {
  int channels;        // 1 or 2
  int bytesPerSample;  // 1 (unsigned, 128 is zero) or 2 (signed)
  int blockAlign;      // bytes per sample frame
};

// Everything a selection needs is checked before anything is allocated,
// read or written: a record that would make the skeleton read or write
// outside its buffers, or pass positions that do not fit the interface's
// 32-bit arguments, is refused.
SelectionCheck checkSelection(const XfmDoRecord* record, SampleFormat& format, LONG& startByte,
                              LONG& totalBytes) {
  if (record == nullptr) return SelectionCheck::Refused;
  if (record->readData == nullptr || record->writeData == nullptr ||
      record->getCurveValue == nullptr) {
    return SelectionCheck::Refused;
  }
  format.channels = record->channels == 1 ? 1 : 2;
  format.bytesPerSample = record->bitsPerSample == 8 ? 1 : 2;
  format.blockAlign = format.channels * format.bytesPerSample;
  if (record->blockAlign != format.blockAlign) return SelectionCheck::Refused;

  if (record->selectionLast < record->selectionFirst) return SelectionCheck::Empty;
  const int64_t start = int64_t{record->selectionFirst} * format.blockAlign;
  const int64_t end = (int64_t{record->selectionLast} + 1) * format.blockAlign;
  if (start < 0 || end > INT32_MAX) return SelectionCheck::Refused;
  startByte = static_cast<LONG>(start);
  totalBytes = static_cast<LONG>(end - start);
  return SelectionCheck::Stream;
}

// The working area: one movable block holding every buffer of the call.
struct WorkingArea {
  float* frame[2];            // per channel, N + 2 floats
  ComplexFloat* spectrum[2];  // N/2 + 1 bins each, back to back
  float* interleave;          // the two spectrum buffers seen as 2N + 4 floats
  float* tail[2];             // per channel, H floats
  float* fadeIn;              // H floats
  float* fadeOut;             // H floats
  float* own;                 // the stage's buffers
  unsigned char* input[2];    // H sample frames each, used alternately
  unsigned char* output;      // H sample frames
};

int skeletonFloats(const FrameGeometry& g) {
  return g.channels * (g.n + 2) + 2 * (g.n + 2) + g.channels * g.h + 2 * g.h;
}

SIZE_T workingAreaBytes(const SpectralStage& stage, const FrameGeometry& g, int blockAlign) {
  const SIZE_T floats = static_cast<SIZE_T>(skeletonFloats(g) + stage.ownFloats(g.n));
  const SIZE_T needed = floats * sizeof(float) + 3 * static_cast<SIZE_T>(g.h) * blockAlign;
  const SIZE_T asked = stage.workingAreaBytes != nullptr ? stage.workingAreaBytes(g.n) : 0;
  return asked > needed ? asked : needed;
}

// The floats come first, so that every float buffer is aligned as the
// block is; the byte buffers follow them.
WorkingArea layOut(void* block, const FrameGeometry& g, int blockAlign, int ownFloats) {
  WorkingArea area{};
  float* next = static_cast<float*>(block);
  auto take = [&next](int floats) {
    float* buffer = next;
    next += floats;
    return buffer;
  };
  for (int ch = 0; ch < g.channels; ++ch) area.frame[ch] = take(g.n + 2);
  area.interleave = take(2 * (g.n + 2));
  area.spectrum[0] = reinterpret_cast<ComplexFloat*>(area.interleave);
  area.spectrum[1] = reinterpret_cast<ComplexFloat*>(area.interleave + g.n + 2);
  for (int ch = 0; ch < g.channels; ++ch) area.tail[ch] = take(g.h);
  area.fadeIn = take(g.h);
  area.fadeOut = take(g.h);
  area.own = take(ownFloats);

  unsigned char* bytes = reinterpret_cast<unsigned char*>(next);
  const size_t blockBytes = static_cast<size_t>(g.h) * blockAlign;
  area.input[0] = bytes;
  area.input[1] = bytes + blockBytes;
  area.output = bytes + 2 * blockBytes;
  return area;
}

// One XfmDo call's streaming state.
struct Stream {
  const XfmDoRecord& record;
  const SpectralStage& stage;
  const void* tables;
  FrameGeometry g;
  SampleFormat format;
  WorkingArea area;
  int samplesPerBlock;  // H x channels sample values per block
  LONG fullBlockBytes;  // H x blockAlign
  float upperLimit;
  float lowerLimit;
};

// Reads count bytes into a block buffer. Whatever the read leaves of the
// buffer is silence, so that no stale samples of an earlier block enter the
// frame after the end of the selection.
void readBlock(const Stream& s, unsigned char* block, LONG position, LONG count) {
  hostReadData(s.record, block, position, count);
  if (count < s.fullBlockBytes) {
    const int silence = s.format.bytesPerSample == 1 ? 0x80 : 0;
    std::memset(block + count, silence, static_cast<size_t>(s.fullBlockBytes - count));
  }
}

// A whole block to floats, samples per block values, whatever was read.
void blockToFloats(const Stream& s, const unsigned char* block, float* destination) {
  if (s.format.bytesPerSample == 1) {
    for (int i = 0; i < s.samplesPerBlock; ++i) {
      destination[i] = static_cast<float>(static_cast<int>(block[i]) - 128);
    }
  } else {
    nspsbIntToFloat(block, destination, s.samplesPerBlock, 16, 0);
  }
}

void buildFrames(const Stream& s, const unsigned char* older, const unsigned char* newer) {
  const WorkingArea& a = s.area;
  if (s.g.channels == 1) {
    blockToFloats(s, older, a.frame[0]);
    blockToFloats(s, newer, a.frame[0] + s.g.h);
    return;
  }
  blockToFloats(s, older, a.interleave);
  blockToFloats(s, newer, a.interleave + s.g.n);
  nspcbCplxTo2Real(a.spectrum[0], a.frame[0], a.frame[1], s.g.n);
}

// The first output block fades from the untouched input into the first
// processed frame: the tail starts as the input's first half, faded out.
void startTails(const Stream& s) {
  for (int ch = 0; ch < s.g.channels; ++ch) {
    startTail(s.area.frame[ch], s.area.tail[ch], s.area.fadeOut, s.g.h);
  }
}

void overlapAdd(const Stream& s) {
  for (int ch = 0; ch < s.g.channels; ++ch) {
    ::overlapAdd(s.area.frame[ch], s.area.tail[ch], s.area.fadeIn, s.area.fadeOut, s.g.h);
  }
}

// Clips H values from the given offset of each channel's frame; the upper
// limit for every channel first, then the lower one.
void clipHalfFrames(const Stream& s, int offset) {
  for (int ch = 0; ch < s.g.channels; ++ch) {
    nspsbThresh1(s.area.frame[ch] + offset, s.g.h, s.upperLimit, 1);
  }
  for (int ch = 0; ch < s.g.channels; ++ch) {
    nspsbThresh1(s.area.frame[ch] + offset, s.g.h, s.lowerLimit, 0);
  }
}

// Clipped floats to the host's format: 8-bit truncates value + 128 toward
// zero (1 .. 255 after clipping), 16-bit rounds to nearest, ties to even.
void floatsToBlock(const Stream& s, const float* source, unsigned char* block) {
  if (s.format.bytesPerSample == 1) {
    for (int i = 0; i < s.samplesPerBlock; ++i) {
      block[i] = static_cast<unsigned char>(static_cast<int>(source[i] + 128.0f));
    }
  } else {
    nspsbFloatToInt(source, block, s.samplesPerBlock, 16, NSP_ConvRoundNearest);
  }
}

// Clips and converts H sample frames starting at the given offset of the
// channel frames into the output buffer.
void renderOutput(const Stream& s, int offset) {
  clipHalfFrames(s, offset);
  if (s.g.channels == 1) {
    floatsToBlock(s, s.area.frame[0] + offset, s.area.output);
    return;
  }
  nspcb2RealToCplx(s.area.frame[0] + offset, s.area.frame[1] + offset, s.area.spectrum[0], s.g.h);
  floatsToBlock(s, s.area.interleave, s.area.output);
}

LONG smaller(LONG a, LONG b) { return a < b ? a : b; }

void streamBlocks(const Stream& s, LONG startByte, LONG totalBytes) {
  const XfmDoRecord& r = s.record;
  LONG remaining = totalBytes;
  LONG readPosition = startByte;
  LONG writePosition = startByte;
  LONG blockLength = s.fullBlockBytes;

  LONG count = smaller(blockLength, remaining);
  blockLength = count;
  remaining -= count;
  readBlock(s, s.area.input[0], readPosition, count);
  readPosition += count;
  LONG pending = count;
  int passNumber = 1;

  if (remaining == 0) {
    // The whole selection fits into one block: no frame is ever built, so
    // the block goes back as it came.
    hostWriteData(r, s.area.input[0], writePosition, pending);
    return;
  }

  const StageFrames frames{s.g,
                           {s.area.frame[0], s.area.frame[1]},
                           {s.area.spectrum[0], s.area.spectrum[1]},
                           s.area.own,
                           s.tables};
  int passesSinceProgress = 0;
  for (;;) {
    count = smaller(blockLength, remaining);
    blockLength = count;
    remaining -= count;
    unsigned char* newer = s.area.input[passNumber % 2];
    const unsigned char* older = s.area.input[(passNumber + 1) % 2];
    readBlock(s, newer, readPosition, count);
    readPosition += count;
    passNumber += 1;

    buildFrames(s, older, newer);
    const bool firstFrame = passNumber == 2;
    if (firstFrame) startTails(s);
    s.stage.transformFrame(frames, firstFrame);
    overlapAdd(s);
    renderOutput(s, 0);
    hostWriteData(r, s.area.output, writePosition, pending);
    writePosition += pending;
    pending = count;

    if (passesSinceProgress == 8) {
      hostReportProgress(r, totalBytes - remaining, totalBytes);
      passesSinceProgress = 0;
    } else {
      ++passesSinceProgress;
    }
    if (hostCancelRequested(r) || remaining == 0) break;
  }

  // The second half of the last processed frame, without fade.
  renderOutput(s, s.g.h);
  hostWriteData(r, s.area.output, writePosition, pending);
}

// The host's curve values through the instance's curve words: curve i is
// the curve whose handle word i holds.
struct InstanceCurves {
  const XfmDoRecord& record;
  const WORD* words;
};

double instanceCurveValue(const void* context, int curve, double position) {
  const auto& curves = *static_cast<const InstanceCurves*>(context);
  return hostCurveValue(curves.record, curves.words[curve], position);
}

// Allocates and locks the stage's tables, locks the instance block and
// fills the tables from the instance's curves. On success the instance
// block stays locked until the end of the call; on failure nothing is held.
bool prepareTables(const XfmDoRecord& record, const SpectralStage& stage, LockedBlock& tables) {
  if (!obtainLockedBlock(stage.tableBytes, tables)) return false;
  const WORD* words = lockInstanceWords(record);
  if (words == nullptr) {
    releaseLockedBlock(tables);
    return false;
  }
  const InstanceCurves curves{record, words};
  stage.fillTables(CurveSampler{instanceCurveValue, &curves}, tables.address);
  return true;
}

}  // namespace

int streamSelection(const XfmDoRecord* record, const SpectralStage& stage) {
  SampleFormat format{};
  LONG startByte = 0;
  LONG totalBytes = 0;
  switch (checkSelection(record, format, startByte, totalBytes)) {
    case SelectionCheck::Refused: return 1;
    case SelectionCheck::Empty: return 0;
    case SelectionCheck::Stream: break;
  }
  const XfmDoRecord& r = *record;
  const FrameGeometry g = frameGeometryFor(r.sampleRate, r.channels);

  LockedBlock tables{};
  if (!prepareTables(r, stage, tables)) return 1;

  LockedBlock areaBlock{};
  if (!obtainLockedBlock(workingAreaBytes(stage, g, format.blockAlign), areaBlock)) {
    releaseLockedBlock(tables);
    unlockInstanceWords(r);
    return 1;
  }
  const WorkingArea area = layOut(areaBlock.address, g, format.blockAlign, stage.ownFloats(g.n));
  stage.prepareWorkingArea(g, area.own);
  hostSetProgressText(r, "Processing Selection");

  const bool eightBit = format.bytesPerSample == 1;
  const Stream stream{r,
                      stage,
                      tables.address,
                      g,
                      format,
                      area,
                      g.h * g.channels,
                      static_cast<LONG>(g.h * format.blockAlign),
                      eightBit ? 127.0f : 32767.0f,
                      eightBit ? -127.0f : -32767.0f};
  fillRamps(area.fadeIn, area.fadeOut, g.h);
  streamBlocks(stream, startByte, totalBytes);

  hostEndProgress(r);
  releaseLockedBlock(tables);
  releaseLockedBlock(areaBlock);
  unlockInstanceWords(r);
  return 0;
}
