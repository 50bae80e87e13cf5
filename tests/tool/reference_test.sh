#!/usr/bin/env bash
# The man pages and shell completions the build writes from the tool's
# command-line definitions:
#   - a page for every command --help lists, naming every option that
#     command's --help lists; every page clean under mandoc -T lint and
#     groff -ww;
#   - bash's completion, sourced and driven as bash drives it, completes a
#     command, an option, a preset name (from vortigen presets), a curve
#     name, and input files by extension;
#   - the zsh and fish scripts parse, where those shells are installed.
#
#   reference_test.sh VORTIGEN REFERENCE_DIR
# Prints one line per failed check and "N passed, N failed".
set -uo pipefail
tool=$1
reference=$2
source "$(dirname "$0")/../windows/checks.sh"

commands=$("$tool" --help | sed -n '/^Subcommands:/,/^$/p' | awk 'NR > 1 && NF {print $1}')
[ -n "$commands" ]
check $? "vortigen --help lists commands"
for command in $commands; do
  page="$reference/man1/vortigen-$command.1"
  [ -f "$page" ]
  check $? "a page for $command"
  [ -f "$page" ] || continue
  rendered=$(MANWIDTH=200 man -l "$page" 2>/dev/null)
  for option in $("$tool" "$command" --help | grep -oE '^  (-[a-zA-Z],)?--[a-z-]+' | sed 's/.*,//; s/^ *//'); do
    grep -qe "$option" <<<"$rendered"
    check $? "vortigen-$command(1) names $option"
  done
done
for page in "$reference"/man1/*.1; do
  lint=$(mandoc -T lint -W warning "$page" 2>&1)
  check "$([ -z "$lint" ] && echo 0 || echo 1)" "mandoc -T lint: $lint"
  warnings=$(LC_ALL=C.UTF-8 groff -ww -z -man "$page" 2>&1)
  check "$([ -z "$warnings" ] && echo 0 || echo 1)" "groff -ww $(basename "$page"): $warnings"
done
version=$("$tool" --version | awk '{print $2}')
grep -q "^\.TH VORTIGEN 1 [0-9-]* \"vortigen $version\"" "$reference/man1/vortigen.1"
check $? "the main page carries the tool's version $version"

# bash: the completion function as bash calls it, in a folder with an
# audio file, another file and a folder.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/takes"
touch "$work/take.wav" "$work/TAKE2.FLAC" "$work/notes.txt"
complete_words() {  # the words typed; the last is completed
  (
    cd "$work" || exit 1
    source "$reference/completions/vortigen.bash"
    COMP_WORDS=("$tool" "$@")
    COMP_CWORD=${#COMP_WORDS[@]}
    COMP_CWORD=$((COMP_CWORD - 1))
    _vortigen
    printf '%s\n' "${COMPREPLY[@]}"
  ) 2>&1
}
(source "$reference/completions/vortigen.bash" && complete -p vortigen) | grep -x "complete -F _vortigen vortigen" >/dev/null
check $? "sourcing the bash script registers _vortigen for vortigen"
[ "$(complete_words fou)" = fourier ]
check $? "a command completes: fou -> $(complete_words fou)"
[ "$(complete_words dynamic in.wav out.wav --pre | sort | tr '\n' ' ')" = "--preset --preset-text " ]
check $? "an option completes: --pre -> $(complete_words dynamic --pre | tr '\n' ' ')"
complete_words dynamic in.wav out.wav --preset 'Hard' | grep -x 'Hard\\ Attack' >/dev/null
check $? "a preset name completes from vortigen presets: Hard -> $(complete_words dynamic --preset Hard)"
presets=$("$tool" presets fourier | grep -c '^  .*,')
[ "$(complete_words fourier --preset '' | wc -l)" -eq "$presets" ]
check $? "each of the $presets fourier presets is offered: $(complete_words fourier --preset '' | wc -l) names"
[ "$(complete_words dynamic --curve ch)" = "chaos=" ]
check $? "a curve name completes: ch -> $(complete_words dynamic --curve ch)"
[ "$(complete_words dynamic '' | sort | tr '\n' ' ')" = "TAKE2.FLAC take.wav takes " ]
check $? "inputs complete by extension: $(complete_words dynamic '' | sort | tr '\n' ' ')"
[ "$(complete_words dynamic in.wav out.wav --spectrogram '' | tr '\n' ' ')" = "takes " ]
check $? "a picture completes to folders and .png files only: $(complete_words dynamic --spectrogram '' | tr '\n' ' ')"

if command -v zsh >/dev/null; then
  zsh -n "$reference/completions/_vortigen"
  check $? "the zsh script parses"
fi
if command -v fish >/dev/null; then
  fish -n "$reference/completions/vortigen.fish"
  check $? "the fish script parses"
fi

report_checks
