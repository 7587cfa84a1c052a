#!/usr/bin/env bash
# The reference service in Wine's service manager, driven through the tray's own channel code: the
# objects it creates and their DACLs; a granted request as the log decodes it and its expiry; a
# number setting stored as text (said once) and a Deny value of the wrong type fail closed; an
# elevation at login granted once policy allows it; the managed document's access period counts; a
# standard user's flood of 1,000 invalid requests with the longest texts leaves the grant before it
# in the retained log (refusals beyond the hour's budget are counted, not written) and a valid
# request after it served; recovery after a crash, the end of an elevation at service stop, and
# refusal to serve when someone else holds one of its names.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

SERVICE_KEY="$SESSION_MACHINE_KEY\\Service"
answer() { e2e_expect_answer "$1" "$2" service-wait "$3"; }  # ANSWER WHAT TIMEOUT_MS
# The tray's request answered with ANSWER, the log then saying TEXT; a START is ended again by
# EMERGENCYSTART unless KEEP is given.
request() {  # ANSWER WHAT USER REASON AT-LOGIN SECONDS [TEXT] [KEEP]
  e2e_expect_answer "$1" "$2" service-request "$3" "$4" "$5" "$6" 10000
  [[ -z "${7:-}" ]] || e2e_service_expect_log "$7" "$2"
  [[ "$1" != START || -n "${8:-}" ]] || { e2e_emergency && answer EXPIRE "$2: the end" 5000; }
}
mine() { request "$1" "$2" "$SESSION_USER" "no reason" "${@:3}"; }  # ANSWER WHAT AT-LOGIN SECONDS [TEXT] [KEEP]

e2e_clean_state
session_service_up

# Objects: an explicit DACL, interactive users get exactly what the tray's opens ask for.
for event in START_EVENT__ EXPIRE_EVENT__ FORBID_EVENT__ EMERGENCYSTART_EVENT__ \
  _ADMIN_ACCESS__312 _ADMIN_ACCESS__313; do
  e2e_assert_eq 'D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x1f0003;;;IU)' \
    "$(e2e_driver object-dacl event "Global\\__$event")" "DACL of $event"
done
e2e_assert_eq 'D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;CCDCLCSWRPSDRCWDWO;;;IU)' \
  "$(e2e_driver object-dacl mapping 'Global\__SHARED_312')" "DACL of the block"

# A granted period, and Wine's group stub noticed.
mine START "period request" 0 2 "" keep
started=$(date +%s%N)
e2e_service_expect_log "Group. Group change not visible on this platform" "Wine's group stub"
answer EXPIRE "end of the period" 10000
elapsed=$((($(date +%s%N) - started) / 1000000))
((elapsed >= 1500 && elapsed <= 8000)) || session_fail "EXPIRE came after $elapsed ms, not about 2 s"
e2e_service_expect_log "ends: the period is over." "expiry"

# "1" typed as text reads as 49 by the settings rules: not 1, refused, and said once.
session_set_machine ElevateAtLogin 1 REG_SZ
mine FORBID "ElevateAtLogin stored as text" 1 0 "policy rule ElevateAtLogin"
mine FORBID "ElevateAtLogin stored as text, again" 1 0
e2e_service_expect_log 'Settings. The number setting "ElevateAtLogin" is stored as text: it reads as 49, the code of its first character.' \
  "number stored as text"
e2e_assert_eq 1 "$(grep -c 'is stored as text' "$SESSION_SERVICE_LOG")" "lines about the text value"

# At login, until EMERGENCYSTART ends it.
session_set_machine ElevateAtLogin 1
mine START "at login with ElevateAtLogin" 1 0 "is elevated until the elevation at login is ended"

# The managed document's access period (over the default 120) counts; Deny of another type
# denies, even four zero bytes that would read as 0.
session_set_machine Managed 1
# As the service stores it: REG_SZ text whose ANSI bytes are the JSON's bytes XOR 0x0E (ASCII
# JSON stays printable ASCII, which every code page keeps).
session_set_machine 'Managed settings' \
  "$(printf %s '{"access_period_win":"3600"}' | perl -pe 's/./chr(ord($&) ^ 14)/gse')" REG_SZ
