// How soon a curve edit in the studio page is heard: mouse-up after a drag
// of a curve point to the new sound at the play position, and to the
// finished preview (processed buffer and "After" spectrogram in place),
// with the sound playing, over 20 drags on a 30 s and a 5 min stereo sound.
// Debian's chromium driven by playwright-core (from tests/studio, where
// `npm ci` puts it).
//
//   node studio_latency_bench.mjs --vortigen V --plugins DIR [--work DIR] [--drags N] [--older]
//
// --older measures a studio whose page keeps no record of when an edit was
// heard: there the new sound counts as playable when the page swaps a
// processed buffer in, and the preview as finished once the task that
// swapped it (and drew the spectrogram) has ended.
import { spawn } from "node:child_process";
import { createRequire } from "node:module";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import { fileURLToPath } from "node:url";

const here = path.dirname(fileURLToPath(import.meta.url));
const require = createRequire(path.join(here, "..", "tests", "studio", "package.json"));
const { chromium } = require("playwright-core");

const args = Object.fromEntries(process.argv.slice(2).reduce((pairs, word, i, all) =>
  word.startsWith("--") ? [...pairs, [word.slice(2), all[i + 1] && !all[i + 1].startsWith("--") ? all[i + 1] : true]] : pairs, []));
const drags = Number(args.drags || 20);
const work = args.work || fs.mkdtempSync(path.join(os.tmpdir(), "vortigen-latency-"));
fs.mkdirSync(work, { recursive: true });
const chromiumPath = process.env.VORTIGEN_CHROMIUM || "/usr/bin/chromium";

// 16-bit stereo WAV: tones over a decaying noise, as the browser test's.
function writeWav(file, seconds, sampleRate = 44100) {
  if (fs.existsSync(file)) return;
  const frames = Math.round(seconds * sampleRate);
  const data = Buffer.alloc(frames * 4);
  let seed = 12345;
  const noise = () => ((seed = (seed * 1103515245 + 12345) & 0x7fffffff) / 0x7fffffff) * 2 - 1;
  for (let f = 0; f < frames; ++f) {
    const t = f / sampleRate;
    const beat = Math.exp(-8 * (t % 0.5));
    const tone = 0.25 * Math.sin(2 * Math.PI * 220 * t) + 0.12 * Math.sin(2 * Math.PI * 1760 * t) * beat;
    data.writeInt16LE(Math.round((tone + 0.1 * beat * noise()) * 32767), 4 * f);
    data.writeInt16LE(Math.round((tone * 0.8 + 0.1 * beat * noise()) * 32767), 4 * f + 2);
  }
  const header = Buffer.alloc(44);
  header.write("RIFF", 0); header.writeUInt32LE(36 + data.length, 4); header.write("WAVE", 8);
  header.write("fmt ", 12); header.writeUInt32LE(16, 16); header.writeUInt16LE(1, 20); header.writeUInt16LE(2, 22);
  header.writeUInt32LE(sampleRate, 24); header.writeUInt32LE(sampleRate * 4, 28); header.writeUInt16LE(4, 32);
  header.writeUInt16LE(16, 34); header.write("data", 36); header.writeUInt32LE(data.length, 40);
  fs.writeFileSync(file, Buffer.concat([header, data]));
}

const sounds = [["30 s stereo", path.join(work, "stereo-30s.wav"), 30], ["5 min stereo", path.join(work, "stereo-5min.wav"), 300]];
for (const [, file, seconds] of sounds) writeWav(file, seconds);

const studio = spawn(args.vortigen, ["studio", ...sounds.map((s) => s[1]), "--profile", path.join(work, "presets.ini"),
  "--plugin-dir", args.plugins], { stdio: ["ignore", "pipe", "ignore"] });
process.on("exit", () => studio.exitCode === null && studio.kill("SIGKILL"));
const url = await new Promise((resolve, reject) => {
  let text = "";
  studio.stdout.on("data", (chunk) => {
    const found = (text += chunk).match(/open (http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]{32})/);
    if (found) resolve(found[1]);
  });
  setTimeout(() => reject(new Error("vortigen studio printed no address within 20 s")), 20000);
});

const context = await chromium.launchPersistentContext(path.join(work, "chromium-profile"), {
  executablePath: chromiumPath, headless: true, viewport: { width: 1600, height: 950 },
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-background-networking",
    "--disable-component-update", "--disable-sync", "--autoplay-policy=no-user-gesture-required"],
});
const page = context.pages()[0] || await context.newPage();
const idle = () => page.evaluate(() => window.studio.idle());
async function waitFor(condition, timeout = 20000) {
  for (const start = Date.now(); !(await page.evaluate(condition));) {
    if (Date.now() - start > timeout) throw new Error(`waited ${timeout} ms for ${condition}`);
    await new Promise((r) => setTimeout(r, 50));
  }
}

