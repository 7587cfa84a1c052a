#!/usr/bin/env bash
# Directory checks switched on under Wine, where the directory is out of reach: the recorded
# group verdict decides. With the checks off a click elevates as always; with no cache the
# failed check refuses and records "405" with the tray's local time; a "301" recorded two days
# before that time (cache three days) lets a click elevate, one recorded four days before refuses
# with the directory balloon and sends nothing.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

connector="$E2E_MACHINE_KEY\\Connector"
refused="Cannot elevate. Current user does not meet Active Directory requirements"
day=864000000000  # 100-ns units

new_case() {  # CACHE: the checks on with a group, and the cache unless CACHE is empty; "off"
  e2e_elevation_case
  e2e_set_machine AccessPeriod 5
  [[ "$1" != off ]] || return 0
  e2e_reg_add "$connector" /v ActiveDirectory /t REG_SZ /d 1
  e2e_reg_add "$connector" /v ActiveDirectoryGroup /t REG_SZ /d Helpdesk
  [[ -z "$1" ]] || e2e_reg_add "$connector" /v ActiveDirectoryCache /t REG_SZ /d "$1"
}
user_value() { local v; v="$(e2e_reg_get "$E2E_USER_KEY" "$1")" && echo "${v#REG_SZ }"; }
expect_log() { e2e_tray_log_messages | grep -qxF -- "$2" || e2e_fail "$1: no log line [$2]"; }

expect_elevates() {  # CASE
  local sent
  sent=$(e2e_service_requests)
  e2e_click_tray_icon
  e2e_expect_grant 5
  e2e_assert_eq $((sent + 1)) "$(e2e_service_requests)" "$1: requests sent"
}

expect_refused() {  # CASE
  local sent before
  sent=$(e2e_service_requests) before=$(e2e_balloon_count "$refused")
  e2e_click_tray_icon
  e2e_expect_balloon "$refused" "$before" "$1: directory balloon"
  sleep 1
  e2e_assert_eq "$sent" "$(e2e_service_requests)" "$1: requests sent"
}

new_case off
e2e_tray_up
expect_log "checks off" "ActiveDirectory key is not set"
expect_elevates "checks off"
user_value setting2 >/dev/null && e2e_fail "checks off: a group verdict was recorded"

new_case ""
e2e_tray_up
expect_log "no cache" "CheckADUserGroup. Exception. Cannot get AD object2"
e2e_assert_eq 405 "$(user_value setting2)" "no cache: recorded verdict"
now="$(user_value checkpoint2)" || e2e_fail "no cache: no checkpoint2"
# A local file time: within 14 hours (the widest time-zone offset) of the universal time.
offset=$((now - ($(date +%s) + 11644473600) * 10000000))
((${offset#-} < 14 * day / 24)) || e2e_fail "no cache: checkpoint2 $now is not a local time of now"
expect_refused "no cache"
e2e_screenshot refused-balloon 640x200+384+568

for age in 2 4; do
  new_case 3
  e2e_reg_add "$E2E_USER_KEY" /v checkpoint2 /t REG_SZ /d $((now - age * day))
  e2e_reg_add "$E2E_USER_KEY" /v setting2 /t REG_SZ /d 301
  e2e_tray_up
  if ((age == 2)); then expect_elevates "fresh 301"; else expect_refused "expired 301"; fi
  e2e_assert_eq $((now - age * day)) "$(user_value checkpoint2)" "$age days: the record kept"
done
e2e_pass
