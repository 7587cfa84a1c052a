#!/usr/bin/env bash
# Audit=1 and AuditRFE=1: a click opens the reason dialog (with the RFELINK link); the typed
# reason travels to the service in the request, a reason under three characters keeps the
# dialog open, and Cancel sends nothing.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

e2e_elevation_case
e2e_set_machine Audit 1
e2e_set_machine AuditRFE 1
e2e_set_machine AccessPeriod 600
e2e_reg_add "$E2E_USER_KEY" /v RFELINK /t REG_SZ /d 'https://help.example/elevation'
e2e_tray_up

# A click on the icon opens the dialog: described in dialog.txt, its HWND left in $dialog.
open_dialog() {
  e2e_click_tray_icon
  e2e_driver window Velmora 10000 VelmoraTray.exe >"$E2E_TMP/dialog.txt" ||
    e2e_fail "no reason dialog after the click"
  dialog="$(sed -n 's/^HWND: //p' "$E2E_TMP/dialog.txt")"
}
dialog_gone() { ! e2e_driver window Velmora 0 VelmoraTray.exe >/dev/null; }

open_dialog
for line in 'TEXT: Reason for elevation' 'BUTTON 1: Elevate' 'BUTTON 2: Cancel' \
  'TEXT: <a>https://help.example/elevation</a>'; do
  grep -qxF "$line" "$E2E_TMP/dialog.txt" || e2e_fail "no [$line] in: $(cat "$E2E_TMP/dialog.txt")"
done
grep -q '^CONTROL 1034 SysLink visible=1 ' "$E2E_TMP/dialog.txt" || e2e_fail "the RFELINK link is hidden"

# Two characters: the dialog stays and nothing is sent.
e2e_driver set-item-text "$dialog" 1000 'ab' || e2e_fail "cannot type the reason"
e2e_driver click-item "$dialog" 1 || e2e_fail "cannot press Elevate"
sleep 1
e2e_driver window Velmora 500 VelmoraTray.exe >/dev/null || e2e_fail "a 2-character reason closed the dialog"
e2e_assert_eq 0 "$(e2e_service_requests)" "requests after a 2-character reason"

# Typed for real: a click into the edit box, then xdotool types.
e2e_driver set-item-text "$dialog" 1000 '' || e2e_fail "cannot clear the reason"
edit="$(sed -n 's/^CONTROL 1000 Edit visible=1 centre=//p' "$E2E_TMP/dialog.txt")"
[[ -n "$edit" ]] || e2e_fail "no edit box: $(cat "$E2E_TMP/dialog.txt")"
e2e_click "${edit%,*}" "${edit#*,}"
xdotool type --delay 20 'Install the printer driver'
e2e_screenshot dialog 700x300+162+234
e2e_screenshot dialog-full
e2e_driver click-item "$dialog" 1 || e2e_fail "cannot press Elevate"
e2e_service_expect_log "Request. user=\"$E2E_LOGGED_USER\" reason=\"Install the printer driver\" at-login=0 seconds=600" \
  "the typed reason" 10
e2e_service_expect_log "Decision. Granted: \"$E2E_LOGGED_USER\" is elevated for 600 seconds." "grant"
e2e_wait_until 5 e2e_timer_end >/dev/null || e2e_fail "no timerEnd after the grant"
e2e_driver service-emergency || e2e_fail "cannot end the elevation"
e2e_service_expect_log "ends: EMERGENCYSTART." "end of the elevation"
e2e_wait_until 5 e2e_no_timer_end || e2e_fail "timerEnd is still there after EXPIRE"

# Cancel: the dialog closes and nothing reaches the service; a later click opens it again.
open_dialog
e2e_driver set-item-text "$dialog" 1000 'never sent' || e2e_fail "cannot type the reason"
e2e_driver click-item "$dialog" 2 || e2e_fail "cannot press Cancel"
e2e_wait_until 5 dialog_gone || e2e_fail "Cancel did not close the dialog"
sleep 1
e2e_assert_eq 1 "$(e2e_service_requests)" "requests after Cancel"
if grep -q 'never sent' "$E2E_SERVICE_LOG"; then e2e_fail "a cancelled reason reached the service"; fi
open_dialog
e2e_driver click-item "$dialog" 2 || e2e_fail "cannot press Cancel"
e2e_pass
