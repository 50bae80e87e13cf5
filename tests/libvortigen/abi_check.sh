#!/usr/bin/env bash
# libvortigen's ABI against the baseline checked in beside its sources,
# with libabigail's abidiff: the exported functions, their parameter and
# return types and the public types of include/vortigen, the symbol
# versions and the SONAME. Fails on any change: one that breaks callers
# needs a new SONAME, and one that only adds needs a new baseline; either
# way the baseline is then written anew, on purpose, with --update.
#   abi_check.sh LIBRARY SOURCE_DIR [--update]
set -euo pipefail
library=$1 source=$2
baseline=$source/libvortigen/abi/libvortigen.abi
headers=$source/include/vortigen
describe=(--headers-dir "$headers" --drop-private-types --exported-interfaces-only
          --no-corpus-path --no-comp-dir-path --no-show-locs --no-elf-needed)

if [ "${3:-}" = --update ]; then
  abidw "${describe[@]}" --out-file "$baseline" "$library"
  echo "abi: $baseline written from $library"
  exit 0
fi
status=0
# (The baseline holds only public types already; abidiff cannot take a
# headers directory for an XML file.)
abidiff --headers-dir2 "$headers" --drop-private-types "$baseline" "$library" || status=$?
# abidiff's status is a bit set: 1 error, 2 usage, 4 ABI change, 8 change that breaks callers.
if ((status & 8)); then
  echo "abi: $library breaks callers of the baseline. Keep the old interface, or raise the" \
       "SONAME (libvortigen/CMakeLists.txt) and then write the baseline anew:" \
       "bash tests/libvortigen/abi_check.sh $library $source --update"
elif ((status & 4)); then
  echo "abi: the interface changed without breaking callers; if that is meant, write the" \
       "baseline anew: bash tests/libvortigen/abi_check.sh $library $source --update"
elif ((status != 0)); then
  echo "abi: abidiff could not compare (status $status); is the library built with -g?"
fi
exit "$status"
