#!/usr/bin/env bash
# Cross-compiles the plug-ins for Windows with MinGW-w64:
#   build-win32/dynamic.dll, build-win32/fourier.dll   the plug-ins for the host
#   build-win64/...                                      the same sources, 64-bit
# and in each the Windows test host vtwintest.exe. Warnings are errors.
#   scripts/build-windows.sh [32|64]...   (both when none is named)
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(32 64)
for bits in "${targets[@]}"; do
  case $bits in
    32) dir=build-win32 toolchain=cmake/i686-w64-mingw32.cmake ;;
    64) dir=build-win64 toolchain=cmake/x86_64-w64-mingw32.cmake ;;
    *) echo "build-windows: say 32 or 64, not $bits." >&2; exit 2 ;;
  esac
  cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVORTIGEN_WERROR=ON >/dev/null
  cmake --build "$dir" --parallel "$jobs"
done
