// The page's player on a recording audio context: a new processed preview,
// whole or a part spliced in, takes over at the position playing, faded in
// over 15 ms while the one before fades out over the same 15 ms, and the
// original plays on untouched. What the ear hears as a click is a source
// started or stopped at full gain, so the test reads the gain automation
// the player schedules, which no real context exposes.
//
//   node tests/studio/player_test.mjs
import assert from "node:assert/strict";
import test from "node:test";

import { Player } from "../../studio/web/sound_view.js";

// Records what the player asks of its nodes.
class RecordedParam {
  constructor() {
    this.events = [];
  }
  setValueAtTime(value, time) {
    this.events.push(["set", value, time]);
  }
  linearRampToValueAtTime(value, time) {
    this.events.push(["ramp", value, time]);
  }
}

class RecordedContext {
  constructor() {
    this.currentTime = 0;
    this.destination = {};
    this.sources = [];
  }
  async resume() {}
  createGain() {
    return { gain: new RecordedParam(), connect(to) { this.to = to; } };
  }
  createBufferSource() {
    const source = {
      connect(to) { this.to = to; },
      start(when, offset) { this.started = [when, offset]; },
      stop(when = 0) { this.stopped = when; },
    };
    this.sources.push(source);
    return source;
  }
  createBuffer(channels, length, sampleRate) {
    const planes = Array.from({ length: channels }, () => new Float32Array(length));
    return {
      numberOfChannels: channels, length, sampleRate, duration: length / sampleRate,
      getChannelData: (channel) => planes[channel],
    };
  }
}

const rate = 1000;

// A player playing two seconds of `rate` Hz stereo: the original and a
// first processed buffer started together at context time 0.05.
async function playing() {
  globalThis.AudioContext = RecordedContext;
  const player = new Player();
  const context = player.ensureContext();
  const original = context.createBuffer(2, 2 * rate, rate);
  const processed = context.createBuffer(2, 2 * rate, rate);
  for (let ch = 0; ch < 2; ++ch) processed.getChannelData(ch).fill(0.25 * (ch + 1));
  player.setSelection(original, processed);
  await player.play();
  return { player, context, original, processed };
}

const near = (a, b) => Math.abs(a - b) < 1e-9;

// The old processed source fades out and stops as the new one fades in,
// both from `now` to `now` + 15 ms; the new one starts at the position.
function assertCrossFade(player, old, oldFade, now) {
  const fresh = player.sources.processed;
  assert.notEqual(fresh, old, "no new source took over");
  assert.ok(near(fresh.started[0], now) && near(fresh.started[1], now - 0.05),
    `the new source starts at ${fresh.started}, not at ${now} s, ${now - 0.05} s into the selection`);
  const fadeIn = player.fades.processed.gain.events;
  assert.deepEqual(fadeIn.map(([kind, value]) => [kind, value]), [["set", 0], ["ramp", 1]]);
  assert.ok(near(fadeIn[0][2], now) && near(fadeIn[1][2], now + 0.015), `fade in ${fadeIn}`);
  const fadeOut = oldFade.gain.events;
  assert.deepEqual(fadeOut.map(([kind, value]) => [kind, value]), [["set", 1], ["ramp", 0]]);
  assert.ok(near(fadeOut[0][2], now) && near(fadeOut[1][2], now + 0.015), `fade out ${fadeOut}`);
  assert.ok(near(old.stopped, now + 0.015), `the old source stops at ${old.stopped}, before its fade ends`);
}

test("a whole new preview takes over at the position playing, cross-faded over 15 ms", async () => {
  const { player, context } = await playing();
  const original = player.sources.original;
  const old = player.sources.processed, oldFade = player.fades.processed;
  assert.deepEqual(oldFade.gain.events, [], "the first source was faded in: its start would be quiet");
  context.currentTime = 1.3;
  const next = context.createBuffer(2, 2 * rate, rate);
  player.replaceProcessed(next);
  assertCrossFade(player, old, oldFade, 1.3);
  assert.equal(player.sources.processed.buffer, next);
  assert.equal(player.sources.original, original, "the original was started again");
  assert.equal(original.stopped, undefined, "the original was stopped");
});

test("a part is spliced into a copy at its frame and cross-faded in; the rest plays as before", async () => {
  const { player, context, processed } = await playing();
  const old = player.sources.processed, oldFade = player.fades.processed;
  context.currentTime = 0.8;
  // 10 frames of 16-bit stereo from frame 700, and 10 more past the end are cut.
  const part = new Int16Array(20);
  for (let f = 0; f < 10; ++f) [part[2 * f], part[2 * f + 1]] = [-16384, 8192];
  player.spliceProcessed(part, 2, 700);
  assertCrossFade(player, old, oldFade, 0.8);
  const copy = player.buffers.processed;
  assert.notEqual(copy, processed, "no copy was made: the part went into the buffer playing");
  assert.equal(processed.getChannelData(0)[700], 0.25, "the buffer playing was written over");
  for (const [ch, value] of [[0, -0.5], [1, 0.25]]) {
    const data = copy.getChannelData(ch);
    assert.equal(data[699], 0.25 * (ch + 1), `channel ${ch}: the frame before the part changed`);
    assert.deepEqual(Array.from(data.slice(700, 710)), Array(10).fill(value), `channel ${ch}: the part`);
    assert.equal(data[710], 0.25 * (ch + 1), `channel ${ch}: the frame after the part changed`);
  }
});

test("while stopped, a new preview is only kept for the next play", async () => {
  const { player, context } = await playing();
  player.stop();
  const started = context.sources.length;
  player.replaceProcessed(context.createBuffer(2, 2 * rate, rate));
  assert.equal(context.sources.length, started, "a source was started while stopped");
  assert.equal(player.playing, false);
});
