#!/usr/bin/env bash
# A real click on the tray's icon on Wine's taskbar, through the reference service and back: the
# request as the service decodes it, "timerEnd" while the elevation runs, the start and expiry
# balloons, and the default icon again afterwards.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup

e2e_elevation_case
# 5 s: the start balloon says 0 minutes (whole minutes, rounded down).
e2e_set_machine AccessPeriod 5

logged_user="$(e2e_logged_user)"
timer_end_gone() { ! e2e_reg_query HKCU 'Software\Ostrand\Velmora' timerEnd >/dev/null; }
start_text="You have been assigned local administration privileges for 0 minutes"
expire_text="Your local administration privileges has expired"

e2e_start_tray
e2e_find_main VelmoraTray.exe 10000 >/dev/null || e2e_fail "no main window"
e2e_wait_tray_icon
e2e_screenshot_crop icon 120x40+904+728

started=$(e2e_balloon_count "$start_text")
expired=$(e2e_balloon_count "$expire_text")
e2e_click_tray_icon 1
e2e_service_expect_log "Request. user=\"$logged_user\" reason=\"no reason\" at-login=0 seconds=5" \
  "the click's request" 10
e2e_service_expect_log "Decision. Granted: \"$logged_user\" is elevated for 5 seconds." "grant"
end="$(e2e_reg_query HKCU 'Software\Ostrand\Velmora' timerEnd)" || e2e_fail "no timerEnd after the grant"
end="${end#REG_SZ: }"
now=$(date +%s)
((end >= now + 3 && end <= now + 6)) || e2e_fail "timerEnd $end is not about 5 s after $now"
e2e_expect_balloon "$start_text" "$started" "start balloon"
e2e_screenshot_crop start-balloon 520x200+504+568

# The service's end of the period reaches the tray: no timerEnd, the expiry balloon.
e2e_service_expect_log "ends: the period is over." "expiry" 15
e2e_wait_until 5 timer_end_gone || e2e_fail "timerEnd is still there after EXPIRE"
e2e_expect_balloon "$expire_text" "$expired" "expiry balloon"
e2e_screenshot_crop expire-balloon 520x200+504+568
e2e_assert_eq 1 "$(e2e_service_requests)" "requests sent for one click"
e2e_pass
