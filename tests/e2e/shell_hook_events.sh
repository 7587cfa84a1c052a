#!/usr/bin/env bash
# VelmoraSH64.dll through velmora_hook_tool.exe, both beside the tray: the CBT hook installs for
# the whole desktop and passes calls on; the library's events reach a stand-in for the tray
# (the driver) and its answer settles a request; without an answer a request times out, even
# when an answer to an earlier request is still pending; "end" reaches the tray's event.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"
e2e_clean_state

dir="$(dirname "$E2E_TRAY")"
[[ -f "$dir/VelmoraSH64.dll" && -f "$dir/velmora_hook_tool.exe" ]] ||
  e2e_fail "VelmoraSH64.dll and velmora_hook_tool.exe must be beside the tray in $dir"

# Runs the tool from the tray's folder; leaves "<exit code> <output>" in $result.
hook_tool() {
  local status=0 out
  out="$(e2e_run "$dir/velmora_hook_tool.exe" "$@")" || status=$?
  result="$status $out"
}

# The hook as the tray installs it, with the library found by its plain name.
hook_tool hook-check
expected="0 loaded $(e2e_winpath "$dir")\\VelmoraSH64.dll
installed
window created under the hook
removed"
first="${result%%$'\n'*}"
e2e_assert_eq "${expected,,}" "${first,,}${result#"$first"}" "hook-check"

# A request answered by the stand-in: it sees "event__123__" and sets "event__124__".
e2e_driver_bg answerer WAITING wait-event event__123__ 20000 event__124__
hook_tool request 5000
e2e_assert_eq "0 settled" "$result" "request with an answer"
e2e_expect_exit "$E2E_BG_PID" 20 0 "stand-in answering the request"

# Nobody answers; the answer a stand-in left pending must not settle the new request.
e2e_driver_bg stale HELD hold signalled-event event__124__ 15000
hook_tool request 500
e2e_assert_eq "1 timeout" "$result" "request without an answer"
e2e_is_running "$E2E_BG_PID" || e2e_fail "the pending answer was gone before the request ended"
e2e_kill_tracked

# "end" sets "event__125__".
e2e_driver_bg ender WAITING wait-event event__125__ 20000
hook_tool end
e2e_assert_eq "0 signalled" "$result" "end"
e2e_expect_exit "$E2E_BG_PID" 20 0 "stand-in waiting for the end event"
e2e_pass
