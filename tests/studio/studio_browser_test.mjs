// The studio in a real browser: Debian's chromium driven by playwright-core.
// Starts `vortigen studio` over a generated sound and a scratch profile,
// and checks what a person does on the page against the plug-in itself: a
// drag with real mouse events against the same messages sent straight to
// DIALOGMsgProc (studio_dialog_probe), an export against `vortigen`'s
// output for the same preset text, Add against the profile file.
//
//   node studio_browser_test.mjs --vortigen V --probe P --plugins DIR --work DIR [--shots DIR]
// Exits 0 when every case passes, 1 otherwise, 77 when chromium is missing.
// playwright-core comes from `npm ci` here, which scripts/setup.sh runs;
// without it the import fails and so does the test.
import { chromium } from "playwright-core";
import { spawn, execFileSync } from "node:child_process";
import fs from "node:fs";
import http from "node:http";
import path from "node:path";
import assert from "node:assert/strict";

const args = Object.fromEntries(process.argv.slice(2).reduce((pairs, word, i, all) =>
  word.startsWith("--") ? [...pairs, [word.slice(2), all[i + 1]]] : pairs, []));
const chromiumPath = process.env.VORTIGEN_CHROMIUM || "/usr/bin/chromium";
if (!fs.existsSync(chromiumPath)) {
  console.log(`studio browser tests skipped: ${chromiumPath} is missing (scripts/setup.sh installs it)`);
  process.exit(77);
}
const work = args.work;
fs.rmSync(work, { recursive: true, force: true });
fs.mkdirSync(work, { recursive: true });
const shots = args.shots || path.join(work, "shots");
fs.rmSync(shots, { recursive: true, force: true });  // no pictures of an earlier run's failures
fs.mkdirSync(shots, { recursive: true });

// ---- A sound to work on: 16-bit stereo WAV, tones over a decaying noise ----

function writeWav(file, seconds, sampleRate = 44100) {
  const frames = Math.round(seconds * sampleRate);
  const data = Buffer.alloc(frames * 4);
  let seed = 12345;
  const noise = () => ((seed = (seed * 1103515245 + 12345) & 0x7fffffff) / 0x7fffffff) * 2 - 1;
  for (let f = 0; f < frames; ++f) {
    const t = f / sampleRate;
    const beat = Math.exp(-8 * (t % 0.5));
    const tone = 0.25 * Math.sin(2 * Math.PI * 220 * t) + 0.12 * Math.sin(2 * Math.PI * 1760 * t) * beat;
    const left = tone + 0.1 * beat * noise(), right = tone * 0.8 + 0.1 * beat * noise();
    data.writeInt16LE(Math.round(left * 32767), 4 * f);
    data.writeInt16LE(Math.round(right * 32767), 4 * f + 2);
  }
  const header = Buffer.alloc(44);
  header.write("RIFF", 0); header.writeUInt32LE(36 + data.length, 4); header.write("WAVE", 8);
  header.write("fmt ", 12); header.writeUInt32LE(16, 16); header.writeUInt16LE(1, 20); header.writeUInt16LE(2, 22);
  header.writeUInt32LE(sampleRate, 24); header.writeUInt32LE(sampleRate * 4, 28); header.writeUInt16LE(4, 32);
  header.writeUInt16LE(16, 34); header.write("data", 36); header.writeUInt32LE(data.length, 40);
  fs.writeFileSync(file, Buffer.concat([header, data]));
}

const input = path.join(work, "input.wav");
const second = path.join(work, "second.wav");
const broken = path.join(work, "broken.wav");
const large = path.join(work, "large.wav");
const profile = path.join(work, "presets.ini");
writeWav(input, 3);
writeWav(second, 1);
fs.writeFileSync(broken, "RIFF this is not a sound at all");
fs.writeFileSync(large, Buffer.alloc(1536 * 1024));

// ---- The studio ------------------------------------------------------------------

let studio = null;
// Whatever happens to the test, the studio it started ends with it.
process.on("exit", () => studio && studio.exitCode === null && studio.kill("SIGKILL"));
process.on("uncaughtException", (e) => {
  console.log(`FAIL ${e.stack}`);
  process.exit(1);
});
studio = spawn(args.vortigen, ["studio", input, path.join(work, "missing.wav"), "--profile", profile, "--max-upload", "1",
  "--plugin-dir", args.plugins], { stdio: ["ignore", "pipe", "inherit"] });
