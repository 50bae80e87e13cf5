# Shared by the cluster tests (sourced): test inputs, a local reference
# batch, and checks on a batch's outputs and summaries.
#
#   the caller sets: vortigen (the tool), work (its scratch directory)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
pass() { echo "ok: $*"; }

# $1 stereo 16-bit inputs of half a second in $2, each its own pitch: a
# few more files than the shards, so that shards of one, two and none occur.
make_inputs() {
  mkdir -p "$2"
  for i in $(seq 1 "$1"); do
    sox -n -r 22050 -c 2 -b 16 "$2/take-$i.wav" synth 0.5 pluck $((110 + 37 * i)) \
      pluck $((220 + 53 * i)) remix 1 2 2>/dev/null
  done
}

# The same inputs processed by one local batch, one file at a time.
reference_batch() {
  "$vortigen" dynamic "$1"/*.wav --output-dir "$2" --preset Chaos --jobs 1 --quiet >/dev/null
}

# Every output of $1 equal, byte for byte, to the reference's in $2, and no
# file missing or extra.
same_outputs() {
  local name
  [ "$(cd "$1" && ls -1 ./*.wav | sort)" = "$(cd "$2" && ls -1 ./*.wav | sort)" ] ||
    fail "$3: the outputs are not those of the local batch: $(ls "$1" | tr '\n' ' ')"
  for name in "$2"/*.wav; do
    cmp -s "$name" "$1/$(basename "$name")" || fail "$3: $(basename "$name") differs from the local batch"
  done
}

# Sums "N processed" and "N skipped" over the batch summaries in the files given.
summed() {
  sed -n "s/.* \([0-9][0-9]*\) $1.*/\1/p" "${@:2}" | awk '{ n += $1 } END { print n + 0 }'
}

# The README shows the recipe $1 as it is, every line.
shown_in_readme() {
  local readme recipe
  readme=$(<"$root/README.md")
  recipe=$(<"$1")
  [[ $readme == *"$recipe"* ]] || fail "README.md does not show $1 as it is"
}
