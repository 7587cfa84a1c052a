#!/usr/bin/env bash
# The shell hook end to end: the tray installs VelmoraSH64.dll's hook, a program asks through
# the library (velmora_hook_tool) and the service grants 30 silent seconds; the library's end
# request ends them early; DisableShellHook leaves requests unanswered; a VelmoraSH64.dll in
# the tray's current folder (not beside the program) is never loaded.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

dir="$(dirname "$E2E_TRAY")"
reason="Resuscitate after tray app close (shutdown,log off or app crash occured)"
hook_tool() {  # leaves "<exit code> <output>" in $result
  local status=0 out
  out="$(e2e_run "$dir/velmora_hook_tool.exe" "$@")" || status=$?
  result="$status $out"
}
balloons() { e2e_trace_count 'Show tooltip 0, L"'; }
expiries() { grep -c 'Signalling EXPIRE' "$E2E_SERVICE_LOG" || true; }

e2e_elevation_case
# First, before any hook of ours runs on the desktop (a hooked process has the real library
# loaded already): a copy of the tray without the library beside it, started from a folder that
# holds one.
mkdir -p "$E2E_TMP/program" "$E2E_TMP/planted"
cp "$E2E_TRAY" "$E2E_TMP/program/"
cp "$E2E_BUILD/tests/e2e/canary/VelmoraSH64.dll" "$E2E_TMP/planted/"
rm -f "$E2E_TRAY_LOG" "$E2E_TMP/planted/canary-loaded.txt"
pushd "$E2E_TMP/planted" >/dev/null
E2E_TRAY="$E2E_TMP/program/VelmoraTray.exe" e2e_tray_up
popd >/dev/null
e2e_expect_log_sequence "SetHook" "SetHook.The DLL could not be found." "a planted library"
[[ ! -e "$E2E_TMP/planted/canary-loaded.txt" ]] || e2e_fail "the planted VelmoraSH64.dll was loaded"
e2e_driver terminate VelmoraTray.exe 1 10000 >/dev/null || e2e_fail "cannot stop the tray"

e2e_tray_up
e2e_expect_log_sequence "SetHook" "HOOK INSTALLED" "hook installed at start"

before="$(balloons)"
hook_tool request 20000
e2e_assert_eq "0 settled" "$result" "request through the library"
e2e_service_expect_log "reason=\"$reason\" at-login=0 seconds=30" "the hook's request"
e2e_service_expect_log "is elevated for 30 seconds." "the hook's grant"
e2e_wait_until 5 e2e_timer_end >/dev/null || e2e_fail "no timerEnd after the hook's grant"
sleep 3  # a balloon shows about 2 s after it is asked for
e2e_assert_eq "$before" "$(balloons)" "balloons during the hook's elevation"

hook_tool end
e2e_assert_eq "0 signalled" "$result" "end through the library"
e2e_service_expect_log "ends: EMERGENCYSTART." "the hook's early end" 5
e2e_wait_until 5 e2e_more_than 0 expiries || e2e_fail "no EXPIRE after the hook's end"

# Switched off: nothing is loaded and nobody answers.
e2e_driver terminate VelmoraTray.exe 1 10000 >/dev/null || e2e_fail "cannot stop the tray"
e2e_set_machine DisableShellHook 1
rm -f "$E2E_TRAY_LOG"
e2e_tray_up
hook_tool request 3000
e2e_assert_eq "1 timeout" "$result" "request with DisableShellHook 1"
! e2e_tray_log_messages | grep -q '^SetHook' || e2e_fail "SetHook ran with DisableShellHook 1"

e2e_pass
