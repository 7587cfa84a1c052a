#!/usr/bin/env bash
# Settings, opened by an administrator with Control + a real right click on the icon and then
# its item, driven with the keyboard: UserConfig 2 locks "Resuscitate:"; the changed values travel
# through the reference service (its AllowUnverifiedSettings switch, as Wine lists no logon
# sessions) into the machine's values, the chosen name shows at once, Escape sends nothing, and
# OK with no name chosen sends no identity and shows no name.
# The user is an administrator only through a netapi32.dll stand-in beside a copy of the tray:
# Wine's own never lists the user with a domain.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

KEY='HKLM\Software\Ostrand\Velmora'

open_settings() {
  e2e_assert_eq "$1|About|Settings" "$(e2e_icon_menu 3 1)" "Control + right click"
  e2e_choose Settings
  e2e_dialog Settings
}
expect_state() {  # ID ENABLED CHECKED
  e2e_assert_eq "STATE $1 enabled=$2 checked=$3" "$(e2e_dialog_line "STATE $1 ")" "control $1"
}
expect_stored() {  # NAME VALUE
  e2e_assert_eq "REG_DWORD $2" "$(e2e_reg_get "$KEY" "$1")" "stored $1"
}
records() { grep -c 'Settings\. access-period=' "$E2E_SERVICE_LOG" || true; }

e2e_elevation_case
e2e_reg_add "$KEY\\Service" /v AllowUnverifiedSettings /t REG_DWORD /d 1
e2e_set_machine UserConfig 2
e2e_set_machine AccessPeriod 300
e2e_set_machine Identity 1
export VELMORA_E2E_GROUPS="Administrators=$E2E_USER"
e2e_tray_copy "$E2E_TMP/tray" "$E2E_BUILD/tests/e2e/netapi_double/netapi32.dll"
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;netapi32=n,b" e2e_tray_up

open_settings "Elevate $E2E_LOGON"
e2e_assert_eq 300 "$(e2e_item_text "$E2E_DIALOG" 1000)" "access period shown"
e2e_assert_eq 0 "$(e2e_item_text "$E2E_DIALOG" 1010)" "resuscitate shown"
expect_state 1002 1 1
expect_state 1009 1 0
expect_state 1010 0 0
expect_state 1011 0 0
# 900 typed over 300, Tab to the checked name, Down twice to Domain\Username, Tab to the box,
# Space ticks it, Return is OK.
e2e_click_item 1000
xdotool key --delay 50 End BackSpace BackSpace BackSpace
xdotool type --delay 50 900
xdotool key --delay 100 Tab Down Down Tab space
e2e_dialog Settings
expect_state 1004 1 1
expect_state 1009 1 1
e2e_screenshot settings 400x440+312+164
xdotool key Return
e2e_wait_until 5 e2e_dialog_gone Settings || e2e_fail "Return did not close Settings"
e2e_service_expect_log 'Settings. access-period="900" identity=3 resuscitate=0 elevate-at-login=1' \
  "the record" 10
e2e_service_expect_log 'Settings. Stored ElevateAtLogin=1.' "stored"
expect_stored AccessPeriod 900
expect_stored Identity 3
expect_stored Resuscitate 0
expect_stored ElevateAtLogin 1
e2e_assert_eq "Elevate $E2E_USER|About" "$(e2e_icon_menu 3 0)" "the chosen name at once"
e2e_click_away

# Escape: nothing is sent.
open_settings "Elevate $E2E_USER"
e2e_assert_eq 900 "$(e2e_item_text "$E2E_DIALOG" 1000)" "access period read back"
expect_state 1004 1 1
xdotool key Escape
e2e_wait_until 5 e2e_dialog_gone Settings || e2e_fail "Escape did not close Settings"
sleep 1
e2e_assert_eq 1 "$(records)" "records after Escape"

# An Identity no choice stands for: none is checked, and OK sends none and shows no name.
e2e_set_machine Identity 7
open_settings "Elevate $E2E_USER"
for id in 1002 1003 1004; do expect_state $id 1 0; done
xdotool key Return
e2e_service_expect_log 'Settings. access-period="900" identity=none resuscitate=0' "no choice" 10
expect_stored Identity 7
e2e_assert_eq "Elevate |About" "$(e2e_icon_menu 3 0)" "no name after no choice"
e2e_click_away
e2e_pass
