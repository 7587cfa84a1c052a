#!/usr/bin/env bash
# The tray's menus, opened with real clicks on the icon, as the policy values and the Control key
# shape them (the items read inside the tray's process); "Elevate for 3 days" chosen with a real
# click, which the service receives as 259200 seconds. Audit=1 and AuditRFE=1: a click opens the
# reason dialog (its buttons and the RFELINK link), and the typed reason travels to the service
# in the request. Language=de-de with the shipped de-de.lng: German menu items and balloons.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

user="$SESSION_LOGON"

e2e_elevation_case
e2e_tray_up
e2e_assert_eq "Elevate $user|About|Status" "$(e2e_icon_menu 1 1)" "Control + left click"
e2e_click_away

# TokenElevation "1" and ElevateForXDays 3, read at each click.
session_set_machine TokenElevation 1 REG_SZ
session_set_machine ElevateForXDays 3
e2e_assert_eq "Request Previleges|Elevate $user|Elevate for 3 days|About" "$(e2e_icon_menu 3 0)" \
  "right click with TokenElevation and ElevateForXDays"
session_screenshot menu-right-all-items 300x140+724+628
e2e_choose "Elevate for 3 days"
e2e_expect_grant 259200
e2e_end_elevation

session_set_machine Audit 1
session_set_machine AuditRFE 1
session_set_machine AccessPeriod 600
session_reg_add "$SESSION_USER_KEY" /v RFELINK /t REG_SZ /d 'https://help.example/elevation'
e2e_click_tray_icon
e2e_expect_dialog Velmora "Reason for elevation"
e2e_assert_eq "Elevate|Cancel" "$(e2e_control_text 1)|$(e2e_control_text 2)" "buttons"
e2e_assert_eq "1034 SysLink visible=1 <a>https://help.example/elevation</a>" \
  "$(e2e_control 1034 | cut -d' ' -f1-3,7-)" "the RFELINK link"
e2e_click_item 1000
xdotool type --delay 20 'Install the printer driver'
session_screenshot dialog 700x300+162+234
e2e_click_item 1
e2e_expect_grant 600 "Install the printer driver"
e2e_end_elevation

session_set_machine Audit 0
session_set_machine TokenElevation 0 REG_SZ
session_set_machine AccessPeriod 5
session_set_machine Language de-de REG_SZ
e2e_tray_down
e2e_tray_up
e2e_assert_eq "Rechte erhöhen für $user|Rechte für 3 Tage erhöhen|Info|Status" "$(e2e_icon_menu 1 1)" \
  "German menu"
session_screenshot menu-de 300x140+724+628
e2e_click_away
e2e_click_tray_icon
e2e_expect_balloon "Ihnen wurden für 1 Minuten lokale Administratorrechte erteilt" 0 "German start balloon"
e2e_expect_balloon "Ihre lokalen Administratorrechte sind abgelaufen" 0 "German expiry balloon" 15
