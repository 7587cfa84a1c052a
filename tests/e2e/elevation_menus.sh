#!/usr/bin/env bash
# The tray's menus as the policy values and the Control key shape them: WM_TRAYICON posted to the
# hidden window while xdotool holds Control (GetAsyncKeyState sees keys pressed over the virtual
# desktop), the items read inside the tray's process, and "Elevate for 3 days" chosen with a real
# click on its item, which the service receives as 259200 seconds.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup

WM_TRAYICON=0x401 WM_LBUTTONUP=0x202 WM_RBUTTONUP=0x205
logon="$(e2e_driver expand-env '%USERNAME%')"
logged_user="$(e2e_logged_user)"
main=""

start_tray() {
  local icons
  icons="$(e2e_trace_count 'TOOLTIPS_AddToolT add text L"Velmora"')"
  e2e_start_tray
  main="$(e2e_find_main VelmoraTray.exe 10000)" || e2e_fail "no main window"
  e2e_wait_tray_icon "$icons"
}

# Posts the mouse message (Control held when CONTROL is 1) and prints the menu's items as
# "text|text|...", or nothing when no menu opens within 2 s. Leaves the menu open.
menu_for() {  # MOUSE_MESSAGE CONTROL
  xdotool mousemove --window "$E2E_DESKTOP_X" 1013 758
  if (($2)); then xdotool keydown ctrl; fi
  e2e_driver post "$main" "$WM_TRAYICON" 0 "$1" || e2e_fail "cannot post WM_TRAYICON"
  e2e_driver menu-items VelmoraTray.exe 2000 >"$E2E_TMP/menu.txt" || : >"$E2E_TMP/menu.txt"
  if (($2)); then xdotool keyup ctrl; fi
  cut -d' ' -f7- "$E2E_TMP/menu.txt" | paste -sd'|'
}

expect_menu() {  # MOUSE_MESSAGE CONTROL EXPECTED WHAT [SCREENSHOT]
  local got
  got="$(menu_for "$1" "$2")"
  e2e_assert_eq "$3" "$got" "$4"
  if [[ -n "$3" && -n "${5:-}" ]]; then e2e_screenshot_crop "$5" 300x140+724+628; fi
  if [[ -n "$3" ]]; then e2e_click_away; fi
}

e2e_elevation_case

# Defaults: no request item, no days item.
start_tray
expect_menu $WM_RBUTTONUP 0 "Elevate $logon|About" "right click" menu-right
expect_menu $WM_LBUTTONUP 1 "Elevate $logon|About|Status" "Control + left click" menu-ctrl-left
# Wine's group stub never lists the user, so Control + right click shows no Settings item.
expect_menu $WM_RBUTTONUP 1 "Elevate $logon|About" "Control + right click, not an administrator"

# TokenElevation "1" and ElevateForXDays 3, read at each click.
e2e_set_machine TokenElevation 1 REG_SZ
e2e_set_machine ElevateForXDays 3
expect_menu $WM_LBUTTONUP 1 "Request Previleges|Elevate $logon|Elevate for 3 days|About|Status" \
  "Control + left click with TokenElevation and ElevateForXDays" menu-ctrl-left-all-items
got="$(menu_for $WM_RBUTTONUP 0)"
e2e_assert_eq "Request Previleges|Elevate $logon|Elevate for 3 days|About" "$got" \
  "right click with TokenElevation and ElevateForXDays"
e2e_screenshot_crop menu-right-all-items 300x140+724+628

# A real click on "Elevate for 3 days".
read -r _ _ id _ x y _ < <(grep ' Elevate for 3 days$' "$E2E_TMP/menu.txt") ||
  e2e_fail "no days item in: $(cat "$E2E_TMP/menu.txt")"
e2e_assert_eq 32884 "$id" "command id of the days item"
days_text="You have been assigned local administration privileges for 3 day(s)"
before=$(e2e_balloon_count "$days_text")
xdotool mousemove --window "$E2E_DESKTOP_X" "$x" "$y" click 1
e2e_service_expect_log "Request. user=\"$logged_user\" reason=\"no reason\" at-login=0 seconds=259200" \
  "the days item's request" 10
e2e_expect_balloon "$days_text" "$before" "days balloon"
end="$(e2e_reg_query HKCU 'Software\Ostrand\Velmora' timerEnd)" || e2e_fail "no timerEnd"
end="${end#REG_SZ: }"
((end - $(date +%s) > 259190)) || e2e_fail "timerEnd $end is not 3 days ahead"
e2e_driver service-emergency || e2e_fail "cannot end the elevation"
e2e_service_expect_log "ends: EMERGENCYSTART." "end of the 3 days"

# DisableManualElevation (subkey PreApproved) is read at start: only About is left, and a left click does nothing.
e2e_elevation_case
e2e_reg_add 'HKLM\Software\Ostrand\Velmora\PreApproved' /v DisableManualElevation /t REG_DWORD /d 1 ||
  e2e_fail "cannot set DisableManualElevation"
e2e_set_machine TokenElevation 1 REG_SZ
e2e_set_machine ElevateForXDays 3
start_tray
expect_menu $WM_RBUTTONUP 0 "About" "right click, manual elevation disabled" menu-right-disabled
expect_menu $WM_LBUTTONUP 1 "" "Control + left click, manual elevation disabled"
e2e_click_tray_icon 1
sleep 2
if grep -q 'Request\. ' "$E2E_SERVICE_LOG"; then e2e_fail "a left click requested although disabled"; fi
e2e_pass
