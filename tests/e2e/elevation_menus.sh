#!/usr/bin/env bash
# The tray's menus as the policy values and the Control key shape them: WM_TRAYICON posted to the
# hidden window while xdotool holds Control, the items read inside the tray's process, and
# "Elevate for 3 days" chosen with a real click on its item, which the service receives as
# 259200 seconds.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

LEFT=0x202 RIGHT=0x205  # WM_LBUTTONUP, WM_RBUTTONUP
user="$E2E_LOGON"

expect_menu() {  # MOUSE_MESSAGE CONTROL EXPECTED WHAT [SCREENSHOT]
  e2e_assert_eq "$3" "$(e2e_menu "$1" "$2")" "$4"
  if [[ -n "${5:-}" ]]; then e2e_screenshot "$5" 300x140+724+628; fi
  if [[ -n "$3" ]]; then e2e_click_away; fi
}

# Defaults: no request item, no days item.
e2e_elevation_case
e2e_tray_up
expect_menu $RIGHT 0 "Elevate $user|About" "right click" menu-right
expect_menu $LEFT 1 "Elevate $user|About|Status" "Control + left click" menu-ctrl-left
# Wine's group stub never lists the user, so Control + right click shows no Settings item.
expect_menu $RIGHT 1 "Elevate $user|About" "Control + right click, not an administrator"

# TokenElevation "1" and ElevateForXDays 3, read at each click.
e2e_set_machine TokenElevation 1 REG_SZ
e2e_set_machine ElevateForXDays 3
expect_menu $LEFT 1 "Request Previleges|Elevate $user|Elevate for 3 days|About|Status" \
  "Control + left click with TokenElevation and ElevateForXDays" menu-ctrl-left-all-items
e2e_assert_eq "Request Previleges|Elevate $user|Elevate for 3 days|About" "$(e2e_menu $RIGHT 0)" \
  "right click with TokenElevation and ElevateForXDays"
e2e_screenshot menu-right-all-items 300x140+724+628

# A real click on "Elevate for 3 days" in the open menu.
read -r _ _ id _ x y _ < <(grep ' Elevate for 3 days$' "$E2E_TMP/menu.txt") ||
  e2e_fail "no days item in: $(cat "$E2E_TMP/menu.txt")"
e2e_assert_eq 32884 "$id" "command id of the days item"
days_text="You have been assigned local administration privileges for 3 day(s)"
before=$(e2e_balloon_count "$days_text")
e2e_click "$x" "$y"
e2e_service_expect_log "Request. user=\"$E2E_LOGGED_USER\" reason=\"no reason\" at-login=0 seconds=259200" \
  "the days item's request" 10
e2e_expect_balloon "$days_text" "$before" "days balloon"
end="$(e2e_timer_end)" || e2e_fail "no timerEnd"
((end - $(date +%s) > 259190)) || e2e_fail "timerEnd $end is not 3 days ahead"
e2e_driver service-emergency || e2e_fail "cannot end the elevation"
e2e_service_expect_log "ends: EMERGENCYSTART." "end of the 3 days"

# DisableManualElevation (subkey PreApproved) is read at start: only About is left, and a left
# click does nothing.
e2e_elevation_case
e2e_reg_add 'HKLM\Software\Ostrand\Velmora\PreApproved' /v DisableManualElevation /t REG_DWORD /d 1
e2e_set_machine TokenElevation 1 REG_SZ
e2e_set_machine ElevateForXDays 3
e2e_tray_up
expect_menu $RIGHT 0 "About" "right click, manual elevation disabled" menu-right-disabled
expect_menu $LEFT 1 "" "Control + left click, manual elevation disabled"
e2e_click_tray_icon
sleep 2
if grep -q 'Request\. ' "$E2E_SERVICE_LOG"; then e2e_fail "a left click requested although disabled"; fi
e2e_pass
