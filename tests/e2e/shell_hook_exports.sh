#!/usr/bin/env bash
# shell_hook_exports.sh OBJDUMP TRAY_EXE VERSION: VelmoraSH64.dll and velmora_hook_tool.exe sit
# beside the tray, the library exports exactly its documented undecorated names (stdcall
# decoration would hide them from GetProcAddress on 32-bit), and it carries the version
# resource that the tray's About dialog reads.
set -euo pipefail
dll="$(dirname "$2")/VelmoraSH64.dll"
[[ -f "$(dirname "$2")/velmora_hook_tool.exe" && -f "$dll" ]] ||
  { echo "FAIL: VelmoraSH64.dll and velmora_hook_tool.exe are not beside the tray"; exit 1; }
exports="$("$1" -p "$dll" | tr -d '\r' |
  awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next } on && NF == 0 { on = 0 }
       on { print $NF }' | LC_ALL=C sort | paste -sd ' ')"
[[ "$exports" == "VelmoraEndElevation VelmoraRequestElevation myhook" ]] ||
  { echo "FAIL: exports [$exports]"; exit 1; }
# Version strings are UTF-16LE: each value follows its key.
versions="|$(strings -el "$dll" | paste -sd'|')|"
for pair in "FileDescription|Velmora Shell Hook" "FileVersion|$3" "ProductVersion|$3" \
  "OriginalFilename|VelmoraSH64.dll"; do
  [[ "$versions" == *"|$pair|"* ]] || { echo "FAIL: the version resource lacks $pair"; exit 1; }
done
echo "OK   $dll: $exports"
