#!/usr/bin/env bash
# Settings are looked up through Wine's real registry in the order policy 64-bit, policy
# 32-bit, product 64-bit, product 32-bit; the first place that has the value wins.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup

POLICY='HKLM\SOFTWARE\Policies\Ostrand\Velmora\PreApproved'
PRODUCT='HKLM\Software\Ostrand\Velmora\PreApproved'

set_value() {  # KEY VIEW DATA
  e2e_reg_add "$1" /v DisableManualElevation /t REG_DWORD /d "$3" "/reg:$2"
}

expect_read() {  # CASE DATA
  e2e_start_tray
  e2e_find_main VelmoraTray.exe 20000 >/dev/null || e2e_fail "$1: no main window"
  e2e_expect_log_sequence "Managed=0" "Retrieving setting 'DisableManualElevation': $2" "$1"
}

e2e_clean_state
set_value "$PRODUCT" 32 1
expect_read "product key, 32-bit view only" 1

e2e_clean_state
set_value "$PRODUCT" 32 1
set_value "$POLICY" 64 0
expect_read "policy key 64-bit over product key 32-bit" 0

e2e_clean_state
set_value "$PRODUCT" 64 0
set_value "$POLICY" 32 1
expect_read "policy key 32-bit over product key 64-bit" 1
e2e_pass
