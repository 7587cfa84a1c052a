#!/usr/bin/env bash
# run_startup_bench.sh [--build DIR] [--runs N] [--out FILE] [--tray EXE] [--minimal EXE]
#                      [--driver EXE] [--tool EXE]
# Start-up time and peak working set of VelmoraTray.exe against bench/minimal_tray.exe (one
# hidden window, one notification icon, a message loop), both x86_64 builds under Wine in one
# run. Targets: at most 1.3x the time and 1.3x the peak working set of the minimal program.
# A third row starts the tray with the directory checks switched on (ActiveDirectory 1 and a
# group): under Wine the directory cannot be reached, so it shows what the failing first check
# adds to the start on the main thread.
# Prints the figures and writes them to build/bench/startup.txt. A measurement, not a test:
# it never fails because of the figures.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/windows-x86_64" runs=10 out="$root/build/bench/startup.txt"
tray="" minimal="" driver="" tool=""
while (($#)); do
  case "$1" in
    --build | --runs | --out | --tray | --minimal | --driver | --tool) printf -v "${1#--}" '%s' "$2" ;;
    *) echo "usage: see the head of $0" >&2; exit 2 ;;
  esac
  shift 2
done
minimal="$(realpath -e "${minimal:-$build/bench/minimal_tray.exe}")"
tool="$(realpath -e "${tool:-$build/bench/velmora_bench_tool.exe}")"

# The library names its artifacts and messages after the running script.
# shellcheck source=../tests/e2e/lib/wine_env.sh
source "$root/tests/e2e/lib/wine_env.sh"
e2e_begin --build "$build" --tray "${tray:-$build/src/VelmoraTray.exe}" \
  --driver "${driver:-$build/tests/e2e/velmora_driver.exe}" --artifacts "$build/bench"
e2e_clean_state
mkdir -p "$(dirname "$out")"

# One program start: prints "window_ms ready_ms peak_ws_kb".
measure() {  # CLASS TITLE EXE
  session_run "$tool" measure-startup "$1" "$2" "$(session_winpath "$3")" || session_fail "measuring $3 failed"
}

# The first start of a session also starts Wine's desktop process; keep it out of the figures.
measure '#32770' Velmora "$SESSION_TRAY" >/dev/null
measure VelmoraBenchMinimalTray 'Minimal tray' "$minimal" >/dev/null

# Alternating the programs spreads changes in machine load over all three rows.
connector='HKLM\Software\Ostrand\Velmora\Connector'
directory_checks() {  # on|off
  if [[ "$1" == on ]]; then
    session_reg_add "$connector" /v ActiveDirectory /t REG_SZ /d 1
    session_reg_add "$connector" /v ActiveDirectoryGroup /t REG_SZ /d Helpdesk
  else
    session_reg_delete "$connector"
  fi
}

: >"$SESSION_TMP/tray.txt"
: >"$SESSION_TMP/minimal.txt"
: >"$SESSION_TMP/directory.txt"
for ((i = 1; i <= runs; i++)); do
  measure '#32770' Velmora "$SESSION_TRAY" >>"$SESSION_TMP/tray.txt"
  measure VelmoraBenchMinimalTray 'Minimal tray' "$minimal" >>"$SESSION_TMP/minimal.txt"
  directory_checks on
  measure '#32770' Velmora "$SESSION_TRAY" >>"$SESSION_TMP/directory.txt"
  directory_checks off
done

median() {  # FILE COLUMN
  sort -g -k"$2,$2" "$1" | awk -v c="$2" '{ v[NR] = $c }
    END { printf "%.1f\n", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

wine_version="$(wine --version 2>/dev/null | tail -n1)"
report() {
  local t_win t_ready t_mem m_win m_ready m_mem d_win d_ready d_mem
  t_win="$(median "$SESSION_TMP/tray.txt" 1)" t_ready="$(median "$SESSION_TMP/tray.txt" 2)"
  t_mem="$(median "$SESSION_TMP/tray.txt" 3)"
  m_win="$(median "$SESSION_TMP/minimal.txt" 1)" m_ready="$(median "$SESSION_TMP/minimal.txt" 2)"
  m_mem="$(median "$SESSION_TMP/minimal.txt" 3)"
  d_win="$(median "$SESSION_TMP/directory.txt" 1)" d_ready="$(median "$SESSION_TMP/directory.txt" 2)"
  d_mem="$(median "$SESSION_TMP/directory.txt" 3)"
  echo "Start-up benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), $wine_version, $runs runs each, medians"
  echo "  ready = main window exists and the program waits for input (WaitForInputIdle)"
  printf '  %-16s %12s %12s %16s\n' program window_ms ready_ms peak_ws_kb
  printf '  %-16s %12s %12s %16s\n' VelmoraTray.exe "$t_win" "$t_ready" "$t_mem"
  printf '  %-16s %12s %12s %16s\n' minimal_tray.exe "$m_win" "$m_ready" "$m_mem"
  printf '  %-16s %12s %12s %16s\n' 'tray, directory' "$d_win" "$d_ready" "$d_mem"
  awk -v tr="$t_ready" -v mr="$m_ready" -v tm="$t_mem" -v mm="$m_mem" 'BEGIN {
    rt = tr / mr; rm = tm / mm
    printf "  ratio time (ready): %.2fx (target <= 1.3x: %s)\n", rt, rt <= 1.3 ? "met" : "NOT met"
    printf "  ratio peak working set: %.2fx (target <= 1.3x: %s)\n", rm, rm <= 1.3 ? "met" : "NOT met"
  }'
  awk -v tr="$t_ready" -v dr="$d_ready" -v tm="$t_mem" -v dm="$d_mem" 'BEGIN {
    printf "  directory checks on (ActiveDirectory 1, a group; the directory out of reach):\n"
    printf "    %+.1f ms to ready (%.2fx the plain tray), %+.0f kB peak working set\n", dr - tr, dr / tr, dm - tm
  }'
  echo "  raw runs (window_ms ready_ms peak_ws_kb):"
  paste -d'|' "$SESSION_TMP/tray.txt" "$SESSION_TMP/minimal.txt" "$SESSION_TMP/directory.txt" |
    awk -F'|' '{ printf "    tray %-28s minimal %-28s directory %s\n", $1, $2, $3 }'
}
report | tee "$out"
