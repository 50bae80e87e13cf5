#!/usr/bin/env bash
# The package tier: builds the Debian packages (scripts/package.sh), checks
# them with lintian (no error; warnings shown), installs the tool's package
# with apt-get into a clean Debian 12 root (mmdebstrap --variant=minbase,
# from Debian's archive, with lilv-utils for the LV2 checks), and there runs
# vortigen --version, vortigen demo, lv2ls and lv2apply with a preset; then
# purges it with what it pulled in and checks that the root holds exactly
# the files it held before.
#
# The root is cached as a tarball outside the build, in
# ${VORTIGEN_CACHE:-~/.cache/vortigen}, and made afresh when missing. Where
# Debian's archive cannot be reached the root part is skipped, saying why.
set -euo pipefail
cd "$(dirname "$0")/.."
root_dir=$(pwd)
out="$root_dir/build-package"
mirror=http://deb.debian.org

scripts/package.sh "$out" >/dev/null
version=$(scripts/project-version.sh)
deb="$out/vortigen_${version}_amd64.deb"
echo "package: built $(cd "$out" && ls ./*_"$version"_amd64.deb | tr '\n' ' ')"

# Every finding shown (lintian as root says so on stderr: no finding);
# an error fails the tier.
status=0
findings=$(lintian --fail-on error "$out"/*.changes 2>&1) || status=$?
grep -v "running with root privileges" <<<"$findings" | sed 's/^/package: lintian: /' || true
if [ "$status" != 0 ]; then
  echo "package: lintian reports errors (above)" >&2
  exit 1
fi

if ! timeout 20 bash -c "exec 3<>/dev/tcp/${mirror#http://}/80" 2>/dev/null; then
  echo "package: SKIPPED the install test: Debian's archive ($mirror) cannot be reached from here."
  exit 0
fi

cache=${VORTIGEN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vortigen}
tarball="$cache/debian-12-minbase-lilv-utils.tar"
if [ ! -s "$tarball" ]; then
  echo "package: making a Debian 12 minbase root (cached in $tarball)"
  mkdir -p "$cache"
  # mmdebstrap picks its output's format by the name's ending: .tar
  partial="${tarball%.tar}.partial.tar"
  mmdebstrap --quiet --variant=minbase --include=lilv-utils bookworm "$partial" \
    "deb $mirror/debian bookworm main" "deb $mirror/debian bookworm-updates main" \
    "deb $mirror/debian-security bookworm-security main"
  mv "$partial" "$tarball"
fi

chroot_dir="$out/root"
rm -rf "$chroot_dir"
mkdir -p "$chroot_dir"
tar -xf "$tarball" -C "$chroot_dir"
cp "$deb" "$chroot_dir/tmp/"
cp /etc/resolv.conf "$chroot_dir/etc/resolv.conf"

# In a mount namespace of its own, so that /proc goes with it.
unshare --mount --fork chroot "$chroot_dir" /bin/sh -s "$version" <<'INSIDE'
set -eu
version=$1
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 PATH=/usr/sbin:/usr/bin:/sbin:/bin
mount -t proc proc /proc
fail() { echo "package: FAIL $*" >&2; exit 1; }
listing() {
  find / -xdev \( -path /proc -o -path /tmp -o -path /root -o -path /var/cache -o -path /var/log \
    -o -path /var/lib/apt -o -path /var/lib/dpkg -o -path /etc/resolv.conf \) -prune -o -print | sort
}
listing >/tmp/before
apt-get update -qq
apt-get install -y -qq --no-install-recommends "/tmp/vortigen_${version}_amd64.deb" >/tmp/install.log 2>&1 ||
  { cat /tmp/install.log; fail "apt-get install ./vortigen_${version}_amd64.deb"; }
[ "$(vortigen --version)" = "vortigen $version" ] || fail "vortigen --version says: $(vortigen --version)"
cd /tmp
vortigen demo demo --quiet >/tmp/demo.log 2>&1 || { cat /tmp/demo.log; fail "vortigen demo"; }
[ "$(ls demo/*.wav | wc -l)" -gt 10 ] || fail "vortigen demo wrote $(ls demo | wc -l) files"
[ "$(lv2ls | grep -c '^https://vortigen.example/lv2/')" = 4 ] || fail "lv2ls lists: $(lv2ls)"
lv2apply -i demo/input.wav -o /tmp/lv2.wav -c preset 3 https://vortigen.example/lv2/dynamic \
  >/tmp/lv2apply.log 2>&1 || { cat /tmp/lv2apply.log; fail "lv2apply with preset 3"; }
[ ! -s /tmp/lv2apply.log ] || fail "the plug-in wrote on lv2apply's output: $(cat /tmp/lv2apply.log)"
[ "$(stat -c %s /tmp/lv2.wav)" -gt 100000 ] || fail "lv2apply wrote $(stat -c %s /tmp/lv2.wav) bytes"
[ -f /usr/share/man/man1/vortigen-dynamic.1.gz ] || fail "no man page vortigen-dynamic(1)"
[ -f /usr/share/bash-completion/completions/vortigen ] || fail "no bash completion"
apt-get purge -y -qq vortigen >/dev/null 2>&1 || fail "apt-get purge vortigen"
apt-get autoremove --purge -y -qq >/dev/null 2>&1 || fail "apt-get autoremove --purge"
listing >/tmp/after
if ! diff -u /tmp/before /tmp/after >/tmp/left; then
  sed -n 's/^+\//  left: \//p; s/^-\//  gone: \//p' /tmp/left >/tmp/changes
  head -n 30 /tmp/changes
  [ "$(wc -l </tmp/changes)" -le 30 ] || echo "  ... $(wc -l </tmp/changes) paths in all"
  fail "the root differs from before the install"
fi
echo "package: installed, ran (--version, demo, lv2ls, lv2apply), purged; nothing left"
INSIDE
rm -rf "$chroot_dir"
