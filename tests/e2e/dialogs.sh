#!/usr/bin/env bash
# Dialogs opened from the real menu. The help-desk PIN: "Request Previleges" opens the PIN dialog
# with a user code; velmora_pin answers that code from the SharedToken text; the PIN typed into
# the dialog (Return is Accept) is recorded in "hwid" and reaches the reference service as a
# plain request; the same PIN typed again is refused with "The PIN is incorrect" and nothing
# reaches the service. About: each version line shows the product version that its file's
# version resource holds (the service's file found from its configuration, quotes, blanks and
# arguments included), "Not found" without the hook library, "not running" without the service,
# and the licence as LICENSE holds it (each paragraph one line, CRLF line ends); Escape and
# Return close it.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

TOKEN=1234567890
version="$(strings -el "$E2E_TRAY" | grep -x -A1 ProductVersion | tail -n1)"

# The PIN dialog from the menu, PIN typed (velmora_pin's answer to its code when empty), Return.
type_pin() {  # [PIN]
  e2e_assert_eq "Request Previleges|Elevate $E2E_LOGON|About" "$(e2e_icon_menu 3 0)" "right click"
  e2e_choose "Request Previleges"
  e2e_dialog "PIN Verification"
  code="$(e2e_control_text 1010)"
  [[ "$code" =~ ^[0-9]{4}$ ]] || e2e_fail "user code [$code]"
  pin="${1:-$(e2e_run "$E2E_BUILD/tools/velmora_pin.exe" "$code" "$TOKEN")}"
  [[ "$pin" =~ ^[0-9]{6}$ ]] || e2e_fail "velmora_pin $code $TOKEN printed [$pin]"
  e2e_click_item 1000
  xdotool type --delay 50 "$pin"
  e2e_screenshot pin
  xdotool key Return
  e2e_wait_until 5 e2e_dialog_gone "PIN Verification" || e2e_fail "Return did not accept the PIN"
}
about() {  # SERVICE_LINE SHELL_LINE
  e2e_icon_menu 3 0 >/dev/null
  e2e_choose About
  e2e_dialog About
  e2e_assert_eq "$1|$version|$2" "$(e2e_control_text 1015)|$(e2e_control_text 1016)|$(e2e_control_text 1019)" \
    "service, tray and shell lines"
  e2e_screenshot "about-${1// /-}" 520x640+252+64
}

e2e_elevation_case
e2e_set_machine TokenElevation 1 REG_SZ
e2e_set_machine SharedToken "$TOKEN" REG_SZ
e2e_tray_up
type_pin
e2e_expect_grant 120
used="$(e2e_reg_get "$E2E_USER_KEY" hwid)" || e2e_fail "no hwid after an accepted PIN"
[[ "$used" =~ ^REG_SZ\ [0-9]{4}$ ]] || e2e_fail "hwid holds [$used]"
e2e_end_elevation
# The same PIN again, with the new dialog's code: refused, and the service hears nothing.
type_pin "$pin"
e2e_expect_dialog "PIN Error" "The PIN is incorrect"
e2e_close_dialog "PIN Error" Return
e2e_assert_eq 1 "$(e2e_service_requests)" "requests after the replayed PIN"
e2e_assert_eq "$used" "$(e2e_reg_get "$E2E_USER_KEY" hwid)" "hwid after the replayed PIN"
e2e_tray_log_messages | grep -qxF "CheckPin. Refused: the PIN was used before." ||
  e2e_fail "the log does not say why the PIN was refused"

about "$version" "$version"
e2e_assert_eq "Velmora for Windows, Standard Edition" "$(e2e_control_text 1014)" "product name"
perl -0pe 's/([^\n])\n(?=[^\n])/$1 /g; s/\n/\r\n/g' "$(dirname "$0")/../../LICENSE" >"$E2E_TMP/licence.txt"
e2e_control_text 1000 | cmp "$E2E_TMP/licence.txt" - || e2e_fail "the licence shown differs from LICENSE"
e2e_close_dialog About Escape
e2e_service_remove
about "not running" "$version"
e2e_close_dialog About Return

# A service configured with quotes, a folder with blanks and arguments, whose program (a copy of
# the driver) has product version 9.8.7.6 and file version 1.2.3.4; the tray alone in a folder.
mkdir -p "$E2E_TMP/service folder"
cp "$E2E_DRIVER" "$E2E_TMP/service folder/velmora_service.exe"
e2e_wine sc create "$E2E_SERVICE_NAME" \
  binPath= "\"$(e2e_winpath "$E2E_TMP/service folder/velmora_service.exe")\" -k \"a b\"" ||
  e2e_fail "sc create failed"
e2e_tray_down
e2e_tray_copy "$E2E_TMP/tray alone"
e2e_tray_up
about 9.8.7.6 "Not found"
e2e_close_dialog About Escape
