#!/bin/bash
# Benchmarks of the vortigen tool as a user runs it:
#  - peak resident memory (GNU time's %M) on long stereo 44.1 kHz 16-bit
#    files made on the fly and deleted after, on each path, against
#    `sox in.wav out.wav` on the same file in the same run;
#  - the wall time of a batch of 40 one-minute files with --jobs 1 and
#    --jobs 2, alternating, in the same run.
#
#   bash bench/tool_bench.sh [BUILD_DIR]      (HOURS="1 10" REPEAT=2 by default)
#
# A 10-hour file is 6.35 GB and its output as much again: the script checks
# the free space of its scratch directory (SCRATCH, default under /work or
# the temporary directory) and skips what does not fit.
set -euo pipefail

build=${1:-build}
vortigen=$(realpath "$build/vortigen")
hours=${HOURS:-"1 10"}
repeat=${REPEAT:-2}
scratch=$(mktemp -d "${SCRATCH:-${TMPDIR:-/tmp}}/vortigen-bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
command -v sox >/dev/null || { echo "sox is missing (apt-get install sox)"; exit 1; }

# A stereo 44.1 kHz 16-bit file of the given seconds: one second of plucked
# tones over a chord with noise, repeated. RF64 past 4 GB, WAV below.
make_sound() {
  python3 - "$1" "$2" <<'PY'
import math, random, struct, sys
path, seconds = sys.argv[1], int(sys.argv[2])
rate = 44100
random.seed(1)
block = bytearray()
for i in range(rate):
    t = i / rate
    pluck = math.exp(-(t % 0.125) * 30)
    left = 6000 * math.sin(2 * math.pi * 220 * t) + 4000 * pluck * math.sin(2 * math.pi * 1320 * t)
    right = 6000 * math.sin(2 * math.pi * 330 * t) + 4000 * pluck * math.sin(2 * math.pi * 1760 * t)
    block += struct.pack('<hh', int(left) + random.randint(-400, 400), int(right) + random.randint(-400, 400))
size = len(block) * seconds
fmt = b'fmt ' + struct.pack('<IHHIIHH', 16, 1, 2, rate, rate * 4, 4, 16)
with open(path, 'wb') as out:
    if size + 36 < 2**32:
        out.write(b'RIFF' + struct.pack('<I', 36 + size) + b'WAVE' + fmt + b'data' + struct.pack('<I', size))
    else:
        ds64 = b'ds64' + struct.pack('<IQQQI', 28, 36 + 36 + size, size, seconds * rate, 0)
        out.write(b'RF64' + struct.pack('<I', 0xFFFFFFFF) + b'WAVE' + ds64 + fmt + b'data' + struct.pack('<I', 0xFFFFFFFF))
    for _ in range(seconds):
        out.write(block)
PY
}

# Peak RSS in MB and wall seconds of one command.
measure() {
  local log="$scratch/time.log"
  /usr/bin/time -f "%M %e" -o "$log" "$@" >/dev/null 2>"$scratch/err.log" || {
    echo "failed: $* ($(tail -1 "$scratch/err.log"))"; return 0; }
  awk '{ printf "%7.1f MB %8.1f s", $1 / 1024, $2 }' "$log"
}

free_gb() { df -Pk "$scratch" | awk 'NR == 2 { print int($4 / 1048576) }'; }

echo "machine: $(nproc) cores, $(free -g | awk '/Mem/ { print $2 }') GB; shared with other builds while this ran"
echo "scratch: $scratch, $(free_gb) GB free"
echo
echo "== Peak resident memory, stereo 44.1 kHz 16-bit, dynamic --preset Chaos"
for h in $hours; do
  seconds=$((h * 3600))
  need=$(( (seconds * 176400 * 2) / 1073741824 + 1 ))
  if [ "$(free_gb)" -le "$need" ]; then
    echo "$h h: skipped, $need GB needed and $(free_gb) GB free"
    continue
  fi
  make_sound "$scratch/in.wav" "$seconds"
  for run in $(seq "$repeat"); do
    echo "$h h, run $run:"
    echo "  sox in.wav out.wav           $(measure sox "$scratch/in.wav" "$scratch/out.wav")"
    rm -f "$scratch/out.wav"
    echo "  vortigen --path engine       $(measure "$vortigen" dynamic "$scratch/in.wav" "$scratch/out.wav" --preset Chaos -q --path engine)"
    rm -f "$scratch/out.wav"
    # The plug-ins' byte positions are 32-bit: 3 h 22 min of 16-bit stereo.
    if [ "$h" -le 3 ]; then
      echo "  vortigen --path plugin       $(measure "$vortigen" dynamic "$scratch/in.wav" "$scratch/out.wav" --preset Chaos -q --path plugin)"
      rm -f "$scratch/out.wav"
    fi
  done
  rm -f "$scratch/in.wav"
done
if [ "$(free_gb)" -gt 5 ] && [[ " $hours " == *" 10 "* ]]; then
  # The longest input the plug-in path takes, for its side of the 10-hour row.
  make_sound "$scratch/in.wav" $((3 * 3600))
  echo "3 h (the plug-in path's longest):"
  echo "  vortigen --path plugin       $(measure "$vortigen" dynamic "$scratch/in.wav" "$scratch/out.wav" --preset Chaos -q --path plugin)"
  rm -f "$scratch/in.wav" "$scratch/out.wav"
fi

echo
echo "== Batch of 40 one-minute files, dynamic --preset Chaos"
mkdir -p "$scratch/batch"
make_sound "$scratch/batch/take-00.wav" 60
for i in $(seq -w 1 39); do cp "$scratch/batch/take-00.wav" "$scratch/batch/take-$i.wav"; done
for run in $(seq 3); do
  for jobs in 1 2; do
    rm -rf "$scratch/out"
    start=$(date +%s.%N)
    "$vortigen" dynamic "$scratch"/batch/*.wav --output-dir "$scratch/out" --preset Chaos --jobs "$jobs" -q >/dev/null 2>&1
    end=$(date +%s.%N)
    echo "run $run, --jobs $jobs: $(echo "$end - $start" | bc) s"
  done
done
