#!/usr/bin/env bash
# A tray killed during an elevation asks, when it starts again, for the seconds that are left
# (a resumed request with the resuscitation reason) and says so in its start balloon.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup

logged_user="$(e2e_logged_user)"
reason="Resuscitate after tray app close (shutdown,log off or app crash occured)"

e2e_elevation_case
e2e_set_machine AccessPeriod 600
e2e_start_tray
e2e_find_main VelmoraTray.exe 10000 >/dev/null || e2e_fail "no main window"
e2e_wait_tray_icon
e2e_click_tray_icon 1
e2e_service_expect_log "reason=\"no reason\" at-login=0 seconds=600" "first request" 10
e2e_wait_until 5 e2e_reg_query HKCU 'Software\Ostrand\Velmora' timerEnd >/dev/null ||
  e2e_fail "no timerEnd after the grant"
end="$(e2e_reg_query HKCU 'Software\Ostrand\Velmora' timerEnd)"
end="${end#REG_SZ: }"

sleep 2
icons="$(e2e_trace_count 'TOOLTIPS_AddToolT add text L"Velmora"')"
e2e_driver terminate VelmoraTray.exe 1 10000 >/dev/null || e2e_fail "cannot kill the tray"
e2e_start_tray
restarted=$(date +%s)
e2e_find_main VelmoraTray.exe 10000 >/dev/null || e2e_fail "no main window after the restart"
e2e_wait_tray_icon "$icons"
e2e_service_expect_log "Request. user=\"$logged_user\" reason=\"$reason\" at-login=0 seconds=" \
  "resumed request" 10
seconds="$(grep -o "reason=\"$reason\" at-login=0 seconds=[0-9]*" "$E2E_SERVICE_LOG" |
  tail -n1 | sed 's/.*seconds=//')"
expected=$((end - restarted))
((seconds >= expected - 2 && seconds <= expected + 1)) ||
  e2e_fail "resumed for $seconds s, but $expected s were left"
# A resumed grant keeps the first end time.
e2e_service_expect_log "Decision. Granted: \"$logged_user\" is elevated for $seconds seconds." "grant"
sleep 1
e2e_assert_eq "REG_SZ: $end" "$(e2e_reg_query HKCU 'Software\Ostrand\Velmora' timerEnd)" \
  "timerEnd after the resumed grant"
e2e_wait_until 10 bash -c "grep -aq 'Show tooltip 0, L\"You have been assigned local administration privileges for .* (resuscitated)\"' '$E2E_DESKTOP_TRACE'" ||
  e2e_fail "no resuscitated balloon: $(e2e_balloon_texts | tr '\n' '|')"
e2e_screenshot_crop resumed-balloon 640x200+384+568
e2e_pass
