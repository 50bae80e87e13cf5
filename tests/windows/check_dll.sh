#!/usr/bin/env bash
# Inspects 32-bit plug-in DLLs as the host's loader sees them, from the
# dumps of i686-w64-mingw32-objdump -p:
#   - the six exports, by undecorated name with their fixed ordinals, and
#     nothing else exported;
#   - each export __stdcall: its code returns popping its arguments (from
#     the disassembly, objdump -d);
#   - imports from Windows system DLLs only (the C and C++ runtimes are
#     linked in);
#   - resources: dialog template 500 and the bitmap named TOOLBARICON.
#
#   check_dll.sh DLL...
# Prints one line per failed check and "N passed, N failed".
set -uo pipefail

objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
command -v "$objdump" >/dev/null || { echo "$objdump is missing; install binutils-mingw-w64-i686."; exit 1; }

# Bytes of arguments each export pops on return: the interface is __stdcall
# on 32-bit Windows, the callee cleans the stack.
declare -A argument_bytes=([QueryXfm]=0x4 [XfmInit]=0x4 [XfmSetup]=0xc [XfmDo]=0x4
                           [XfmDestroy]=0x4 [DIALOGMsgProc]=0x10)
expected_exports="2 QueryXfm
3 XfmInit
4 XfmSetup
5 XfmDo
6 XfmDestroy
100 DIALOGMsgProc"
# DLLs every Windows installation has; anything else would have to be
# shipped with the plug-ins.
system_dlls="kernel32.dll user32.dll gdi32.dll msvcrt.dll advapi32.dll"

source "$(dirname "$0")/checks.sh"

for dll in "$@"; do
  name=$(basename "$dll")
  if ! dump=$("$objdump" -p "$dll" 2>&1); then
    check 1 "$name: objdump cannot read it: $dump"
    continue
  fi

  grep -q "^Magic.*(PE32)$" <<<"$dump"
  check $? "$name is a 32-bit (PE32) image"

  # Export Address Table entries are "[ index] +base[ ordinal] rva Export RVA";
  # the name table lists "[ index] name", the index into the address table.
  base=$(echo "$dump" | sed -n 's/^Export Address Table -- Ordinal Base \([0-9]*\).*/\1/p')
  exports=$(echo "$dump" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
    sed -n 's/^[[:space:]]*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p' |
    while read -r index symbol; do echo "$((index + base)) $symbol"; done | sort -n)
  [ "$exports" = "$expected_exports" ]
  check $? "$name exports exactly the six entry points by name with ordinals 2-6 and 100; found:
$exports"
  addresses=$(echo "$dump" | grep -c "Export RVA$")
  [ "$addresses" -eq 6 ]
  check $? "$name has 6 export addresses, not $addresses"

  # The first return of each export, disassembled from its export address.
  image_base=$(sed -n 's/^ImageBase[[:space:]]*\([0-9a-f]*\).*/\1/p' <<<"$dump")
  while read -r ordinal symbol; do
    [ -n "$symbol" ] || continue
    rva=$(sed -n "s/^[[:space:]]*\[ *[0-9]*\] +base\[ *$ordinal\] \([0-9a-f]*\) Export RVA$/\1/p" <<<"$dump")
    [ -n "$rva" ] || { check 1 "$name has an address for ordinal $ordinal"; continue; }
    start=$((0x$image_base + 0x$rva))
    ret=$("$objdump" -d --no-show-raw-insn --start-address=$start --stop-address=$((start + 4096)) "$dll" |
      grep -m1 -E $'\tret' | sed 's/.*ret[[:space:]]*//')
    [ "$ret" = "\$${argument_bytes[$symbol]}" ]
    check $? "$symbol of $name returns with ret \$${argument_bytes[$symbol]} (__stdcall), not '$ret'"
  done <<<"$exports"

  imports=$(echo "$dump" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
  foreign=""
  for dll_name in $imports; do
    case " $system_dlls " in *" $dll_name "*) ;; *) foreign="$foreign $dll_name" ;; esac
  done
  [ -n "$imports" ] && [ -z "$foreign" ]
  check $? "$name imports only system DLLs; it imports: $(echo $imports)"

  # The resource directory, as "TYPE NAME" lines: type entries stand three
  # spaces after their offset, the names or ids within a type five.
  resources=$(echo "$dump" | sed -n '/^The .rsrc Resource Directory section:/,/^$/p' |
    awk '/^[0-9a-f]+   Entry: ID: / {type = $4; sub(",", "", type); next}
         /^[0-9a-f]+     Entry: ID: / {id = $4; sub(",", "", id); print type, id; next}
         /^[0-9a-f]+     Entry: name: / {n = $0; sub(/.*\]: /, "", n); sub(/, Value.*/, "", n); print type, n}')
  grep -qx "0x000005 0x0001f4" <<<"$resources"
  check $? "$name holds dialog template 500 (resources: $(echo $resources))"
  grep -qx "0x000002 TOOLBARICON" <<<"$resources"
  check $? "$name holds the bitmap TOOLBARICON (resources: $(echo $resources))"
done

report_checks
