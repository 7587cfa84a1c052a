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

ms() { echo $(($(date +%s%N) / 1000000)); }
computer="${E2E_USER%%\\*}"
service_key='HKLM\Software\Ostrand\Velmora\Service'

expect_answer() {  # EXPECTED WHAT DRIVER-ARGS...
  local answer
  answer="$(e2e_driver "${@:3}")" || true
  [[ "$answer" == *"$1" ]] || e2e_fail "$2: expected $1, got [$answer]
$(tr -d '\r' <"$E2E_SERVICE_LOG")"
}

expect_dwords() {  # NAME=VALUE...
  local pair
  for pair in "$@"; do
    e2e_assert_eq "REG_DWORD ${pair#*=}" \
      "$(e2e_reg_get 'HKLM\Software\Ostrand\Velmora' "${pair%=*}" /reg:64 || echo missing)" \
      "machine value ${pair%=*}"
  done
}

e2e_clean_state
e2e_service_install
e2e_service_start || e2e_fail "the service did not start (exit code $E2E_SERVICE_EXIT)"
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
expect_answer START "period request" service-request "$E2E_USER" \
  $'Fix printer\r\n[01.01.2020 00:00:00] Decision. Granted: "X\\evil"' 0 2 10000
started=$(ms)
e2e_service_expect_log "Request. user=\"$E2E_LOGGED_USER\" reason=\"Fix printer\\x0D\\x0A[01.01.2020 00:00:00] Decision. Granted: \\\"X\\\\evil\\\"\" at-login=0 seconds=2" \
  "decoded request"
e2e_service_expect_log "is accepted as a local account of \"$computer\"" "identity path"
e2e_service_expect_log "Group. Group change not visible on this platform" "Wine's group stub"
e2e_service_expect_log "Decision. Granted: \"$E2E_LOGGED_USER\" is elevated for 2 seconds." "grant"
if grep -q '^\[01\.01\.2020' "$E2E_SERVICE_LOG"; then e2e_fail "the reason forged a log line"; fi

expect_answer EXPIRE "end of the period" service-wait 10000
elapsed=$(($(ms) - started))
((elapsed >= 1500 && elapsed <= 8000)) || e2e_fail "EXPIRE came after $elapsed ms, not about 2 s"
e2e_service_expect_log "ends: the period is over." "expiry"

# At login: no end of its own; EMERGENCYSTART ends it at once.
e2e_set_machine ElevateAtLogin 1
expect_answer START "request at login" service-request "$E2E_USER" startup 1 0 10000
expect_answer TIMEOUT "elevation at login" service-wait 1500
e2e_driver service-emergency || e2e_fail "cannot set EMERGENCYSTART"
expect_answer EXPIRE "EMERGENCYSTART" service-wait 5000
e2e_service_expect_log "ends: EMERGENCYSTART." "emergency"

# Refusals: the machine's Deny value, a domain account Wine cannot vouch for, a bad record.
e2e_reg_add "$service_key" /v Deny /t REG_DWORD /d 1 /reg:64
expect_answer FORBID "Deny=1" service-request "$E2E_USER" "no reason" 0 60 10000
e2e_service_expect_log "Decision. Refused: the machine value Deny is 1." "deny"
e2e_wine reg delete "$service_key" /v Deny /f /reg:64 || e2e_fail "cannot delete Deny"
expect_answer FORBID "domain account" service-request "OTHERDOMAIN\\$E2E_LOGON" "no reason" 0 60 10000
e2e_service_expect_log "is not a local account of \"$computer\"" "domain account"
expect_answer FORBID "at login with seconds" service-request "$E2E_USER" startup 1 5 10000
e2e_service_expect_log "an elevation at login must carry 0 seconds" "invalid record"

# Settings: refused while the writer cannot be vouched for; stored once the machine allows it;
# an invalid record changes nothing.
e2e_driver service-settings 600 3 2 1 || e2e_fail "cannot send the settings record"
e2e_service_expect_log "Settings. Refused: the platform does not list logon sessions" "settings gate"
if e2e_reg_get 'HKLM\Software\Ostrand\Velmora' AccessPeriod /reg:64 >/dev/null; then
  e2e_fail "AccessPeriod was stored although the record was refused"
fi
e2e_reg_add "$service_key" /v AllowUnverifiedSettings /t REG_DWORD /d 1 /reg:64
e2e_driver service-settings 600 3 2 1 || e2e_fail "cannot send the settings record"
e2e_service_expect_log "Settings. Stored ElevateAtLogin=1." "settings stored"
expect_dwords AccessPeriod=600 Identity=3 Resuscitate=2 ElevateAtLogin=1
e2e_driver service-settings 12a 1 0 0 || e2e_fail "cannot send the settings record"
e2e_service_expect_log "Settings. Record rejected: the access period" "invalid settings"
expect_dwords AccessPeriod=600 ElevateAtLogin=1

# A service killed during an elevation removes the membership at its next start.
expect_answer START "request before the crash" service-request "$E2E_USER" "no reason" 0 600 10000
e2e_driver terminate VelmoraFrameworkService.exe 1 10000 >/dev/null || e2e_fail "cannot kill"
# Wine's service manager misses the death and still says RUNNING, but starts a new instance.
e2e_wine sc start "$E2E_SERVICE_NAME" || true
# A function, so that each try counts again (a $(...) argument would be counted once).
running_twice() { (($(grep -c 'Service. Running.' "$E2E_SERVICE_LOG") >= 2)); }
e2e_wait_until 20 running_twice || e2e_fail "the service did not start again"
e2e_service_expect_log "Recovery. \"$E2E_LOGGED_USER\" was added to Administrators by an earlier run" \
  "crash recovery"
e2e_service_expect_log "Elevation. Signalling EXPIRE." "crash recovery"

# Stopping the service ends a running elevation and tells the tray.
expect_answer START "request before the stop" service-request "$E2E_USER" "no reason" 0 600 10000
e2e_driver_bg answer WAITING service-wait 20000
e2e_service_stop || e2e_fail "the service did not stop within 20 s"
e2e_wait_until 10 grep -q EXPIRE "$E2E_TMP/answer.out" ||
  e2e_fail "no EXPIRE at service stop: $(cat "$E2E_TMP/answer.out")"
e2e_service_expect_log "ends: the service is stopping." "stop"
e2e_service_expect_log "Service. Stopped." "stop"

# Squatted names: an event made by someone else, and a name taken by another kind of object.
squatted() {  # KIND NAME EXIT-CODE LOG-LINE
  e2e_clean_state
  e2e_driver_bg "squat-$1" HELD hold "$1" "$2" 60000
  e2e_service_install
  if e2e_service_start; then e2e_fail "the service serves beside a squatted $1"; fi
  e2e_assert_eq "$3" "$E2E_SERVICE_EXIT" "exit code after a squatted $1"
  e2e_service_expect_log "$4" "squatted $1"
}
squatted event 'Global\___ADMIN_ACCESS__312' 183 \
  "Objects. Global\\___ADMIN_ACCESS__312 already exists and was not created by the service"
e2e_service_expect_log "refusing to serve." "squatted event"
squatted mutex 'Global\__START_EVENT__' 6 \
  "Objects. Cannot create Global\\__START_EVENT__: error 6 (the name belongs to another kind of object): refusing to serve."
if grep -q "Service. Running." "$E2E_SERVICE_LOG"; then e2e_fail "the service reported running"; fi
e2e_pass
