#!/usr/bin/env bash
# Runs the Windows test host of one cross build under Wine.
#
#   run_under_wine.sh 32|64 CROSS_BUILD_DIR REFERENCE_DIR WORK_DIR [PLUGIN_DIR]
#
# The test host is CROSS_BUILD_DIR's; the DLLs it loads are PLUGIN_DIR's
# (the unpacked Windows zip), or else CROSS_BUILD_DIR's.
# The Wine prefix lives in WORK_DIR and is made on first use, with Wine's
# null display driver, so that the dialogs run without an X server.
# Exits 77 (a skip for CTest) when this machine cannot run that Wine.
set -uo pipefail

bits=$1
build=$(cd "$2" && pwd)
reference=$(cd "$3" && pwd)
mkdir -p "$4"
work=$(cd "$4" && pwd)
plugins=$(cd "${5:-$build}" && pwd)
for dll in dynamic.dll fourier.dll; do
  [ -f "$plugins/$dll" ] || { echo "There is no $plugins/$dll."; exit 1; }
done

if [ ! -f "$build/vtwintest.exe" ]; then
  echo "There is no $build/vtwintest.exe; build it with scripts/build-windows.sh $bits."
  exit 1
fi

skip() {
  echo "SKIPPED: the ${bits}-bit Windows test host was not run: $*"
  exit 77
}

if [ "$bits" = 64 ]; then
  wine=/usr/lib/wine/wine64
  [ -x "$wine" ] || wine=$(command -v wine64 || true)
  [ -n "$wine" ] && [ -x "$wine" ] || skip "64-bit Wine (Debian package wine64) is not installed."
  export WINEARCH=win64
else
  # The probe that scripts/setup.sh also asks before it installs 32-bit Wine.
  reason=$("$(dirname "$0")/../../scripts/runs-i386.sh") || skip "$reason"
  wine=/usr/lib/wine/wine
  [ -x "$wine" ] || skip "32-bit Wine (Debian package wine32:i386) is not installed."
  export WINEARCH=win32
fi

export WINEPREFIX="$work/wineprefix-$bits"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wineserver=$(dirname "$wine")/wineserver

# A new prefix is finished by programs Wine starts in the background;
# windows made before they are done may fail, so wait for them.
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 ||
    { echo "Could not make the Wine prefix $WINEPREFIX; run '$wine reg add' by hand to see why."; exit 1; }
  "$wineserver" -w
fi

# Wine's drive Z: is the Linux root.
"$wine" "$build/vtwintest.exe" "Z:$plugins" "Z:$reference" "Z:$work" 2> >(grep -v "^wine: \|syswow64" >&2)
status=$?
"$wineserver" -k 2>/dev/null || true
exit $status
