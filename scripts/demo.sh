#!/usr/bin/env bash
# The main job: sets up, builds, and runs vortigen demo, which writes a
# demonstration sound and what every built-in preset of both effects makes
# of it, each with its spectrogram, into demo/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build >/dev/null
build/vortigen demo demo
echo "The results are in $(pwd)/demo: input.wav and one .wav per preset, each with a .png of its spectrogram."
