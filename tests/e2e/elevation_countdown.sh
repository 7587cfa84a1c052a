#!/usr/bin/env bash
# VisibleCountDown=1: the icon shows the seconds left (pictures at 120 and at 9), and the default
# icon comes back when the service ends the elevation.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

# The icon's pixels (the first slot) now, as a file in the scratch folder.
grab_icon() {  # NAME
  timeout 20 import -display "$DISPLAY" -window root -crop 16x16+1005+750 +repage \
    "$E2E_TMP/$1.png" </dev/null >/dev/null 2>&1 || e2e_fail "cannot grab the icon"
}
# Number of pixels that differ between two grabs.
differing() { compare -metric AE "$E2E_TMP/$1.png" "$E2E_TMP/$2.png" null: 2>&1 >/dev/null | cut -d' ' -f1; }
default_icon_back() { grab_icon now && (($(differing now default) == 0)); }

# An elevation of ACCESS_PERIOD s; once SECONDS are left the tray is made to draw at once
# (WM_TIMER), and its icon must differ from each of the pictures named.
countdown() {  # ACCESS_PERIOD SECONDS DIFFERENT_FROM...
  local end other
  e2e_set_machine AccessPeriod "$1"
  e2e_click_tray_icon
  xdotool mousemove --window "$E2E_DESKTOP_X" 400 300  # no tooltip over the icon
  e2e_expect_grant "$1"
  end="$(e2e_timer_end)"
  ((end - $(date +%s) >= $2)) || e2e_fail "fewer than $2 s left already"
  while ((end - $(date +%s) > $2)); do sleep 0.05; done
  e2e_driver send "$E2E_MAIN" 0x113 0 0 || e2e_fail "cannot send WM_TIMER"
  grab_icon "countdown-$2"
  # Under load the tray's own timer may have drawn the next second by then: still a count.
  ((end - $(date +%s) >= $2 - 1)) || e2e_fail "the picture of $2 s was taken too late"
  convert "$E2E_TMP/countdown-$2.png" -scale 800% "$E2E_ARTIFACTS/$E2E_NAME-$2-zoom.png"
  for other in "${@:3}"; do
    (($(differing "countdown-$2" "$other") > 20)) || e2e_fail "the icon at $2 s looks like $other"
  done
}

e2e_elevation_case
e2e_set_machine VisibleCountDown 1
e2e_tray_up
xdotool mousemove --window "$E2E_DESKTOP_X" 400 300
sleep 1
grab_icon default

countdown 130 120 default
e2e_emergency
e2e_wait_until 10 default_icon_back || e2e_fail "the default icon did not come back after EXPIRE"
countdown 12 9 default countdown-120
e2e_service_expect_log "ends: the period is over." "end of the 12 s" 15
e2e_wait_until 10 default_icon_back || e2e_fail "the default icon did not come back at the end"
