#!/usr/bin/env bash
# scripts/check-layers.sh on a copy of the source folders: it passes on the
# tree as it is, and fails, naming file and line, on each kind of fault it
# exists to catch, planted one at a time.
#   check_layers_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fresh_copy() {
  rm -rf "$work/tree"
  mkdir -p "$work/tree/scripts"
  cp "$source_dir/scripts/check-layers.sh" "$work/tree/scripts/"
  for dir in platform kernel interface frame dynamic fourier engine host media lv2 studio tool; do
    [ -d "$source_dir/$dir" ] && cp -r "$source_dir/$dir" "$work/tree/"
  done
}

failed=0
expect() {  # expect pass|fail DESCRIPTION [TEXT the message must hold]
  local want=$1 what=$2 text=${3:-}
  local status=0
  "$work/tree/scripts/check-layers.sh" "$work/tree" >"$work/out" 2>&1 || status=$?
  if [ "$want" = pass ] && [ $status -ne 0 ]; then
    echo "FAIL: $what: the check failed:"; cat "$work/out"; failed=1
  elif [ "$want" = fail ] && [ $status -eq 0 ]; then
    echo "FAIL: $what: the check passed"; failed=1
  elif [ -n "$text" ] && ! grep -qF -- "$text" "$work/out"; then
    echo "FAIL: $what: the message does not say \"$text\":"; cat "$work/out"; failed=1
  else
    echo "ok: $what"
  fi
}

fresh_copy
expect pass "the tree as it is"

fresh_copy
printf '#include "vortigen_commands.h"\n' >>"$work/tree/media/audio_file.cpp"
line=$(wc -l <"$work/tree/media/audio_file.cpp")
expect fail "media including the tool's header" "media/audio_file.cpp:$line includes \"vortigen_commands.h\""

fresh_copy
printf '#include "dialog_template.h"\n' >>"$work/tree/frame/streaming.cpp"
expect fail "the frame including a plug-in's template" "which lives in dynamic/ fourier/"

fresh_copy
printf '#include "xfm.h"\n' >>"$work/tree/kernel/nsp.h"
expect fail "the kernel including the host interface" "kernel/nsp.h"

fresh_copy
printf '#  include "studio_command.h"\n' >>"$work/tree/engine/engine.cpp"
expect fail "an include written with spaces after the hash" "engine/engine.cpp"

fresh_copy
printf '#include "engine.h"\n' >>"$work/tree/engine/curves.cpp"
expect pass "a folder including its own header from another file"

fresh_copy
mkdir -p "$work/tree/newpart" && printf 'int x;\n' >"$work/tree/newpart/x.cpp"
expect fail "a source folder without a row in the table" "newpart/ holds sources but has no row"

fresh_copy
sed -i 's/^  \[kernel\]="platform"$/  [kernel]="platform engine"/' "$work/tree/scripts/check-layers.sh"
expect fail "a table row that points up" "lets kernel/ use engine/"

fresh_copy
sed -i 's/VORTIGEN_MEDIA_SONOGRAM_H/VORTIGEN_TOOL_SONOGRAM_H/' "$work/tree/media/sonogram.h"
expect fail "a header keeping the guard of its old folder" "media/sonogram.h guards itself with VORTIGEN_TOOL_SONOGRAM_H"

fresh_copy
mkdir -p "$work/tree/tests/media" "$work/tree/tests/support"
expect pass "test folders named for a source folder, and the shared helpers"

fresh_copy
mkdir -p "$work/tree/tests/dialog" && printf 'int x;\n' >"$work/tree/tests/dialog/x_test.cpp"
expect fail "a test folder that names no source folder" "tests/dialog/ names no source folder"

exit $failed
