// The studio page: asks the studio's server for the dialog and the sounds,
// and keeps the dialog, the sound views and the player in step.
// One file of some 560 lines, on purpose: its sections (dialog actions,
// undo and typed values, sounds, previews, listening, keeping) all read
// and change the one `state` and the one queue of dialog actions, in the
// order the page lives them; the drawing is in dialog_view.js and
// sound_view.js.
import { DialogView } from "./dialog_view.js?token={{TOKEN}}";
import { Waveform, drawSpectrogram, Player } from "./sound_view.js?token={{TOKEN}}";

const token = new URLSearchParams(location.search).get("token") || "";
const $ = (id) => document.getElementById(id);

async function request(path, options = {}) {
  const response = await fetch(path, { ...options, headers: { ...(options.headers || {}), "X-Vortigen-Token": token } });
  if (!response.ok) {
    let sentence = `The studio answered ${response.status}.`;
    try {
      sentence = (await response.json()).error || sentence;
    } catch {}
    throw Object.assign(new Error(sentence), { status: response.status });
  }
  return response;
}

function status(text, isError = false) {
  $("status").textContent = text;
  $("status").classList.toggle("error", isError);
}

// What the page knows; tests read it through window.studio.
const state = {
  dialog: null,
  sounds: [],
  sound: null,
  selection: [0, 0],
  original: null,        // {samples, channels, sampleRate, first, end}
  previewMs: null,
  curvesKey: "",
  inFlight: 0,
  heard: new Map(),      // see noteTime
  finished: new Map(),
};

// ---- Dialog actions: in order; moves and typing coalesce ----------------------

const actions = [];
let sending = false;

function sendAction(action, { coalesce } = {}) {
  if (coalesce) {
    const last = actions[actions.length - 1];
    if (last && last.coalesce === coalesce) actions.pop();
  }
  actions.push({ action, coalesce });
  pump();
}

async function pump() {
  if (sending) return;
  sending = true;
  state.inFlight += 1;
  try {
    while (actions.length) {
      const { action } = actions.shift();
      // The version the page shows: the studio refuses an action on an
      // older one (another tab changed the dialog) and answers with the
      // dialog as it stands.
      if (state.dialog && action.kind !== "view") action.version = state.dialog.version;
      try {
        const response = await request("/api/dialog", { method: "POST", body: JSON.stringify(action) });
        showDialog(await response.json());
      } catch (e) {
        status(e.message, true);
      }
    }
  } finally {
    sending = false;
    state.inFlight -= 1;
  }
}

// Twice the dialog's pixels where the window leaves room for the sound beside it.
const dialogView = new DialogView($("dialog"), $("preset-name"), sendAction, window.innerWidth >= 1500 ? 2 : 1.5);

function showDialog(description) {
  state.dialog = description;
  dialogView.render(description);
  $("dialog-caption").textContent = description.caption;
  $("preset-text").value = description.presetText;
  // "Modified": the curves are no longer those of the preset picked in the
  // list (the name box still shows its name).
  const list = description.controls.find((c) => c.kind === "LISTBOX");
  const picked = list && list.selection >= 0 ? list.items[list.selection] : null;
  if (picked !== state.picked) {
    state.picked = picked;
    state.pickedText = picked ? description.presetText : null;
  }
  $("modified").hidden = !(picked && description.presetName === picked && description.presetText !== state.pickedText);
  $("profile").textContent = description.profile;
  $("profile-problem").textContent = description.profileProblem || "";
  const select = $("effect");
  if (select.options.length !== description.effects.length) {
    select.replaceChildren(...description.effects.map((e) => new Option(e, e)));
  }
  select.value = description.effect;
  $("notes").textContent = description.notes.join(" ");
  // The readout whole: the dialog's box cuts its longer values short, and
  // before the first edit it holds the resource's placeholder "data".
  $("readout").textContent = description.readout === "data" ? "" : description.readout;
  const key = description.effect + JSON.stringify(description.curves.map((c) => c.points));
  noteCurveEdit(description);
  showSelectedPoint(description);
  if (key !== state.curvesKey) {
    state.curvesKey = key;
    schedulePreview();
  }
  updateExportName();
}

// ---- Undo, redo and typed point values ---------------------------------------------

// Each effect's curve edits: the curves as they stood after each finished
// edit (a drag once released, a preset picked, a value typed), so that
// Ctrl+Z goes back a whole edit, not one mouse move of it.
const histories = new Map();
const HISTORY_LENGTH = 100;

