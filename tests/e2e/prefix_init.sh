#!/usr/bin/env bash
# Fixture: creates and configures the shared Wine prefix (once) and checks that the driver
# runs inside it, so that the scenarios start from a ready prefix.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_parse_args "$@"
e2e_setup
e2e_driver expand-env '%TEMP%' >/dev/null || e2e_fail "the driver does not run under Wine"
e2e_log "prefix $WINEPREFIX ready; tray log at $(e2e_log_path)"
e2e_pass
