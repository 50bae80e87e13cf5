#!/bin/bash
# The studio's edit-to-sound latency (studio_latency_bench.mjs) for a build,
# and for an older build beside it when one is given:
#   bash bench/studio_latency_bench.sh [BUILD] [OLDER_BUILD] [DRAGS]
# BUILD defaults to build/; OLDER_BUILD is a build of a commit whose page
# keeps no record of when an edit was heard (measured with --older).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../build}" && pwd)"
older="${2:-}"
drags="${3:-20}"
work="$(mktemp -d "${TMPDIR:-/tmp}/vortigen-latency-XXXXXX")"
trap 'rm -rf "$work"' EXIT
echo "== $build"
node "$here/studio_latency_bench.mjs" --vortigen "$build/vortigen" --plugins "$build/plugins" \
  --work "$work" --drags "$drags"
if [ -n "$older" ]; then
  echo "== $older (older page: new sound = processed buffer swapped in)"
  node "$here/studio_latency_bench.mjs" --vortigen "$older/vortigen" --plugins "$older/plugins" \
    --work "$work" --drags "$drags" --older
fi
