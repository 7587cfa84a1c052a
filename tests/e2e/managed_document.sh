#!/usr/bin/env bash
# The scrambled managed document in the registry overrides the registry's own values; a
# document that does not parse leaves the registry in charge.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup

PRODUCT='HKLM\Software\Ostrand\Velmora'

# Clean state, managed mode with VerboseLogging 1 in the registry, and the document JSON.
managed_prepare() {  # JSON
  e2e_clean_state
  e2e_reg_add "$PRODUCT" /v Managed /t REG_DWORD /d 1
  e2e_reg_add "$PRODUCT" /v VerboseLogging /t REG_DWORD /d 1
  printf '%s' "$1" >"$E2E_TMP/managed.json"
  e2e_driver reg-set-managed "$(e2e_winpath "$E2E_TMP/managed.json")" >/dev/null ||
    e2e_fail "cannot store the managed document"
}

managed_run() {  # CASE
  e2e_start_tray
  e2e_find_main VelmoraTray.exe 20000 >/dev/null || e2e_fail "$1: no main window"
  # Lines that must not be there would come from the main window's start and its threads.
  sleep 3
}

managed_prepare '{"verbose_logging_win":"0"}'
managed_run "logging off by the document"
expected="Tray app init
Managed value is set. Reading cached settings (should be already downloaded by the service)
Cached json read successfully
Parsing json OK
Managed=1
Retrieving setting 'VerboseLogging': 0"
messages="$(e2e_tray_log_messages)"
e2e_assert_eq "$expected" "$messages" "log with logging switched off by the document"
e2e_is_running "$E2E_TRAY_PID" || e2e_fail "the tray ended"

managed_prepare '{"verbose_logging_win":"0"'
managed_run "broken document"
expected="Tray app init
Managed value is set. Reading cached settings (should be already downloaded by the service)
Cached json read successfully
Failed to parse json
Managed=0
Retrieving setting 'VerboseLogging': 1
Tray app init"
messages="$(e2e_tray_log_messages)"
e2e_assert_eq "$expected" "$(head -n7 <<<"$messages")" "log with a broken document"

# An entry wins over the registry also for a setting that is read under a subkey.
managed_prepare '{"verbose_logging_win":"1","DisableManualElevation_win":"1"}'
e2e_reg_add "$PRODUCT\PreApproved" /v DisableManualElevation /t REG_DWORD /d 0
managed_run "document over the registry"
e2e_expect_log_sequence "Managed=1" "Retrieving setting 'DisableManualElevation': 1" \
  "document over the registry"
e2e_pass
