#!/usr/bin/env bash
# A real click on the tray's icon on Wine's taskbar, through the reference service and back: the
# request as the service decodes it, "timerEnd" while the elevation runs, the start and expiry
# balloons, and the default icon again afterwards.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

e2e_elevation_case
# 5 s: the start balloon says 0 minutes (whole minutes, rounded down).
e2e_set_machine AccessPeriod 5
start_text="You have been assigned local administration privileges for 0 minutes"
expire_text="Your local administration privileges has expired"

e2e_tray_up
e2e_screenshot icon 120x40+904+728
started=$(e2e_balloon_count "$start_text") expired=$(e2e_balloon_count "$expire_text")
e2e_click_tray_icon
e2e_service_expect_log "Request. user=\"$E2E_LOGGED_USER\" reason=\"no reason\" at-login=0 seconds=5" \
  "the click's request" 10
e2e_service_expect_log "Decision. Granted: \"$E2E_LOGGED_USER\" is elevated for 5 seconds." "grant"
end="$(e2e_timer_end)" || e2e_fail "no timerEnd after the grant"
now=$(date +%s)
((end >= now + 3 && end <= now + 6)) || e2e_fail "timerEnd $end is not about 5 s after $now"
e2e_expect_balloon "$start_text" "$started" "start balloon"
e2e_screenshot start-balloon 520x200+504+568

# The service's end of the period reaches the tray: no timerEnd, the expiry balloon.
e2e_service_expect_log "ends: the period is over." "expiry" 15
e2e_wait_until 5 e2e_no_timer_end || e2e_fail "timerEnd is still there after EXPIRE"
e2e_expect_balloon "$expire_text" "$expired" "expiry balloon"
e2e_screenshot expire-balloon 520x200+504+568
e2e_assert_eq 1 "$(e2e_service_requests)" "requests sent for one click"
e2e_pass
