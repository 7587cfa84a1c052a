#!/usr/bin/env bash
# The tray's dialogs, opened from the real menu. Status and Settings, opened with Control + a real
# click, for a copy of the tray beside a netapi32.dll stand-in whose groups the scenario names
# (Wine's own answers the caller's bare name for every group: no order, no failure, and never the
# user with a domain). Status: both lists sorted by the list boxes themselves, the seconds left of
# the running elevation, the error box of a group that cannot be read (the dialog opens after it);
# Return and Escape close it. Settings, only on an administrator's menu, driven with the keyboard:
# UserConfig 2 locks "Resuscitate:"; the changed values travel through the reference service (its
# AllowUnverifiedSettings switch, as Wine lists no logon sessions) into the machine's values, and
# the chosen name shows at once. The help-desk PIN: "Request Previleges" opens the PIN dialog with a
# user code; velmora_pin answers that code from the SharedToken text; the PIN typed into the dialog
# (Return is Accept) is recorded in "hwid" as REG_SZ and reaches the reference service as a plain
# request. About: each version line shows the product version that its file's version resource holds
# (the service's file found from its configuration, quotes, blanks and arguments included), "Not
# found" without the hook library, and the licence as LICENSE holds it (each paragraph one line,
# CRLF line ends); Escape closes it.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

TOKEN=1234567890 TRAY="$SESSION_TRAY"
version="$(strings -el "$SESSION_TRAY" | grep -x -A1 ProductVersion | tail -n1)"

# The menu item ITEM after a click with BUTTON (Control held when CONTROL is 1), and the window
# it opens (ITEM unless WINDOW is given).
open() {  # BUTTON CONTROL ITEM [WINDOW]
  e2e_icon_menu "$1" "$2" >/dev/null
  e2e_choose "$3"
  e2e_dialog "${4:-$3}"
}
text() { e2e_assert_eq "$2" "$(e2e_control_text "$1")" "$3"; }  # ID TEXT WHAT
about() {  # SERVICE_LINE SHELL_LINE
  open 3 0 About
  e2e_assert_eq "$1|$version|$2" "$(e2e_control_text 1015)|$(e2e_control_text 1016)|$(e2e_control_text 1019)" \
    "service, tray and shell lines"
  session_screenshot "about-${1// /-}" 520x640+252+64
}

e2e_elevation_case
session_set_machine AccessPeriod 600
session_set_machine AccessGroup Staff REG_SZ
e2e_tray_copy "$SESSION_TMP/tray" "$SESSION_BUILD/tests/e2e/netapi_double/netapi32.dll"
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;netapi32=n,b"
export VELMORA_E2E_GROUPS='Administrators=CORP\zeta|CORP\alpha|CORP\Mallory;Staff=CORP\bob|CORP\Carol'
e2e_tray_up
e2e_click_tray_icon
e2e_expect_grant 600
open 1 1 Status
text 1005 'CORP\alpha|CORP\Mallory|CORP\zeta' "Administrators, sorted"
text 1006 'CORP\bob|CORP\Carol' "Staff, sorted"
seconds="$(e2e_control 1008 | grep -o ' [0-9]* seconds remain before reverting the previleges$')"
((${seconds%% seconds*} > 540 && ${seconds%% seconds*} <= 600)) || session_fail "time line: $(e2e_control 1008)"
session_screenshot status
e2e_close_dialog Status Return
e2e_end_elevation

# An access group that cannot be read: the error box first, then the dialog.
session_set_machine AccessGroup Ghost REG_SZ
open 1 1 Status Error
e2e_expect_dialog Error "Error obtaining list of members of group Ghost"
e2e_close_dialog Error Return
e2e_dialog Status
e2e_close_dialog Status Escape

