#!/usr/bin/env bash
# A real click on the tray's icon on Wine's taskbar, through the reference service and back: the
# request as the service decodes it, "timerEnd" while the elevation runs, the start and expiry
# balloons. Refused (the service's Deny = 1): the forbidden balloon. A tray killed during an
# elevation asks, when it starts again, for the seconds that are left (the resuscitation reason,
# "(resuscitated)" in its start balloon). A log-off that really happens (WM_ENDSESSION TRUE) with
# Resuscitate missing (0) signals EMERGENCYSTART, which ends the elevation at once but keeps
# timerEnd, and the tray lives on. VisibleCountDown=1: the icon shows the seconds left (a picture at
# 9), and the default icon comes back when the elevation ends. The service stopped: the not-running
# balloon and no request at all.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

WM_ENDSESSION=0x16 LOGOFF=0x80000000
# The icon's pixels (the first slot) now, as a file in the scratch folder.
grab_icon() {  # NAME
  timeout 20 import -display "$DISPLAY" -window root -crop 16x16+1005+750 +repage \
    "$SESSION_TMP/$1.png" </dev/null >/dev/null 2>&1 || session_fail "cannot grab the icon"
}
# Number of pixels that differ between two grabs.
differing() { compare -metric AE "$SESSION_TMP/$1.png" "$SESSION_TMP/$2.png" null: 2>&1 >/dev/null | cut -d' ' -f1; }
default_icon_back() { grab_icon now && (($(differing now default) == 0)); }

e2e_elevation_case
# 12 s with VisibleCountDown: the start balloon counts a grant under a minute as one.
session_set_machine AccessPeriod 12
session_set_machine VisibleCountDown 1
e2e_tray_up
xdotool mousemove --window "$E2E_DESKTOP_X" 400 300
sleep 1
grab_icon default
e2e_click_tray_icon
xdotool mousemove --window "$E2E_DESKTOP_X" 400 300  # no tooltip over the icon
e2e_expect_grant 12
end="$(e2e_timer_end)"
((end >= $(date +%s) + 9 && end <= $(date +%s) + 13)) || session_fail "timerEnd $end is not about 12 s ahead"
# Once 9 s are left the tray is made to draw at once (WM_TIMER).
while ((end - $(date +%s) > 9)); do sleep 0.05; done
e2e_driver send "$E2E_MAIN" 0x113 0 0 || session_fail "cannot send WM_TIMER"
grab_icon countdown
# Under load the tray's own timer may have drawn the next second by then: still a count.
((end - $(date +%s) >= 8)) || session_fail "the picture of 9 s was taken too late"
convert "$SESSION_TMP/countdown.png" -scale 800% "$SESSION_ARTIFACTS/$SESSION_NAME-9-zoom.png"
(($(differing countdown default) > 20)) || session_fail "the icon at 9 s looks like the default icon"
e2e_expect_balloon "You have been assigned local administration privileges for 1 minutes" 0 "start balloon"
e2e_service_expect_log "ends: the period is over." "expiry" 15
e2e_within 5 "timerEnd is still there after EXPIRE" session_not e2e_timer_end
e2e_within 10 "the default icon did not come back at the end" default_icon_back
e2e_expect_balloon "Your local administration privileges has expired" 0 "expiry balloon"
session_screenshot expire-balloon 520x200+504+568
e2e_assert_eq 1 "$(e2e_service_requests)" "requests sent for one click"

session_reg_add "$SESSION_MACHINE_KEY\\Service" /v Deny /t REG_DWORD /d 1 /reg:64
e2e_click_tray_icon
e2e_expect_balloon "You have insufficient privileges to elevate your account. Please contact your system administrator" 0 \
  "forbidden balloon"
session_reg_delete "$SESSION_MACHINE_KEY\\Service" /v Deny /reg:64

session_set_machine AccessPeriod 600
e2e_click_tray_icon
e2e_expect_grant 600
end="$(e2e_timer_end)"
sleep 2
# A new logon: the tray asks again for the seconds left, with the resuscitation reason.
asked="reason=\"Resuscitate after tray app close (shutdown,log off or app crash occured)\" at-login=0 seconds="
e2e_tray_down
left=$((end - $(date +%s)))
e2e_tray_up
e2e_service_expect_log "$asked" "no resumed request" 10
seconds="$(grep -o "${asked}[0-9]*" "$SESSION_SERVICE_LOG" | cut -d= -f4)"
# What was left between the restart and the request's arrival, a second either side for rounding.
((seconds >= end - $(date +%s) - 1 && seconds <= left + 1)) ||
  session_fail "resumed for $seconds s, but $left s were left at the restart"
e2e_service_expect_log "Decision. Granted: \"$SESSION_LOGGED_USER\" is elevated for $seconds seconds." "resumed grant"
e2e_within 10 "no resuscitated balloon" session_more_than 0 e2e_trace_count ' (resuscitated)", size'

# The log-off happens (Resuscitate missing = 0).
before=$(e2e_service_lines 'Signalling EXPIRE')
e2e_driver send "$E2E_MAIN" $WM_ENDSESSION 1 $LOGOFF || session_fail "cannot send WM_ENDSESSION"
e2e_service_expect_log "ends: EMERGENCYSTART." "EMERGENCYSTART at the log-off"
e2e_within 5 "no EXPIRE after EMERGENCYSTART" session_more_than "$before" e2e_service_lines 'Signalling EXPIRE'
e2e_assert_eq "$end" "$(e2e_timer_end)" "timerEnd after the log-off's expiry"
e2e_main_window VelmoraTray.exe >/dev/null || session_fail "the tray ended at WM_ENDSESSION"

# The end kept for the next start goes: a click must reach the service check.
session_reg_delete "$SESSION_USER_KEY" /v timerEnd

session_service_stop || session_fail "the service did not stop within 20 s"
sent=$(e2e_service_requests)
e2e_click_tray_icon
e2e_expect_balloon "Velmora Framework Service is not running, please contact your system Administrator" 0 \
  "service-not-running balloon"
e2e_assert_eq "$sent" "$(e2e_service_requests)" "requests while the service is stopped"
