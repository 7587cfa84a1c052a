#!/usr/bin/env bash
# VerboseLogging switches the log in %TEMP% on (missing, 5) or off (0) at start-up.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

STAMP='^\[([0-9]{2})\.([0-9]{2})\.([0-9]{4}) ([0-9]{2}:[0-9]{2}:[0-9]{2})\] Tray app init$'

# With VerboseLogging DATA (empty: missing) the tray logs (LOGS 1) or writes no log (0); a log
# starts with "Tray app init" stamped with the local time of this run, day first.
check() {  # DATA LOGS
  local before first when
  e2e_clean_state
  [[ -z "$1" ]] || e2e_set_machine VerboseLogging "$1"
  before=$(date +%s)
  e2e_tray_up
  sleep 1
  if (($2 == 0)); then
    [[ ! -e "$E2E_TRAY_LOG" ]] || e2e_fail "VerboseLogging $1: a log file was written"
    return
  fi
  e2e_tray_log_messages >/dev/null
  first="$(tr -d '\r' <"$E2E_TRAY_LOG" | head -n1)"
  [[ "$first" =~ $STAMP ]] || e2e_fail "VerboseLogging [$1]: first log line is [$first]"
  when="$(date -d "${BASH_REMATCH[3]}-${BASH_REMATCH[2]}-${BASH_REMATCH[1]} ${BASH_REMATCH[4]}" +%s)" ||
    e2e_fail "VerboseLogging [$1]: the time stamp is not a date: $first"
  ((when >= before - 2 && when <= $(date +%s) + 2)) ||
    e2e_fail "VerboseLogging [$1]: time stamp $first is not the local time of this run"
}

check "" 1
check 0 0
check 5 1
e2e_pass
