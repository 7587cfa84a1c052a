#!/usr/bin/env bash
# The scrambled managed document in the registry overrides the registry's own values; a
# document that does not parse leaves the registry in charge.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

# The tray started in managed mode, VerboseLogging 1 in the registry, with the document JSON.
managed_run() {  # JSON [REG ADD ARGS...]
  e2e_clean_state
  e2e_set_machine Managed 1
  e2e_set_machine VerboseLogging 1
  if (($# > 1)); then e2e_reg_add "${@:2}"; fi
  e2e_driver managed-document "$1" || e2e_fail "cannot store the managed document"
  e2e_tray_up
  # Lines that must not be there would come from the main window's start and its threads.
  sleep 3
}

read_doc="Tray app init
Managed value is set. Reading cached settings (should be already downloaded by the service)
Cached json read successfully"

managed_run '{"verbose_logging_win":"0"}'
e2e_assert_eq "$read_doc
Parsing json OK
Managed=1
Retrieving setting 'VerboseLogging': 0" "$(e2e_tray_log_messages)" \
  "log with logging switched off by the document"
e2e_is_running "$E2E_TRAY_PID" || e2e_fail "the tray ended"

managed_run '{"verbose_logging_win":"0"'
e2e_assert_eq "$read_doc
Failed to parse json
Managed=0
Retrieving setting 'VerboseLogging': 1
Tray app init" "$(e2e_tray_log_messages | head -n7)" "log with a broken document"

# An entry wins over the registry also for a setting that is read under a subkey.
managed_run '{"verbose_logging_win":"1","DisableManualElevation_win":"1"}' \
  'HKLM\Software\Ostrand\Velmora\PreApproved' /v DisableManualElevation /t REG_DWORD /d 0
e2e_expect_log_sequence "Managed=1" "Retrieving setting 'DisableManualElevation': 1" \
  "document over the registry"
e2e_pass
