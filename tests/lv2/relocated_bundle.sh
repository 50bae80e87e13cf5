#!/usr/bin/env bash
# The LV2 bundle works wherever it is copied: its module needs only the
# system's C and C++ runtimes and has no library search path, and a copy
# in an empty folder loads in lv2info and lv2apply while the build and
# source trees are out of reach (an empty folder mounted over each, the
# build tree first as it may lie inside the source tree, in a
# mount namespace of its own). lv2apply, which offers no log, must leave
# standard error empty.
#
#   relocated_bundle.sh BUNDLE SOURCE_DIR BUILD_DIR
# Exits 77 (skipped) where no mount namespace can be made (not root).
set -uo pipefail
bundle=$1
source_dir=$2
build_dir=$3
source "$(dirname "$0")/../windows/checks.sh"

module="$bundle/vortigen.so"
needed=$(readelf -d "$module" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' | sort | tr '\n' ' ')
[ "$needed" = "ld-linux-x86-64.so.2 libc.so.6 libgcc_s.so.1 libm.so.6 libstdc++.so.6 " ]
check $? "the module needs the system's runtimes only, not: $needed"
readelf -d "$module" | grep -qE "\((RPATH|RUNPATH)\)"
check $((!$?)) "the module has no library search path: $(readelf -d "$module" | grep -E 'RPATH|RUNPATH')"
exported=$(nm -D --defined-only "$module" | awk '{print $3}' | tr '\n' ' ')
[ "$exported" = "lv2_descriptor " ]
check $? "the module exports lv2_descriptor only, not: $exported"

if ! unshare -m true 2>/dev/null; then
  echo "SKIPPED: no mount namespace can be made here (unshare -m needs root)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/lv2" "$work/empty"
cp -r "$bundle" "$work/lv2/"
sox -n -r 44100 -c 2 -b 16 "$work/in.wav" synth 0.5 sine 440 2>/dev/null

unshare -m sh -c '
  mount --make-rprivate / &&
  mount --bind "$1/empty" "$3" && mount --bind "$1/empty" "$2" || exit 90
  [ -e "$3/CMakeCache.txt" ] && exit 91
  export LV2_PATH="$1/lv2"
  lv2info https://vortigen.example/lv2/fourier >"$1/info.txt" 2>"$1/info.err" || exit 92
  lv2apply -i "$1/in.wav" -o "$1/out.wav" -c preset 3 https://vortigen.example/lv2/dynamic \
    >"$1/apply.out" 2>"$1/apply.err" || exit 93
' sh "$work" "$source_dir" "$build_dir"
status=$?
check "$status" "lv2info and lv2apply ran on the copy with the build tree hidden (status $status: 90 mount, 91 still visible, 92 lv2info, 93 lv2apply)"
grep -q "Binary:.*$work/lv2/vortigen.lv2/vortigen.so" "$work/info.txt"
check $? "lv2info found the copied module"
[ -s "$work/out.wav" ] && [ "$(soxi -s "$work/out.wav" 2>/dev/null)" = 22050 ]
check $? "lv2apply wrote the whole sound"
[ ! -s "$work/apply.err" ] && [ ! -s "$work/apply.out" ]
check $? "the plug-in wrote nothing on lv2apply's output: $(cat "$work/apply.out" "$work/apply.err")"

report_checks
