#!/usr/bin/env bash
# Runs scripts/setup.sh against stand-ins for apt-get, dpkg-query and dpkg
# that come first on PATH, so that nothing on this machine changes:
#   - a failing `apt-get update` is retried once, then warned about, and the
#     packages are still installed (a mirror mid-sync);
#   - a failed install names the package and apt's reason in one line, and
#     setup fails;
#   - each purpose installs its own set only: the demo no test tools;
#   - nothing is installed when everything is there.
#
#   setup_test.sh SETUP_SCRIPT
# Prints one line per failed check and "N passed, N failed".
set -uo pipefail
setup=$1
# shellcheck source=../windows/checks.sh
source "$(dirname "$0")/../windows/checks.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

# apt-get: logs each call to $work/apt.log. `update` fails the number of
# times in $work/update-failures (counting down); `install` fails for a
# package named in $work/unavailable, as apt does for an unknown name.
cat >"$work/bin/apt-get" <<'STANDIN'
#!/usr/bin/env bash
echo "$*" >>"$STANDIN_DIR/apt.log"
case " $* " in
  *" update "*)
    left=$(cat "$STANDIN_DIR/update-failures" 2>/dev/null || echo 0)
    if [ "$left" -gt 0 ]; then
      echo $((left - 1)) >"$STANDIN_DIR/update-failures"
      echo "E: Failed to fetch http://deb.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (26448 != 26440). Mirror sync in progress? [IP: 192.0.2.1 80]" >&2
      exit 100
    fi ;;
  *" install "*)
    for p in "$@"; do
      if grep -qx -- "$p" "$STANDIN_DIR/unavailable" 2>/dev/null; then
        echo "Reading package lists..."
        echo "E: Unable to locate package $p" >&2
        exit 100
      fi
    done ;;
esac
exit 0
STANDIN
# dpkg-query: a package is installed when it is named in $work/installed.
cat >"$work/bin/dpkg-query" <<'STANDIN'
#!/usr/bin/env bash
p=${!#}
grep -qx -- "$p" "$STANDIN_DIR/installed" 2>/dev/null && printf 'install ok installed' && exit 0
exit 1
STANDIN
cat >"$work/bin/dpkg" <<'STANDIN'
#!/usr/bin/env bash
echo "dpkg $*" >>"$STANDIN_DIR/apt.log"
STANDIN
chmod +x "$work/bin"/*

# Runs setup.sh with the stand-ins and a fresh log; its output goes to
# $work/out, its status is returned.
run_setup() {
  rm -f "$work/apt.log"
  STANDIN_DIR=$work PATH="$work/bin:$PATH" bash "$setup" "$@" >"$work/out" 2>&1
}
installs() { grep -E "(^| )install " "$work/apt.log" 2>/dev/null; }

: >"$work/installed"

# A mirror mid-sync: update fails both times, install works.
echo 5 >"$work/update-failures"
run_setup demo
check $? "setup demo succeeds though apt-get update fails"
check "$([ "$(grep -c '^update' "$work/apt.log")" -eq 2 ] && echo 0 || echo 1)" \
  "apt-get update is tried twice, not $(grep -c '^update' "$work/apt.log") times"
grep -q "warning: apt-get update failed.*Mirror sync in progress" "$work/out"
check $? "the failed update is a warning quoting apt's reason"
installs | grep -qw libsndfile1-dev
check $? "the demo's packages are installed after the failed update"

# The update fails once only: the retry fetches the lists.
echo 1 >"$work/update-failures"
run_setup demo
check $? "setup demo succeeds when the second update works"
check "$([ "$(grep -c '^update' "$work/apt.log")" -eq 2 ] && echo 0 || echo 1)" "a second update after the first failed"
grep -q "carrying on" "$work/out"
check $((!$?)) "no 'carrying on' warning when the retry worked"

# The demo installs what it builds with, not what the tests run.
echo 0 >"$work/update-failures"
run_setup demo
for p in cmake libcli11-dev libcairo2-dev; do
  installs | grep -qw -- "$p"
  check $? "setup demo installs $p"
done
for p in chromium clang-14 wine64 libgtest-dev g++-mingw-w64-i686 npm; do
  installs | grep -qw -- "$p"
  check $((!$?)) "setup demo does not install $p"
done
grep -q "npm ci" "$work/out"
check $((!$?)) "setup demo runs no npm ci"

# A tier's purpose brings in those it builds on.
run_setup fuzz
for p in clang-14 libgtest-dev cmake; do
  installs | grep -qw -- "$p"
  check $? "setup fuzz installs $p"
done
installs | grep -qw chromium
check $((!$?)) "setup fuzz does not install chromium"

# A package that cannot be installed: named, with apt's reason, on one line;
# the others are still installed, and setup fails.
echo libcli11-dev >"$work/unavailable"
run_setup demo
check $((!$?)) "setup fails when a package cannot be installed"
grep -qx "setup: cannot install libcli11-dev: Unable to locate package libcli11-dev" "$work/out"
check $? "the package that failed is named with apt's reason on one line: $(grep 'cannot install' "$work/out")"
grep -q "cannot install cmake" "$work/out"
check $((!$?)) "a package that installs is not named as failed"
grep -qx "install -y -qq --no-install-recommends cmake" "$work/apt.log"
check $? "the packages that can be installed are installed one by one"
rm "$work/unavailable"

# Everything there: no apt-get at all.
printf '%s\n' build-essential cmake pkg-config libsndfile1-dev libcairo2-dev fonts-dejavu-core \
  fonts-dejavu-extra libcli11-dev libboost-dev nlohmann-json3-dev >"$work/installed"
run_setup demo
check $? "setup demo succeeds with everything installed"
[ ! -s "$work/apt.log" ]
check $? "apt-get is not run when every package is there"

run_setup no-such-purpose
check "$([ $? -eq 2 ] && echo 0 || echo 1)" "an unknown purpose is a usage error"
grep -q "not no-such-purpose" "$work/out"
check $? "the usage error names the purpose"

report_checks
