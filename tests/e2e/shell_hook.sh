#!/usr/bin/env bash
# The shell hook. VelmoraSH64.dll through velmora_hook_tool.exe, both beside the tray: the CBT hook
# installs for the whole desktop and passes calls on; without an answer a request times out, even
# when an answer to an earlier request is still pending. End to end: a VelmoraSH64.dll in the tray's
# current folder (not beside the program) is never loaded; the tray installs the hook, a program
# asks through the library, the tray's answer settles the request and the service grants 30 silent
# seconds; the library's end request reaches the tray and ends them early.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

dir="$(dirname "$SESSION_TRAY")"
hook_tool() {  # leaves "<exit code> <output>" in $result
  local status=0 out
  out="$(session_run "$dir/velmora_hook_tool.exe" "$@")" || status=$?
  result="$status $out"
}

e2e_clean_state
# The hook as the tray installs it, with the library found by its plain name.
hook_tool hook-check
expected="0 loaded $(session_winpath "$dir")\\VelmoraSH64.dll
installed
window created under the hook
removed"
e2e_assert_eq "${expected,,}" "${result,,}" "hook-check (paths in any case)"
# Nobody answers ("event__123__"); an answer left pending ("event__124__") must not settle the
# new request.
e2e_driver_bg stale HELD hold signalled-event event__124__ 15000
hook_tool request 500
e2e_assert_eq "1 timeout" "$result" "request without an answer"
session_is_running "$SESSION_BG_PID" || session_fail "the pending answer was gone before the request ended"

# A copy of the tray without the library beside it, started from a folder that holds the real
# one, which would install the hook if it were loaded. On a new desktop, with the service: no
# process there has had the library loaded by the hook checked above.
e2e_elevation_case
mkdir -p "$SESSION_TMP/program" "$SESSION_TMP/planted"
cp "$SESSION_TRAY" "$SESSION_TMP/program/"
cp "$dir/VelmoraSH64.dll" "$SESSION_TMP/planted/"
(cd "$SESSION_TMP/planted" && SESSION_TRAY="$SESSION_TMP/program/VelmoraTray.exe" e2e_tray_up)
e2e_expect_log_sequence "SetHook" "SetHook.The DLL could not be found." "a planted library"
e2e_tray_down

rm -f "$SESSION_TRAY_LOG"
e2e_tray_up
e2e_expect_log_sequence "SetHook" "HOOK INSTALLED" "hook installed at start"
balloons="$(e2e_trace_count 'Show tooltip 0, L"')"
hook_tool request 20000
e2e_assert_eq "0 settled" "$result" "request through the library"
e2e_expect_grant 30 "Resuscitate after tray app close (shutdown,log off or app crash occured)"
sleep 3  # a balloon shows about 2 s after it is asked for
e2e_assert_eq "$balloons" "$(e2e_trace_count 'Show tooltip 0, L"')" "balloons during the hook's elevation"
hook_tool end
e2e_assert_eq "0 signalled" "$result" "end through the library"
e2e_end_elevation signalled
