#!/usr/bin/env bash
# The studio is optional as the LV2 bundle is: configured without its JSON
# library, the project still configures, says why the studio is left out,
# and keeps the tool (without its studio command).
#   optional_studio_test.sh SOURCE_DIR CMAKE
set -euo pipefail
source_dir=$1
cmake=${2:-cmake}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! "$cmake" -S "$source_dir" -B "$work" -DCMAKE_DISABLE_FIND_PACKAGE_nlohmann_json=TRUE \
     -DBUILD_TESTING=OFF -DVORTIGEN_BENCHMARKS=OFF >"$work/configure.log" 2>&1; then
  echo "FAIL: the project does not configure without the studio's libraries:"
  cat "$work/configure.log"
  exit 1
fi
grep -q "is not installed: .vortigen studio." "$work/configure.log" ||
  { echo "FAIL: configuring said nothing of the studio being left out"; cat "$work/configure.log"; exit 1; }
targets=$("$cmake" --build "$work" --target help)
grep -qx '\.\.\. vortigen' <<<"$targets" || { echo "FAIL: no vortigen target"; exit 1; }
if grep -qx '\.\.\. vtstudio' <<<"$targets"; then echo "FAIL: vtstudio is still a target"; exit 1; fi
echo "ok: configured without the studio; the tool remains"
