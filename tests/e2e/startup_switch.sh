#!/usr/bin/env bash
# The "/elevate" switch ends the process before anything else happens; the test is a
# case-sensitive substring test over the whole command line.
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

# Capital letters do not match: the program starts normally and keeps running.
e2e_clean_state
e2e_tray_up /ELEVATE
e2e_is_running "$E2E_TRAY_PID" || e2e_fail "/ELEVATE: the tray ended"
grep -q 'Tray app init' "$E2E_TRAY_LOG" || e2e_fail "/ELEVATE: no 'Tray app init' in the log"
e2e_screenshot elevate-uppercase-running
e2e_driver terminate VelmoraTray.exe 7 10000 >/dev/null
# The launcher reports the program's own exit code.
e2e_expect_exit "$E2E_TRAY_PID" 10 7 "terminated tray"
e2e_pass
