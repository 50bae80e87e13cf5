#!/bin/bash
# The vortigen tool against the floor its I/O allows, and batches of short
# files, each pair in one run, with an earlier build's tool beside it:
#  - one hour of stereo 44.1 kHz 16-bit sound as WAV and as FLAC, both
#    paths: the tool's wall time; C, `sox in out` for the same container
#    (the I/O alone); E, the effect's CPU time for one hour on one core
#    (engine_bench: XfmDo and the engine, dynamic stereo); the floor on P
#    cores, max(C, (C + E) / P), and for the plug-in path, whose XfmDo is
#    one thread, max(C, E);
#  - 40 files of 5 s: --jobs 1 and --jobs 2, and a SoX loop over the same
#    files.
#
#   bash bench/io_bench.sh [BUILD_DIR [OLD_TOOL]]      (REPEAT=2, PARTS="long short" by default)
set -euo pipefail

build=$(realpath "${1:-build}")
vortigen=$build/vortigen
old=${2:-}
repeat=${REPEAT:-2}
scratch=$(mktemp -d "${SCRATCH:-${TMPDIR:-/tmp}}/vortigen-io-bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cores=$(nproc)
parts=${PARTS:-"long short"}

# Wall seconds of one run; its CPU seconds (user + system, every thread
# and process) go to $scratch/cpu, a figure the machine's load hardly moves.
seconds_of() {
  /usr/bin/time -f "%e %U %S" -o "$scratch/time" "$@" >/dev/null 2>&1 || echo "failed: $*" >&2
  awk '{ printf "%.2f\n", $2 + $3 }' "$scratch/time" >"$scratch/cpu"
  cut -d' ' -f1 "$scratch/time"
}
# The least wall time of `repeat` runs, the output removed after each; the
# CPU seconds of that run go to $scratch/best-cpu.
best_of() {
  local out=$1 best="" t
  shift
  for _ in $(seq "$repeat"); do
    t=$(seconds_of "$@")
    rm -f "$out"
    if [ -z "$best" ] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then
      best=$t
      cp "$scratch/cpu" "$scratch/best-cpu"
    fi
  done
  echo "$best"
}

echo "machine: $cores cores; load average $(cut -d' ' -f1-3 /proc/loadavg) at the start"
if [[ " $parts " == *" long "* ]]; then
echo "== E: the effect's CPU time for one hour on one core (engine_bench, dynamic stereo)"
"$build/bench/engine_bench" --benchmark_filter='dynamicStereo' --benchmark_min_time=1 \
  --benchmark_format=csv 2>/dev/null >"$scratch/engine.csv"
realtime() { grep "$1" "$scratch/engine.csv" | sed 's/.*,\([0-9.e+]*\)$/\1/' | tail -1; }
e_plugin=$(awk -v x="$(realtime runXfmDo)" 'BEGIN { printf "%.2f", 3600 / x }')
e_engine=$(awk -v x="$(realtime runEngine)" 'BEGIN { printf "%.2f", 3600 / x }')
echo "E (XfmDo) = $e_plugin s, E (engine) = $e_engine s"

sox -n -r 44100 -c 2 -b 16 "$scratch/in.wav" synth 3600 pluck 220 pluck 330 \
  remix 1 2 gain -3 2>/dev/null
sox "$scratch/in.wav" "$scratch/in.flac"
for container in wav flac; do
  in=$scratch/in.$container
  out=$scratch/out.$container
  c=$(best_of "$out" sox "$in" "$out")
  echo
  echo "== one hour, $container: C = $c s (sox in.$container out.$container, CPU $(cat "$scratch/best-cpu") s)"
  for path in engine plugin; do
    if [ $path = engine ]; then e=$e_engine; else e=$e_plugin; fi
    floor=$(awk -v c="$c" -v e="$e" -v p="$cores" -v path=$path 'BEGIN {
      f = path == "engine" ? (c + e) / p : e; printf "%.2f", (c > f ? c : f) }')
    new=$(best_of "$out" "$vortigen" dynamic "$in" "$out" --preset Chaos -q --path $path)
    line="--path $path: floor $floor s, vortigen $new s ($(awk -v a="$new" -v b="$floor" 'BEGIN { printf "%.2f", a / b }')x the floor, CPU $(cat "$scratch/best-cpu") s)"
    if [ -n "$old" ]; then
      was=$(best_of "$out" "$old" dynamic "$in" "$out" --preset Chaos -q --path $path)
      line="$line; earlier tool $was s ($(awk -v a="$was" -v b="$floor" 'BEGIN { printf "%.2f", a / b }')x, CPU $(cat "$scratch/best-cpu") s)"
    fi
    echo "  $line"
  done
done
rm -f "$scratch/in.wav" "$scratch/in.flac"
fi

[[ " $parts " == *" short "* ]] || exit 0
echo
echo "== 40 files of 5 s, stereo 44.1 kHz 16-bit, dynamic --preset Chaos"
mkdir -p "$scratch/short"
for i in $(seq -w 1 40); do
  sox -n -r 44100 -c 2 -b 16 "$scratch/short/take-$i.wav" synth 5 pluck $((200 + 10#$i)) pluck 330 \
    remix 1 2 gain -3 2>/dev/null
done
# Wall seconds, and in brackets the CPU seconds, of one batch.
batch() {
  rm -rf "$scratch/out"
  local t
  t=$(seconds_of "$@" "$scratch"/short/*.wav --output-dir "$scratch/out" --preset Chaos -q)
  echo "$t s (CPU $(cat "$scratch/cpu") s)"
}
sox_loop() {
  mkdir -p "$scratch/soxout"
  local t
  t=$(seconds_of bash -c \
    'for f in "$1"/short/*.wav; do sox "$f" "$1/soxout/$(basename "$f")"; done' _ "$scratch")
  echo "$t s (CPU $(cat "$scratch/cpu") s)"
}
for run in $(seq "$repeat"); do
  line="run $run: sox loop $(sox_loop); --jobs 1 $(batch "$vortigen" dynamic --jobs 1), --jobs 2 $(batch "$vortigen" dynamic --jobs 2)"
  if [ -n "$old" ]; then
    line="$line; earlier tool --jobs 1 $(batch "$old" dynamic --jobs 1), --jobs 2 $(batch "$old" dynamic --jobs 2)"
  fi
  echo "$line"
done
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
