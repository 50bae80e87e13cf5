#!/usr/bin/env bash
# Sets up, builds everything and runs the main job.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build >/dev/null
build/host/nspdemo