function historyOf(effect) {
  if (!histories.has(effect)) histories.set(effect, { undo: [], redo: [], current: null });
  return histories.get(effect);
}

function noteCurveEdit(description) {
  // Mid-drag, or with more of an edit still queued, the edit is not done.
  if (dialogView.dragging || actions.length) return;
  const history = historyOf(description.effect);
  const curves = description.curves.map((c) => c.points);
  if (history.current && JSON.stringify(history.current) !== JSON.stringify(curves)) {
    history.undo.push(history.current);
    if (history.undo.length > HISTORY_LENGTH) history.undo.shift();
    history.redo = [];
  }
  history.current = curves;
  showHistory();
}

function showHistory() {
  const history = state.dialog ? historyOf(state.dialog.effect) : null;
  $("undo").disabled = !history || !history.undo.length;
  $("redo").disabled = !history || !history.redo.length;
}

// Back (or forward again) one edit: the dialog is given those curves.
function stepHistory(back) {
  if (!state.dialog) return;
  const history = historyOf(state.dialog.effect);
  const from = back ? history.undo : history.redo, to = back ? history.redo : history.undo;
  if (!from.length) return;
  to.push(history.current);
  history.current = from.pop();
  showHistory();
  sendAction({ kind: "curves", curves: history.current });
}
$("undo").addEventListener("click", () => stepHistory(true));
$("redo").addEventListener("click", () => stepHistory(false));
// Ctrl+Z undoes, Ctrl+Shift+Z and Ctrl+Y redo, except in a text box, which
// keeps its own undo of typing.
document.addEventListener("keydown", (e) => {
  if (!(e.ctrlKey || e.metaKey) || e.altKey) return;
  if (e.target.closest && e.target.closest("input, textarea")) return;
  const key = e.key.toLowerCase();
  if (key === "z") stepHistory(!e.shiftKey);
  else if (key === "y") stepHistory(false);
  else return;
  e.preventDefault();
});

// The selected point: the one the last press grabbed (or added), which
// the dialog marks while it is held.
function showSelectedPoint(description) {
  for (const curve of description.curves) {
    if (curve.grabbed >= 0) state.selectedPoint = { effect: description.effect, curve: curve.index, point: curve.grabbed };
  }
  const selected = state.selectedPoint;
  const curve = selected && selected.effect === description.effect &&
    description.curves.find((c) => c.index === selected.curve);
  const point = curve && curve.points[selected.point];
  for (const id of ["point-x", "point-y", "point-set"]) $(id).disabled = !point;
  if (!point) {
    state.selectedPoint = null;
    $("point-name").textContent = "No point selected: press one to select it";
    return;
  }
  const last = curve.points.length - 1;
  $("point-name").textContent = `${curve.labels[2] || "Curve " + (curve.index + 1)}, point ${selected.point + 1} of ${last + 1}`;
  // An end point keeps its x, as in the editor.
  $("point-x").disabled = selected.point === 0 || selected.point === last;
  if (document.activeElement !== $("point-x") && document.activeElement !== $("point-y")) {
    $("point-x").value = point[0];
    $("point-y").value = point[1];
  }
}

// The typed values, checked against the curve's range and the point's
// neighbours (x may not pass them) before the dialog is given them.
function setSelectedPoint() {
  const selected = state.selectedPoint;
  const curve = selected && state.dialog.curves.find((c) => c.index === selected.curve);
  if (!curve) return;
  const points = curve.points.map((p) => [...p]);
  const i = selected.point;
  const [xMin, xMax, yMin, yMax] = curve.range;
  const low = i === 0 ? xMin : points[i - 1][0], high = i === points.length - 1 ? xMax : points[i + 1][0];
  const x = Number($("point-x").value), y = Number($("point-y").value);
  const name = $("point-name").textContent;
  if (!Number.isInteger(x) || !Number.isInteger(y)) {
    status(`${name}: x and y must be whole numbers.`, true);
  } else if (y < yMin || y > yMax) {
    status(`${name}: y must lie between ${yMin} and ${yMax}; ${y} was not set.`, true);
  } else if (x !== points[i][0] && (i === 0 || i === points.length - 1)) {
    status(`${name}: an end point keeps its x (${points[i][0]}); ${x} was not set.`, true);
  } else if (x < low || x > high) {
    status(`${name}: x must lie between ${low} and ${high}, its neighbours; ${x} was not set.`, true);
  } else {
    points[i] = [x, y];
    status(`${name} is at ${x}, ${y}.`);
    sendAction({ kind: "curves", curves: state.dialog.curves.map((c) => (c.index === curve.index ? points : c.points)) });
  }
}
$("point-set").addEventListener("click", setSelectedPoint);
for (const id of ["point-x", "point-y"]) {
  $(id).addEventListener("keydown", (e) => {
    if (e.key !== "Enter") return;
    e.preventDefault();
    setSelectedPoint();
  });
}

