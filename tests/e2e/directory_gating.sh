#!/usr/bin/env bash
# Directory checks switched on under Wine, where the directory is out of reach: the recorded
# group verdict decides. A fresh "301" lets a click elevate; an expired one, or none with no
# cache, refuses with the directory balloon and sends nothing; with the checks off a click
# elevates as always.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup

CONNECTOR='HKLM\Software\Ostrand\Velmora\Connector'
USER_KEY='HKCU\Software\Ostrand\Velmora'
DAY=864000000000
refused="Cannot elevate. Current user does not meet Active Directory requirements"
logged_user="$(e2e_logged_user)"

# The tray's clock for recorded verdicts: local time in 100-ns units since 1601. Wine's local
# time follows the host's time zone; the offset is checked against what the tray writes itself.
local_file_time() {
  local offset sign
  offset="$(date +%z)"
  sign=1
  [[ "${offset:0:1}" == - ]] && sign=-1
  offset=$((sign * (10#${offset:1:2} * 3600 + 10#${offset:3:2} * 60)))
  echo $((($(date +%s) + offset + 11644473600) * 10000000))
}

connector_on() {  # CACHE
  e2e_reg_add "$CONNECTOR" /v ActiveDirectory /t REG_SZ /d 1 || e2e_fail "cannot set ActiveDirectory"
  e2e_reg_add "$CONNECTOR" /v ActiveDirectoryGroup /t REG_SZ /d Helpdesk ||
    e2e_fail "cannot set ActiveDirectoryGroup"
  [[ -z "$1" ]] || e2e_reg_add "$CONNECTOR" /v ActiveDirectoryCache /t REG_SZ /d "$1" ||
    e2e_fail "cannot set ActiveDirectoryCache"
}

record_group_verdict() {  # VERDICT DAYS_OLD
  e2e_reg_add "$USER_KEY" /v checkpoint2 /t REG_SZ /d "$(($(local_file_time) - $2 * DAY))" ||
    e2e_fail "cannot record checkpoint2"
  e2e_reg_add "$USER_KEY" /v setting2 /t REG_SZ /d "$1" || e2e_fail "cannot record setting2"
}

user_value() {  # NAME
  local value
  value="$(e2e_reg_query HKCU 'Software\Ostrand\Velmora' "$1")" || return 1
  printf '%s\n' "${value#REG_SZ: }"
}

start() {
  e2e_set_machine AccessPeriod 5
  e2e_start_tray
  e2e_find_main VelmoraTray.exe 20000 >/dev/null || e2e_fail "$1: no main window"
  e2e_wait_tray_icon
}

expect_elevates() {  # CASE
  local sent
  sent=$(e2e_service_requests)
  e2e_click_tray_icon 1
  e2e_service_expect_log "Request. user=\"$logged_user\" reason=\"no reason\" at-login=0 seconds=5" \
    "$1: the click's request" 10
  e2e_assert_eq $((sent + 1)) "$(e2e_service_requests)" "$1: requests sent"
}

expect_refused() {  # CASE
  local sent before
  sent=$(e2e_service_requests)
  before=$(e2e_balloon_count "$refused")
  e2e_click_tray_icon 1
  e2e_expect_balloon "$refused" "$before" "$1: directory balloon"
  sleep 1
  e2e_assert_eq "$sent" "$(e2e_service_requests)" "$1: requests sent"
}

expect_log() {  # CASE LINE
  e2e_tray_log_messages | grep -qxF -- "$2" || e2e_fail "$1: no log line [$2]"
}

e2e_elevation_case
start "checks off"
expect_log "checks off" "ActiveDirectory key is not set"
expect_elevates "checks off"
user_value setting2 >/dev/null && e2e_fail "checks off: a group verdict was recorded"

# No cache: the failed check is recorded as "405" with the tray's own local time.
e2e_elevation_case
connector_on ""
before="$(local_file_time)"
start "no cache"
after="$(local_file_time)"
expect_log "no cache" "CheckADUserGroup. Exception. Cannot get AD object2"
e2e_assert_eq 405 "$(user_value setting2)" "no cache: recorded verdict"
checkpoint="$(user_value checkpoint2)" || e2e_fail "no cache: no checkpoint2"
((checkpoint >= before - 20000000 && checkpoint <= after + 20000000)) ||
  e2e_fail "no cache: checkpoint2 $checkpoint is not the local time between $before and $after"
expect_refused "no cache"
e2e_screenshot_crop refused-balloon 640x200+384+568

e2e_elevation_case
connector_on 3
record_group_verdict 301 2
recorded="$(user_value checkpoint2)"
start "fresh 301"
expect_elevates "fresh 301"
e2e_assert_eq "$recorded" "$(user_value checkpoint2)" "fresh 301: the record is left alone"

e2e_elevation_case
connector_on 3
record_group_verdict 301 4
start "expired 301"
expect_refused "expired 301"
e2e_pass
