#!/usr/bin/env bash
# Directory checks switched on under Wine, where the directory is out of reach: the recorded group
# verdict decides. With no cache the failed check refuses and records "405" with the tray's local
# time, and a click shows the directory balloon and sends nothing; a "301" recorded two days before
# that time (cache three days) lets a click elevate.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

connector="$SESSION_MACHINE_KEY\\Connector"
refused="Cannot elevate. Current user does not meet Active Directory requirements"
day=864000000000  # 100-ns units
user_value() { local v; v="$(session_reg_get "$SESSION_USER_KEY" "$1")" && echo "${v#REG_SZ }"; }

e2e_elevation_case
session_set_machine AccessPeriod 5
session_reg_add "$connector" /v ActiveDirectory /t REG_SZ /d 1
session_reg_add "$connector" /v ActiveDirectoryGroup /t REG_SZ /d Helpdesk
e2e_tray_up
e2e_tray_log_messages | grep -qxF "CheckADUserGroup. Exception. Cannot get AD object2" ||
  session_fail "no cache: no log line about the failed check"
e2e_assert_eq 405 "$(user_value setting2)" "no cache: recorded verdict"
now="$(user_value checkpoint2)" || session_fail "no cache: no checkpoint2"
# A local file time: within 14 hours (the widest time-zone offset) of the universal time.
offset=$((now - ($(date +%s) + 11644473600) * 10000000))
((${offset#-} < 14 * day / 24)) || session_fail "no cache: checkpoint2 $now is not a local time of now"

# No cache: the click is refused with the directory balloon and sends nothing.
e2e_click_tray_icon
e2e_expect_balloon "$refused" 0 "no cache: directory balloon"
sleep 1
e2e_assert_eq 0 "$(e2e_service_requests)" "no cache: requests sent"
session_screenshot refused-balloon 640x200+384+568

# A "301" recorded two days before, cached for three: a click elevates; the record is kept.
e2e_tray_down
session_reg_add "$connector" /v ActiveDirectoryCache /t REG_SZ /d 3
session_reg_add "$SESSION_USER_KEY" /v checkpoint2 /t REG_SZ /d $((now - 2 * day))
session_reg_add "$SESSION_USER_KEY" /v setting2 /t REG_SZ /d 301
e2e_tray_up
e2e_click_tray_icon
e2e_expect_grant 5
e2e_assert_eq 1 "$(e2e_service_requests)" "fresh 301: requests sent"
e2e_assert_eq $((now - 2 * day)) "$(user_value checkpoint2)" "fresh 301: the record kept"
