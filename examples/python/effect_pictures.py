# %% [markdown]
# # Before and after: both effects on one recording
#
# A notebook-style script (each `# %%` is a cell in editors that know the
# form): it loads a sound file with soundfile, applies the dynamic effect
# and the fourier effect with two presets each through the `vortigen`
# module, and plots the spectrogram of the input above those of the four
# results into one PNG with matplotlib.
#
#     python3 examples/python/effect_pictures.py [IN.wav] [OUT.png]
#
# Without IN.wav it makes a six-second test sound (a chord, a melody and
# drum-like bursts) and uses that.

# %%
import os
import sys
import tempfile

import matplotlib

matplotlib.use("Agg")  # files only, no window
import matplotlib.pyplot as plt
import numpy as np
import soundfile

import vortigen

source = sys.argv[1] if len(sys.argv) > 1 and sys.argv[1] else None
picture = sys.argv[2] if len(sys.argv) > 2 else "effect-pictures.png"


def test_sound(path, rate=44100, seconds=6):
    """A chord with a swell, a stepping melody and bursts of noise, stereo."""
    t = np.arange(rate * seconds) / rate
    rng = np.random.default_rng(3)
    chord = sum(np.sin(2 * np.pi * f * t) for f in (220.0, 277.2, 329.6)) / 3
    chord *= 0.5 + 0.5 * np.sin(2 * np.pi * 0.25 * t)
    steps = np.array([440.0, 523.3, 659.3, 784.0, 659.3, 523.3])[(t * 2).astype(int) % 6]
    melody = 0.3 * np.sin(2 * np.pi * np.cumsum(steps) / rate)
    bursts = 0.4 * (np.sin(2 * np.pi * 1.5 * t) > 0.97) * rng.standard_normal(len(t))
    left, right = 0.5 * chord + melody + bursts, 0.5 * chord + 0.7 * melody + bursts
    soundfile.write(path, np.stack([left, right], axis=1) * 0.6, rate, subtype="PCM_16")


if source is None:
    source = os.path.join(tempfile.mkdtemp(), "test-sound.wav")
    test_sound(source)

# %% The recording, as 16-bit samples in an array of frames x channels
audio, rate = soundfile.read(source, dtype="int16", always_2d=True)
print("%s: %d frames, %d channels, %d Hz" % (source, audio.shape[0], audio.shape[1], rate))

# %% Both effects, two presets each; the results are aligned with the input
runs = [("dynamic", "Hard Attack"), ("dynamic", "Soft Dynamic+Chaos"),
        ("fourier", "Hay Fever"), ("fourier", "Five")]
results = {run: vortigen.apply(run[0], audio, rate, preset=run[1]) for run in runs}

# %% Spectrograms of the first channel: the input on top, the four results below
figure = plt.figure(figsize=(11, 9), constrained_layout=True)
grid = figure.add_gridspec(3, 2)
panels = [(grid[0, :], "input", audio)]
panels += [(grid[1 + i // 2, i % 2], "%s: %s" % run, results[run]) for i, run in enumerate(runs)]
for place, title, samples in panels:
    axes = figure.add_subplot(place)
    axes.specgram(samples[:, 0] / 32768.0, NFFT=1024, Fs=rate, noverlap=768, cmap="magma",
                  vmin=-130, vmax=-20)
    axes.set_title(title)
    axes.set_ylim(0, 8000)
    axes.set_xlabel("seconds")
    axes.set_ylabel("Hz")
figure.savefig(picture, dpi=72)
print("wrote", picture)
