#!/usr/bin/env bash
# The tray's start-up, without the service. "/elevate" anywhere in the command line (a
# case-sensitive substring test) ends the process before anything else: exit code 0, no log.
# Otherwise the log in %TEMP% starts with "Tray app init" stamped with the local time, day
# first, unless VerboseLogging is 0 (5 logs; so does a missing value, which the other scenarios
# read). A second instance in the same session warns and leaves; the first one is not disturbed. Settings are looked up in the order policy
# 64-bit, policy 32-bit, product 64-bit, product 32-bit; the scrambled managed document
# overrides the registry, also for a setting read under a subkey, and a document that does not
# parse leaves the registry in charge. A service event whose name a mutex holds ends start-up
# with an error box, no main window and exit code 1.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

for args in "/foo /elevate bar" "--mode=x/elevatenow"; do
  e2e_clean_state
  # shellcheck disable=SC2086  # word splitting into separate arguments is the point
  e2e_start_tray $args
  e2e_expect_exit "$E2E_TRAY_PID" 20 0 "tray with arguments [$args]"
  [[ ! -e "$E2E_TRAY_LOG" ]] || e2e_fail "[$args]: the switch path wrote a log file"
done

# The tray started with VerboseLogging DATA (empty: missing) and ARGS.
start() {  # DATA [ARGS...]
  e2e_clean_state
  [[ -z "$1" ]] || e2e_set_machine VerboseLogging "$1"
  started=$(date +%s)
  e2e_tray_up "${@:2}"
  sleep 1
}
expect_stamped_log() {  # WHAT
  local d m y t
  e2e_assert_eq "Tray app init" "$(e2e_tray_log_messages | head -n1)" "$1: first log line"
  IFS='[.] ' read -r _ d m y t _ <"$E2E_TRAY_LOG"
  (($(date -d "$y-$m-$d $t" +%s) >= started - 2 && $(date -d "$y-$m-$d $t" +%s) <= $(date +%s) + 2)) ||
    e2e_fail "$1: time stamp $d.$m.$y $t is not the local time of this run"
}
start 0
[[ ! -e "$E2E_TRAY_LOG" ]] || e2e_fail "VerboseLogging 0: a log file was written"
# Capital letters do not match: the program starts normally and keeps running.
start 5 /ELEVATE
expect_stamped_log "/ELEVATE, VerboseLogging 5"
first=$E2E_TRAY_PID
e2e_start_tray
e2e_expect_dialog Warning "Velmora Tray is already running" 20000
[[ "$(e2e_main_window "$(sed -n 's/^PID //p' "$E2E_TMP/dialog.txt")")" != "$E2E_MAIN" ]] ||
  e2e_fail "the box belongs to the first instance"
e2e_assert_eq OK "$(e2e_control_text 1)" "the box's button"
e2e_click_item 1
e2e_expect_exit "$E2E_TRAY_PID" 20 0 "second instance"
e2e_assert_eq "$E2E_MAIN" "$(e2e_main_window VelmoraTray.exe)" "main window of the first instance"
e2e_driver terminate VelmoraTray.exe 7 10000 >/dev/null
# The launcher reports the program's own exit code.
e2e_expect_exit "$first" 10 7 "terminated tray"

# DisableManualElevation in each PLACE (KEY:VIEW:DATA); the tray must read EXPECTED.
# shellcheck disable=SC2034  # read through ${!key}
POLICY='HKLM\SOFTWARE\Policies\Ostrand\Velmora\PreApproved' PRODUCT="$E2E_MACHINE_KEY\\PreApproved"
for case in "1 PRODUCT:32:1" "0 PRODUCT:32:1 POLICY:64:0" "1 PRODUCT:64:0 POLICY:32:1"; do
  e2e_clean_state
  for place in ${case#* }; do
    IFS=: read -r key view data <<<"$place"
    e2e_reg_add "${!key}" /v DisableManualElevation /t REG_DWORD /d "$data" "/reg:$view"
  done
  e2e_tray_up
  e2e_expect_log_sequence "Managed=0" "Retrieving setting 'DisableManualElevation': ${case%% *}" "$case"
done

# The document wins over the registry's 0 for VerboseLogging (there is a log) and for a value
# read under a subkey.
e2e_clean_state
e2e_set_machine Managed 1
e2e_set_machine VerboseLogging 0
e2e_reg_add "$PRODUCT" /v DisableManualElevation /t REG_DWORD /d 0
e2e_managed_document '{"verbose_logging_win":"1","DisableManualElevation_win":"1"}'
e2e_tray_up
e2e_expect_log_sequence "Managed=1" "Retrieving setting 'DisableManualElevation': 1" "document over the registry"

e2e_clean_state
e2e_set_machine Managed 1
e2e_set_machine VerboseLogging 1
e2e_managed_document '{"verbose_logging_win":"0"'
e2e_tray_up
# A log at all: the registry's 1 is in charge.
e2e_expect_log_sequence "Failed to parse json" "Managed=0" "log with a broken document"

e2e_clean_state
e2e_driver_bg squatter HELD hold mutex 'Global\__START_EVENT__' 60000
e2e_start_tray
e2e_expect_dialog Error "Event objects cannot be created" 20000
if e2e_main_window "$(sed -n 's/^PID //p' "$E2E_TMP/dialog.txt")" >/dev/null; then
  e2e_fail "a main window exists although start-up failed"
fi
e2e_click_item 1
e2e_expect_exit "$E2E_TRAY_PID" 20 1 "tray after failed start-up"