await page.goto(url);
await waitFor(() => window.studio && window.studio.state.dialog && window.studio.state.original);
await idle();
// Mouse-up times, and for the older page the times it swapped buffers in.
await page.evaluate(() => {
  window.bench = { up: 0, swapped: [], done: [] };
  window.addEventListener("pointerup", () => { window.bench.up = performance.now(); }, true);
  const player = window.studio.player, replace = player.replaceProcessed.bind(player);
  player.replaceProcessed = (buffer) => {
    window.bench.swapped.push(performance.now());
    setTimeout(() => window.bench.done.push(performance.now()), 0);
    return replace(buffer);
  };
});

async function pagePoint(x, y) {
  const box = await page.locator("#dialog").boundingBox();
  const d = await page.evaluate(() => window.studio.state.dialog);
  return [box.x + ((x + 0.5) * box.width) / d.width, box.y + ((y + 0.5) * box.height) / d.height];
}
function curvePixel(curve, x, y) {
  const [l, t, r, b] = curve.area, [xMin, xMax, yMin, yMax] = curve.range;
  return [Math.round(l + ((x - xMin) * (r - l - 1)) / (xMax - xMin)), Math.round(b - 1 - ((y - yMin) * (b - t - 1)) / (yMax - yMin))];
}

const statistics = (values) => {
  const sorted = [...values].sort((a, b) => a - b);
  const middle = sorted.length / 2;
  const median = sorted.length % 2 ? sorted[Math.floor(middle)] : (sorted[middle - 1] + sorted[middle]) / 2;
  return `median ${median.toFixed(0)} ms, max ${sorted[sorted.length - 1].toFixed(0)} ms`;
};

const load = [os.loadavg()[0]];
for (const [name] of sounds) {
  const option = await page.locator("#sound option", { hasText: name.startsWith("30") ? "stereo-30s" : "stereo-5min" }).getAttribute("value");
  await page.selectOption("#sound", option);
  await idle();
  if (!(await page.evaluate(() => window.studio.player.playing))) await page.click("#play");
  await waitFor(() => window.studio.player.position() > 0.2);
  const heard = [], finished = [];
  for (let i = 0, tries = 0; heard.length < drags; ++i) {
    if (++tries > 2 * drags) throw new Error(`only ${heard.length} of ${tries} drags changed the curves`);
    // The release curve's right end point, moved up and down.
    const d = await page.evaluate(() => window.studio.state.dialog);
    const curve = d.curves[1];
    const from = curve.points[curve.points.length - 1];
    const to = 3000 + ((i * 5171) % 10000);
    const keyBefore = await page.evaluate(() => window.studio.state.curvesKey);
    await page.evaluate(() => {
      window.bench.swapped = [];
      window.bench.done = [];
      const s = window.studio.state;
      if (s.heard) s.heard.clear();
      if (s.finished) s.finished.clear();
    });
    await page.mouse.move(...(await pagePoint(...curvePixel(curve, from[0], from[1]))));
    await page.mouse.down();
    await page.mouse.move(...(await pagePoint(...curvePixel(curve, from[0], to))), { steps: 8 });
    await page.mouse.up();
    await idle();
    const times = await page.evaluate((older) => {
      const s = window.studio.state, b = window.bench;
      if (older) return [b.swapped.at(-1), b.done.at(-1), b.up];
      return [s.heard.get(s.curvesKey), s.finished.get(s.curvesKey), b.up];
    }, Boolean(args.older));
    const [soundAt, doneAt, up] = times;
    // A press that grabbed no point (another curve's lay under it) is no edit.
    if (await page.evaluate((before) => window.studio.state.curvesKey === before, keyBefore)) continue;
    if (soundAt === undefined || doneAt === undefined) throw new Error(`drag ${i + 1} changed no sound: ${JSON.stringify(await page.evaluate(() => [window.studio.state.curvesKey, [...window.studio.state.heard.keys()], [...window.studio.state.finished.keys()], document.getElementById("status").textContent]))}`);
    heard.push(Math.max(0, soundAt - up));
    finished.push(Math.max(0, doneAt - up));
    await new Promise((r) => setTimeout(r, 300));
  }
  console.log(`${name}: mouse-up to new sound at the play position ${statistics(heard)}; ` +
    `to the finished preview ${statistics(finished)} (${drags} drags)`);
}
load.push(os.loadavg()[0]);
console.log(`load average (1 min) ${load.map((l) => l.toFixed(2)).join(" at the start, ")} at the end; ${os.cpus().length} cores`);
await context.close();
studio.kill("SIGINT");
