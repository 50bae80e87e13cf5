#!/usr/bin/env bash
# Configures and builds one configuration: scripts/build.sh DIR [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=$1
shift
cmake -S . -B "$dir" -DVORTIGEN_WERROR=ON "$@" >/dev/null
cmake --build "$dir" --parallel "$(nproc)"
