#!/usr/bin/env bash
# The scrambled managed document in the registry overrides the registry's VerboseLogging; a
# document that does not parse leaves the registry in charge.
set -euo pipefail
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup

PRODUCT='HKLM\Software\Ostrand\Velmora'

managed_start() {  # JSON
  e2e_clean_state
  e2e_reg_add "$PRODUCT" /v Managed /t REG_DWORD /d 1
  e2e_reg_add "$PRODUCT" /v VerboseLogging /t REG_DWORD /d 1
  printf '%s' "$1" >"$E2E_TMP/managed.json"
  e2e_driver reg-set-managed "$(e2e_winpath "$E2E_TMP/managed.json")" >/dev/null ||
    e2e_fail "cannot store the managed document"
  e2e_start_tray
  e2e_find_main VelmoraTray.exe 20000 >/dev/null || e2e_fail "$1: no main window"
  # Lines that should not be there would come from the main window's start and its threads.
  sleep 3
}

managed_start '{"verbose_logging_win":"0"}'
expected="Tray app init
Managed value is set. Reading cached settings (should be already downloaded by the service)
Cached json read successfully
Parsing json OK
Managed=1
Retrieving setting 'VerboseLogging': 0"
e2e_assert_eq "$expected" "$(e2e_tray_log_messages)" "log with logging switched off by the document"
e2e_is_running "$E2E_TRAY_PID" || e2e_fail "the tray ended"

managed_start '{"verbose_logging_win":"0"'
expected="Tray app init
Managed value is set. Reading cached settings (should be already downloaded by the service)
Cached json read successfully
Failed to parse json
Managed=0
Retrieving setting 'VerboseLogging': 1
Tray app init"
e2e_assert_eq "$expected" "$(e2e_tray_log_messages | head -n7)" "log with a broken document"
e2e_pass
