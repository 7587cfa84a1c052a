#!/usr/bin/env bash
# A second instance in the same session warns and leaves; the first one is not disturbed.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup
e2e_clean_state

e2e_start_tray
first=$E2E_TRAY_PID
first_hwnd="$(e2e_find_main VelmoraTray.exe 20000)" || e2e_fail "first instance: no main window"
first_win_pid="$(e2e_driver pids VelmoraTray.exe)" || e2e_fail "first instance: no process"

e2e_start_tray
second=$E2E_TRAY_PID
box="$(e2e_driver wait-box Warning 20000)" || e2e_fail "second instance: no 'Warning' box"
e2e_screenshot already-running-box
grep -qx 'TEXT: Velmora Tray is already running' <<<"$box" ||
  e2e_fail "unexpected box content: $box"
grep -qx 'BUTTON 1: OK' <<<"$box" || e2e_fail "the box has no OK button: $box"
box_pid="$(sed -n 's/^PID: //p' <<<"$box")"
[[ "$box_pid" != "$first_win_pid" ]] || e2e_fail "the box belongs to the first instance"

e2e_driver press-box Warning 1 >/dev/null || e2e_fail "cannot press OK"
e2e_expect_exit "$second" 20 0 "second instance"

e2e_is_running "$first" || e2e_fail "the first instance ended"
hwnd="$(e2e_find_main "$first_win_pid" 5000)" || e2e_fail "first instance lost its main window"
e2e_assert_eq "$first_hwnd" "$hwnd" "main window of the first instance"
e2e_pass
