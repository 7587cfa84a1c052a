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

# Each image alone: expected result, name, PE magic, DllCharacteristics ("-": none), imports.
while read -r want name magic flags dlls; do
  {
    printf 'x.exe:     file format pei-x86-64\n\nMagic\t\t\t%s\t(PE)\n' "$magic"
    printf 'DllCharacteristics\t%s\r\n' "${flags#-}"
    for dll in $dlls; do printf '\tDLL Name: %s\r\n' "$dll"; done
  } >"$work/$name"
  expect "$want" "$name"
done <<'TABLE'
pass good64 020b 00000160 KERNEL32.dll USER32.dll msvcrt.dll api-ms-win-crt-runtime-l1-1-0.dll
pass good32 010b 00000140 KERNEL32.dll ADVAPI32.dll NETAPI32.dll ACTIVEDS.dll
fail no_high_entropy 020b 00000140 KERNEL32.dll
fail no_aslr32 010b 00000100 KERNEL32.dll
fail no_nx32 010b 00000040 KERNEL32.dll
fail libstdcxx 020b 00000160 KERNEL32.dll libstdc++-6.dll
fail winpthread 010b 00000140 KERNEL32.dll libwinpthread-1.dll
fail own_dll 020b 00000160 KERNEL32.dll VelmoraCore.dll
fail not_pe 0000 - KERNEL32.dll
TABLE
expect pass good64 good32
expect fail missing_file
expect fail good64 libstdcxx good32
exit "$failed"
