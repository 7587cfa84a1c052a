#!/usr/bin/env bash
# Builds the 64-bit Windows programs, registers and starts the reference service
# VelmoraFrameworkService in a private Wine prefix, and runs VelmoraTray.exe under Wine on a
# virtual desktop with a taskbar: on your DISPLAY when one is set and reachable, else on a
# private Xvfb.
#
#   scripts/run.sh                 # runs until the tray ends or Ctrl+C
#   scripts/run.sh --for SECONDS   # runs for a while, saves a screenshot, then stops
#
# Everything it starts (Wine server, Xvfb) is stopped when it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

run_for=""
while (($#)); do
  case "$1" in
    --for) run_for="$2"; shift 2 ;;
    *) echo "usage: $0 [--for SECONDS]" >&2; exit 2 ;;
  esac
done

bash scripts/setup.sh
cmake --preset windows-x86_64 >/dev/null
cmake --build --preset windows-x86_64 -j "$(nproc)"

# shellcheck source=../tests/e2e/lib/wine_env.sh
source tests/e2e/lib/wine_env.sh
E2E_NAME=run
E2E_BUILD=$ROOT/build/windows-x86_64
E2E_TRAY=$E2E_BUILD/src/VelmoraTray.exe
E2E_DRIVER=$E2E_BUILD/tests/e2e/velmora_driver.exe
E2E_ARTIFACTS=$ROOT/build/run-artifacts
E2E_WINEPREFIX=$ROOT/build/wineprefix-run
e2e_configure
e2e_setup

e2e_service_install
e2e_service_start || e2e_fail "the service did not start (exit code $E2E_SERVICE_EXIT)"
e2e_start_tray
echo "VelmoraFrameworkService is running; its log: $E2E_SERVICE_LOG"
echo "VelmoraTray.exe is running on $DISPLAY (Wine prefix $WINEPREFIX)."
echo "Tray log: $E2E_TRAY_LOG"
echo "Click the icon at the bottom right of the Wine desktop to ask for an elevation."
if [[ -n "$run_for" ]]; then
  sleep "$run_for"
  e2e_screenshot desktop
  echo "Screenshot: $E2E_ARTIFACTS/run-desktop.png"
  exit 0
fi
echo "Press Ctrl+C to stop."
status=0
wait "$E2E_TRAY_PID" || status=$?
echo "VelmoraTray.exe ended with exit code $status."
exit "$status"
