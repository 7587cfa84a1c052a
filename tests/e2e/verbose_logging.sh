#!/usr/bin/env bash
# VerboseLogging switches the log in %TEMP% on (missing, 5) or off (0) at start-up.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup

PRODUCT='HKLM\Software\Ostrand\Velmora'
STAMP='^\[([0-9]{2})\.([0-9]{2})\.([0-9]{4}) ([0-9]{2}:[0-9]{2}:[0-9]{2})\] Tray app init$'

# Starts the tray, waits for its main window and for SETTLE seconds more.
start_and_settle() {  # CASE
  e2e_start_tray
  e2e_find_main VelmoraTray.exe 20000 >/dev/null || e2e_fail "$1: no main window"
  sleep 1
}

# The first line is "Tray app init" stamped with the local time of this run, day first.
expect_log_started() {  # CASE BEFORE_EPOCH
  local first
  e2e_tray_log_messages >/dev/null
  first="$(e2e_strip_cr "$E2E_TRAY_LOG" | head -n1)"
  [[ "$first" =~ $STAMP ]] || e2e_fail "$1: first log line is [$first]"
  local when
  when="$(date -d "${BASH_REMATCH[3]}-${BASH_REMATCH[2]}-${BASH_REMATCH[1]} ${BASH_REMATCH[4]}" +%s)" ||
    e2e_fail "$1: the time stamp is not a date: $first"
  ((when >= $2 - 2 && when <= $(date +%s) + 2)) ||
    e2e_fail "$1: time stamp $first is not the local time of this run"
}

e2e_clean_state
before=$(date +%s)
start_and_settle "VerboseLogging missing"
expect_log_started "VerboseLogging missing" "$before"

e2e_clean_state
e2e_reg_add "$PRODUCT" /v VerboseLogging /t REG_DWORD /d 0
start_and_settle "VerboseLogging 0"
[[ ! -e "$E2E_TRAY_LOG" ]] || e2e_fail "VerboseLogging 0: a log file was written"

e2e_clean_state
e2e_reg_add "$PRODUCT" /v VerboseLogging /t REG_DWORD /d 5
before=$(date +%s)
start_and_settle "VerboseLogging 5"
expect_log_started "VerboseLogging 5" "$before"
e2e_pass
