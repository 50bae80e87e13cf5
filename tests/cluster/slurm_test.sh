#!/usr/bin/env bash
# The README's Slurm job array (docs/slurm/vortigen-array.sbatch, the very
# file) submitted to a one-node Slurm cluster that this script starts on
# 127.0.0.1: munged, slurmctld and slurmd as its own processes, with a
# configuration written here, stopped at the end. Checks that the array's
# outputs equal a local --jobs 1 batch byte for byte; that a task whose
# shard holds a damaged input ends FAILED with exit code 1 in Slurm while
# the others complete; and that resubmitting after the input is mended
# processes only that file.
#
#   tests/cluster/slurm_test.sh BUILD_DIR        (as root)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-build}" && pwd)
vortigen=$build/vortigen
recipe=$root/docs/slurm/vortigen-array.sbatch
source "$root/tests/cluster/cluster_support.sh"

shown_in_readme "$recipe"
[ "$(id -u)" -eq 0 ] || { echo "slurm test: skipped, slurmd must run as root here"; exit 0; }
[ -x "$vortigen" ] || fail "no tool at $vortigen; build it first"

work=$(mktemp -d /tmp/vortigen-slurm-XXXXXX)
chmod 711 "$work"
daemons=()
stop() {
  local pid
  for pid in "${daemons[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${daemons[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ "${keep:-0}" = 1 ]; then echo "slurm test: logs kept in $work"; else rm -rf "$work"; fi
}
trap stop EXIT

# ---- munge, with a key of its own ---------------------------------------------------------
# The socket's directory must be searchable by all, as munged checks.
mkdir -p -m 711 "$work/munge"
dd if=/dev/urandom of="$work/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$work/munge/munge.key"
munged --foreground --force --key-file="$work/munge/munge.key" \
  --socket="$work/munge/munge.socket" --pid-file="$work/munge/munged.pid" \
  --seed-file="$work/munge/munged.seed" --log-file="$work/munge/munged.log" 2>/dev/null &
daemons+=($!)

# ---- slurmctld and slurmd on 127.0.0.1 -------------------------------------------------------
# The node claims 64 CPUs (config_overrides: more than it has) so that
# all 16 tasks of 4 CPUs start at once; one after another, the scheduler's
# pace alone would take a minute per array.
# Ports from this process's id, away from the usual 6817/6818, so that a
# cluster running on the machine is not disturbed.
port=$((20000 + ($$ % 20000)))
mkdir -p "$work/state" "$work/spool" "$work/jobs"
export SLURM_CONF=$work/slurm.conf
cat >"$SLURM_CONF" <<CONF
ClusterName=vortigentest
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$work/munge/munge.socket
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SlurmdParameters=config_overrides
ReturnToService=2
MpiDefault=none
MinJobAge=600
NodeName=localhost NodeAddr=127.0.0.1 CPUs=64 State=UNKNOWN
PartitionName=test Nodes=localhost Default=YES MaxTime=INFINITE State=UP
CONF
slurmctld -D -i -f "$SLURM_CONF" 2>/dev/null &
daemons+=($!)
slurmd -D -N localhost -f "$SLURM_CONF" 2>/dev/null &
daemons+=($!)
for _ in $(seq 100); do
  sinfo -h -o %T 2>/dev/null | grep -qx idle && break
  sleep 0.2
done
sinfo -h -o %T | grep -qx idle || fail "the one-node cluster did not come up: $(tail -3 "$work/slurmctld.log")"
pass "one-node Slurm cluster on 127.0.0.1:$port"

# ---- the README's array ----------------------------------------------------------------------
make_inputs 20 "$work/in"
reference_batch "$work/in" "$work/reference" 2>/dev/null
export PATH=$build:$PATH IN=$work/in OUT=$work/out
submit() {
  (cd "$work/jobs" && sbatch --wait --quiet "$recipe") && return 0
}
jobid() { ls -t "$work/jobs" | sed -n '1s/vortigen-\([0-9]*\)_.*/\1/p'; }

submit || fail "the array failed: $(cat "$work"/jobs/*.log)"
[ "$(ls "$work/jobs" | wc -l)" = 16 ] || fail "expected 16 task logs, found $(ls "$work/jobs")"
same_outputs "$work/out" "$work/reference" "the array"
pass "16 array tasks wrote what a local --jobs 1 batch writes"

# A damaged input: its task fails, in Slurm's record too, the others complete.
rm -rf "$work/out" "$work/jobs"/*
# Kept with its time stamp: the outputs' completion record names the
# input's size and modification time, and the mended input is to be the
# very file the local batch saw.
cp -p "$work/in/take-7.wav" "$work/take-7.good"
head -c 300 /dev/urandom >"$work/in/take-7.wav"
if submit; then fail "an array with a damaged input ended without failure"; fi
job=$(jobid)
states=$(scontrol show job "$job" | sed -n 's/.*JobState=\([A-Z]*\).*/\1/p' | sort | uniq -c | tr -s ' ' | paste -sd ' ')
codes=$(scontrol show job "$job" | sed -n 's/.* ExitCode=\([0-9:]*\).*/\1/p' | sort | uniq -c | tr -s ' ' | paste -sd ' ')
[ "$states" = " 15 COMPLETED  1 FAILED" ] || fail "task states: $states"
[ "$codes" = " 15 0:0  1 1:0" ] || fail "task exit codes: $codes"
grep -l "take-7.wav" "$work"/jobs/*.log | grep -q . || fail "no task log names the damaged input"
pass "the task holding the damaged input is FAILED with exit code 1, the other 15 COMPLETED"

# Mended and resubmitted: only that file is processed.
cp -p "$work/take-7.good" "$work/in/take-7.wav"
rm -f "$work/jobs"/*
submit || fail "the resubmitted array failed: $(cat "$work"/jobs/*.log)"
[ "$(summed processed "$work"/jobs/*.log)" = 1 ] || fail "resubmitted: $(cat "$work"/jobs/*.log)"
[ "$(summed skipped "$work"/jobs/*.log)" = 19 ] || fail "resubmitted: $(cat "$work"/jobs/*.log)"
same_outputs "$work/out" "$work/reference" "the resubmitted array"
pass "resubmitted, the array processed the mended file alone and skipped 19 complete ones"