session_reg_add "$SESSION_MACHINE_KEY\\Service" /v AllowUnverifiedSettings /t REG_DWORD /d 1
session_set_machine UserConfig 2
session_set_machine AccessPeriod 300
session_set_machine Identity 1
export VELMORA_E2E_GROUPS="Administrators=$SESSION_USER"
e2e_tray_down
e2e_tray_up
open 3 1 Settings
for state in 1002:1:1 1009:1:0 1010:0:0 1011:0:0; do
  IFS=: read -r id enabled checked <<<"$state"
  e2e_assert_eq "enabled=$enabled checked=$checked" "$(e2e_control "$id" | cut -d' ' -f4-5)" "control $id"
done
# 900 typed over 300, Tab to the checked name, Down twice to Domain\Username, Tab to the box,
# Space ticks it, Return is OK.
e2e_click_item 1000
xdotool key --delay 50 End BackSpace BackSpace BackSpace
xdotool type --delay 50 900
xdotool key --delay 100 Tab Down Down Tab space
session_screenshot settings 400x440+312+164
e2e_close_dialog Settings Return
e2e_service_expect_log 'Settings. Stored ElevateAtLogin=1.' "stored" 10
for pair in AccessPeriod=900 Identity=3 Resuscitate=0 ElevateAtLogin=1; do
  e2e_assert_eq "REG_DWORD ${pair#*=}" "$(session_reg_get "$SESSION_MACHINE_KEY" "${pair%=*}" /reg:64)" "${pair%=*}"
done
e2e_assert_eq "Elevate $SESSION_USER|About" "$(e2e_icon_menu 3 0)" "the chosen name at once"
e2e_click_away

# The plain tray, beside the hook library, on a clean state.
e2e_elevation_case
SESSION_TRAY="$TRAY"
session_set_machine TokenElevation 1 REG_SZ
session_set_machine SharedToken "$TOKEN" REG_SZ
e2e_tray_up
# The PIN that velmora_pin answers to the dialog's code, typed; Return is Accept.
open 3 0 "Request Previleges" "PIN Verification"
code="$(e2e_control_text 1010)"
[[ "$code" =~ ^[0-9]{4}$ ]] || session_fail "user code [$code]"
pin="$(session_run "$SESSION_BUILD/tools/velmora_pin.exe" "$code" "$TOKEN")"
[[ "$pin" =~ ^[0-9]{6}$ ]] || session_fail "velmora_pin $code $TOKEN printed [$pin]"
e2e_click_item 1000
xdotool type --delay 50 "$pin"
session_screenshot pin
e2e_close_dialog "PIN Verification" Return
e2e_expect_grant 120
[[ "$(session_reg_get "$SESSION_USER_KEY" hwid)" =~ ^REG_SZ\ [0-9]{4}$ ]] || session_fail "hwid after an accepted PIN"
e2e_end_elevation

about "$version" "$version"
e2e_assert_eq "Velmora for Windows, Standard Edition" "$(e2e_control_text 1014)" "product name"
perl -0pe 's/([^\n])\n(?=[^\n])/$1 /g; s/\n/\r\n/g' "$(dirname "$0")/../../LICENSE" >"$SESSION_TMP/licence.txt"
e2e_control_text 1000 | cmp "$SESSION_TMP/licence.txt" - || session_fail "the licence shown differs from LICENSE"
e2e_close_dialog About Escape
session_service_remove

# A service configured with quotes, a folder with blanks and arguments, whose program (a copy of
# the driver) has product version 9.8.7.6 and file version 1.2.3.4; the tray alone in a folder.
mkdir -p "$SESSION_TMP/service folder"
cp "$E2E_DRIVER" "$SESSION_TMP/service folder/velmora_service.exe"
session_service_create "\"$(session_winpath "$SESSION_TMP/service folder/velmora_service.exe")\" -k \"a b\""
e2e_tray_down
e2e_tray_copy "$SESSION_TMP/tray alone"
e2e_tray_up
about 9.8.7.6 "Not found"
e2e_close_dialog About Escape