mine START "the managed access period" 0 3600 "is elevated for 3600 seconds"
session_reg_add "$SERVICE_KEY" /v Deny /t REG_BINARY /d 00000000 /reg:64
mine FORBID "Deny as binary" 0 60 "Decision. Refused: the machine value Deny is not a REG_DWORD, which counts as deny."
session_reg_delete "$SERVICE_KEY" /v Deny /reg:64

# The flood after a grant; 299 units each: the user's name and a reason of right-to-left
# overrides, which the log escapes.
mine START "before the flood" 0 600 "Decision. Granted: \"$SESSION_LOGGED_USER\" is elevated for 600 seconds. Signalling START." keep
started=$SECONDS
answers="$(SESSION_WINE_TIMEOUT=300 e2e_driver service-request "OTHER\\$(printf 'n%.0s' {1..293})" \
  "$(printf '\u202e%.0s' {1..299})" 0 60 10000 1000)" || true
e2e_assert_eq 1000 "$(grep -cx FORBID <<<"$answers")" "refused requests of the flood"
session_log "1000 invalid requests in $((SECONDS - started)) s"
request START "after the flood" "$SESSION_USER" "after the flood" 0 599 'reason="after the flood" at-login=0 seconds=599' keep
retained="$(cat "${SESSION_SERVICE_LOG%.log}.lo_" "$SESSION_SERVICE_LOG" 2>/dev/null | tr -d '\r')" || true
grep -qF -- "is elevated for 600 seconds. Signalling START." <<<"$retained" ||
  session_fail "the flood pushed the grant out of the log"
grep -qF "Counted. Repeated or beyond the hour's 50 lines, not written one by one: identity " \
  <<<"$retained" || session_fail "no count of the refusals without a line"

# A service killed during an elevation removes the membership at its next start.
e2e_driver terminate VelmoraFrameworkService.exe 1 10000 || session_fail "cannot kill the service"
# Wine's service manager misses the death and still says RUNNING, but starts a new instance.
session_wine sc start "$SESSION_SERVICE_NAME" || true
session_wait_until 20 session_more_than 1 grep -c 'Service. Running.' "$SESSION_SERVICE_LOG" ||
  session_fail "the service did not start again"
e2e_service_expect_log "Recovery. \"$SESSION_LOGGED_USER\" was added to Administrators by an earlier run" \
  "crash recovery"
e2e_service_expect_log "Elevation. Signalling EXPIRE." "crash recovery"

# Stopping the service ends a running elevation and tells the tray.
mine START "request before the stop" 0 600 "" keep
e2e_driver_bg answer WAITING service-wait 20000
session_service_stop || session_fail "the service did not stop within 20 s"
session_wait_until 10 grep -q EXPIRE "$SESSION_TMP/answer.out" || session_fail "no EXPIRE at service stop"
e2e_service_expect_log "ends: the service is stopping." "stop"
e2e_service_expect_log "Service. Stopped." "stop"

# Squatted names: an event made by someone else, and a name taken by another kind of object.
for squat in "event Global\\___ADMIN_ACCESS__312 183 Global\\___ADMIN_ACCESS__312 already exists and was not created by the service" \
  "mutex Global\\__START_EVENT__ 6 Cannot create Global\\__START_EVENT__: error 6 (the name belongs to another kind of object)"; do
  read -r kind name code text <<<"$squat"
  e2e_clean_state
  e2e_driver_bg "squat-$kind" HELD hold "$kind" "$name" 60000
  session_service_install
  ! session_service_start || session_fail "the service serves beside a squatted $kind"
  e2e_assert_eq "$code" "$SESSION_SERVICE_EXIT" "exit code after a squatted $kind"
  e2e_service_expect_log "Objects. $text" "squatted $kind"
  e2e_service_expect_log "refusing to serve." "squatted $kind"
  ! grep -q "Service. Running." "$SESSION_SERVICE_LOG" || session_fail "the service reported running"
done
