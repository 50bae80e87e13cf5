#!/usr/bin/env bash
# The installed C interface as a user builds against it: installs the
# libvortigen components of the build into a fresh prefix, builds the C
# example with pkg-config (shared, and static from libvortigen.a) and the
# C++ example with find_package(Vortigen), and checks that each one's
# output of several WAV files holds what `vortigen --path engine`'s does,
# sample for sample.
#   installed_examples.sh BUILD_DIR SOURCE_DIR CMAKE TOOL
set -euo pipefail
build=$1 source=$2 cmake=$3 tool=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The same sound in the same format: container, rate, channels, depth,
# encoding and every sample. (The tool's file also carries tags, among
# them its completion record, which the examples do not write.)
same_file() {
  local option
  for option in -t -r -c -b -e -s; do
    [ "$(sox --i "$option" "$1")" = "$(sox --i "$option" "$2")" ] || return 1
  done
  cmp -s <(sox -V1 "$1" -t raw -) <(sox -V1 "$2" -t raw -)
}

for component in libvortigen libvortigen-dev; do
  "$cmake" --install "$build" --prefix "$prefix" --component "$component" >/dev/null
done
pc_dir=$(dirname "$(find "$prefix" -name vortigen.pc)")
export PKG_CONFIG_PATH=$pc_dir
[ "$(pkg-config --modversion vortigen)" = 1.0.0 ] || fail "pkg-config gives version $(pkg-config --modversion vortigen)"
libdir=$(pkg-config --variable=libdir vortigen)

# The C example: against the shared library, and against the static one.
cc -std=c99 -Wall -Wextra -Werror -o "$work/c_shared" "$source/examples/c/process_wav.c" \
  $(pkg-config --cflags --libs vortigen sndfile) -lm -Wl,-rpath,"$libdir"
cc -std=c99 -Wall -Wextra -Werror -o "$work/c_static" "$source/examples/c/process_wav.c" \
  $(pkg-config --cflags vortigen sndfile) "$libdir/libvortigen.a" \
  $(pkg-config --libs-only-other --static vortigen | sed 's/-lvortigen//') -lstdc++ -lm \
  $(pkg-config --libs sndfile)
if readelf -d "$work/c_static" | grep -q 'libvortigen'; then fail "the static build needs libvortigen.so"; fi
# The shared library exports no name but the interface's.
others=$(nm -D --defined-only "$libdir/libvortigen.so" | awk 'NF == 3 && $2 != "A" && $3 !~ /^vortigen_/')
[ -z "$others" ] || fail "libvortigen.so exports names beside the interface: $(head -3 <<<"$others")"

# The C++ example through the CMake package.
"$cmake" -S "$source/examples/cpp" -B "$work/cpp" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
"$cmake" --build "$work/cpp" >/dev/null

# Inputs: 16-bit stereo, 24-bit mono, 8-bit stereo, float 6 channels at 48 kHz.
sox -V1 -n -r 44100 -c 2 -b 16 "$work/s16.wav" synth 3 sine 220-3000 pinknoise gain -4
sox -V1 -n -r 44100 -c 1 -b 24 "$work/m24.wav" synth 2 sawtooth 440 tremolo 3 gain -2
sox -V1 -n -r 22050 -c 2 -b 8 "$work/s8.wav" synth 2.5 brownnoise gain -3
sox -V1 -n -r 48000 -c 6 -e floating-point -b 32 "$work/f32.wav" synth 1.5 pinknoise gain 2
cases=("dynamic|Hard Attack|s16" "fourier|Five|s16" "dynamic|Soft Dynamic+Chaos|m24"
       "fourier|Hay Fever|s8" "dynamic|Chaos|f32")
for case in "${cases[@]}"; do
  IFS='|' read -r effect preset input <<<"$case"
  expected="$work/$input-$effect-tool.wav"
  "$tool" "$effect" "$work/$input.wav" "$expected" --preset "$preset" --path engine --quiet \
    >/dev/null 2>&1
  for example in c_shared c_static cpp/process_wav_cpp cpp/process_wav_cpp_static; do
    out="$work/$input-$effect-${example//\//_}.wav"
    "$work/$example" "$effect" "$preset" "$work/$input.wav" "$out"
    same_file "$expected" "$out" || fail "$example: $effect '$preset' on $input.wav differs from the tool's"
  done
done
# A refused preset: the message from the library, exit status 2.
if message=$("$work/c_shared" dynamic "Hard Atack" "$work/s16.wav" "$work/x.wav" 2>&1); then
  fail "an unknown preset was taken"
fi
grep -q "'Hard Atack' is no built-in preset" <<<"$message" || fail "message: $message"

[ "$failures" = 0 ] && echo "installed examples: every output equals the tool's" || exit 1
