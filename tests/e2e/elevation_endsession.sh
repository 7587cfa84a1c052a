#!/usr/bin/env bash
# The end of the session. A log-off that really happens (wParam TRUE) with Resuscitate 0 ends
# the elevation at once, but the tray keeps timerEnd and shows no "expired" balloon, so that its
# next start asks for the rest; a cancelled end is an ordinary expiry. Then each Resuscitate
# value × shutdown/log-off: the tray signals EMERGENCYSTART exactly when the value says so (the
# service logs every one it receives, so its log is the observer).
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

WM_ENDSESSION=0x16 LOGOFF=0x80000000
EXPIRED="Your local administration privileges has expired"
emergencies() { grep -c 'EMERGENCYSTART' "$E2E_SERVICE_LOG" || true; }
expiries() { grep -c 'Signalling EXPIRE' "$E2E_SERVICE_LOG" || true; }

e2e_elevation_case
e2e_set_machine AccessPeriod 300
e2e_tray_up

# Elevated for 300 s, then the log-off happens (Resuscitate missing = 0).
e2e_click_tray_icon
e2e_service_expect_log "Decision. Granted:" "grant" 10
e2e_wait_until 5 e2e_timer_end >/dev/null || e2e_fail "no timerEnd after the grant"
end="$(e2e_timer_end)"
expired_before=$(e2e_balloon_count "$EXPIRED")
e2e_driver post "$E2E_MAIN" $WM_ENDSESSION 1 $LOGOFF || e2e_fail "cannot post WM_ENDSESSION"
e2e_service_expect_log "ends: EMERGENCYSTART." "EMERGENCYSTART at the log-off" 5
e2e_wait_until 5 e2e_more_than 0 expiries || e2e_fail "no EXPIRE after EMERGENCYSTART"
sleep 3  # a balloon shows about 2 s after it is asked for
e2e_assert_eq "$expired_before" "$(e2e_balloon_count "$EXPIRED")" "expired balloons at the log-off"
e2e_assert_eq "$end" "$(e2e_timer_end)" "timerEnd after the log-off's expiry"

# The next logon: the rest is asked for again, with the resuscitation reason.
e2e_expect_resumed_at_restart "$end"
e2e_wait_until 10 grep -aq 'Show tooltip 0, L"You have been assigned local administration privileges for .* (resuscitated)"' \
  "$E2E_DESKTOP_TRACE" || e2e_fail "no resuscitated balloon: $(e2e_balloon_texts)"

# A shutdown that is cancelled (wParam FALSE): the signal still goes, and its expiry is final.
e2e_set_machine Resuscitate 1
e2e_driver post "$E2E_MAIN" $WM_ENDSESSION 0 0 || e2e_fail "cannot post WM_ENDSESSION"
e2e_expect_balloon "$EXPIRED" "$expired_before" "expiry after a cancelled shutdown"
e2e_wait_until 5 e2e_no_timer_end || e2e_fail "timerEnd kept after a cancelled shutdown"

# Resuscitate 0: always; 1: shutdown only; 2: log-off only; 3: never.
for case in "0 0 1" "0 $LOGOFF 1" "1 0 1" "1 $LOGOFF 0" "2 0 0" "2 $LOGOFF 1" "3 0 0" "3 $LOGOFF 0"; do
  read -r mode lparam expected <<<"$case"
  e2e_set_machine Resuscitate "$mode"
  before=$(emergencies)
  e2e_driver post "$E2E_MAIN" $WM_ENDSESSION 1 "$lparam" || e2e_fail "cannot post WM_ENDSESSION"
  if ((expected)); then
    e2e_wait_until 5 e2e_more_than "$before" emergencies ||
      e2e_fail "Resuscitate=$mode lParam=$lparam: no EMERGENCYSTART"
  else
    sleep 1.5
    e2e_assert_eq "$before" "$(emergencies)" "EMERGENCYSTART count, Resuscitate=$mode lParam=$lparam"
  fi
done
e2e_driver find-main VelmoraTray.exe 0 >/dev/null || e2e_fail "the tray ended at WM_ENDSESSION"
e2e_pass
