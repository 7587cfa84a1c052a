#!/usr/bin/env bash
# The service refuses (its machine value Deny = 1): the forbidden balloon and no timerEnd; the
# service stopped: the not-running balloon and no request at all.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup

forbidden="You have insufficient privileges to elevate your account. Please contact your system administrator"
not_running="Velmora Framework Service is not running, please contact your system Administrator"

e2e_elevation_case
e2e_reg_add 'HKLM\Software\Ostrand\Velmora\Service' /v Deny /t REG_DWORD /d 1 /reg:64 ||
  e2e_fail "cannot set Deny"
e2e_start_tray
e2e_find_main VelmoraTray.exe 10000 >/dev/null || e2e_fail "no main window"
e2e_wait_tray_icon

before=$(e2e_balloon_count "$forbidden")
e2e_click_tray_icon 1
e2e_service_expect_log "Decision. Refused: the machine value Deny is 1." "refusal" 10
e2e_expect_balloon "$forbidden" "$before" "forbidden balloon"
e2e_screenshot_crop forbidden-balloon 640x200+384+568
if e2e_reg_query HKCU 'Software\Ostrand\Velmora' timerEnd >/dev/null; then
  e2e_fail "timerEnd was written for a refused request"
fi

e2e_service_stop
sent=$(e2e_service_requests)
before=$(e2e_balloon_count "$not_running")
e2e_click_tray_icon 1
e2e_expect_balloon "$not_running" "$before" "service-not-running balloon"
e2e_screenshot_crop not-running-balloon 640x200+384+568
e2e_assert_eq "$sent" "$(e2e_service_requests)" "requests while the service is stopped"
e2e_pass