// Other tabs' changes reach this one: the studio's version is asked for
// every second while this page is not itself busy with the dialog.
setInterval(async () => {
  if (sending || actions.length || dialogView.dragging || !state.dialog) return;
  try {
    const start = await (await request("/api/state")).json();
    if (start.dialog.version !== state.dialog.version && !sending && !actions.length) showDialog(start.dialog);
  } catch {}
}, 1000);

$("effect").addEventListener("change", (e) => sendAction({ kind: "effect", effect: e.target.value }));
$("copy-preset").addEventListener("click", async () => {
  const text = $("preset-text").value;
  try {
    await navigator.clipboard.writeText(text);
    status("The preset text is on the clipboard.");
  } catch {
    $("preset-text").select();
    status("Select and copy the preset text by hand (the browser keeps the clipboard closed).");
  }
});

// ---- Sounds ---------------------------------------------------------------------

const waveform = new Waveform($("waveform"), (first, end) => selectRange(first, end));
const player = new Player();

function soundSeconds(sound) {
  return sound.frames / sound.sampleRate;
}

function listSounds() {
  const select = $("sound");
  select.replaceChildren(...(state.sounds.length ? [] : [new Option("(none opened)", "")]),
    ...state.sounds.map((s) => new Option(`${s.name} (${soundSeconds(s).toFixed(1)} s)`, s.id)));
  if (state.sound) select.value = state.sound.id;
}

async function chooseSound(id) {
  const sound = state.sounds.find((s) => String(s.id) === String(id));
  if (!sound) return;
  state.sound = sound;
  // A name typed for one sound is not the next one's: the suggestion again.
  delete $("export-name").dataset.edited;
  updateExportName();
  listSounds();
  $("play").disabled = false;
  $("export").disabled = false;
  if (sound.note) status(`${sound.name}: ${sound.note}.`);
  const columns = $("waveform").width;
  const peaks = (await (await request(`/api/sounds/${sound.id}/peaks?columns=${columns}`)).json()).peaks;
  state.peaks = peaks;
  const end = Math.min(sound.frames, Math.round(30 * sound.sampleRate));
  await selectRange(0, end);
}

async function samplesOf(path, signal = undefined) {
  const response = await request(path, { signal });
  const buffer = await response.arrayBuffer();
  return {
    samples: new Int16Array(buffer),
    channels: Number(response.headers.get("X-Channels")),
    sampleRate: Number(response.headers.get("X-Sample-Rate")),
    first: Number(response.headers.get("X-First")),
    end: Number(response.headers.get("X-End")),
  };
}

async function selectRange(first, end) {
  const sound = state.sound;
  state.inFlight += 1;
  try {
    const original = await samplesOf(`/api/sounds/${sound.id}/original?from=${first}&to=${end}`);
    state.selection = [original.first, original.end];
    state.original = original;
    waveform.show(state.peaks, sound.frames, state.selection, sound.sampleRate);
    const seconds = (f) => (f / sound.sampleRate).toFixed(2);
    $("selection-text").textContent = `Selection ${seconds(original.first)} s to ${seconds(original.end)} s` +
      (end - first > original.end - original.first ? " (previews cover 30 s at most)" : "");
    drawSpectrogram($("spectrogram-before"), original.samples, original.channels, original.sampleRate,
      original.first / original.sampleRate);
    const processed = await previewSamples();
    player.setSelection(player.toBuffer(original.samples, original.channels, original.sampleRate),
      player.toBuffer(processed.samples, processed.channels, processed.sampleRate));
    drawSpectrogram($("spectrogram-after"), processed.samples, processed.channels, processed.sampleRate,
      processed.first / processed.sampleRate);
  } catch (e) {
    status(e.message, true);
  } finally {
    state.inFlight -= 1;
  }
}

