#!/usr/bin/env bash
# check_pe.sh OBJDUMP FILE...
# Fails unless every Windows binary imports system DLLs only (the C and C++ runtimes must be
# linked statically), is built with ASLR and DEP (plus high-entropy ASLR for PE32+), carries the
# relocation data that ASLR needs to move it, and is stripped of its symbols.
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 OBJDUMP FILE..." >&2
  exit 2
fi
objdump="$1"
shift

# Lower-case DLL names, shell patterns. Anything else (libstdc++-6.dll, libgcc_s_*.dll,
# libwinpthread-1.dll, a DLL of our own) would have to be shipped beside the program.
ALLOWED=(
  kernel32.dll user32.dll gdi32.dll shell32.dll advapi32.dll netapi32.dll ole32.dll
  oleaut32.dll activeds.dll comctl32.dll version.dll secur32.dll msvcrt.dll ws2_32.dll
  shlwapi.dll wtsapi32.dll userenv.dll ucrtbase.dll 'api-ms-win-crt-*.dll'
  'api-ms-win-core-*.dll' psapi.dll comdlg32.dll uxtheme.dll crypt32.dll bcrypt.dll
  rpcrt4.dll ntdll.dll imm32.dll winmm.dll
)

allowed() {
  local dll="${1,,}" pattern
  for pattern in "${ALLOWED[@]}"; do
    # shellcheck disable=SC2053  # the right side is a glob on purpose
    [[ "$dll" == $pattern ]] && return 0
  done
  return 1
}

failures=0
for file in "$@"; do
  problems=()
  if ! dump="$("$objdump" -p "$file" 2>&1)"; then
    echo "FAIL $file: $objdump cannot read it: ${dump%%$'\n'*}"
    failures=$((failures + 1))
    continue
  fi
  dump="${dump//$'\r'/}"
  magic="$(awk '$1 == "Magic" { print $2; exit }' <<<"$dump")"
  flags="$(awk '$1 == "DllCharacteristics" { print $2; exit }' <<<"$dump")"
  characteristics="$(awk '$1 == "Characteristics" { print $2; exit }' <<<"$dump")"
  # "Entry 5 <address> <size> Base Relocation Directory": the size of the relocation data.
  relocations="$(awk '$1 == "Entry" && $2 == "5" { print $4; exit }' <<<"$dump")"
  case "$magic" in
    020b) pe=PE32+ ;;
    010b) pe=PE32 ;;
    *) pe="" ;;
  esac
  if [[ -z "$pe" || ! "$flags" =~ ^[0-9A-Fa-f]+$ ]]; then
    echo "FAIL $file: not a PE image (Magic '$magic', DllCharacteristics '$flags')"
    failures=$((failures + 1))
    continue
  fi
  value=$((16#$flags))
  ((value & 0x0040)) || problems+=("no DYNAMIC_BASE")
  ((value & 0x0100)) || problems+=("no NX_COMPAT")
  if [[ "$pe" == PE32+ ]] && ! ((value & 0x0020)); then problems+=("no HIGH_ENTROPY_VA"); fi
  # DYNAMIC_BASE without relocations: the loader cannot move the image, ASLR is void.
  if [[ ! "$relocations" =~ ^[0-9A-Fa-f]+$ ]] || ((16#$relocations == 0)); then
    problems+=("no relocation data")
  fi
  if [[ ! "$characteristics" =~ ^0x[0-9A-Fa-f]+$ ]]; then
    problems+=("no Characteristics")
  else
    ((characteristics & 0x0001)) && problems+=("RELOCS_STRIPPED")
    ((characteristics & 0x0008)) || problems+=("symbols not stripped")
  fi
  dlls=()
  while IFS= read -r dll; do
    [[ -n "$dll" ]] || continue
    dlls+=("$dll")
    allowed "$dll" || problems+=("imports $dll")
  done < <(sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' <<<"$dump")
  if ((${#problems[@]})); then
    printf 'FAIL %s (%s, DllCharacteristics 0x%s): %s\n' "$file" "$pe" "$flags" \
      "$(IFS=';'; echo "${problems[*]}")"
    failures=$((failures + 1))
  else
    printf 'OK   %s (%s, DllCharacteristics 0x%s): %s\n' "$file" "$pe" "$flags" "${dlls[*]}"
  fi
done
((failures == 0))
