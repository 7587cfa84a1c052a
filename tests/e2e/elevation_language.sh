#!/usr/bin/env bash
# Language=de-de with the shipped de-de.lng beside the tray: German menu items and balloons.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup

[[ -f "$(dirname "$E2E_TRAY")/Localization/de-de.lng" ]] ||
  e2e_fail "de-de.lng is not beside the tray"
logon="$(e2e_driver expand-env '%USERNAME%')"

e2e_elevation_case
e2e_set_machine Language de-de REG_SZ
e2e_set_machine AccessPeriod 5
e2e_set_machine ElevateForXDays 3
e2e_start_tray
main="$(e2e_find_main VelmoraTray.exe 10000)" || e2e_fail "no main window"
e2e_wait_tray_icon

xdotool mousemove --window "$E2E_DESKTOP_X" 1013 758 keydown ctrl
e2e_driver post "$main" 0x401 0 0x202 || e2e_fail "cannot post WM_TRAYICON"
e2e_driver menu-items VelmoraTray.exe 3000 >"$E2E_TMP/menu.txt" || e2e_fail "no menu"
xdotool keyup ctrl
e2e_assert_eq "Rechte erhöhen für $logon|Rechte für 3 Tage erhöhen|Info|Status" \
  "$(cut -d' ' -f7- "$E2E_TMP/menu.txt" | paste -sd'|')" "German menu"
e2e_screenshot_crop menu-de 300x140+724+628
e2e_click_away

e2e_click_tray_icon 1
e2e_expect_balloon "Ihnen wurden für 0 Minuten lokale Administratorrechte erteilt" 0 "German start balloon"
e2e_screenshot_crop start-balloon-de 640x200+384+568
e2e_expect_balloon "Ihre lokalen Administratorrechte sind abgelaufen" 0 "German expiry balloon" 15
e2e_pass
