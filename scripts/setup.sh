#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the benchmarks need.
# Quiet and quick when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libfftw3-dev
  libsndfile1-dev libcairo2-dev fonts-dejavu-core fonts-dejavu-extra
  libcli11-dev
  clang-format-14
  lv2-dev liblilv-dev lilv-utils sox alsa-utils
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64
)
# Ardour (about 70 packages) only on request: VORTIGEN_ARDOUR=1; its test
# runs when ardour7-lua is there.
if [ "${VORTIGEN_ARDOUR:-0}" = 1 ]; then packages+=(ardour); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
