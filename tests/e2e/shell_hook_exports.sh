#!/usr/bin/env bash
# shell_hook_exports.sh OBJDUMP TRAY_EXE VERSION: VelmoraSH64.dll and velmora_hook_tool.exe sit
# beside the tray, the library exports exactly its documented undecorated names (stdcall
# decoration would hide them from GetProcAddress on 32-bit), and it carries the version
# resource that the tray's About dialog reads.
set -euo pipefail
objdump="$1"
dir="$(dirname "$2")"
version="$3"
dll="$dir/VelmoraSH64.dll"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

[[ -f "$dir/velmora_hook_tool.exe" ]] || fail "velmora_hook_tool.exe is not beside the tray"
[[ -f "$dll" ]] || { fail "VelmoraSH64.dll is not beside the tray in $dir"; exit 1; }

exports="$("$objdump" -p "$dll" | tr -d '\r' |
  awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && NF == 0 { on = 0 }
       on { print $NF }' | LC_ALL=C sort | paste -sd ' ')"
want="VelmoraEndElevation VelmoraRequestElevation myhook"
[[ "$exports" == "$want" ]] || fail "exports [$exports], expected [$want]"

# Version strings are UTF-16LE: each value follows its key.
strings="$(strings -el "$dll")"
for pair in "FileDescription=Velmora Shell Hook" "FileVersion=$version" \
  "ProductVersion=$version" "OriginalFilename=VelmoraSH64.dll"; do
  awk -v key="${pair%%=*}" -v value="${pair#*=}" \
    'prev == key && $0 == value { found = 1 } { prev = $0 } END { exit !found }' \
    <<<"$strings" || fail "version resource lacks ${pair%%=*} \"${pair#*=}\""
done
((failed == 0)) && echo "OK   $dll: $exports"
exit "$failed"
