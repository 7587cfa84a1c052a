#!/usr/bin/env bash
# The reference service in Wine's service manager, driven through the tray's own channel code:
# the objects it creates and their DACLs, a granted request as the log decodes it (a reason that
# tries to forge a log line included), expiry after the period, EMERGENCYSTART, refusals, the
# settings record into the machine values, the end of an elevation at service stop, and a
# service that refuses to serve when someone else holds one of its names.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup

ms() { echo $(($(date +%s%N) / 1000000)); }

expect_answer() {  # EXPECTED WHAT DRIVER-ARGS...
  local expected="$1" what="$2" answer
  shift 2
  answer="$(e2e_driver "$@")" || true
  [[ "$answer" == *"$expected" ]] || e2e_fail "$what: expected $expected, got [$answer]
$(e2e_service_log)"
}

expect_dword() {  # NAME VALUE
  local got
  got="$(e2e_reg_query HKLM 'Software\Ostrand\Velmora' "$1" 64)" || got=missing
  e2e_assert_eq "REG_DWORD: $2" "$got" "machine value $1"
}

e2e_clean_state
e2e_service_install
e2e_service_start || e2e_fail "the service did not start (exit code $E2E_SERVICE_EXIT)"
e2e_service_expect_log "Service. Running." "start-up"

# Objects: an explicit DACL, interactive users get exactly what the tray's opens ask for.
for event in START_EVENT__ EXPIRE_EVENT__ FORBID_EVENT__ EMERGENCYSTART_EVENT__ \
  _ADMIN_ACCESS__312 _ADMIN_ACCESS__313; do
  dacl="$(e2e_driver object-dacl event "Global\\__$event")" || e2e_fail "no event $event"
  e2e_assert_eq 'D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x1f0003;;;IU)' "$dacl" "DACL of $event"
done
dacl="$(e2e_driver object-dacl mapping 'Global\__SHARED_312')" || e2e_fail "no shared block"
e2e_assert_eq 'D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;CCDCLCSWRPSDRCWDWO;;;IU)' "$dacl" "DACL of the block"

# A granted period, decoded in the log; the reason's CR LF and quotes stay inside its line.
user="$(e2e_driver expand-env '%USERDOMAIN%\%USERNAME%')"
computer="${user%%\\*}"
logged_user="${user//\\/\\\\}"
expect_answer START "period request" service-request "$user" \
  'Fix printer\r\n[01.01.2020 00:00:00] Decision. Granted: \u0022X\\evil\u0022' 0 2 10000
started=$(ms)
e2e_service_expect_log "Request. user=\"$logged_user\" reason=\"Fix printer\\x0D\\x0A[01.01.2020 00:00:00] Decision. Granted: \\\"X\\\\evil\\\"\" at-login=0 seconds=2" \
  "decoded request"
e2e_service_expect_log "is accepted as a local account of \"$computer\"" "identity path"
e2e_service_expect_log "Group. Group change not visible on this platform" "Wine's group stub"
e2e_service_expect_log "Decision. Granted: \"$logged_user\" is elevated for 2 seconds." "grant"
if grep -q '^\[01\.01\.2020' "$E2E_SERVICE_LOG"; then e2e_fail "the reason forged a log line"; fi

expect_answer EXPIRE "end of the period" service-wait 10000
elapsed=$(($(ms) - started))
((elapsed >= 1500 && elapsed <= 8000)) || e2e_fail "EXPIRE came after $elapsed ms, not about 2 s"
e2e_service_expect_log "ends: the period is over." "expiry"

# At login: no end of its own; EMERGENCYSTART ends it at once.
e2e_set_machine ElevateAtLogin 1
expect_answer START "request at login" service-request "$user" startup 1 0 10000
expect_answer TIMEOUT "elevation at login" service-wait 1500
e2e_driver service-emergency || e2e_fail "cannot set EMERGENCYSTART"
expect_answer EXPIRE "EMERGENCYSTART" service-wait 5000
e2e_service_expect_log "ends: EMERGENCYSTART." "emergency"

# Refusals: the machine's Deny value, a domain account Wine cannot vouch for, a bad record.
e2e_reg_add 'HKLM\Software\Ostrand\Velmora\Service' /v Deny /t REG_DWORD /d 1 /reg:64 ||
  e2e_fail "cannot set Deny"
expect_answer FORBID "Deny=1" service-request "$user" "no reason" 0 60 10000
e2e_service_expect_log "Decision. Refused: the machine value Deny is 1." "deny"
e2e_reg_delete 'HKLM\Software\Ostrand\Velmora\Service' /v Deny /reg:64
expect_answer FORBID "domain account" service-request "OTHERDOMAIN\\${user#*\\}" "no reason" 0 60 10000
e2e_service_expect_log "is not a local account of \"$computer\"" "domain account"
expect_answer FORBID "at login with seconds" service-request "$user" startup 1 5 10000
e2e_service_expect_log "an elevation at login must carry 0 seconds" "invalid record"

