#!/usr/bin/env bash
# The tray's start-up, without the service. "/elevate" inside an argument (a case-sensitive
# substring test) ends the process before anything else: exit code 0, no log. Otherwise the log in
# %TEMP% starts with "Tray app init" stamped with the local time, day first, when VerboseLogging is
# 5. A second instance in the same session warns and leaves; the first one is not disturbed. A
# setting under the policy key in the 32-bit view outranks the product key's 64-bit one. A service
# event whose name a mutex holds ends start-up with an error box, no main window and exit code 1.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

e2e_clean_state
session_start_tray /foo --mode=x/elevatenow
e2e_expect_exit "$SESSION_TRAY_PID" 20 0 "tray with /elevate in an argument"
[[ ! -e "$SESSION_TRAY_LOG" ]] || session_fail "the switch path wrote a log file"

# Capital letters do not match: the program starts normally and keeps running.
session_set_machine VerboseLogging 5
started=$(date +%s)
e2e_tray_up /ELEVATE
sleep 1
e2e_assert_eq "Tray app init" "$(e2e_tray_log_messages | head -n1)" "first log line"
IFS='[.] ' read -r _ d m y t _ <"$SESSION_TRAY_LOG"
(($(date -d "$y-$m-$d $t" +%s) >= started - 2 && $(date -d "$y-$m-$d $t" +%s) <= $(date +%s) + 2)) ||
  session_fail "time stamp $d.$m.$y $t is not the local time of this run"
session_start_tray
e2e_expect_dialog Warning "Velmora Tray is already running" 20000
e2e_assert_eq OK "$(e2e_control_text 1)" "the box's button"
e2e_click_item 1
e2e_expect_exit "$SESSION_TRAY_PID" 20 0 "second instance"
e2e_assert_eq "$E2E_MAIN" "$(e2e_main_window VelmoraTray.exe)" "main window of the first instance"

# The policy key in the 32-bit view (WOW6432Node) over the product key in the 64-bit one.
e2e_clean_state
session_reg_add "$SESSION_MACHINE_KEY\\PreApproved" /v DisableManualElevation /t REG_DWORD /d 0 \
  /reg:64
session_reg_add 'HKLM\SOFTWARE\Policies\Ostrand\Velmora\PreApproved' /v DisableManualElevation \
  /t REG_DWORD /d 1 /reg:32
e2e_tray_up
e2e_expect_log_sequence "Managed=0" "Retrieving setting 'DisableManualElevation': 1" "policy over product"

e2e_clean_state
e2e_driver_bg squatter HELD hold mutex 'Global\__START_EVENT__' 60000
session_start_tray
e2e_expect_dialog Error "Event objects cannot be created" 20000
if e2e_main_window "$(sed -n 's/^PID //p' "$SESSION_TMP/dialog.txt")" >/dev/null; then
  session_fail "a main window exists although start-up failed"
fi
e2e_click_item 1
e2e_expect_exit "$SESSION_TRAY_PID" 20 1 "tray after failed start-up"
