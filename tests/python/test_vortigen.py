"""The Python module vortigen on libvortigen: its output against the
vortigen tool's engine path on files, streaming against whole arrays,
array layouts and types, threads, curve changes, and refused arguments.

Run by ctest with VORTIGEN_LIBRARY (the built library), VORTIGEN_TOOL (the
built tool) and PYTHONPATH (python/) set."""

import os
import subprocess
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest
import soundfile

import vortigen

TOOL = os.environ.get("VORTIGEN_TOOL")


def music(frames, channels, rate=44100, seed=1):
    """Music-like material: a few partials per channel with a slow swell,
    drum-like bursts of noise, near full scale (some overs clip at 16 bits)."""
    rng = np.random.default_rng(seed)
    t = np.arange(frames) / rate
    out = np.empty((frames, channels))
    for c in range(channels):
        base = 110.0 * (c + 1) * (1 + 0.01 * c)
        tone = (0.4 * np.sin(2 * np.pi * base * t) +
                0.2 * np.sin(2 * np.pi * base * 2.01 * t + 0.3) * (0.6 + 0.4 * np.sin(6 * t)) +
                0.1 * np.sin(2 * np.pi * 3150.0 * t + c))
        bursts = (np.sin(2 * np.pi * 2.0 * t) > 0.95) * rng.standard_normal(frames) * 0.5
        out[:, c] = tone + bursts + 0.02 * rng.standard_normal(frames)
    return out


def as_int16(values):
    return np.clip(np.rint(values * 32767), -32768, 32767).astype(np.int16)


def run_tool(effect, preset, source, target, *extra):
    subprocess.run([TOOL, effect, str(source), str(target), "--preset", preset, "--path",
                    "engine", "--quiet", *extra], check=True, capture_output=True)


needs_tool = pytest.mark.skipif(TOOL is None, reason="VORTIGEN_TOOL names no tool")


# ---- Against the tool -------------------------------------------------------------

@needs_tool
@pytest.mark.parametrize("effect,preset,channels,rate", [
    ("dynamic", "Hard Attack", 2, 44100),
    ("dynamic", "Soft Dynamic+Chaos", 1, 22050),
    ("fourier", "Five", 2, 48000),
    ("fourier", "Hay Fever", 3, 44100),
])
def test_int16_output_equals_the_tools_16_bit_file(tmp_path, effect, preset, channels, rate):
    samples = as_int16(music(rate * 2 + 123, channels, rate))
    soundfile.write(tmp_path / "in.wav", samples, rate, subtype="PCM_16")
    run_tool(effect, preset, tmp_path / "in.wav", tmp_path / "out.wav")
    expected, _ = soundfile.read(tmp_path / "out.wav", dtype="int16", always_2d=True)
    got = vortigen.apply(effect, samples, rate, preset=preset)
    assert got.dtype == np.int16 and got.shape == samples.shape
    np.testing.assert_array_equal(got, expected)


@needs_tool
def test_float_output_equals_the_tools_float_file_overs_kept(tmp_path):
    samples = (music(60000, 2) * 1.3).astype(np.float32)  # overs beyond full scale
    soundfile.write(tmp_path / "in.wav", samples, 44100, subtype="FLOAT")
    run_tool("dynamic", "Chaos", tmp_path / "in.wav", tmp_path / "out.wav")
    expected, _ = soundfile.read(tmp_path / "out.wav", dtype="float32")
    got = vortigen.apply("dynamic", samples, 44100, preset="Chaos")
    assert got.dtype == np.float32 and np.abs(got).max() > 1.0
    np.testing.assert_array_equal(got, expected)


# ---- Layouts and types -------------------------------------------------------------

def test_channels_first_and_last_and_float64_give_the_same_samples():
    last = music(20000, 2).astype(np.float32)
    out_last = vortigen.apply("fourier", last, 44100, preset="Light Sound")
    out_first = vortigen.apply("fourier", np.ascontiguousarray(last.T), 44100,
                               preset="Light Sound")
    out_double = vortigen.apply("fourier", last.astype(np.float64), 44100, preset="Light Sound")
    assert out_first.shape == (2, 20000)
    np.testing.assert_array_equal(out_first.T, out_last)
    assert out_double.dtype == np.float64
    np.testing.assert_array_equal(out_double, out_last.astype(np.float64))
    # A strided (non-contiguous) view is read as the values it shows.
    np.testing.assert_array_equal(
        vortigen.apply("fourier", last.T, 44100, preset="Light Sound"), out_first)


def test_a_short_array_or_a_stated_layout_is_read_as_said():
    stereo = music(1500, 2).astype(np.float32)
    mono = stereo[:, 0].copy()
    out_mono = vortigen.apply("dynamic", mono, 44100, preset="Chaos")
    assert out_mono.shape == (1500,)
    np.testing.assert_array_equal(out_mono,
                                  vortigen.apply("dynamic", mono[:, None], 44100, preset="Chaos")[:, 0])
    # Two frames of 1500 channels is a stated layout, not a guess.
    sideways = vortigen.apply("dynamic", stereo, 44100, preset="Chaos", channels_first=False)
    np.testing.assert_array_equal(sideways[:, 0], out_mono)
    assert vortigen.apply("dynamic", np.zeros((2, 0), np.float32), 44100).shape == (2, 0)


