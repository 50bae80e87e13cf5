#!/usr/bin/env bash
# Builds the Debian packages with debhelper (debian/) from a copy of the
# source tree, the version taken from the project (CMakeLists.txt,
# project(VERSION ...)) into the generated debian/changelog:
#   vortigen_VERSION_amd64.deb         the tool, its plug-ins, the LV2 bundle,
#                                      man pages, completions, README
#   libvortigen1_VERSION_amd64.deb     the C library
#   libvortigen-dev_VERSION_amd64.deb  its header, static library, pkg-config
#                                      and CMake files
#
#   scripts/package.sh [OUT_DIR]       (default build-package)
#
# Prints the path of each package. Needs debhelper (scripts/setup.sh package).
#
# debhelper rather than CPack's DEB generator: dh_shlibdeps fills in the
# dependencies, dh_strip splits the debug symbols into -dbgsym packages,
# the library is split into libvortigen1 and libvortigen-dev as Debian
# does, changelog and copyright land where Debian wants them, and lintian
# reads the result as any Debian package.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=$(realpath -m "${1:-build-package}")

version=$(scripts/project-version.sh)

# The tracked and new files as they are now (uncommitted changes too), not
# the build folders or downloaded modules.
stage="$out/vortigen-$version"
rm -rf "$out"
mkdir -p "$stage"
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
    tar --null -T - -cf - | tar -xf - -C "$stage"
else
  tar --exclude='./build*' --exclude=./demo --exclude=node_modules -cf - . | tar -xf - -C "$stage"
fi

date=$(git log -1 --format=%cD 2>/dev/null || date -R)
cat >"$stage/debian/changelog" <<CHANGELOG
vortigen ($version) unstable; urgency=medium

  * Release $version.

 -- Vortigen developers <developers@vortigen.example>  $date
CHANGELOG

# ccache where it is installed: the build shares compiled objects with
# the other builds of this machine.
options=""
if command -v ccache >/dev/null; then
  options="-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache"
fi
(cd "$stage" &&
  DEB_BUILD_OPTIONS="parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}" VORTIGEN_CMAKE_OPTIONS="$options" \
    dpkg-buildpackage -b -us -uc >"$out/build.log" 2>&1) || {
  tail -n 30 "$out/build.log" >&2
  echo "package: dpkg-buildpackage failed; the whole log is $out/build.log" >&2
  exit 1
}
ls "$out"/*_"$version"_amd64.deb
