#!/usr/bin/env bash
# Sets up, builds and runs every test, quickest first, so that a plain
# failure shows within a minute or two and the slow tiers run only after
# the fast one has passed:
#   1. fast:      the format and layer checks, the normal build and its tests;
#   2. sanitizers: the same tests under AddressSanitizer and
#                 UndefinedBehaviorSanitizer (a Debug build of its own), and
#                 the thread tests under ThreadSanitizer;
#   3. windows:   both cross builds, the 32-bit DLLs inspected, the Windows
#                 test host run under Wine;
#   4. fuzz:      every fuzzer's seeds replayed, then 15 s of fuzzing each;
#   5. cluster:   the README's Slurm job array on a one-node cluster the
#                 test starts on 127.0.0.1 (as root), and its GNU parallel
#                 recipe, against a local batch;
#   6. package:   the Debian packages built and checked with lintian, the
#                 tool's installed into a clean Debian 12 root, run there,
#                 and purged leaving nothing (scripts/test-package.sh).
#   scripts/test.sh [fast|sanitizers|windows|fuzz|cluster|package]...   (every tier when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

tiers=("$@")
[ ${#tiers[@]} -gt 0 ] || tiers=(fast sanitizers windows fuzz cluster package)
for tier in "${tiers[@]}"; do
  case $tier in
    fast | sanitizers | windows | fuzz | cluster | package) ;;
    *) echo "test: the tiers are fast, sanitizers, windows, fuzz, cluster and package, not $tier." >&2; exit 2 ;;
  esac
done

started=$SECONDS
banner() { echo "== test: $1 ($((SECONDS - started)) s so far)"; }

scripts/setup.sh "${tiers[@]}"

for tier in "${tiers[@]}"; do
  case $tier in
    fast)
      banner "layout"
      scripts/check-format.sh
      scripts/check-layers.sh
      banner "normal build and its tests"
      # Tests and benchmarks switched on: the demo may have configured
      # this folder without them.
      scripts/build.sh build -DBUILD_TESTING=ON -DVORTIGEN_BENCHMARKS=ON
      (cd build && ctest --output-on-failure --parallel "$(nproc)")
      ;;
    sanitizers)
      banner "AddressSanitizer and UndefinedBehaviorSanitizer build and its tests"
      scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DVORTIGEN_SANITIZE=ON \
        -DVORTIGEN_BENCHMARKS=OFF
      (cd build-asan && ASAN_OPTIONS=detect_leaks=1 \
        LSAN_OPTIONS=suppressions="$root/tests/lsan.supp" \
        ctest --output-on-failure --parallel "$(nproc)")
      # Several plug-in instances on several threads: the kernel's thread
      # tests and the LV2 bundle's (the engine and the kernel inside it),
      # the engine's frames on several threads, and the tool's reading,
      # processing and writing threads on both paths, in a build
      # of only those targets.
      banner "ThreadSanitizer build of the thread tests"
      tsan="-fsanitize=thread -g -O1 -Wno-maybe-uninitialized"
      cmake -S . -B build-tsan -DVORTIGEN_WERROR=ON -DVORTIGEN_BENCHMARKS=OFF \
        -DCMAKE_C_FLAGS="$tsan" -DCMAKE_CXX_FLAGS="$tsan" \
        -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread \
        -DCMAKE_MODULE_LINKER_FLAGS=-fsanitize=thread >/dev/null
      cmake --build build-tsan --parallel "$(nproc)" --target kernel_tests lv2_thread_tests \
        pipeline_tests engine_thread_tests waveform_tests
      (cd build-tsan && TSAN_OPTIONS=halt_on_error=1 \
        ctest --output-on-failure -R "^(KernelThreads|Threads|Pipeline|EngineThreads|EngineCrew|(WithAndWithoutThreads/)?Waveform)\.")
      ;;
    windows)
      banner "Windows cross builds, under Wine"
      scripts/test-windows.sh
      ;;
    fuzz)
      banner "libFuzzer harnesses: seeds replayed, 15 s of fuzzing each"
      scripts/fuzz.sh 15
      ;;
    cluster)
      banner "the README's Slurm job array and GNU parallel recipe"
      cmake -S . -B build -DVORTIGEN_WERROR=ON >/dev/null
      cmake --build build --parallel "$(nproc)" --target vortigen
      tests/cluster/slurm_test.sh build
      tests/cluster/parallel_test.sh build
      ;;
    package)
      banner "the Debian packages: lintian, installed in a clean Debian 12 root, run, purged"
      scripts/test-package.sh
      ;;
  esac
done
banner "done, every tier passed"
