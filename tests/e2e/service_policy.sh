#!/usr/bin/env bash
# The service holds the machine's policy against records that no tray wrote: raw requests from
# the driver are refused by the rule that names them (FORBID, and the log says which rule) and
# granted once the policy allows them, the managed document included; a number setting stored
# as text and a Deny value of the wrong type fail closed; a timerEnd far ahead makes the tray
# ask for no more than the policy's longest request.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

# A raw record of the current user answered with ANSWER, the log saying LOG-TEXT; a grant is
# ended again at once.
request() {  # ANSWER WHAT AT-LOGIN SECONDS [LOG-TEXT]
  e2e_expect_answer "$1" "$2" service-request "$E2E_USER" "no reason" "$3" "$4" 10000
  [[ -z "${5:-}" ]] || e2e_service_expect_log "$5" "$2"
  if [[ "$1" == START ]]; then
    e2e_emergency
    e2e_expect_answer EXPIRE "$2: the end" service-wait 5000
  fi
}

e2e_clean_state
e2e_service_up
request FORBID "at login without ElevateAtLogin" 1 0 \
  "Decision. Refused: policy rule ElevateAtLogin: an elevation at login needs the machine setting ElevateAtLogin to be 1. Signalling FORBID."
request START "the default access period" 0 120
request FORBID "30 days with the defaults" 0 2592000 \
  "Decision. Refused: policy rule longest request: 2592000 seconds is more than the 120 seconds a tray may ask for here (AccessPeriod 120 seconds, ElevateForXDays 0 days, shell hook 30 seconds). Signalling FORBID."

# "1" typed as text reads as 49 by the settings rules: not 1, refused, and said once.
e2e_set_machine ElevateAtLogin 1 REG_SZ
request FORBID "ElevateAtLogin stored as text" 1 0 "policy rule ElevateAtLogin"
request FORBID "ElevateAtLogin stored as text, again" 1 0
e2e_service_expect_log 'Settings. The number setting "ElevateAtLogin" is stored as text: it reads as 49, the code of its first character.' \
  "number stored as text"
e2e_assert_eq 1 "$(grep -c 'is stored as text' "$E2E_SERVICE_LOG")" "lines about the text value"

e2e_set_machine ElevateAtLogin 1
request START "at login with ElevateAtLogin" 1 0 "is elevated until the elevation at login is ended"
e2e_set_machine ElevateForXDays 30
request START "30 days with ElevateForXDays 30" 0 2592000 "is elevated for 2592000 seconds"

# The managed document's access period counts, read afresh for each request.
e2e_set_machine ElevateForXDays 0
e2e_set_machine Managed 1
e2e_managed_document '{"access_period_win":"3600"}'
request FORBID "one second over the managed access period" 0 3601 \
  "3601 seconds is more than the 3600 seconds a tray may ask for here (AccessPeriod 3600 seconds"
request START "the managed access period" 0 3600 "is elevated for 3600 seconds"

# Deny typed as text denies.
e2e_reg_add "$E2E_MACHINE_KEY\\Service" /v Deny /t REG_SZ /d yes /reg:64
request FORBID "Deny as text" 0 60 \
  "Decision. Refused: the machine value Deny is not a REG_DWORD, which counts as deny."
e2e_reg_delete "$E2E_MACHINE_KEY\\Service" /v Deny /reg:64

# A timerEnd 30 days ahead, written by the user: the tray resumes no more than the policy's
# longest request (the access period 3600 from the document), and the service grants that.
e2e_set_machine ElevateAtLogin 0
e2e_reg_add "$E2E_USER_KEY" /v timerEnd /t REG_SZ /d $(($(date +%s) + 2592000))
e2e_tray_up
e2e_service_expect_log "reason=\"Resuscitate after tray app close (shutdown,log off or app crash occured)\" at-login=0 seconds=3600" \
  "resumed request" 15
e2e_service_expect_log "is elevated for 3600 seconds. Signalling START." "resumed grant"
