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

# shellcheck source=lib/wine_session.sh
source scripts/lib/wine_session.sh
SESSION_NAME=run
SESSION_BUILD=$ROOT/build/windows-x86_64
SESSION_TRAY=$SESSION_BUILD/src/VelmoraTray.exe
SESSION_ARTIFACTS=$ROOT/build/run-artifacts
SESSION_WINEPREFIX=$ROOT/build/wineprefix-run
session_setup

session_service_up
session_start_tray
echo "VelmoraFrameworkService is running; its log: $SESSION_SERVICE_LOG"
echo "VelmoraTray.exe is running on $DISPLAY (Wine prefix $WINEPREFIX)."
echo "Tray log: $SESSION_TRAY_LOG"
echo "Click the icon at the bottom right of the Wine desktop to ask for an elevation."
if [[ -n "$run_for" ]]; then
  sleep "$run_for"
  session_screenshot desktop
  echo "Screenshot: $SESSION_ARTIFACTS/run-desktop.png"
  exit 0
fi
echo "Press Ctrl+C to stop."
status=0
wait "$SESSION_TRAY_PID" || status=$?
echo "VelmoraTray.exe ended with exit code $status."
exit "$status"
