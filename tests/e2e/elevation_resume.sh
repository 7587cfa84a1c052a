#!/usr/bin/env bash
# A tray killed during an elevation asks, when it starts again, for the seconds that are left
# (a resumed request with the resuscitation reason) and says so in its start balloon.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"


e2e_elevation_case
e2e_set_machine AccessPeriod 600
e2e_tray_up
e2e_click_tray_icon
e2e_service_expect_log "reason=\"no reason\" at-login=0 seconds=600" "first request" 10
e2e_wait_until 5 e2e_timer_end >/dev/null || e2e_fail "no timerEnd after the grant"
end="$(e2e_timer_end)"

sleep 2
# A resumed grant keeps the first end time.
e2e_expect_resumed_at_restart "$end"
sleep 1
e2e_assert_eq "$end" "$(e2e_timer_end)" "timerEnd after the resumed grant"
e2e_wait_until 10 grep -aq 'Show tooltip 0, L"You have been assigned local administration privileges for .* (resuscitated)"' \
  "$E2E_DESKTOP_TRACE" || e2e_fail "no resuscitated balloon: $(e2e_balloon_texts)"
e2e_screenshot resumed-balloon 640x200+384+568
e2e_pass