const url = await new Promise((resolve, reject) => {
  let text = "";
  studio.stdout.on("data", (chunk) => {
    text += chunk;
    const found = text.match(/open (http:\/\/127\.0\.0\.1:\d+\/\?token=[0-9a-f]{32})/);
    if (found) resolve(found[1]);
  });
  studio.on("exit", (code) => reject(new Error(`vortigen studio ended with ${code} before it printed its address`)));
  setTimeout(() => reject(new Error("vortigen studio printed no address within 10 s")), 10000);
});
const origin = new URL(url).origin;
const token = new URL(url).searchParams.get("token");

// A fresh profile directory of its own for each run.
const context = await chromium.launchPersistentContext(path.join(work, "chromium-profile"), {
  executablePath: chromiumPath,
  headless: true,
  args: ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--autoplay-policy=no-user-gesture-required"],
  viewport: { width: 1600, height: 950 },
  acceptDownloads: true,
});
const page = context.pages()[0] || await context.newPage();
const pageErrors = [];
page.on("pageerror", (e) => pageErrors.push(e.message));

// Polls a condition in the page (the page's policy forbids the string
// evaluation waitForFunction uses).
async function waitFor(condition, timeout = 5000) {
  for (const start = Date.now(); !(await page.evaluate(condition));) {
    if (Date.now() - start > timeout) throw new Error(`waited ${timeout} ms for ${condition}`);
    await new Promise((r) => setTimeout(r, 50));
  }
}
const idle = () => page.evaluate(() => window.studio.idle());
const dialog = () => page.evaluate(() => window.studio.state.dialog);
// The page's dialog once `holds` is true of it, or as it is after `timeout`
// ms: a key's action may still be on its way when the page looks idle.
async function dialogWhen(holds, timeout = 5000) {
  for (const start = Date.now(); ; await new Promise((r) => setTimeout(r, 50))) {
    const d = await dialog();
    if (holds(d) || Date.now() - start > timeout) return d;
  }
}
const shot = (name) => page.screenshot({ path: path.join(shots, `${name}.png`) });

// The page position of a dialog client pixel, at the pixel's centre.
async function pagePoint(x, y) {
  const box = await page.locator("#dialog").boundingBox();
  const d = await dialog();
  return [box.x + ((x + 0.5) * box.width) / d.width, box.y + ((y + 0.5) * box.height) / d.height];
}

// Where the host's curve editor draws raw point (x, y) of a curve.
function curvePixel(curve, x, y) {
  const [l, t, r, b] = curve.area, [xMin, xMax, yMin, yMax] = curve.range;
  return [Math.round(l + ((x - xMin) * (r - l - 1)) / (xMax - xMin)), Math.round(b - 1 - ((y - yMin) * (b - t - 1)) / (yMax - yMin))];
}

async function pickPreset(name) {
  await page.locator("#dialog .list-item", { hasText: new RegExp(`^${name.replace(/[()+]/g, "\\$&")}$`) }).click();
  await idle();
}

// Drags with real mouse events from one dialog pixel to another; returns
// the messages the same drag sends when delivered straight to the dialog.
async function drag([x0, y0], [x1, y1]) {
  await page.mouse.move(...(await pagePoint(x0, y0)));
  await page.mouse.down();
  await page.mouse.move(...(await pagePoint(x1, y1)), { steps: 8 });
  await page.mouse.up();
  await idle();
  return [`move:${x0},${y0}`, `down:${x0},${y0}`, `move:${x1},${y1}`, `up:${x1},${y1}`];
}

function probe(effect, steps) {
  const scratch = path.join(work, `probe-${effect}.ini`);
  fs.rmSync(scratch, { force: true });
  const out = execFileSync(args.probe, [path.join(args.plugins, `${effect}.so`), scratch, ...steps], { encoding: "utf8" });
  const result = JSON.parse(out);
  result.presetText = [result.name, 3, ...result.curves.flatMap((c) => [c.length, ...c.flat()])].join(",");
  return result;
}

function raw(pathAndQuery, headers = {}) {
  return new Promise((resolve, reject) => {
    const request = http.request(`${origin}${pathAndQuery}`, { headers }, (response) => {
      let body = "";
      response.on("data", (c) => (body += c));
      response.on("end", () => resolve({ status: response.statusCode, body }));
    });
    request.on("error", reject);
    request.end();
  });
}

