#!/usr/bin/env bash
# Installs the Debian packages one purpose needs, and nothing else:
#
#   scripts/setup.sh [PURPOSE...]      (test when none is named)
#
#   demo        build the tool and run vortigen demo
#   build       configure and build every target, tests and benchmarks too
#   fast        the fast test tier: the build, the format check, the LV2
#               command-line hosts, the studio's browser tests, the C
#               library's ABI check, the Python module's tests
#   sanitizers  the sanitizer tier (what fast needs)
#   windows     the Windows tier: both MinGW compilers, Wine (32-bit Wine
#               where this machine runs it)
#   fuzz        the fuzzing tier: clang and libFuzzer
#   package     the package tier: the Debian packaging tools and a Debian root
#   cluster     the cluster tier: Slurm, munge and GNU parallel, run by the
#               tests themselves (no service is started)
#   test        every test tier
#
# Quiet and quick when everything is already there. A failed `apt-get
# update` (a mirror mid-sync, one list unreachable) is a warning: it is
# tried once more, and then whatever can be installed from the lists at
# hand is. When installing fails, one line per package says which and why.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

# One list per purpose, each naming what it adds to those it builds on
# (builds_on below). To add a package, add it to the purpose that needs it.
# A library the tool, the LV2 bundle or libvortigen builds with also goes
# into Build-Depends in debian/control.
pkgs_demo=(
  build-essential cmake pkg-config
  libsndfile1-dev libcairo2-dev fonts-dejavu-core fonts-dejavu-extra
  libcli11-dev libboost-dev nlohmann-json3-dev
)
pkgs_build=(
  libgtest-dev libgmock-dev libbenchmark-dev libfftw3-dev
  lv2-dev liblilv-dev
)
pkgs_fast=(
  clang-format-14
  lilv-utils sox alsa-utils
  chromium
  mandoc man-db groff-base
  abigail-tools
  python3-numpy python3-pytest python3-soundfile python3-matplotlib
  python3-pip python3-setuptools python3-wheel
)
pkgs_sanitizers=()
pkgs_windows=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64)
pkgs_fuzz=(clang-14 libfuzzer-14-dev)
pkgs_package=(debhelper lintian mmdebstrap)
pkgs_cluster=(slurm-wlm munge parallel sox)
pkgs_test=()

declare -A builds_on=(
  [demo]=""
  [build]="demo"
  [fast]="build"
  [sanitizers]="fast"
  [windows]="build"
  [fuzz]="build"
  [package]="build"
  [cluster]="demo"
  [test]="fast sanitizers windows fuzz package cluster"
)

purposes=("$@")
[ ${#purposes[@]} -gt 0 ] || purposes=(test)

# Every purpose asked for, with those it builds on.
declare -A wanted=()
want() {
  local purpose=$1 base
  if [ -z "${builds_on[$purpose]+set}" ]; then
    echo "setup: the purposes are ${!builds_on[*]}, not $purpose." >&2
    exit 2
  fi
  [ -z "${wanted[$purpose]+set}" ] || return 0
  wanted[$purpose]=1
  for base in ${builds_on[$purpose]}; do want "$base"; done
}
for purpose in "${purposes[@]}"; do want "$purpose"; done

packages=()
for purpose in "${!wanted[@]}"; do
  list="pkgs_${purpose}[@]"
  packages+=("${!list}")
done

# Ardour (about 70 packages) only on request: VORTIGEN_ARDOUR=1; its test
# runs when ardour7-lua is there.
if [ -n "${wanted[fast]+set}" ] && [ "${VORTIGEN_ARDOUR:-0}" = 1 ]; then packages+=(ardour); fi

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

# The 32-bit Windows plug-ins are tested under 32-bit Wine, which is an
# i386 program: installed only where this kernel runs those (the same
# probe decides whether the test runs), from Debian's i386 architecture.
add_i386=false
if [ -n "${wanted[windows]+set}" ]; then
  if reason=$("$here/runs-i386.sh"); then
    packages+=(wine wine32:i386)
    dpkg --print-foreign-architectures | grep -qx i386 || add_i386=true
  else
    echo "setup: 32-bit Wine is not installed, and the 32-bit Windows plug-ins will not be run: $reason"
  fi
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# Node for the studio's browser tests; any installed Node with npm will do.
if [ -n "${wanted[fast]+set}" ] && ! command -v npm >/dev/null 2>&1; then missing+=(nodejs npm); fi

# apt-get update, tried twice; a failure is a warning, since the lists that
# were fetched (and those from earlier runs) may well hold every package.
update_lists() {
  local attempt log
  log=$(mktemp)
  for attempt in 1 2; do
    if $SUDO apt-get update -qq >"$log" 2>&1; then
      rm -f "$log"
      return 0
    fi
    echo "setup: warning: apt-get update failed (attempt $attempt of 2): $(grep -m1 -E '^(E|W):' "$log" || tail -n1 "$log")" >&2
  done
  rm -f "$log"
  echo "setup: warning: carrying on with the package lists at hand." >&2
}

# Installs every package of $@ in one go; if that fails, each one alone, so
# that those that can be installed are, and each that cannot is named with
# apt's reason.
install_packages() {
  local log p failed=0
  log=$(mktemp)
  if $SUDO apt-get install -y -qq --no-install-recommends "$@" >"$log" 2>&1; then
    rm -f "$log"
    return 0
  fi
  for p in "$@"; do
    if ! $SUDO apt-get install -y -qq --no-install-recommends "$p" >"$log" 2>&1; then
      echo "setup: cannot install $p: $(grep -m1 '^E:' "$log" | sed 's/^E: //' || tail -n1 "$log")" >&2
      failed=1
    fi
  done
  rm -f "$log"
  return $failed
}

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if $add_i386; then $SUDO dpkg --add-architecture i386; fi
  update_lists
  install_packages "${missing[@]}" || {
    echo "setup: some packages could not be installed (above); $(IFS=' '; echo "${purposes[*]}") cannot be set up." >&2
    exit 1
  }
fi

# The studio's browser tests drive chromium with playwright-core from npm,
# pinned by tests/studio/package-lock.json (no browser download: they use
# Debian's chromium).
if [ -n "${wanted[fast]+set}" ]; then
  studio_tests="$here/../tests/studio"
  if [ ! -f "$studio_tests/node_modules/.package-lock.json" ] ||
     ! cmp -s "$studio_tests/package-lock.json" "$studio_tests/node_modules/.studio-lock"; then
    echo "setup: npm ci in tests/studio"
    (cd "$studio_tests" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >/dev/null &&
     cp package-lock.json node_modules/.studio-lock)
  fi
fi
