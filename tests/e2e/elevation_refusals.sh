#!/usr/bin/env bash
# The service refuses (its machine value Deny = 1): the forbidden balloon and no timerEnd; the
# service stopped: the not-running balloon and no request at all.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"

forbidden="You have insufficient privileges to elevate your account. Please contact your system administrator"
not_running="Velmora Framework Service is not running, please contact your system Administrator"

e2e_elevation_case
e2e_reg_add 'HKLM\Software\Ostrand\Velmora\Service' /v Deny /t REG_DWORD /d 1 /reg:64
e2e_tray_up

before=$(e2e_balloon_count "$forbidden")
e2e_click_tray_icon
e2e_service_expect_log "Decision. Refused: the machine value Deny is 1." "refusal" 10
e2e_expect_balloon "$forbidden" "$before" "forbidden balloon"
e2e_screenshot forbidden-balloon 640x200+384+568
e2e_no_timer_end || e2e_fail "timerEnd was written for a refused request"

e2e_service_stop || e2e_fail "the service did not stop within 20 s"
sent=$(e2e_service_requests)
before=$(e2e_balloon_count "$not_running")
e2e_click_tray_icon
e2e_expect_balloon "$not_running" "$before" "service-not-running balloon"
e2e_screenshot not-running-balloon 640x200+384+568
e2e_assert_eq "$sent" "$(e2e_service_requests)" "requests while the service is stopped"
e2e_pass