// ---- Cases ----------------------------------------------------------------------------

const cases = [];
const test = (name, body) => cases.push({ name, body });

test("the files named on the command line open, or the page says why not", async () => {
  await page.goto(url);
  await waitFor(() => window.studio && window.studio.state.dialog);
  await idle();
  assert.match(await page.locator("#sound option:checked").textContent(), /^input\.wav \(3\.0 s\)/);
  assert.match(await page.textContent("#status"), /missing\.wav/);
  assert.equal(await page.locator("#sound option").count(), 1);
  const d = await dialog();
  assert.equal(d.caption, "Dynamic Vortigen");
  assert.equal(d.curves.length, 3);
  // The spectrogram canvases hold a picture, not the empty background.
  const painted = await page.evaluate(() => {
    const c = document.getElementById("spectrogram-after");
    const data = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
    let bright = 0;
    for (let i = 0; i < data.length; i += 4) if (data[i] > 150) ++bright;
    return bright;
  });
  assert.ok(painted > 100, `the processed spectrogram shows nothing (${painted} bright pixels)`);
  assert.equal(await page.textContent("#readout"), "", "the readout shows the resource's placeholder");
  await shot("studio-opened");
});

test("the spectrograms carry frequency, time and level scales and the waveform a time ruler", async () => {
  // Pixels of the labels' colour (#e8ecf4, which no level colour and no part
  // of the waveform has) in each strip where a scale belongs.
  const labelPixels = (id, [x0, y0, x1, y1]) => page.evaluate(([canvasId, box]) => {
    const c = document.getElementById(canvasId);
    const [l, t, r, b] = box.map((v, i) => (v < 0 ? (i % 2 ? c.height : c.width) + v : v));
    const data = c.getContext("2d").getImageData(l, t, r - l, b - t).data;
    let count = 0;
    for (let i = 0; i < data.length; i += 4) {
      if (Math.abs(data[i] - 232) < 8 && Math.abs(data[i + 1] - 236) < 8 && Math.abs(data[i + 2] - 244) < 8) ++count;
    }
    return count;
  }, [id, [x0, y0, x1, y1]]);
  for (const id of ["spectrogram-before", "spectrogram-after"]) {
    assert.ok(await labelPixels(id, [0, 0, 60, -20]) > 20, `${id} has no frequency scale`);
    assert.ok(await labelPixels(id, [60, -14, -120, -1]) > 20, `${id} has no time scale`);
    assert.ok(await labelPixels(id, [-70, 0, -16, -1]) > 20, `${id} has no level scale`);
  }
  assert.ok(await labelPixels("waveform", [0, -14, -1, -1]) > 20, "the waveform has no time ruler");
});

test("picking a preset in the list applies it through the dialog", async () => {
  await pickPreset("Hard Attack");
  const d = await dialog();
  assert.equal(d.presetName, "Hard Attack");
  assert.equal(d.presetText, "Hard Attack,3,2,0,12375,16384,12375,2,0,8192,16384,8192,2,0,0,16384,0");
  assert.equal(await page.inputValue("#preset-text"), d.presetText);
  assert.ok(!(await page.isVisible("#modified")), "a preset just picked is marked modified");
});

test("a mouse drag on a Dynamic curve changes readout and preset text as the dialog procedure does", async () => {
  let d = await dialog();
  const attack = d.curves[0], release = d.curves[1];
  // Inserts a point in the middle of the attack curve and pulls it up; then
  // lowers the release curve's right end point.
  const steps = ["select:Hard Attack"];
  steps.push(...(await drag(curvePixel(attack, 8192, 12375), curvePixel(attack, 6000, 15500))));
  steps.push(...(await drag(curvePixel(release, 16384, 8192), curvePixel(release, 16384, 3000))));
  d = await dialog();
  const expected = probe("dynamic", steps);
  assert.equal(d.readout, expected.readout);
  assert.equal(await page.textContent("#readout"), expected.readout, "the page's readout is not the dialog's, whole");
  assert.equal(d.presetText, expected.presetText);
  assert.ok(await page.isVisible("#modified"), "the edited preset has no modified mark");
  assert.equal(d.curves[0].points.length, 3, "the press between points inserted none");
  assert.notEqual(d.presetText, "Hard Attack,3,2,0,12375,16384,12375,2,0,8192,16384,8192,2,0,0,16384,0");
  await shot("studio-dragged");
});

