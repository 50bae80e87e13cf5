#!/usr/bin/env bash
# The README's GNU parallel recipe (docs/parallel/vortigen-parallel.sh, the
# very file) run with local job slots: its outputs equal a local --jobs 1
# batch byte for byte; a damaged input makes its job fail and the recipe
# exit non-zero while the other jobs complete; run again after the input
# is mended, it processes only that file.
#
#   tests/cluster/parallel_test.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-build}" && pwd)
vortigen=$build/vortigen
recipe=$root/docs/parallel/vortigen-parallel.sh
source "$root/tests/cluster/cluster_support.sh"
shown_in_readme "$recipe"
[ -x "$vortigen" ] || fail "no tool at $vortigen; build it first"

work=$(mktemp -d /tmp/vortigen-parallel-XXXXXX)
trap 'rm -rf "$work"' EXIT
make_inputs 12 "$work/in"
reference_batch "$work/in" "$work/reference" 2>/dev/null
export PATH=$build:$PATH IN=$work/in OUT=$work/out SHARDS=5 SLOTS=2

bash "$recipe" >"$work/first.log" 2>&1 || fail "the recipe failed: $(cat "$work/first.log")"
same_outputs "$work/out" "$work/reference" "parallel"
[ "$(summed processed "$work/first.log")" = 12 ] || fail "$(cat "$work/first.log")"
pass "5 shards in 2 local job slots wrote what a local --jobs 1 batch writes"

rm -rf "$work/out"
# Kept with its time stamp: the outputs' completion record names the
# input's size and modification time, and the mended input is to be the
# very file the local batch saw.
cp -p "$work/in/take-4.wav" "$work/take-4.good"
head -c 300 /dev/urandom >"$work/in/take-4.wav"
status=0
bash "$recipe" >"$work/broken.log" 2>&1 || status=$?
[ "$status" = 1 ] || fail "a damaged input: exit status $status, not 1 (one job failed): $(cat "$work/broken.log")"
grep -q "take-4.wav" "$work/broken.log" || fail "no line names the damaged input"
[ "$(summed processed "$work/broken.log")" = 11 ] || fail "$(cat "$work/broken.log")"
pass "the job holding the damaged input failed (exit status 1), the others processed 11 files"

cp -p "$work/take-4.good" "$work/in/take-4.wav"
bash "$recipe" >"$work/again.log" 2>&1 || fail "run again: $(cat "$work/again.log")"
[ "$(summed processed "$work/again.log")" = 1 ] || fail "run again: $(cat "$work/again.log")"
[ "$(summed skipped "$work/again.log")" = 11 ] || fail "run again: $(cat "$work/again.log")"
same_outputs "$work/out" "$work/reference" "parallel, run again"
pass "run again, the mended file alone was processed and 11 complete ones skipped"
