#!/usr/bin/env bash
# Language=de-de with the shipped de-de.lng beside the tray: German menu items and balloons.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

[[ -f "$(dirname "$E2E_TRAY")/Localization/de-de.lng" ]] || e2e_fail "de-de.lng is not beside the tray"
e2e_elevation_case
e2e_set_machine Language de-de REG_SZ
e2e_set_machine AccessPeriod 5
e2e_set_machine ElevateForXDays 3
e2e_tray_up

# Control + left click (WM_LBUTTONUP).
e2e_assert_eq "Rechte erhöhen für $E2E_LOGON|Rechte für 3 Tage erhöhen|Info|Status" \
  "$(e2e_menu 0x202 1)" "German menu"
e2e_screenshot menu-de 300x140+724+628
e2e_click_away

e2e_click_tray_icon
e2e_expect_balloon "Ihnen wurden für 0 Minuten lokale Administratorrechte erteilt" 0 "German start balloon"
e2e_screenshot start-balloon-de 640x200+384+568
e2e_expect_balloon "Ihre lokalen Administratorrechte sind abgelaufen" 0 "German expiry balloon" 15
e2e_pass
