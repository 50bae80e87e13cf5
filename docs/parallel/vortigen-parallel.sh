#!/bin/bash
# GNU parallel over a batch: SHARDS jobs, job K processing shard K/SHARDS
# of the inputs (chosen by a hash of each file's name). Locally, SLOTS jobs
# at a time; with HOSTS, one job at a time on each host named in that file
# (parallel's --sshloginfile), every host seeing the same IN and OUT. The
# exit status is the number of jobs that failed; run it again after fixing
# the cause: only what is not complete is redone.
#
#   bash vortigen-parallel.sh                      # IN, OUT, PRESET, SHARDS, SLOTS
#   HOSTS=hosts.txt bash vortigen-parallel.sh      # over ssh
set -euo pipefail
in=${IN:-/archive/in}
out=${OUT:-/archive/out}
shards=${SHARDS:-4}
if [ -n "${HOSTS:-}" ]; then
  where=(--sshloginfile "$HOSTS" --jobs 1)
else
  where=(--jobs "${SLOTS:-2}")
fi
seq 1 "$shards" | parallel --quote "${where[@]}" \
  vortigen dynamic "$in"/*.wav --output-dir "$out" --preset "${PRESET:-Chaos}" \
  --jobs 1 --shard "{}/$shards"
