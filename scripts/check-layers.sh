#!/usr/bin/env bash
# Checks that every #include "..." in the source folders points down the
# layers (docs/ARCHITECTURE.md): a folder may include its own headers and
# those of the folders its row below names, nothing else. An include is
# resolved by name against the headers of every folder; it is refused when
# every folder holding such a header is one the including folder may not
# use. Headers found nowhere (generated ones, system headers in quotes)
# are left to the compiler. It also checks that each header's include
# guard names its folder, so that a moved header does not keep its old one,
# and that each folder of tests/ is named for the source folder it tests.
#
#   scripts/check-layers.sh [ROOT]     (ROOT: the source tree, default this one)
#
# Prints one line per forbidden include, naming file and line, and exits 1;
# exits 0 when every include points down.
set -euo pipefail
root=${1:-"$(dirname "$0")/.."}
cd "$root"

# The layers from the bottom up; a folder may use only folders before it.
layers=(platform kernel interface frame dynamic fourier engine host media libvortigen lv2 studio tool)
declare -A uses=(
  [platform]=""
  [kernel]="platform"
  [interface]="platform"
  [frame]="interface kernel platform"
  [dynamic]="frame interface kernel platform"
  [fourier]="frame interface kernel platform"
  [engine]="dynamic fourier frame interface kernel platform"
  [host]="engine interface platform"
  [media]="kernel"
  [libvortigen]="engine platform"
  [lv2]="engine"
  [studio]="host engine media interface platform kernel"
  [tool]="studio host engine media interface platform kernel"
)
# Folders above every layer: they may include anything.
free_folders="tests bench fuzz examples include python"

failures=0
fail() {
  echo "check-layers: $1" >&2
  failures=$((failures + 1))
}

# The table itself points down: each folder uses only layers below it.
for ((i = 0; i < ${#layers[@]}; i++)); do
  for used in ${uses[${layers[i]}]}; do
    below=false
    for ((j = 0; j < i; j++)); do [ "${layers[j]}" = "$used" ] && below=true; done
    $below || fail "the table lets ${layers[i]}/ use $used/, which is not below it"
  done
done

# Every source folder has a row (or is one of the free folders).
for dir in */; do
  dir=${dir%/}
  [ -n "$(find "$dir" -maxdepth 3 \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) -not -path '*/node_modules/*' -print -quit)" ] || continue
  case " $free_folders ${layers[*]} " in
    *" $dir "*) ;;
    *) case $dir in build*) ;; *) fail "$dir/ holds sources but has no row in scripts/check-layers.sh" ;; esac ;;
  esac
done

# Each folder of tests/ holds the tests of the source folder of its name,
# so that a test is found beside the code it tests; support/ holds the
# helpers they share and cluster/ the cluster tier's runs of the recipes
# in docs/.
test_only_folders="support cluster"
if [ -d tests ]; then
  for dir in tests/*/; do
    dir=${dir#tests/}
    dir=${dir%/}
    case " $test_only_folders " in *" $dir "*) continue ;; esac
    [ -d "$dir" ] || fail "tests/$dir/ names no source folder; move its tests to the folder of the code they test"
  done
fi

# The folders holding a header of each name, for resolving includes.
declare -A holders_of=()
while read -r header; do
  name=${header##*/}
  case " ${holders_of[$name]:-} " in *" ${header%%/*} "*) ;; *) holders_of[$name]+=" ${header%%/*}" ;; esac
done < <(find "${layers[@]}" -name '*.h' -not -path '*/node_modules/*' 2>/dev/null)

for layer in "${layers[@]}"; do
  [ -d "$layer" ] || continue
  allowed=" $layer ${uses[$layer]} "
  while IFS=: read -r file line text; do
    include=${text#*\"}
    include=${include%%\"*}
    # Beside the including file: its own folder.
    [ -e "$(dirname "$file")/$include" ] && continue
    holders=${holders_of[${include##*/}]:-}
    [ -n "$holders" ] || continue
    ok=false
    for holder in $holders; do
      case $allowed in *" $holder "*) ok=true ;; esac
    done
    $ok || fail "$file:$line includes \"$include\", which lives in$(printf ' %s/' $holders); $layer/ may use only: ${uses[$layer]:-nothing}"
  done < <(grep -rnE --include='*.h' --include='*.cpp' --include='*.c' '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' "$layer" || true)
done

# Include guards name the folder and the file: VORTIGEN_<FOLDER>_<FILE>_H.
while read -r header; do
  guard=$(grep -m1 -oE '^#ifndef VORTIGEN_[A-Z0-9_]+_H' "$header" | cut -d' ' -f2) || true
  [ -n "$guard" ] || continue
  name=${header##*/}
  want=VORTIGEN_${header%%/*}_${name%.h}_H
  want=${want^^}
  [ "$guard" = "$want" ] || fail "$header guards itself with $guard; name it $want"
done < <(find "${layers[@]}" -maxdepth 1 -name '*.h' 2>/dev/null)

if ((failures)); then
  echo "check-layers: $failures fault(s) against the layers; see docs/ARCHITECTURE.md" >&2
  exit 1
fi
echo "check-layers: every include points down the layers"
