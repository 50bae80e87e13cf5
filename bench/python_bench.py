"""python_bench: the Python module's speed.

1. vortigen.apply on 60 s of 16-bit 44.1 kHz stereo against the C example
   (examples/c/process_wav.c, built here against the build's library) on
   the same material as a WAV file: apply alone, and apply with the file
   read and written by soundfile as the example does.
2. Four such arrays processed on one thread against two threads (the
   library runs without the GIL), and how far the main thread's Python
   loop gets while another thread is inside the library.

Wall-clock medians of --runs runs.

    /usr/bin/python3 bench/python_bench.py --build build [--runs 5]
"""

import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import soundfile

here = os.path.dirname(os.path.abspath(__file__))
source = os.path.dirname(here)


def material(seconds, rate, seed):
    """Music-like partials with a slow swell and some noise, 16-bit."""
    t = np.arange(seconds * rate) / rate
    rng = np.random.default_rng(seed)
    out = np.empty((len(t), 2))
    for c in range(2):
        v = sum(np.sin(2 * np.pi * 110.0 * (c + 1) * p * t) * (0.5 + 0.5 * np.sin(t * p)) / p
                for p in range(1, 6))
        out[:, c] = 9000 * v + 300 * rng.standard_normal(len(t))
    return np.clip(np.rint(out), -32768, 32767).astype(np.int16)


def median_time(runs, call):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return statistics.median(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(source, "build"))
    parser.add_argument("--runs", type=int, default=5)
    args = parser.parse_args()
    build = os.path.abspath(args.build)
    os.environ.setdefault("VORTIGEN_LIBRARY", os.path.join(build, "libvortigen.so.1"))
    sys.path.insert(0, os.path.join(source, "python"))
    import vortigen

    rate, effect, preset = 44100, "dynamic", "Hard Attack Soft Release"
    audio = material(60, rate, 1)
    with tempfile.TemporaryDirectory() as work:
        wav, out_c, out_py = (os.path.join(work, n) for n in ("in.wav", "c.wav", "py.wav"))
        soundfile.write(wav, audio, rate, subtype="PCM_16")
        example = os.path.join(work, "process_wav")
        subprocess.run(["cc", "-O2", "-std=c99", "-o", example,
                        os.path.join(source, "examples", "c", "process_wav.c"),
                        "-I" + os.path.join(source, "include"), "-L" + build, "-lvortigen",
                        "-Wl,-rpath," + build, "-lsndfile", "-lm"], check=True)

        c_time = median_time(args.runs, lambda: subprocess.run(
            [example, effect, preset, wav, out_c], check=True))
        apply_time = median_time(args.runs, lambda: vortigen.apply(effect, audio, rate,
                                                                   preset=preset))

        def apply_with_files():
            samples, _ = soundfile.read(wav, dtype="int16")
            soundfile.write(out_py, vortigen.apply(effect, samples, rate, preset=preset), rate,
                            subtype="PCM_16")
        files_time = median_time(args.runs, apply_with_files)
        same = soundfile.read(out_c, dtype="int16")[0]
        assert np.array_equal(same, soundfile.read(out_py, dtype="int16")[0])

    print("60 s stereo, %s '%s', median of %d runs:" % (effect, preset, args.runs))
    print("  C example (read, process, write):        %.3f s" % c_time)
    print("  vortigen.apply on the int16 array:       %.3f s  (%+.1f%% against the C example)"
          % (apply_time, 100 * (apply_time / c_time - 1)))
    print("  soundfile read + apply + soundfile write: %.3f s  (%+.1f%%)"
          % (files_time, 100 * (files_time / c_time - 1)))

    arrays = [material(60, rate, seed).astype(np.float32) / 32768 for seed in range(4)]

    def run_on(threads):
        with ThreadPoolExecutor(max_workers=threads) as pool:
            list(pool.map(lambda a: vortigen.apply(effect, a, rate, preset=preset), arrays))
    one = median_time(args.runs, lambda: run_on(1))
    two = median_time(args.runs, lambda: run_on(2))
    # CPU time of the process over wall time: above 1 only if both threads
    # ran at once, which they cannot while one holds the GIL (or while the
    # scheduler gives the process less than a core).
    def cores_used(threads):
        cpu, wall = time.process_time(), time.perf_counter()
        run_on(threads)
        return (time.process_time() - cpu) / (time.perf_counter() - wall)
    print("4 arrays of 60 s stereo: 1 thread %.3f s, 2 threads %.3f s: %.2fx; "
          "cores used: %.2f by 1 thread, %.2f by 2" % (one, two, one / two, cores_used(1),
                                                        cores_used(2)))

    # The GIL during a call: the main thread counts while another thread is
    # inside the library; a call that kept the GIL would leave it at 0.
    import threading
    long = np.concatenate(arrays[:2])
    done, count = threading.Event(), 0
    worker = threading.Thread(target=lambda: (vortigen.apply(effect, long, rate, preset=preset),
                                              done.set()))
    worker.start()
    while not done.is_set():
        count += 1
    worker.join()
    print("main thread's loop while another thread processed 120 s: %d iterations" % count)


if __name__ == "__main__":
    main()