def test_int16_output_is_rounded_and_clipped_as_the_plugins_clip():
    # The initial curves are near-transparent: full-scale input comes back
    # at the edges of -32767..32767, never -32768.
    loud = np.full((30000, 1), -32768, dtype=np.int16)
    loud[::2] = 32767
    out = vortigen.apply("fourier", loud, 44100, preset="No Effect")
    assert out.min() >= -32767 and out.max() <= 32767
    assert out.min() == -32767


# ---- Streaming ----------------------------------------------------------------------

def test_streaming_in_blocks_of_any_length_equals_the_whole_array():
    audio = music(30000, 2).astype(np.float32)
    whole = vortigen.apply("dynamic", audio, 44100, preset="Soft Dynamic+Chaos")
    effect = vortigen.Effect("dynamic", 44100, 2, preset="Soft Dynamic+Chaos")
    rng = np.random.default_rng(7)
    for _ in range(2):  # flush starts a new stream: the second run is the first's
        parts, at = [], 0
        while at < len(audio):
            n = int(rng.integers(0, 5000))
            parts.append(effect.process(audio[at:at + n]))
            at += n
        parts.append(effect.flush())
        streamed = np.concatenate(parts)[effect.latency:]
        np.testing.assert_array_equal(streamed, whole)
    effect.close()


def test_streaming_keeps_a_channels_first_layout_to_the_flush():
    audio = np.ascontiguousarray(music(5000, 3).astype(np.float32).T)
    with vortigen.Effect("fourier", 44100, 3, preset="Five") as effect:
        head = effect.process(audio)
        tail = effect.flush()
    assert head.shape == (3, 5000) and tail.shape == (3, effect.latency)
    np.testing.assert_array_equal(np.concatenate([head, tail], axis=1)[:, effect.latency:],
                                  vortigen.apply("fourier", audio, 44100, preset="Five"))


def test_set_curves_mid_stream_changes_the_sound_from_there_on():
    audio = music(40000, 2).astype(np.float32)
    with vortigen.Effect("dynamic", 44100, 2, preset="Flat (no effect)") as steady, \
            vortigen.Effect("dynamic", 44100, 2, preset="Flat (no effect)") as changed:
        a1, b1 = steady.process(audio[:20000]), changed.process(audio[:20000])
        changed.set_curves(preset="Chaos")
        a2, b2 = steady.process(audio[20000:]), changed.process(audio[20000:])
        with pytest.raises(vortigen.VortigenError, match="x fall"):
            changed.set_curves(preset="Mine,3,2,9,0,1,0,2,0,0,1,0,2,0,0,1,0")
    np.testing.assert_array_equal(a1, b1)
    assert not np.array_equal(a2, b2)


# ---- Curves and presets ---------------------------------------------------------------

def test_presets_and_curves_are_listed():
    assert vortigen.effects() == ["dynamic", "fourier"]
    assert "Hard Attack" in vortigen.presets("dynamic") and len(vortigen.presets("dynamic")) == 12
    assert vortigen.presets("fourier")[0] == "No Effect"
    assert vortigen.curve_names("dynamic") == ["attack", "release", "chaos"]
    assert vortigen.preset_text("dynamic", "hard attack").startswith("Hard Attack,3,")


def test_curves_as_point_lists_equal_their_preset():
    audio = music(10000, 1).astype(np.float32)[:, 0]
    by_preset = vortigen.apply("dynamic", audio, 44100, preset="Soft Release+Effect")
    points = {"attack": [(0, 8192), (16384, 8192)], "release": [(0, 1394), (16384, 1394)],
              "chaos": [(0, 3834), (16384, 3834)]}
    np.testing.assert_array_equal(vortigen.apply("dynamic", audio, 44100, curves=points),
                                  by_preset)
    # One curve over a preset: the preset's others stay.
    np.testing.assert_array_equal(
        vortigen.apply("dynamic", audio, 44100, preset="Soft Release",
                       curves={"chaos": [(0, 3834), (16384, 3834)]}), by_preset)
    text = vortigen.preset_text("dynamic", "Soft Release+Effect")
    np.testing.assert_array_equal(vortigen.apply("dynamic", audio, 44100, preset=text), by_preset)


# ---- Threads ------------------------------------------------------------------------

def test_threads_give_what_one_thread_gives():
    arrays = [music(44100, 2, seed=s).astype(np.float32) for s in range(4)]
    presets = ["Hard Attack", "Chaos", "Soft Dynamic", "Effect"]
    alone = [vortigen.apply("dynamic", a, 44100, preset=p) for a, p in zip(arrays, presets)]
    with ThreadPoolExecutor(max_workers=4) as pool:
        together = list(pool.map(lambda ap: vortigen.apply("dynamic", ap[0], 44100, preset=ap[1]),
                                 zip(arrays, presets)))
    for a, b in zip(alone, together):
        np.testing.assert_array_equal(a, b)