// This page's name for the studio: its newer preview stops its older ones
// on the server, while other tabs' previews go on.
const listener = Array.from(crypto.getRandomValues(new Uint8Array(8)), (b) => b.toString(16).padStart(2, "0")).join("");

function previewPath(extra = "") {
  const [first, end] = state.selection;
  return `/api/sounds/${state.sound.id}/preview?effect=${state.dialog.effect}&from=${first}&to=${end}${extra}`;
}

// The whole selection's preview; `signal` abandons it. Without one it is
// not this page's newest (a new selection's), and stops none.
async function previewSamples(signal = undefined) {
  const started = performance.now();
  const processed = await samplesOf(previewPath(signal ? `&listener=${listener}` : ""), signal);
  state.previewMs = performance.now() - started;
  $("preview-time").textContent = `(preview ready in ${Math.round(state.previewMs)} ms)`;
  return processed;
}

// Seconds from the play position that are processed and spliced in first.
const NEAR_SECONDS = 1.5;

// When the sound of each set of curves was first heard and when its whole
// preview was in place (performance.now(), by the curves' key): how
// quickly an edit is heard, which the latency benchmark reads.
function noteTime(map, key) {
  if (map.has(key)) return;
  map.set(key, performance.now());
  if (map.size > 64) map.delete(map.keys().next().value);
}

// Every change of the curves asks for a preview. While the sound plays,
// the stretch from the play position on comes first and is spliced into
// what plays; then the whole selection, which replaces the processed
// buffer and the picture. A change during the whole preview abandons it
// (the server stops it too); a change during the short part waits for it
// while a drag goes on, so that the sound follows as fast as the parts
// come, and abandons it once the drag is over, so that the last curves are
// heard first.
const preview = { running: false, again: false, abort: null, partAbort: null };

function schedulePreview() {
  if (!state.sound || !state.original || !state.dialog) return;
  preview.again = true;
  if (preview.abort) preview.abort.abort();
  if (preview.partAbort && !dialogView.dragging) preview.partAbort.abort();
  if (!preview.running) runPreviews();
}

async function runPreviews() {
  preview.running = true;
  state.inFlight += 1;
  // A request of this page's that the server met late (one abandoned here
  // before it was sent on) may have stopped the newest: asked again.
  let retries = 0;
  const retry = (e) => e.status === 409 && retries++ < 3 && (preview.again = true);
  try {
    while (preview.again) {
      preview.again = false;
      const key = state.curvesKey, selection = state.selection;
      const stale = () => preview.again || state.selection !== selection;
      if (player.playing) {
        const sound = state.sound, [first, end] = state.selection;
        const at = first + Math.floor(player.position() * sound.sampleRate);
        const until = Math.min(end, at + Math.round(NEAR_SECONDS * sound.sampleRate));
        if (until > at) {
          preview.partAbort = new AbortController();
          let part;
          try {
            part = await samplesOf(previewPath(`&at=${at}&until=${until}&listener=${listener}`), preview.partAbort.signal);
          } catch (e) {
            if (stale() || retry(e)) continue;  // abandoned for a newer one
            throw e;
          } finally {
            preview.partAbort = null;
          }
          if (stale()) continue;
          player.spliceProcessed(part.samples, part.channels, part.first - first);
          noteTime(state.heard, key);
        }
      }
      preview.abort = new AbortController();
      let processed;
      try {
        processed = await previewSamples(preview.abort.signal);
      } catch (e) {
        if (stale() || retry(e)) continue;  // abandoned for a newer one
        throw e;
      } finally {
        preview.abort = null;
      }
      if (stale()) continue;
      player.replaceProcessed(player.toBuffer(processed.samples, processed.channels, processed.sampleRate));
      noteTime(state.heard, key);
      drawSpectrogram($("spectrogram-after"), processed.samples, processed.channels, processed.sampleRate,
        processed.first / processed.sampleRate);
      noteTime(state.finished, key);
    }
  } catch (e) {
    status(e.message, true);
  } finally {
    preview.running = false;
    state.inFlight -= 1;
  }
}

$("sound").addEventListener("change", (e) => chooseSound(e.target.value));
$("upload").addEventListener("change", async (e) => {
  const file = e.target.files[0];
  if (!file) return;
  e.target.value = "";
  state.inFlight += 1;
  status(`Reading ${file.name}…`);
  try {
    const response = await request(`/api/sounds?name=${encodeURIComponent(file.name)}`, { method: "POST", body: file });
    const sound = await response.json();
    state.sounds.push(sound);
    status(`${sound.name} is open.`);
    await chooseSound(sound.id);
  } catch (error) {
    status(`${file.name} could not be opened: ${error.message}`, true);
  } finally {
    state.inFlight -= 1;
  }
});

