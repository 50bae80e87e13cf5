#!/usr/bin/env bash
# Says whether this machine can run 32-bit Wine: exits 0 if so, otherwise
# prints why not (one sentence) and exits 1.
#
# 32-bit Wine is itself a 32-bit x86 program. Whether the kernel runs
# those is seen by running one: a 93-byte i386 ELF that only exits.
# Through qemu-i386 (binfmt_misc) such a program runs, but Wine does not.
set -uo pipefail

if grep -qs "interpreter.*qemu-i386" /proc/sys/fs/binfmt_misc/* 2>/dev/null; then
  echo "i386 programs run here only through qemu-i386 (binfmt_misc), and 32-bit Wine does not work under it."
  exit 1
fi
probe=$(mktemp)
trap 'rm -f "$probe"' EXIT
printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\x31\xdb\xcd\x80' >"$probe"
chmod +x "$probe"
if ! "$probe" 2>/dev/null; then
  echo "this Linux kernel refuses to execute 32-bit x86 programs (its IA32 emulation is missing or switched off), and 32-bit Wine is one."
  exit 1
fi
exit 0
