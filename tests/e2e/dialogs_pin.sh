#!/usr/bin/env bash
# The help-desk PIN from the real menu: "Request Previleges" opens the PIN dialog with a user
# code; velmora_pin answers that code from the SharedToken text; the PIN typed into the dialog
# (Return is Accept) is recorded in "hwid" and reaches the reference service as a plain request;
# the same PIN typed again is refused with "The PIN is incorrect" and nothing reaches the service.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

PIN_TOOL="$E2E_BUILD/tools/velmora_pin.exe"
TOKEN=1234567890

open_pin_dialog() {
  e2e_assert_eq "Request Previleges|Elevate $E2E_LOGON|About" "$(e2e_icon_menu 3 0)" "right click"
  e2e_choose "Request Previleges"
  e2e_dialog "PIN Verification"
  code="$(e2e_item_text "$E2E_DIALOG" 1010)"
  [[ "$code" =~ ^[0-9]{4}$ ]] || e2e_fail "user code [$code]"
}
type_pin() {  # PIN SCREENSHOT
  e2e_click_item 1000
  xdotool type --delay 50 "$1"
  e2e_screenshot "$2" 400x300+312+234
  xdotool key Return
  e2e_wait_until 5 e2e_dialog_gone "PIN Verification" || e2e_fail "Return did not accept the PIN"
}

e2e_elevation_case
e2e_set_machine TokenElevation 1 REG_SZ
e2e_set_machine SharedToken "$TOKEN" REG_SZ
e2e_tray_up

open_pin_dialog
pin="$(e2e_run "$PIN_TOOL" "$code" "$TOKEN")" || e2e_fail "velmora_pin $code $TOKEN: $pin"
[[ "$pin" =~ ^[0-9]{6}$ ]] || e2e_fail "velmora_pin printed [$pin]"
e2e_log "user code $code, PIN $pin"
type_pin "$pin" pin
e2e_service_expect_log "Request. user=\"$E2E_LOGGED_USER\" reason=\"no reason\" at-login=0 seconds=120" \
  "the PIN's request" 10
e2e_service_expect_log "Decision. Granted: \"$E2E_LOGGED_USER\" is elevated for 120 seconds." "grant"
used="$(e2e_reg_get "$E2E_USER_KEY" hwid)" || e2e_fail "no hwid after an accepted PIN"
[[ "$used" =~ ^REG_SZ\ [0-9]{4}$ ]] || e2e_fail "hwid holds [$used]"
e2e_driver service-emergency || e2e_fail "cannot end the elevation"
e2e_service_expect_log "ends: EMERGENCYSTART." "end of the elevation"
e2e_wait_until 5 e2e_no_timer_end || e2e_fail "timerEnd is still there after EXPIRE"

# The same PIN again, with the new dialog's code: refused, and the service hears nothing.
open_pin_dialog
type_pin "$pin" pin-replayed
e2e_dialog "PIN Error"
grep -qxF 'TEXT: The PIN is incorrect' "$E2E_TMP/dialog.txt" ||
  e2e_fail "refusal box: $(cat "$E2E_TMP/dialog.txt")"
e2e_screenshot pin-refused 400x300+312+234
xdotool key Return
e2e_wait_until 5 e2e_dialog_gone "PIN Error" || e2e_fail "Return did not close the refusal"
sleep 1
e2e_assert_eq 1 "$(e2e_service_requests)" "requests after the replayed PIN"
e2e_assert_eq "$used" "$(e2e_reg_get "$E2E_USER_KEY" hwid)" "hwid after the replayed PIN"
e2e_tray_log_messages | grep -qxF "CheckPin. Refused: the PIN was used before." ||
  e2e_fail "the log does not say why the PIN was refused"
e2e_pass
