#!/usr/bin/env bash
# Fixture: creates and configures the shared Wine prefix (once) and checks that the driver runs
# inside it, so that the scenarios start from a ready prefix.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"
e2e_driver terminate VelmoraTray.exe || session_fail "the driver does not run under Wine"
session_log "prefix $WINEPREFIX ready; tray log at $SESSION_TRAY_LOG"