test("Ctrl+Z undoes a whole drag, Ctrl+Shift+Z and Ctrl+Y redo it, and the Undo button says when", async () => {
  let d = await dialog();
  const before = d.presetText;
  const attack = d.curves[0];
  const [x, y] = attack.points[1];
  await drag(curvePixel(attack, x, y), curvePixel(attack, x, 2000));
  const after = (await dialog()).presetText;
  assert.notEqual(after, before, "the drag changed nothing");
  await page.locator("body").click({ position: { x: 5, y: 900 } });
  const pressAndWait = async (keys) => {
    await page.keyboard.press(keys);
    await idle();
    return (await dialog()).presetText;
  };
  assert.equal(await pressAndWait("Control+z"), before, "Ctrl+Z did not bring back the curves before the drag");
  assert.equal(await pressAndWait("Control+Shift+z"), after, "Ctrl+Shift+Z did not redo the drag");
  assert.equal(await pressAndWait("Control+z"), before);
  assert.ok(!(await page.isDisabled("#redo")), "Redo is disabled with an edit to redo");
  assert.equal(await pressAndWait("Control+y"), after, "Ctrl+Y did not redo the drag");
  assert.ok(await page.isDisabled("#redo"), "Redo is enabled with nothing to redo");
  await page.click("#undo");
  await idle();
  assert.equal((await dialog()).presetText, before, "the Undo button");
  assert.match(await page.textContent(".hint"), /Ctrl\+Z/, "the page does not say the keys");
  await page.click("#redo");
  await idle();
});

test("a selected point's x and y can be typed, and values outside its range are refused with a sentence", async () => {
  let d = await dialog();
  const attack = d.curves[0];
  const [x, y] = attack.points[1];
  await drag(curvePixel(attack, x, y), curvePixel(attack, x, y + 500));
  assert.match(await page.textContent("#point-name"), /point 2 of 3/);
  await page.fill("#point-x", "7000");
  await page.fill("#point-y", "12345");
  await page.press("#point-y", "Enter");
  const typed = (d) => d.curves[0].points[1][0] === 7000 && d.curves[0].points[1][1] === 12345;
  d = await dialogWhen(typed);
  await idle();
  assert.deepEqual(d.curves[0].points[1], [7000, 12345], "the typed values are not the point's");
  assert.ok(d.presetText.includes(",3,0,12375,7000,12345,16384,"), d.presetText);
  const [, , yMin, yMax] = d.curves[0].range;
  for (const [typedX, typedY, sentence] of [["7000", String(yMax + 1), new RegExp(`y must lie between ${yMin} and ${yMax}`)],
    ["16385", "100", /x must lie between 0 and 16384, its neighbours/], ["-5", "100", /x must lie between 0 and 16384/],
    ["7000.5", "100", /whole numbers/]]) {
    await page.fill("#point-x", typedX);
    await page.fill("#point-y", typedY);
    await page.click("#point-set");
    await idle();
    assert.match(await page.textContent("#status"), sentence);
    assert.deepEqual((await dialog()).curves[0].points[1], [7000, 12345], `${typedX}, ${typedY} changed the point`);
  }
  await page.locator("body").click({ position: { x: 5, y: 900 } });
  await page.keyboard.press("Control+z");
  assert.notDeepEqual((await dialogWhen((d) => !typed(d))).curves[0].points[1], [7000, 12345], "the typed values are no edit Ctrl+Z undoes");
  await idle();
  await page.keyboard.press("Control+y");
  assert.ok(typed(await dialogWhen(typed)), "Ctrl+Y did not bring the typed values back");
  await idle();
});

test("the preview follows the edit: the processed selection changes", async () => {
  const before = await page.evaluate(() => Array.from(window.studio.player.buffers.processed.getChannelData(0).slice(20000, 20400)));
  await pickPreset("Chaos");
  await idle();
  const after = await page.evaluate(() => Array.from(window.studio.player.buffers.processed.getChannelData(0).slice(20000, 20400)));
  assert.notDeepEqual(after, before);
  assert.ok(await page.evaluate(() => window.studio.state.previewMs) > 0);
});

