#!/usr/bin/env bash
# pe_check.sh OBJDUMP BUILD_DIR: runs scripts/check_pe.sh over every shipped Windows binary
# found in the build tree. VelmoraTray.exe must be there; the others are checked when built.
set -euo pipefail
objdump="$1"
build="$2"
root="$(cd "$(dirname "$0")/../.." && pwd)"

files=()
for name in VelmoraTray.exe VelmoraFrameworkService.exe VelmoraSH64.dll VelmoraSH.dll \
  velmora_lng_check.exe velmora_pin.exe \
  velmora_hook_tool.exe; do
  while IFS= read -r -d '' file; do files+=("$file"); done < <(
    find "$build" \( -name 'wineprefix*' -o -name CMakeFiles -o -name canary -o -name e2e-artifacts \) -prune -o \
      -type f -name "$name" -print0)
done
if ! printf '%s\n' "${files[@]}" | grep -q '/VelmoraTray\.exe$'; then
  echo "VelmoraTray.exe not found under $build" >&2
  exit 1
fi
exec bash "$root/scripts/check_pe.sh" "$objdump" "${files[@]}"
