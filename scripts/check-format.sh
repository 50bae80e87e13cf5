#!/usr/bin/env bash
# Checks that the C and C++ sources are laid out as .clang-format says, with
# clang-format-14 --dry-run --Werror. Names each file that differs and how
# many places in it would change; exits 1 if any differs.
#   scripts/check-format.sh [FILE...]   (every source of the tree when none is named)
# To lay a file out: clang-format-14 -i FILE
set -euo pipefail
cd "$(dirname "$0")/.."

formatter=clang-format-14
if ! command -v "$formatter" >/dev/null; then
  echo "check-format: $formatter is missing; scripts/setup.sh installs it." >&2
  exit 2
fi

# Build directories and anything generated or kept from elsewhere stay out.
excluded='^(build[^/]*|demo|third_party|external)/|/generated/'

files=("$@")
if ((${#files[@]} == 0)); then
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h' | grep -Ev "$excluded")
  else
    mapfile -t files < <(find . -name '*.c' -o -name '*.cpp' -o -name '*.h' | sed 's|^\./||' |
                         grep -Ev "$excluded" | sort)
  fi
fi
((${#files[@]} > 0)) || exit 0

# One run over every file; each place that would change is one warning line
# "FILE:LINE:COLUMN: error: code should be clang-formatted".
report=$("$formatter" --dry-run --Werror "${files[@]}" 2>&1 >/dev/null || true)
differing=$(grep -E '^[^ ]+:[0-9]+:[0-9]+: (error|warning): ' <<<"$report" | cut -d: -f1 | uniq -c || true)
if [ -z "$differing" ]; then
  if grep -q . <<<"$report"; then
    echo "$report" >&2
    echo "check-format: $formatter failed." >&2
    exit 2
  fi
  echo "check-format: every one of ${#files[@]} files is laid out as .clang-format says."
  exit 0
fi
count=$(wc -l <<<"$differing")
echo "check-format: $count of ${#files[@]} files differ from .clang-format." >&2
echo "check-format: places to change, file:" >&2
echo "$differing" >&2
echo "check-format: lay a file out with: $formatter -i FILE" >&2
exit 1
