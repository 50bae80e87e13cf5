#!/usr/bin/env bash
# The main job: sets up what the demonstration needs, builds the tool and
# the plug-ins it loads (nothing else), and runs vortigen demo, which writes
# a demonstration sound and what every built-in preset of both effects makes
# of it, each with its spectrogram, into demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh demo
# A first configuration leaves the tests and benchmarks out (their packages
# are not installed for the demo); one made earlier, by the tests, is kept.
options=()
[ -f build/CMakeCache.txt ] || options=(-DBUILD_TESTING=OFF -DVORTIGEN_BENCHMARKS=OFF)
cmake -S . -B build -DVORTIGEN_WERROR=ON "${options[@]}" >/dev/null
cmake --build build --parallel "$(nproc)" --target vortigen >/dev/null
build/vortigen demo demo
echo "The results are in $(pwd)/demo: input.wav and one .wav per preset, each with a .png of its spectrogram."
