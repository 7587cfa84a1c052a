#!/usr/bin/env bash
# scripts/check_pe.sh against canned objdump output: it must refuse missing hardening flags,
# relocation data that is missing or stripped, symbols left in and non-system imports, a file
# that is no PE image or does not exist, and one bad file among good ones; and accept clean
# images of both PE kinds.
set -euo pipefail
checker="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check_pe.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# A fake objdump: "-p FILE" prints FILE's content, which is what a real objdump would print.
# shellcheck disable=SC2016  # the fake's own variables
printf '#!/bin/sh\n[ "$1" = -p ] && [ -f "$2" ] && exec cat "$2"\necho "$2: file format not recognized" >&2\nexit 1\n' \
  >"$work/objdump"
chmod +x "$work/objdump"

failed=0
expect() {  # pass|fail FILE...
  local got=pass
  bash "$checker" "$work/objdump" "${@:2}" >"$work/out" 2>&1 || got=fail
  [[ "$got" == "$1" ]] || { echo "expected $1 for ${*:2}, got $got:"; cat "$work/out"; failed=1; }
}
# Each row: WANT NAME MAGIC DLLCHARACTERISTICS CHARACTERISTICS RELOCATIONS DLL...; "-" is empty.
while read -r want name magic flags characteristics relocations dlls; do
  {
    printf 'x.exe:     file format pei-x86-64\n\nCharacteristics %s\n\texecutable\n\n' "$characteristics"
    printf 'Magic\t\t\t%s\t(PE)\nDllCharacteristics\t%s\r\n' "$magic" "${flags#-}"
    printf 'Entry 5 0000000000075000 %s Base Relocation Directory [.reloc]\n' "$relocations"
    for dll in $dlls; do printf '\tDLL Name: %s\r\n' "$dll"; done
  } >"$work/$name"
  expect "$want" "$work/$name"
done <<'TABLE'
pass good64 020b 00000160 0x2e 00000960 KERNEL32.dll USER32.dll msvcrt.dll api-ms-win-crt-runtime-l1-1-0.dll
pass good32 010b 00000140 0x2e 00000960 KERNEL32.dll ADVAPI32.dll NETAPI32.dll ACTIVEDS.dll
fail no_high_entropy 020b 00000140 0x2e 00000960 KERNEL32.dll
fail no_aslr32 010b 00000100 0x2e 00000960 KERNEL32.dll
fail no_nx32 010b 00000040 0x2e 00000960 KERNEL32.dll
fail libstdcxx 020b 00000160 0x2e 00000960 KERNEL32.dll libstdc++-6.dll
fail not_pe 0000 - 0x2e 00000960 KERNEL32.dll
fail no_relocations 020b 00000160 0x2e 00000000 KERNEL32.dll
fail relocs_stripped 010b 00000140 0x2f 00000960 KERNEL32.dll
fail symbols 020b 00000160 0x26 00000960 KERNEL32.dll
TABLE
expect pass "$work/good64" "$work/good32"
expect fail "$work/missing_file"
expect fail "$work/good64" "$work/libstdcxx" "$work/good32"
exit "$failed"
