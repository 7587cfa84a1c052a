#!/usr/bin/env bash
# The reference service in Wine's service manager, driven through the tray's own channel code:
# the objects it creates and their DACLs, a granted request as the log decodes it (a reason that
# tries to forge a log line included), expiry after the period, EMERGENCYSTART, refusals, the
# settings record into the machine values, the end of an elevation at service stop, and a
# service that refuses to serve when someone else holds one of its names.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

computer="${E2E_USER%%\\*}"
SERVICE_KEY="$E2E_MACHINE_KEY\\Service"
request() { e2e_expect_answer "$1" "$2" service-request "$3" "$4" "$5" "$6" 10000; }  # ANSWER WHAT USER REASON AT-LOGIN SECONDS
answer() { e2e_expect_answer "$1" "$2" service-wait "$3"; }  # ANSWER WHAT TIMEOUT_MS

e2e_clean_state
e2e_service_up
e2e_service_expect_log "Service. Running." "start-up"

# Objects: an explicit DACL, interactive users get exactly what the tray's opens ask for.
for event in START_EVENT__ EXPIRE_EVENT__ FORBID_EVENT__ EMERGENCYSTART_EVENT__ \
  _ADMIN_ACCESS__312 _ADMIN_ACCESS__313; do
  e2e_assert_eq 'D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x1f0003;;;IU)' \
    "$(e2e_driver object-dacl event "Global\\__$event")" "DACL of $event"
done
e2e_assert_eq 'D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;CCDCLCSWRPSDRCWDWO;;;IU)' \
  "$(e2e_driver object-dacl mapping 'Global\__SHARED_312')" "DACL of the block"

# A granted period, decoded in the log; the reason's CR LF and quotes stay inside its line.
request START "period request" "$E2E_USER" \
  $'Fix printer\r\n[01.01.2020 00:00:00] Decision. Granted: "X\\evil"' 0 2
started=$(date +%s%N)
e2e_service_expect_log "Request. user=\"$E2E_LOGGED_USER\" reason=\"Fix printer\\x0D\\x0A[01.01.2020 00:00:00] Decision. Granted: \\\"X\\\\evil\\\"\" at-login=0 seconds=2" \
  "decoded request"
e2e_service_expect_log "is accepted as a local account of \"$computer\"" "identity path"
e2e_service_expect_log "Group. Group change not visible on this platform" "Wine's group stub"
e2e_service_expect_log "Decision. Granted: \"$E2E_LOGGED_USER\" is elevated for 2 seconds." "grant"
! grep -q '^\[01\.01\.2020' "$E2E_SERVICE_LOG" || e2e_fail "the reason forged a log line"
answer EXPIRE "end of the period" 10000
elapsed=$((($(date +%s%N) - started) / 1000000))
((elapsed >= 1500 && elapsed <= 8000)) || e2e_fail "EXPIRE came after $elapsed ms, not about 2 s"
e2e_service_expect_log "ends: the period is over." "expiry"

# At login: no end of its own; EMERGENCYSTART ends it at once.
e2e_set_machine ElevateAtLogin 1
request START "request at login" "$E2E_USER" startup 1 0
answer TIMEOUT "elevation at login" 1500
e2e_emergency
answer EXPIRE "EMERGENCYSTART" 5000
e2e_service_expect_log "ends: EMERGENCYSTART." "emergency"

# Refusals: the machine's Deny value, a domain account Wine cannot vouch for, a bad record.
e2e_reg_add "$SERVICE_KEY" /v Deny /t REG_DWORD /d 1 /reg:64
request FORBID "Deny=1" "$E2E_USER" "no reason" 0 60
e2e_service_expect_log "Decision. Refused: the machine value Deny is 1." "deny"
e2e_reg_delete "$SERVICE_KEY" /v Deny /reg:64
request FORBID "domain account" "OTHERDOMAIN\\$E2E_LOGON" "no reason" 0 60
e2e_service_expect_log "is not a local account of \"$computer\"" "domain account"
request FORBID "at login with seconds" "$E2E_USER" startup 1 5
e2e_service_expect_log "an elevation at login must carry 0 seconds" "invalid record"

# Settings: refused while the writer cannot be vouched for; stored once the machine allows it;
# an invalid record changes nothing.
e2e_driver service-settings 600 3 2 1
e2e_service_expect_log "Settings. Refused: the platform does not list logon sessions" "settings gate"
! e2e_reg_get "$E2E_MACHINE_KEY" AccessPeriod /reg:64 || e2e_fail "a refused record was stored"
e2e_reg_add "$SERVICE_KEY" /v AllowUnverifiedSettings /t REG_DWORD /d 1 /reg:64
e2e_driver service-settings 600 3 2 1
e2e_service_expect_log "Settings. Stored ElevateAtLogin=1." "settings stored"
e2e_expect_dwords AccessPeriod=600 Identity=3 Resuscitate=2 ElevateAtLogin=1
e2e_driver service-settings 12a 1 0 0
e2e_service_expect_log "Settings. Record rejected: the access period" "invalid settings"
e2e_expect_dwords AccessPeriod=600 ElevateAtLogin=1

# A service killed during an elevation removes the membership at its next start.
request START "request before the crash" "$E2E_USER" "no reason" 0 600
e2e_driver terminate VelmoraFrameworkService.exe 1 10000 || e2e_fail "cannot kill the service"
# Wine's service manager misses the death and still says RUNNING, but starts a new instance.
e2e_wine sc start "$E2E_SERVICE_NAME" || true
e2e_wait_until 20 e2e_more_than 1 grep -c 'Service. Running.' "$E2E_SERVICE_LOG" ||
  e2e_fail "the service did not start again"
e2e_service_expect_log "Recovery. \"$E2E_LOGGED_USER\" was added to Administrators by an earlier run" \
  "crash recovery"
e2e_service_expect_log "Elevation. Signalling EXPIRE." "crash recovery"

# Stopping the service ends a running elevation and tells the tray.
request START "request before the stop" "$E2E_USER" "no reason" 0 600
e2e_driver_bg answer WAITING service-wait 20000
e2e_service_stop || e2e_fail "the service did not stop within 20 s"
e2e_wait_until 10 grep -q EXPIRE "$E2E_TMP/answer.out" || e2e_fail "no EXPIRE at service stop"
e2e_service_expect_log "ends: the service is stopping." "stop"
e2e_service_expect_log "Service. Stopped." "stop"

# Squatted names: an event made by someone else, and a name taken by another kind of object.
for squat in "event Global\\___ADMIN_ACCESS__312 183 Global\\___ADMIN_ACCESS__312 already exists and was not created by the service" \
  "mutex Global\\__START_EVENT__ 6 Cannot create Global\\__START_EVENT__: error 6 (the name belongs to another kind of object)"; do
  read -r kind name code text <<<"$squat"
  e2e_clean_state
  e2e_driver_bg "squat-$kind" HELD hold "$kind" "$name" 60000
  e2e_service_install
  ! e2e_service_start || e2e_fail "the service serves beside a squatted $kind"
  e2e_assert_eq "$code" "$E2E_SERVICE_EXIT" "exit code after a squatted $kind"
  e2e_service_expect_log "Objects. $text" "squatted $kind"
  e2e_service_expect_log "refusing to serve." "squatted $kind"
  ! grep -q "Service. Running." "$E2E_SERVICE_LOG" || e2e_fail "the service reported running"
done
