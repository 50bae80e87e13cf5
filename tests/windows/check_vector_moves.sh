#!/usr/bin/env bash
# Inspects the kernel's wide (AVX2, AVX-512) variants in Windows DLLs:
#   - they are there (FMA instructions in the code), so the DLLs can
#     choose them at run time as the Linux build does;
#   - no aligned vector move is left (vmovaps, vmovapd, vmovdqa*): this
#     compiler spills wide vectors to a stack Windows does not align for
#     them, and an aligned move there faults. The kernel's wide files are
#     assembled with -muse-unaligned-vector-move to that end.
#
#   check_vector_moves.sh OBJDUMP DLL...
# Prints one line per failed check and "N passed, N failed".
set -uo pipefail

objdump=$1
shift
command -v "$objdump" >/dev/null || { echo "$objdump is missing; install binutils-mingw-w64."; exit 1; }

source "$(dirname "$0")/checks.sh"

for dll in "$@"; do
  name=$(basename "$dll")
  if ! code=$("$objdump" -d --no-show-raw-insn "$dll" 2>&1); then
    check 1 "$name: objdump cannot read it: $code"
    continue
  fi
  fused=$(grep -c 'vfmadd' <<<"$code")
  check $(( fused > 0 ? 0 : 1 )) "$name: no FMA instruction, so no AVX2 variant was compiled in"
  aligned=$(grep -E '\svmov(aps|apd|dqa(32|64)?)\s' <<<"$code")
  check $(( $(grep -c . <<<"$aligned") == 0 ? 0 : 1 )) \
    "$name: aligned vector moves that fault on a misaligned stack: $(head -3 <<<"$aligned")"
done

report_checks
