#!/usr/bin/env bash
# VelmoraSH64.dll through velmora_hook_tool.exe, both beside the tray: the CBT hook installs for
# the whole desktop and passes calls on; the library's events reach a stand-in for the tray
# (the driver) and its answer settles a request; without an answer a request times out, even
# when an answer to an earlier request is still pending; "end" reaches the tray's event.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup
e2e_clean_state

# Runs the tool; leaves "<exit code> <output>" in $result.
hook_tool() {
  local status=0 out
  out="$(e2e_hook_tool "$@")" || status=$?
  result="$status $out"
}

printed() { tr -d '\r' <"$E2E_TMP/$1.out" | grep -qx "$2"; }  # TAG LINE

wait_for_line() {  # TAG LINE
  e2e_wait_until 20 printed "$1" "$2" ||
    e2e_fail "$1 never printed $2: $(cat "$E2E_TMP/$1.out" "$E2E_TMP/$1.err")"
}

# The hook as the tray installs it, with the library found by its plain name.
hook_tool hook-check
dll="$(e2e_winpath "$(dirname "$E2E_TRAY")")\\VelmoraSH64.dll"
expected="0 loaded ${dll,,}
installed
window created under the hook
removed"
first="${result%%$'\n'*}"
e2e_assert_eq "$expected" "${first,,}${result#"$first"}" "hook-check"

# A request answered by the stand-in: it sees "event__123__" and sets "event__124__".
e2e_start_bg answerer "$E2E_DRIVER" wait-event-a event__123__ 20000 event__124__
answerer=$E2E_BG_PID
wait_for_line answerer WAITING
hook_tool request 5000
e2e_assert_eq "0 settled" "$result" "request with an answer"
e2e_expect_exit "$answerer" 20 0 "stand-in answering the request"

# Nobody answers; the answer a stand-in left pending must not settle the new request.
e2e_start_bg stale "$E2E_DRIVER" set-event-a event__124__ 15000
stale=$E2E_BG_PID
wait_for_line stale SET
hook_tool request 500
e2e_assert_eq "1 timeout" "$result" "request without an answer"
e2e_is_running "$stale" || e2e_fail "the pending answer was gone before the request ended"
e2e_kill_tracked

# "end" sets "event__125__".
e2e_start_bg ender "$E2E_DRIVER" wait-event-a event__125__ 20000
ender=$E2E_BG_PID
wait_for_line ender WAITING
hook_tool end
e2e_assert_eq "0 signalled" "$result" "end"
e2e_expect_exit "$ender" 20 0 "stand-in waiting for the end event"
e2e_pass