test("Add stores the preset in the profile file as the dialog's Add does", async () => {
  await page.fill("#preset-name", "Studio Chaos");
  await idle();
  await page.locator('#dialog [data-id="325"]').click();
  await idle();
  const d = await dialog();
  assert.ok(d.presetText.startsWith("Studio Chaos,3,"), d.presetText);
  const stored = fs.readFileSync(profile, "utf8");
  assert.match(stored, /\[Vortigens\\Dynamic\]/);
  assert.ok(stored.split(/\r?\n/).includes(`Item13=${d.presetText}`), `the profile lacks Item13=${d.presetText}:\n${stored}`);
  assert.ok(d.controls.find((c) => c.id === 1005).items.includes("Studio Chaos"));
});

test("the suggested export name is the sound's own with the effect", async () => {
  assert.equal(await page.inputValue("#export-name"), `${path.basename(input, ".wav")}-dynamic.wav`);
});

test("Enter in the name box adds the preset under the typed name", async () => {
  await page.fill("#preset-name", "Kept By Enter");
  await page.press("#preset-name", "Enter");
  await idle();
  const d = await dialog();
  assert.ok(d.controls.find((c) => c.id === 1005).items.includes("Kept By Enter"), "the list lacks the preset");
  assert.match(fs.readFileSync(profile, "utf8"), /=Kept By Enter,3,/);
  assert.equal(d.notes.join(" "), "", "the dialog ended instead");
  await pickPreset("Kept By Enter");
  await page.locator('#dialog [data-id="1109"]').click();
  await idle();
});

test("a name the profile cannot keep is refused with a sentence in the page", async () => {
  const before = fs.readFileSync(profile, "utf8");
  await page.fill("#preset-name", "[Hijack]");
  await idle();
  await page.locator('#dialog [data-id="325"]').click();
  await idle();
  assert.match(await page.textContent("#notes"), /'\['/);
  assert.equal(fs.readFileSync(profile, "utf8"), before);
  await page.fill("#preset-name", "Studio Chaos");
  await idle();
});

test("export equals vortigen's output for the same preset text", async () => {
  const text = await page.inputValue("#preset-text");
  await page.fill("#export-name", "exported.wav");
  const [download] = await Promise.all([page.waitForEvent("download"), page.click("#export")]);
  const exported = path.join(work, "exported.wav");
  await download.saveAs(exported);
  const reference = path.join(work, "reference.wav");
  execFileSync(args.vortigen, ["dynamic", input, reference, "--preset-text", text, "--plugin-dir", args.plugins, "-q"]);
  // The tool names itself in a LIST chunk; the format and the samples must be the same.
  const chunk = (file, id) => {
    const bytes = fs.readFileSync(file);
    for (let at = 12; at + 8 <= bytes.length; at += 8 + bytes.readUInt32LE(at + 4) + (bytes.readUInt32LE(at + 4) & 1)) {
      if (bytes.toString("latin1", at, at + 4) === id) return bytes.subarray(at, at + 8 + bytes.readUInt32LE(at + 4));
    }
    return Buffer.alloc(0);
  };
  assert.ok(chunk(exported, "fmt ").equals(chunk(reference, "fmt ")), "the exported format differs from vortigen's");
  assert.ok(chunk(exported, "data").length > 8 && chunk(exported, "data").equals(chunk(reference, "data")),
    "the exported samples differ from vortigen's");
  assert.ok(!fs.readFileSync(exported).equals(fs.readFileSync(input)), "the export is the unprocessed input");
});

test("Del removes the highlighted preset from the profile and the list", async () => {
  await pickPreset("Studio Chaos");
  await page.locator('#dialog [data-id="1109"]').click();
  await idle();
  const d = await dialog();
  assert.ok(!d.controls.find((c) => c.id === 1005).items.includes("Studio Chaos"));
  assert.doesNotMatch(fs.readFileSync(profile, "utf8"), /Studio Chaos/);
  assert.match(fs.readFileSync(profile, "utf8"), /Item12=Chaos,/, "Del removed more than the one preset");
});

