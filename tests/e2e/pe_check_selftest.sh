#!/usr/bin/env bash
# scripts/check_pe.sh against canned objdump output: it must refuse missing hardening flags and
# non-system imports, and accept clean images of both PE kinds.
set -euo pipefail
checker="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check_pe.sh"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# A fake objdump: "-p FILE" prints FILE's content, which is what a real objdump would print.
cat >"$work/objdump" <<'SH'
#!/usr/bin/env bash
[[ "$1" == -p && -f "$2" ]] || { echo "$2: file format not recognized" >&2; exit 1; }
cat "$2"
SH
chmod +x "$work/objdump"

image() {  # NAME MAGIC FLAGS DLL...   (CHARACTERISTICS and RELOCATIONS from the environment)
  local name="$1" magic="$2" flags="$3"
  shift 3
  {
    printf 'x.exe:     file format pei-x86-64\n\nCharacteristics %s\n' "${CHARACTERISTICS:-0x2e}"
    printf '\texecutable\n\nMagic\t\t\t%s\t(PE)\n' "$magic"
    printf 'DllCharacteristics\t%s\r\n' "$flags"
    printf 'Entry 5 0000000000075000 %s Base Relocation Directory [.reloc]\n' \
      "${RELOCATIONS:-00000960}"
    local dll
    for dll in "$@"; do printf '\tDLL Name: %s\r\n' "$dll"; done
  } >"$work/$name"
}

failed=0
expect() {  # pass|fail FILE...
  local want="$1" got=pass
  shift
  bash "$checker" "$work/objdump" "${@/#/$work/}" >"$work/out" 2>&1 || got=fail
  if [[ "$got" != "$want" ]]; then
    echo "expected $want for $*, got $got:"
    cat "$work/out"
    failed=1
  fi
}

image good64 020b 00000160 KERNEL32.dll USER32.dll msvcrt.dll api-ms-win-crt-runtime-l1-1-0.dll
image good32 010b 00000140 KERNEL32.dll ADVAPI32.dll NETAPI32.dll ACTIVEDS.dll
image no_high_entropy 020b 00000140 KERNEL32.dll
image no_aslr32 010b 00000100 KERNEL32.dll
image no_nx32 010b 00000040 KERNEL32.dll
image libstdcxx 020b 00000160 KERNEL32.dll libstdc++-6.dll
image winpthread 010b 00000140 KERNEL32.dll libwinpthread-1.dll
image own_dll 020b 00000160 KERNEL32.dll VelmoraCore.dll
image not_pe 0000 '' KERNEL32.dll
RELOCATIONS=00000000 image no_relocations 020b 00000160 KERNEL32.dll
CHARACTERISTICS=0x2f image relocs_stripped 010b 00000140 KERNEL32.dll
CHARACTERISTICS=0x26 image symbols 020b 00000160 KERNEL32.dll

expect pass good64 good32
expect fail no_high_entropy
expect fail no_aslr32
expect fail no_nx32
expect fail libstdcxx
expect fail winpthread
expect fail own_dll
expect fail not_pe
expect fail no_relocations
expect fail relocs_stripped
expect fail symbols
expect fail missing_file
expect fail good64 libstdcxx good32
exit "$failed"