// ---- Listening --------------------------------------------------------------------

function showListening() {
  $("listen-original").setAttribute("aria-pressed", String(player.listening === "original"));
  $("listen-processed").setAttribute("aria-pressed", String(player.listening === "processed"));
}
$("play").addEventListener("click", async () => {
  if (player.playing) {
    player.stop();
  } else {
    await player.play();
  }
  $("play").textContent = player.playing ? "Stop" : "Play";
});
$("listen-original").addEventListener("click", () => { player.listen("original"); showListening(); });
$("listen-processed").addEventListener("click", () => { player.listen("processed"); showListening(); });
$("loop").addEventListener("change", (e) => player.setLoop(e.target.checked));
// A and B listen to either, Space plays and stops, wherever the page has
// the keys (not while a name is typed).
document.addEventListener("keydown", (e) => {
  if (e.target.closest && e.target.closest("input, textarea, select") || e.ctrlKey || e.altKey || e.metaKey) return;
  const key = e.key.toLowerCase();
  if (key === "a") $("listen-original").click();
  else if (key === "b") $("listen-processed").click();
  else if (key === " " && !$("play").disabled) $("play").click();
  else return;
  e.preventDefault();
});

function tick() {
  const seconds = player.position();
  $("position").textContent = `${seconds.toFixed(2)} s`;
  if (state.sound && state.original) {
    waveform.playhead = player.playing ? state.selection[0] + seconds * state.sound.sampleRate : -1;
    waveform.draw();
  }
  if (player.playing && !player.loop && seconds >= player.duration()) {
    player.stop();
    $("play").textContent = "Play";
  }
  requestAnimationFrame(tick);
}
requestAnimationFrame(tick);

// ---- Keeping ------------------------------------------------------------------------

function updateExportName() {
  if (!state.sound || $("export-name").dataset.edited) return;
  // The sound's own name and format, with the effect: what the tool's batch
  // would call it; formats the studio cannot write become WAV.
  const match = state.sound.name.match(/^(.*?)(\.(wav|aiff?|flac|ogg))?$/i);
  const extension = match[2] ? match[2].toLowerCase() : ".wav";
  $("export-name").value = `${match[1] || "sound"}-${state.dialog.effect}${extension}`;
}
$("export-name").addEventListener("input", (e) => { e.target.dataset.edited = "1"; });
$("export").addEventListener("click", async () => {
  if (!$("export-name").value.trim()) delete $("export-name").dataset.edited;
  updateExportName();
  const name = $("export-name").value.trim();
  state.inFlight += 1;
  status(`Processing ${state.sound.name} for ${name}…`);
  try {
    const preset = encodeURIComponent(state.dialog.presetName || "");
    const response = await request(`/api/sounds/${state.sound.id}/export?effect=${state.dialog.effect}` +
      `&name=${encodeURIComponent(name)}&preset=${preset}&version=${state.dialog.version}`);
    const url = URL.createObjectURL(await response.blob());
    const link = Object.assign(document.createElement("a"), { href: url, download: name });
    document.body.appendChild(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(url), 60000);
    status(`${name} is ready (preset ${response.headers.get("X-Preset-Text").split(",")[0]}).`);
  } catch (e) {
    status(e.message, true);
    sendAction({ kind: "view" });  // shows what another tab may have changed
  } finally {
    state.inFlight -= 1;
  }
});

// ---- Start ----------------------------------------------------------------------------

window.studio = {
  state, player, dialogView,
  // Resolves once no request of the page is under way.
  idle: async () => {
    for (let quiet = 0; quiet < 3;) {
      await new Promise((r) => setTimeout(r, 30));
      quiet = state.inFlight === 0 && actions.length === 0 ? quiet + 1 : 0;
    }
  },
};

(async () => {
  state.inFlight += 1;
  try {
    const start = await (await request("/api/state")).json();
    state.sounds = start.sounds;
    showDialog(start.dialog);
    listSounds();
    if (state.sounds.length) await chooseSound(state.sounds[0].id);
    else status("Open a sound to hear the effect.");
    if (start.problems.length) status(start.problems.join(" "), true);
  } catch (e) {
    status(e.message, true);
  } finally {
    state.inFlight -= 1;
  }
})();
