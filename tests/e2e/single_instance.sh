#!/usr/bin/env bash
# A second instance in the same session warns and leaves; the first one is not disturbed.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"
e2e_clean_state

e2e_tray_up
first=$E2E_TRAY_PID
first_win_pid="$(e2e_driver pids VelmoraTray.exe)" || e2e_fail "first instance: no process"

e2e_start_tray
box="$(e2e_driver window Warning 20000)" || e2e_fail "second instance: no 'Warning' box"
e2e_screenshot already-running-box
grep -qx 'TEXT: Velmora Tray is already running' <<<"$box" || e2e_fail "unexpected box content: $box"
grep -qx 'BUTTON 1: OK' <<<"$box" || e2e_fail "the box has no OK button: $box"
[[ "$(sed -n 's/^PID: //p' <<<"$box")" != "$first_win_pid" ]] ||
  e2e_fail "the box belongs to the first instance"
e2e_driver click-item "$(sed -n 's/^HWND: //p' <<<"$box")" 1 || e2e_fail "cannot press OK"
e2e_expect_exit "$E2E_TRAY_PID" 20 0 "second instance"

e2e_is_running "$first" || e2e_fail "the first instance ended"
e2e_assert_eq "$E2E_MAIN" "$(e2e_driver find-main "$first_win_pid" 5000)" \
  "main window of the first instance"
e2e_pass
