#!/usr/bin/env bash
# A standard user floods the channel: 1,000 invalid requests (a domain account the service cannot
# vouch for, each with the longest texts a record holds) after a grant. The grant's lines stay
# in the retained log (refusals beyond the hour's budget are counted, not written), and a valid
# request after the flood is served.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

e2e_clean_state
e2e_service_up
e2e_set_machine AccessPeriod 600
e2e_expect_answer START "before the flood" service-request "$E2E_USER" "no reason" 0 600 10000
granted="Decision. Granted: \"$E2E_LOGGED_USER\" is elevated for 600 seconds. Signalling START."
e2e_service_expect_log "$granted" "grant"

started=$SECONDS
# 299 units each: the user's name and a reason of right-to-left overrides, which the log escapes.
answers="$(E2E_WINE_TIMEOUT=300 e2e_driver service-request "OTHER\\$(printf 'n%.0s' {1..293})" \
  "$(printf '\u202e%.0s' {1..299})" 0 60 10000 1000)" || true
e2e_assert_eq 1000 "$(grep -cx FORBID <<<"$answers")" "refused requests of the flood"
e2e_log "1000 invalid requests in $((SECONDS - started)) s"

e2e_expect_answer START "after the flood" service-request "$E2E_USER" "after the flood" 0 600 10000
retained="$(cat "${E2E_SERVICE_LOG%.log}.lo_" "$E2E_SERVICE_LOG" 2>/dev/null | tr -d '\r')" || true
grep -qF -- "$granted" <<<"$retained" || e2e_fail "the flood pushed the grant out of the log"
grep -qF "Counted. Repeated or beyond the hour's 50 lines, not written one by one: identity " \
  <<<"$retained" || e2e_fail "no count of the refusals without a line"
e2e_service_expect_log 'reason="after the flood" at-login=0 seconds=600' "request after the flood"