# ---- Refusals -------------------------------------------------------------------------

@pytest.mark.parametrize("call,error,message", [
    (lambda a: vortigen.apply("reverb", a, 44100), vortigen.VortigenError, "'reverb'"),
    (lambda a: vortigen.apply("dynamic", a, 44100, preset="Hard Atack"), vortigen.VortigenError,
     "'Hard Atack' is no built-in preset"),
    (lambda a: vortigen.apply("fourier", a, 44100, preset="Mine,3,2,0,0,16385,0"),
     vortigen.VortigenError, "outside 0..16384"),
    (lambda a: vortigen.apply("dynamic", a, 0), vortigen.VortigenError, "sample rate"),
    (lambda a: vortigen.apply("dynamic", a, 44100, integer_scale=0), vortigen.VortigenError,
     "integer scale"),
    (lambda a: vortigen.apply("dynamic", a.astype(np.int32), 44100), TypeError, "int32"),
    (lambda a: vortigen.apply("dynamic", a[None], 44100), ValueError, "3-D"),
    (lambda a: vortigen.apply("dynamic", a, 44100, curves={"transfer": [(0, 0)]}), ValueError,
     "no curve transfer"),
    (lambda a: vortigen.apply("dynamic", a, 44100, curves={"chaos": [(0, 0)]}), ValueError,
     "attack, release are not given"),
    (lambda a: vortigen.apply("fourier", a, 44100, curves={"transfer": [(0, "x")]}), ValueError,
     "pairs of integers"),
    (lambda a: vortigen.apply(7, a, 44100), TypeError, "effect must be a str"),
    (lambda a: vortigen.Effect("dynamic", 44100, 3).process(a), ValueError, "no axis of 3"),
    (lambda a: vortigen.Effect("dynamic", 44100, 2).process(a[:, 0]), ValueError, "1-D block"),
    (lambda a: vortigen.Effect("dynamic", 44100, 0), vortigen.VortigenError, "channel count 0"),
])
def test_bad_arguments_raise_with_the_librarys_message(call, error, message):
    audio = music(2000, 2).astype(np.float32)
    with pytest.raises(error, match=message):
        call(audio)


def test_a_closed_effect_refuses_work():
    effect = vortigen.Effect("fourier", 44100, 1)
    effect.close()
    effect.close()
    with pytest.raises(ValueError, match="closed"):
        effect.process(np.zeros(10, np.float32))


# ---- Installing ----------------------------------------------------------------------

def test_pip_installs_the_module_without_a_network(tmp_path):
    import shutil
    import sys
    source = os.path.dirname(os.path.dirname(os.path.abspath(vortigen.__file__)))
    shutil.copytree(source, tmp_path / "src", ignore=shutil.ignore_patterns("__pycache__"))
    target = tmp_path / "site"
    subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", "--no-build-isolation",
                    "--no-deps", "--no-index", "--target", str(target), str(tmp_path / "src")],
                   check=True, capture_output=True)
    shown = subprocess.run(
        [sys.executable, "-c", "import vortigen; print(vortigen.__file__); "
         "print(vortigen.presets('fourier')[1])"],
        check=True, capture_output=True, text=True, cwd=tmp_path,
        env=dict(os.environ, PYTHONPATH=str(target))).stdout.split("\n")
    assert shown[0].startswith(str(target)) and shown[1] == "Light Sound"


# ---- The notebook-style example --------------------------------------------------------

def test_the_spectrogram_example_writes_its_picture(tmp_path):
    import sys
    script = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(vortigen.__file__))),
                          "..", "examples", "python", "effect_pictures.py")
    sound = tmp_path / "in.wav"
    soundfile.write(sound, as_int16(music(44100, 2)), 44100, subtype="PCM_16")
    subprocess.run([sys.executable, script, str(sound), str(tmp_path / "out.png")], check=True,
                   capture_output=True, cwd=tmp_path)
    with open(tmp_path / "out.png", "rb") as picture:
        assert picture.read(8) == b"\x89PNG\r\n\x1a\n"


# ---- One effect, two threads -------------------------------------------------------------

def test_closing_an_effect_while_another_thread_processes_waits_for_it():
    # Run apart: without the wait, the library's instance is freed under the
    # running call and the interpreter crashes.
    import sys
    script = """
import threading, numpy as np, vortigen
effect = vortigen.Effect("dynamic", 44100, 2, preset="Chaos")
block = np.random.default_rng(1).standard_normal((44100 * 20, 2)).astype(np.float32)
results = []
worker = threading.Thread(target=lambda: results.append(effect.process(block)))
worker.start()
while not effect._busy.locked():  # the worker is inside process()
    pass
effect.close()
worker.join()
assert results and results[0].shape == block.shape and np.isfinite(results[0]).all()
try:
    effect.process(block[:10])
except ValueError as error:
    print("refused:", error)
"""
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=120)
    assert done.returncode == 0, done.stderr
    assert "refused: the effect has been closed" in done.stdout
