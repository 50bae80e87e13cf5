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
  libboost-dev nlohmann-json3-dev chromium
  clang-format-14
  lv2-dev liblilv-dev lilv-utils sox alsa-utils
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64
  clang-14 libfuzzer-14-dev
)
# Ardour (about 70 packages) only on request: VORTIGEN_ARDOUR=1; its test
# runs when ardour7-lua is there.
if [ "${VORTIGEN_ARDOUR:-0}" = 1 ]; then packages+=(ardour); fi

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

# The 32-bit Windows plug-ins are tested under 32-bit Wine, which is an
# i386 program: installed only where this kernel runs those (the same
# probe decides whether the test runs), from Debian's i386 architecture.
add_i386=false
if reason=$("$(dirname "$0")/runs-i386.sh"); then
  packages+=(wine wine32:i386)
  dpkg --print-foreign-architectures | grep -qx i386 || add_i386=true
else
  echo "setup: 32-bit Wine is not installed, and the 32-bit Windows plug-ins will not be run: $reason"
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# Node for the studio's browser tests; any installed Node with npm will do.
command -v npm >/dev/null 2>&1 || missing+=(nodejs npm)

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if $add_i386; then $SUDO dpkg --add-architecture i386; fi
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The studio's browser tests drive chromium with playwright-core from npm,
# pinned by tests/studio/package-lock.json (no browser download: they use
# Debian's chromium).
studio_tests="$(dirname "$0")/../tests/studio"
if [ ! -f "$studio_tests/node_modules/.package-lock.json" ] ||
   ! cmp -s "$studio_tests/package-lock.json" "$studio_tests/node_modules/.studio-lock"; then
  echo "setup: npm ci in tests/studio"
  (cd "$studio_tests" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >/dev/null &&
   cp package-lock.json node_modules/.studio-lock)
fi