test("a drag on the waveform selects what both players loop", async () => {
  const box = await page.locator("#waveform").boundingBox();
  await page.mouse.move(box.x + box.width * 0.25, box.y + box.height / 2);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width * 0.6, box.y + box.height / 2, { steps: 5 });
  await page.mouse.up();
  await idle();
  const [first, end, original, processed] = await page.evaluate(() => {
    const s = window.studio;
    return [...s.state.selection, s.player.buffers.original.duration, s.player.buffers.processed.duration];
  });
  const frames = 3 * 44100;
  assert.ok(Math.abs(first - 0.25 * frames) < 500 && Math.abs(end - 0.6 * frames) < 500, `selection ${first}..${end}`);
  assert.ok(Math.abs(original - (end - first) / 44100) < 1e-3, `the original plays ${original} s`);
  assert.equal(processed, original, "the processed preview covers another stretch than the original");
});

test("A/B switching keeps the playing position and restarts nothing", async () => {
  await page.click("#play");
  await waitFor(() => window.studio.player.position() > 0.3);
  const [position, starts, after, startsAfter, listening] = await page.evaluate(async () => {
    const p = window.studio.player;
    const before = [p.position(), p.starts];
    document.getElementById("listen-original").click();
    return [before[0], before[1], p.position(), p.starts, p.listening];
  });
  assert.equal(listening, "original");
  assert.equal(startsAfter, starts, "switching started the sources again");
  assert.ok(after >= position && after - position < 0.05, `the position jumped from ${position} to ${after}`);
  await shot("studio-playing");
  await page.click("#listen-processed");
  await page.locator("body").click({ position: { x: 5, y: 900 } });
  await page.keyboard.press("a");
  assert.equal(await page.evaluate(() => window.studio.player.listening), "original", "the key A");
  await page.keyboard.press("b");
  assert.equal(await page.evaluate(() => window.studio.player.listening), "processed", "the key B");
  assert.equal(await page.getAttribute("#listen-processed", "aria-pressed"), "true");
  await page.click("#play");
});

test("while the sound plays, an edit is heard at the play position before the whole preview comes", async () => {
  const box = await page.locator("#waveform").boundingBox();
  await page.mouse.move(box.x + 1, box.y + box.height / 2);
  await page.mouse.down();
  await page.mouse.move(box.x + box.width - 1, box.y + box.height / 2, { steps: 5 });
  await page.mouse.up();
  await idle();
  await pickPreset("Hard Attack");
  await page.click("#play");
  await waitFor(() => window.studio.player.position() > 0.2);
  // The whole selection's preview is held back until the test lets it go;
  // the part asked first is noted, to look where the page said it plays.
  let release;
  const held = new Promise((resolve) => (release = resolve));
  const parts = [];
  await page.route(/\/preview\?/, async (route) => {
    const url = new URL(route.request().url());
    if (url.searchParams.has("at")) parts.push(Number(url.searchParams.get("at")));
    else await held;
    await route.continue();
  });
  const slice = (first) => page.evaluate((first) => Array.from(window.studio.player.buffers.processed.getChannelData(0).slice(first, first + 2000)), first);
  const everything = await page.evaluate(() => Array.from(window.studio.player.buffers.processed.getChannelData(0)));
  const playedBefore = await page.evaluate(() => window.studio.player.position());
  let spliced;
  try {
    await page.locator("#dialog .list-item", { hasText: /^Chaos$/ }).click();
    const heard = Date.now();
    while (parts.length === 0) {
      assert.ok(Date.now() - heard < 4000, "no part near the play position was asked for");
      await new Promise((r) => setTimeout(r, 20));
    }
    // The part starts where the sound played when the edit was made: just
    // after the position read before it, the loop of the 3 s selection
    // (which starts at 0) allowed for.
    const at = parts[0];
    const length = everything.length;
    const behind = (at - Math.floor(playedBefore * 44100) + length) % length;
    assert.ok(behind < 44100, `the part starts at ${at}, ${behind} frames after the play position ${playedBefore} s`);
    const before = everything.slice(at, at + 2000);
    for (;;) {
      const now = await slice(at);
      if (now.some((v, i) => v !== before[i])) break;
      assert.ok(Date.now() - heard < 4000, "the edit was not heard while the whole preview was held back");
      await new Promise((r) => setTimeout(r, 20));
    }
    spliced = await slice(at);
    release();
    await idle();
    assert.deepEqual(await slice(at), spliced, "the whole preview differs from the part heard first where they meet");
  } finally {
    release();
    await page.unroute(/\/preview\?/);
  }
  assert.equal(await page.evaluate(() => window.studio.player.playing), true, "playing stopped");
  await page.click("#play");
});