# Settings: refused while the writer cannot be vouched for; stored once the machine allows it;
# an invalid record changes nothing.
e2e_driver service-settings 600 3 2 1 || e2e_fail "cannot send the settings record"
e2e_service_expect_log "Settings. Refused: the platform does not list logon sessions" "settings gate"
if e2e_reg_query HKLM 'Software\Ostrand\Velmora' AccessPeriod 64 >/dev/null; then
  e2e_fail "AccessPeriod was stored although the record was refused"
fi
e2e_reg_add 'HKLM\Software\Ostrand\Velmora\Service' /v AllowUnverifiedSettings /t REG_DWORD \
  /d 1 /reg:64 || e2e_fail "cannot set AllowUnverifiedSettings"
e2e_driver service-settings 600 3 2 1 || e2e_fail "cannot send the settings record"
e2e_service_expect_log "Settings. Stored ElevateAtLogin=1." "settings stored"
expect_dword AccessPeriod 600
expect_dword Identity 3
expect_dword Resuscitate 2
expect_dword ElevateAtLogin 1
e2e_driver service-settings 12a 1 0 0 || e2e_fail "cannot send the settings record"
e2e_service_expect_log "Settings. Record rejected: the access period" "invalid settings"
expect_dword AccessPeriod 600
expect_dword ElevateAtLogin 1

# A service killed during an elevation removes the membership at its next start.
expect_answer START "request before the crash" service-request "$user" "no reason" 0 600 10000
e2e_driver terminate VelmoraFrameworkService.exe 1 10000 >/dev/null || e2e_fail "cannot kill"
# Wine's service manager misses the death and still says RUNNING, but starts a new instance.
e2e_wine sc start "$E2E_SERVICE_NAME" || true
# A function, so that each try counts again (a $(...) argument would be counted once).
running_twice() { (($(grep -c 'Service. Running.' "$E2E_SERVICE_LOG") >= 2)); }
e2e_wait_until 20 running_twice || e2e_fail "the service did not start again"
e2e_service_expect_log "Recovery. \"$logged_user\" was added to Administrators by an earlier run" \
  "crash recovery"
e2e_service_expect_log "Elevation. Signalling EXPIRE." "crash recovery"

# Stopping the service ends a running elevation and tells the tray.
expect_answer START "request before the stop" service-request "$user" "no reason" 0 600 10000
e2e_start_bg answer "$E2E_DRIVER" service-wait 20000
e2e_wait_until 10 grep -q WAITING "$E2E_TMP/answer.out" || e2e_fail "the waiter did not start"
e2e_service_stop
e2e_wait_until 10 grep -q EXPIRE "$E2E_TMP/answer.out" ||
  e2e_fail "no EXPIRE at service stop: $(cat "$E2E_TMP/answer.out")"
e2e_service_expect_log "ends: the service is stopping." "stop"
e2e_service_expect_log "Service. Stopped." "stop"

# Squatted names: an event made by someone else, and a name taken by another kind of object.
e2e_clean_state
e2e_start_bg squat-event "$E2E_DRIVER" hold-event 'Global\___ADMIN_ACCESS__312' 60
e2e_wait_until 20 grep -q HELD "$E2E_TMP/squat-event.out" || e2e_fail "the event was not taken"
e2e_service_install
if e2e_service_start; then e2e_fail "the service serves through a squatted event"; fi
e2e_assert_eq 183 "$E2E_SERVICE_EXIT" "exit code after a squatted event"
e2e_service_expect_log "Objects. Global\\___ADMIN_ACCESS__312 already exists and was not created by the service" \
  "squatted event"
e2e_service_expect_log "refusing to serve." "squatted event"

e2e_clean_state
e2e_start_bg squat-mutex "$E2E_DRIVER" hold-mutex 'Global\__START_EVENT__' 60
e2e_wait_until 20 grep -q HELD "$E2E_TMP/squat-mutex.out" || e2e_fail "the mutex was not taken"
e2e_service_install
if e2e_service_start; then e2e_fail "the service serves beside a squatted name"; fi
e2e_assert_eq 6 "$E2E_SERVICE_EXIT" "exit code after a squatted name"
e2e_service_expect_log "Objects. Cannot create Global\\__START_EVENT__: error 6 (the name belongs to another kind of object): refusing to serve." \
  "squatted name"
if grep -q "Service. Running." "$E2E_SERVICE_LOG"; then e2e_fail "the service reported running"; fi
e2e_pass
