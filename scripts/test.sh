#!/usr/bin/env bash
# Sets up, builds and runs every test: once in the normal build, once under
# AddressSanitizer and UndefinedBehaviorSanitizer; then replays the fuzzers'
# seed corpora and fuzzes each harness briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/setup.sh

scripts/build.sh build
(cd build && ctest --output-on-failure --parallel "$(nproc)")

# The Windows plug-ins: both cross builds, the 32-bit DLLs inspected, the
# Windows test host run under Wine.
scripts/test-windows.sh

scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DVORTIGEN_SANITIZE=ON -DVORTIGEN_BENCHMARKS=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions="$root/tests/lsan.supp" ctest --output-on-failure --parallel "$(nproc)")

# The libFuzzer harnesses: every seed replayed, then 15 seconds of fuzzing
# each (scripts/fuzz.sh SECONDS runs them longer).
scripts/fuzz.sh 15
