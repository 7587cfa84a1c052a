#!/usr/bin/env bash
# VisibleCountDown=1: the icon shows the seconds left (pictures at 120 and at 9), and the default
# icon comes back when the service ends the elevation.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup

WM_TIMER=0x113
icon_box=16x16+1005+750  # the first icon slot

# The icon's pixels now, as a file in the scratch folder.
grab_icon() {  # NAME
  timeout 20 import -display "$DISPLAY" -window root -crop "$icon_box" +repage \
    "$E2E_TMP/$1.png" </dev/null >/dev/null 2>&1 || e2e_fail "cannot grab the icon"
}

# Number of pixels that differ between two grabs.
differing() {  # NAME NAME
  compare -metric AE "$E2E_TMP/$1.png" "$E2E_TMP/$2.png" null: 2>&1 >/dev/null | cut -d' ' -f1
}

# Waits until SECONDS are left of the running elevation, then makes the tray draw at once.
show_remaining() {  # SECONDS NAME
  local end
  end="$(e2e_reg_query HKCU 'Software\Ostrand\Velmora' timerEnd)" || e2e_fail "no timerEnd"
  end="${end#REG_SZ: }"
  ((end - $(date +%s) >= $1)) || e2e_fail "fewer than $1 s left already"
  while ((end - $(date +%s) > $1)); do sleep 0.05; done
  e2e_driver send "$main" $WM_TIMER 0 0 >/dev/null || e2e_fail "cannot send WM_TIMER"
  grab_icon "$2"
  ((end - $(date +%s) == $1)) || e2e_fail "the picture of $1 s was taken too late"
  e2e_screenshot_crop "$2" 120x40+904+728
  convert "$E2E_TMP/$2.png" -scale 800% "$E2E_ARTIFACTS/$E2E_NAME-$2-zoom.png"
}

default_icon_back() { grab_icon now && (($(differing now default) == 0)); }

elevate() {  # ACCESS_PERIOD
  e2e_set_machine AccessPeriod "$1"
  e2e_click_tray_icon 1
  xdotool mousemove --window "$E2E_DESKTOP_X" 400 300  # no tooltip over the icon
  e2e_service_expect_log "at-login=0 seconds=$1" "request for $1 s" 10
  e2e_wait_until 5 e2e_reg_query HKCU 'Software\Ostrand\Velmora' timerEnd >/dev/null ||
    e2e_fail "no timerEnd after the grant"
}

e2e_elevation_case
e2e_set_machine VisibleCountDown 1
e2e_start_tray
main="$(e2e_find_main VelmoraTray.exe 10000)" || e2e_fail "no main window"
e2e_wait_tray_icon
xdotool mousemove --window "$E2E_DESKTOP_X" 400 300
sleep 1
grab_icon default

elevate 130
show_remaining 120 countdown-120
(($(differing countdown-120 default) > 20)) || e2e_fail "the icon does not show the countdown at 120"
e2e_driver service-emergency || e2e_fail "cannot end the elevation"
e2e_wait_until 10 default_icon_back || e2e_fail "the default icon did not come back after EXPIRE"

elevate 12
show_remaining 9 countdown-9
(($(differing countdown-9 default) > 20)) || e2e_fail "the icon does not show the countdown at 9"
(($(differing countdown-9 countdown-120) > 20)) || e2e_fail "9 looks like 120"
e2e_service_expect_log "ends: the period is over." "end of the 12 s" 15
e2e_wait_until 10 default_icon_back || e2e_fail "the default icon did not come back at the end"
e2e_pass
