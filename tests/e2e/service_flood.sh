#!/usr/bin/env bash
# A standard user floods the channel without the tray (velmora_flood): 1,000 invalid requests,
# each with the longest texts a record holds, after a grant. The grant's lines stay in the
# retained log (refusals beyond the hour's budget are counted, not written), and a valid request
# after the flood is served; so is one made while EMERGENCYSTART is set without pause.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup

FLOOD=${E2E_FLOOD:-1000}
TOOL="${E2E_FLOOD_TOOL:-$E2E_BUILD/tests/e2e/velmora_flood.exe}"
e2e_clean_state
e2e_service_install
e2e_service_start || e2e_fail "the service did not start (exit code $E2E_SERVICE_EXIT)"
e2e_set_machine AccessPeriod 600
user="$(e2e_driver expand-env '%USERDOMAIN%\%USERNAME%')"
request() {  # REASON EXPECTED
  local answer
  answer="$(e2e_driver service-request "$user" "$1" 0 600 10000)" || true
  [[ "$answer" == *"$2" ]] || e2e_fail "request \"$1\": expected $2, got [$answer]"
}
request "before the flood" START
granted="Decision. Granted: \"${user//\\/\\\\}\" is elevated for 600 seconds. Signalling START."
e2e_service_expect_log "$granted" "grant"

started=$SECONDS
e2e_wine_to "$E2E_TMP/flood.out" "$TOOL" invalid "$FLOOD" ||
  e2e_fail "not every invalid request was refused: [$(cat "$E2E_TMP/flood.out")]"
e2e_log "$FLOOD invalid requests in $((SECONDS - started)) s: $(cat "$E2E_TMP/flood.out")"

request "after the flood" START
backup="${E2E_SERVICE_LOG%.log}.lo_"
retained="$( ([[ ! -f "$backup" ]] || cat "$backup"; cat "$E2E_SERVICE_LOG") | tr -d '\r')"
grep -qF -- "$granted" <<<"$retained" || e2e_fail "the flood pushed the grant out of the log"
grep -qF -- "Counted. Repeated or beyond the hour's 50 lines, not written one by one: identity " \
  <<<"$retained" || e2e_fail "no count of the refusals without a line"
e2e_service_expect_log 'reason="after the flood" at-login=0 seconds=600' "request after the flood"
e2e_log "log: $(wc -c <"$E2E_SERVICE_LOG") bytes, $(grep -c 'Decision. Refused: ' "$E2E_SERVICE_LOG") refusals written"

# EMERGENCYSTART without pause: a request still gets its answer.
e2e_start_bg emergency "$TOOL" emergency 8000
sleep 2
request "during EMERGENCYSTART" START
e2e_wait_exit "$E2E_BG_PID" 20 >/dev/null || e2e_fail "the EMERGENCYSTART flood did not end"
e2e_service_expect_log 'reason="during EMERGENCYSTART"' "request during EMERGENCYSTART"
e2e_pass
