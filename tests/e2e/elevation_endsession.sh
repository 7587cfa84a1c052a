#!/usr/bin/env bash
# WM_ENDSESSION with each Resuscitate value, for a shutdown and for a log-off: the tray signals
# EMERGENCYSTART exactly when the value says so. The running service logs every EMERGENCYSTART
# it receives (one auto-reset event, one waiter), so its log is the observer.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup

WM_ENDSESSION=0x16 LOGOFF=0x80000000
emergencies() { grep -c 'EMERGENCYSTART' "$E2E_SERVICE_LOG" || true; }
more_emergencies_than() { (($(emergencies) > $1)); }

e2e_elevation_case
e2e_set_machine AccessPeriod 600
e2e_start_tray
main="$(e2e_find_main VelmoraTray.exe 10000)" || e2e_fail "no main window"
e2e_wait_tray_icon

# A running elevation, Resuscitate missing (= 0), log-off: the service ends it at once.
e2e_click_tray_icon 1
e2e_service_expect_log "Decision. Granted:" "grant" 10
before=$(emergencies)
e2e_driver post "$main" $WM_ENDSESSION 1 $LOGOFF || e2e_fail "cannot post WM_ENDSESSION"
e2e_service_expect_log "ends: EMERGENCYSTART." "log-off with Resuscitate missing" 5
# The session really ends: the tray keeps timerEnd for the next logon and says nothing.
sleep 3
e2e_reg_query HKCU 'Software\Ostrand\Velmora' timerEnd >/dev/null ||
  e2e_fail "timerEnd was not kept for the next logon"
e2e_assert_eq 0 "$(e2e_balloon_count "Your local administration privileges has expired")" \
  "expired balloons at the end of the session"

# Resuscitate 0: always; 1: shutdown only; 2: log-off only; 3: never.
for case in "0 0 1" "0 $LOGOFF 1" "1 0 1" "1 $LOGOFF 0" "2 0 0" "2 $LOGOFF 1" "3 0 0" "3 $LOGOFF 0"; do
  read -r mode lparam expected <<<"$case"
  e2e_set_machine Resuscitate "$mode"
  before=$(emergencies)
  e2e_driver post "$main" $WM_ENDSESSION 1 "$lparam" || e2e_fail "cannot post WM_ENDSESSION"
  if ((expected)); then
    e2e_wait_until 5 more_emergencies_than "$before" ||
      e2e_fail "Resuscitate=$mode lParam=$lparam: no EMERGENCYSTART"
  else
    sleep 1.5
    e2e_assert_eq "$before" "$(emergencies)" "EMERGENCYSTART count, Resuscitate=$mode lParam=$lparam"
  fi
done
e2e_driver find-main VelmoraTray.exe 0 >/dev/null || e2e_fail "the tray ended at WM_ENDSESSION"
e2e_pass