test("a Fourier drag matches the dialog procedure too", async () => {
  await page.selectOption("#effect", "fourier");
  await idle();
  await pickPreset("Light Sound");
  let d = await dialog();
  assert.equal(d.caption, "Fourier Vortigen");
  const steps = ["select:Light Sound", ...(await drag(curvePixel(d.curves[0], 11969, 4740), curvePixel(d.curves[0], 9000, 9000)))];
  d = await dialog();
  const expected = probe("fourier", steps);
  assert.equal(d.readout, expected.readout);
  assert.equal(d.presetText, expected.presetText);
  await shot("studio-fourier");
});

test("an upload opens; an unreadable one gets a message and the studio goes on", async () => {
  await page.setInputFiles("#upload", second);
  await idle();
  assert.match(await page.locator("#sound option:checked").textContent(), /^second\.wav/);
  // The suggested name keeps the sound's own name and format, whatever was
  // typed for the sound before.
  const aiff = path.join(work, "third take.aiff");
  execFileSync(args.vortigen, ["fourier", second, aiff, "--plugin-dir", args.plugins, "-q"]);
  await page.setInputFiles("#upload", aiff);
  await idle();
  assert.equal(await page.inputValue("#export-name"), "third take-fourier.aiff");
  await page.setInputFiles("#upload", broken);
  await idle();
  assert.match(await page.textContent("#status"), /broken\.wav could not be opened/);
  assert.doesNotMatch(await page.textContent("#status"), /upload-\d/, "the message names the scratch file");
  await shot("studio-unreadable");
  await page.setInputFiles("#upload", large);
  await idle();
  assert.match(await page.textContent("#status"), /larger than the studio accepts/);
  assert.equal((await raw("/api/state", { "X-Vortigen-Token": token })).status, 200);
});

test("wrong token, foreign Origin and Host, and paths outside the opened files are refused", async () => {
  const good = { "X-Vortigen-Token": token };
  const refusals = [
    ["/api/state", {}],
    ["/api/state", { "X-Vortigen-Token": token.replace(/^./, (c) => (c === "0" ? "1" : "0")) }],
    ["/?token=wrong", {}],
    ["/api/state", { ...good, Origin: "http://evil.example" }],
    ["/api/state", { ...good, Origin: "null" }],
    ["/api/state", { ...good, Host: "evil.example" }],
  ];
  for (const [where, headers] of refusals) {
    const answer = await raw(where, headers);
    assert.equal(answer.status, 403, `${where} with ${JSON.stringify(headers)} answered ${answer.status}`);
  }
  for (const where of ["/api/sounds/99/original", "/api/sounds/..%2F..%2Fetc%2Fpasswd/original",
    "/../../../etc/passwd", "/api/sounds/1/original/../../../../etc/passwd", "/etc/passwd"]) {
    const answer = await raw(where, good);
    assert.ok(answer.status === 404 || answer.status === 400, `${where} answered ${answer.status}`);
    assert.doesNotMatch(answer.body, /root:/);
  }
  // The page's own requests, from its own origin, still pass.
  assert.equal((await raw("/api/state", { ...good, Origin: origin })).status, 200);
});

// ---- Run ---------------------------------------------------------------------------------

let failed = 0;
for (const { name, body } of cases) {
  try {
    await body();
    console.log(`ok   ${name}`);
  } catch (e) {
    failed += 1;
    console.log(`FAIL ${name}\n     ${e.stack.split("\n").slice(0, 4).join("\n     ")}`);
    await shot(`failed-${cases.indexOf(cases.find((c) => c.name === name))}`).catch(() => {});
  }
}
if (pageErrors.length) {
  failed += 1;
  console.log(`FAIL the page raised errors: ${pageErrors.join("; ")}`);
}
await context.close();
studio.kill("SIGINT");
const code = await new Promise((resolve) => studio.on("exit", resolve));
if (code !== 0) {
  failed += 1;
  console.log(`FAIL vortigen studio ended with ${code} on Ctrl-C`);
}
console.log(failed ? `${failed} of ${cases.length} studio cases failed` : `all ${cases.length} studio cases passed`);
process.exit(failed ? 1 : 0);
