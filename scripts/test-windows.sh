#!/usr/bin/env bash
# Proves the Windows plug-ins: builds both cross builds, a Linux build whose
# kernel computes as theirs does (build-wintest: the same instruction-set
# variants, chosen at run time on this same CPU), and runs
# the Windows tests there: the 32-bit DLLs inspected, the Linux plug-ins'
# outputs written, and the Windows test host of each cross build run under
# Wine against them (the 32-bit one only where this machine can run 32-bit
# Wine; CTest reports it skipped otherwise).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
# Both cross builds, and the Windows zip made of them, whose DLLs the
# tests run.
zip=$(scripts/package-windows.sh)
cmake -S . -B build-wintest -DVORTIGEN_WERROR=ON -DVORTIGEN_BENCHMARKS=OFF \
  -DVORTIGEN_KERNEL_WIDE_VARIANTS=ON -DVORTIGEN_WINDOWS_TESTS=ON -DVORTIGEN_WINDOWS_ZIP="$zip" >/dev/null
cmake --build build-wintest --parallel "$jobs" --target vtwinref
(cd build-wintest && ctest --output-on-failure -R '^Windows\.')
# CTest shows a skipped test's reason nowhere; say it here.
grep -h "^SKIPPED: " build-wintest/Testing/Temporary/LastTest.log | sed 's/^SKIPPED: /test-windows: /' || true
