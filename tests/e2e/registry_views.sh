#!/usr/bin/env bash
# Settings are looked up through Wine's real registry in the order policy 64-bit, policy
# 32-bit, product 64-bit, product 32-bit; the first place that has the value wins.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

POLICY='HKLM\SOFTWARE\Policies\Ostrand\Velmora\PreApproved'
PRODUCT='HKLM\Software\Ostrand\Velmora\PreApproved'

# DisableManualElevation in each PLACE (KEY:VIEW:DATA); the tray must read EXPECTED.
check() {  # CASE EXPECTED PLACE...
  local place key view data
  e2e_clean_state
  for place in "${@:3}"; do
    IFS=: read -r key view data <<<"$place"
    e2e_reg_add "$key" /v DisableManualElevation /t REG_DWORD /d "$data" "/reg:$view"
  done
  e2e_tray_up
  e2e_expect_log_sequence "Managed=0" "Retrieving setting 'DisableManualElevation': $2" "$1"
}

check "product key, 32-bit view only" 1 "$PRODUCT:32:1"
check "policy key 64-bit over product key 32-bit" 0 "$PRODUCT:32:1" "$POLICY:64:0"
check "policy key 32-bit over product key 64-bit" 1 "$PRODUCT:64:0" "$POLICY:32:1"
e2e_pass
