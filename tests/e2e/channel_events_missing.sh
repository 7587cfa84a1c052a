#!/usr/bin/env bash
# When a service event cannot be created (its global name is taken by a mutex), start-up
# fails with an error box, creates no main window and ends with exit code 1.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"
e2e_clean_state

e2e_driver_bg squatter HELD hold mutex 'Global\__START_EVENT__' 60000
e2e_start_tray
box="$(e2e_driver window Error 20000)" || e2e_fail "no 'Error' box"
e2e_screenshot events-missing-box
grep -qx 'TEXT: Event objects cannot be created' <<<"$box" || e2e_fail "unexpected box: $box"
if e2e_driver find-main "$(sed -n 's/^PID: //p' <<<"$box")" 0 >/dev/null; then
  e2e_fail "a main window exists although start-up failed"
fi
e2e_driver click-item "$(sed -n 's/^HWND: //p' <<<"$box")" 1 || e2e_fail "cannot press OK"
e2e_expect_exit "$E2E_TRAY_PID" 20 1 "tray after failed start-up"
e2e_pass
