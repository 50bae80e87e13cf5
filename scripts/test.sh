#!/usr/bin/env bash
# Sets up, builds and runs every test: once in the normal build, once under
# AddressSanitizer and UndefinedBehaviorSanitizer.
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

# Several plug-in instances on several threads under ThreadSanitizer: the
# kernel's thread tests and the LV2 bundle's (the engine and the kernel
# inside it), in a build of only those targets.
tsan="-fsanitize=thread -g -O1 -Wno-maybe-uninitialized"
cmake -S . -B build-tsan -DVORTIGEN_WERROR=ON -DVORTIGEN_BENCHMARKS=OFF \
  -DCMAKE_C_FLAGS="$tsan" -DCMAKE_CXX_FLAGS="$tsan" -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread \
  -DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread -DCMAKE_MODULE_LINKER_FLAGS=-fsanitize=thread >/dev/null
cmake --build build-tsan --parallel "$(nproc)" --target kernel_tests lv2_thread_tests
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure -R "^(KernelThreads|Threads)\.")
