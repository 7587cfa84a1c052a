#!/usr/bin/env bash
# Status, opened with Control + a real left click on the icon and then its menu item: both lists
# sorted by the list boxes themselves, the access group's heading, the seconds left of the
# running elevation, the error box of a group that cannot be read (the dialog opens after it),
# the access group hidden when unset; Return and Escape close it.
# The groups come from a netapi32.dll stand-in beside a copy of the tray: Wine's own answers the
# caller's bare name for every group, so it can show neither order nor failure.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

# What the stand-in answers: a group not named here does not exist.
export VELMORA_E2E_GROUPS='Administrators=CORP\zeta|CORP\alpha|CORP\Mallory;Staff=CORP\bob|CORP\Carol'

open_status() {
  e2e_assert_eq "Elevate $E2E_LOGON|About|Status" "$(e2e_icon_menu 1 1)" "Control + left click"
  e2e_choose Status
}

close_with() {  # KEY
  xdotool key "$1"
  e2e_wait_until 5 e2e_dialog_gone Status || e2e_fail "$1 did not close Status"
}

e2e_elevation_case
e2e_set_machine AccessPeriod 600
e2e_set_machine AccessGroup Staff REG_SZ
e2e_tray_copy "$E2E_TMP/tray" "$E2E_BUILD/tests/e2e/netapi_double/netapi32.dll"
WINEDLLOVERRIDES="$WINEDLLOVERRIDES;netapi32=n,b" e2e_tray_up

# A running elevation: the line counts its seconds.
e2e_click_tray_icon
e2e_service_expect_log "Decision. Granted: \"$E2E_LOGGED_USER\" is elevated for 600 seconds." \
  "the elevation" 10
e2e_wait_until 5 e2e_timer_end >/dev/null || e2e_fail "no timerEnd after the grant"
open_status
e2e_dialog Status
e2e_assert_eq 'LIST 1005: CORP\alpha|CORP\Mallory|CORP\zeta' "$(e2e_dialog_line 'LIST 1005')" \
  "Administrators, sorted"
e2e_assert_eq 'LIST 1006: CORP\bob|CORP\Carol' "$(e2e_dialog_line 'LIST 1006')" "Staff, sorted"
e2e_assert_eq "Staff members" "$(e2e_item_text "$E2E_DIALOG" 1007)" "access group heading"
line="$(e2e_item_text "$E2E_DIALOG" 1008)"
[[ "$line" =~ ^([0-9]+)\ seconds\ remain\ before\ reverting\ the\ previleges$ ]] &&
  ((BASH_REMATCH[1] > 540 && BASH_REMATCH[1] <= 600)) || e2e_fail "time line: [$line]"
e2e_screenshot status 640x400+192+184
close_with Return
e2e_driver service-emergency || e2e_fail "cannot end the elevation"
e2e_service_expect_log "ends: EMERGENCYSTART." "end of the elevation"

# An access group that cannot be read: the error box first, then the dialog without its members.
e2e_set_machine AccessGroup Ghost REG_SZ
open_status
e2e_dialog Error
grep -qxF 'TEXT: Error obtaining list of members of group Ghost' "$E2E_TMP/dialog.txt" ||
  e2e_fail "error box: $(cat "$E2E_TMP/dialog.txt")"
e2e_screenshot status-error 640x400+192+184
xdotool key Return
e2e_dialog Status
e2e_assert_eq "Ghost members" "$(e2e_item_text "$E2E_DIALOG" 1007)" "heading of the unknown group"
e2e_assert_eq 'LIST 1006: ' "$(e2e_dialog_line 'LIST 1006')" "members of the unknown group"
e2e_assert_eq "" "$(e2e_item_text "$E2E_DIALOG" 1008)" "time line without an elevation"
close_with Escape

# No access group: its heading and list are hidden.
e2e_wine reg delete 'HKLM\Software\Ostrand\Velmora' /v AccessGroup /f || e2e_fail "reg delete"
open_status
e2e_dialog Status
e2e_dialog_line 'CONTROL 1006 ListBox visible=0' >/dev/null
e2e_dialog_line 'CONTROL 1007 Static visible=0' >/dev/null
e2e_screenshot status-no-access-group 640x400+192+184
close_with Return
e2e_pass
