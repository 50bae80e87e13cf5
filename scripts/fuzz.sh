#!/usr/bin/env bash
# Builds the libFuzzer harnesses of fuzz/ (build-fuzz: clang, coverage,
# AddressSanitizer, UndefinedBehaviorSanitizer), replays each harness's
# seed corpus fuzz/corpus/NAME, then fuzzes each harness for SECONDS.
#
#   scripts/fuzz.sh [SECONDS [NAME...]]     (15 seconds, every harness)
#   FUZZ_FLAGS="-len_control=0" scripts/fuzz.sh 600 xfmdo   (more libFuzzer flags)
#
# New inputs go to build-fuzz/fuzz/corpus/NAME, never into the seeds; a
# finding is written to build-fuzz/fuzz/findings/NAME/ and ends the run
# with status 1. Add a finding's input to fuzz/corpus/NAME once it is fixed,
# so that every later replay tries it again.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-15}
shift || true
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for dir in fuzz/corpus/*/; do names+=("$(basename "$dir")"); done
fi
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))

cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
  -DVORTIGEN_FUZZ=ON -DBUILD_TESTING=OFF -DVORTIGEN_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz --parallel "$jobs" --target "${names[@]/%/_fuzz}" >/dev/null

export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp"
failed=0
for name in "${names[@]}"; do
  harness=build-fuzz/fuzz/${name}_fuzz
  work=build-fuzz/fuzz/corpus/$name
  findings=build-fuzz/fuzz/findings/$name
  log=build-fuzz/fuzz/$name.log
  mkdir -p "$work" "$findings"
  if ! "$harness" -runs=0 -artifact_prefix="$findings/" "$work" "fuzz/corpus/$name" >"$log" 2>&1 ||
     ! "$harness" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 ${FUZZ_FLAGS:-} \
         -artifact_prefix="$findings/" "$work" "fuzz/corpus/$name" >>"$log" 2>&1; then
    echo "fuzz: $name found a fault; its input is in $findings/, the report in $log:"
    grep -E "ERROR|SUMMARY|fuzz check failed|runtime error" "$log" | head -5
    failed=1
    continue
  fi
  # The last status line and the final statistics say how far it got.
  summary=$(grep -E "^#[0-9]+" "$log" | tail -1 | grep -oE "cov: [0-9]+ ft: [0-9]+" || true)
  runs=$(grep -oE "stat::number_of_executed_units: [0-9]+" "$log" | grep -oE "[0-9]+$" || echo 0)
  echo "fuzz: $name: seeds replayed, $runs runs in ${seconds} s, $summary, no finding"
done
exit $failed
