#!/usr/bin/env bash
# About, opened from the real menu: each version line shows the product version that its file's
# version resource holds (the service's file found from its configuration, quotes, blanks and
# arguments included), "Not found" without the hook library, "not running" without the service,
# and the licence as LICENSE holds it (each paragraph one line, CRLF line ends); Escape and
# Return close it.
set -euo pipefail
# shellcheck source=lib/wine_env.sh
source "$(dirname "$0")/lib/wine_env.sh"
e2e_begin "$@"
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"

version_of() { e2e_driver product-version "$(e2e_winpath "$1")"; }

open_about() {
  e2e_icon_menu 3 0 >/dev/null
  e2e_choose About
  e2e_dialog About
}

expect_versions() {  # SERVICE TRAY SHELL
  e2e_assert_eq "$1" "$(e2e_item_text "$E2E_DIALOG" 1015)" "service line"
  e2e_assert_eq "$2" "$(e2e_item_text "$E2E_DIALOG" 1016)" "tray line"
  e2e_assert_eq "$3" "$(e2e_item_text "$E2E_DIALOG" 1019)" "shell line"
}

close_with() {  # KEY
  xdotool key "$1"
  e2e_wait_until 5 e2e_dialog_gone About || e2e_fail "$1 did not close About"
}

# The programs as built: the service installed and running, the library beside the tray.
e2e_elevation_case
e2e_tray_up
open_about
service_version="$(version_of "$E2E_SERVICE")" || e2e_fail "the service has no version resource"
tray_version="$(version_of "$E2E_TRAY")" || e2e_fail "the tray has no version resource"
hook_version="$(version_of "$(dirname "$E2E_TRAY")/VelmoraSH64.dll")" || e2e_fail "no hook library"
expect_versions "$service_version" "$tray_version" "$hook_version"
e2e_assert_eq "Velmora for Windows, Standard Edition" "$(e2e_item_text "$E2E_DIALOG" 1014)" \
  "product name"
e2e_item_text "$E2E_DIALOG" 1000 >"$E2E_TMP/licence-shown.txt"
perl -0pe 's/([^\n])\n(?=[^\n])/$1 /g; s/\n/\r\n/g' "$ROOT/LICENSE" >"$E2E_TMP/licence-expected.txt"
cmp "$E2E_TMP/licence-expected.txt" "$E2E_TMP/licence-shown.txt" ||
  e2e_fail "the licence shown differs from LICENSE"
e2e_screenshot about 520x640+252+64
e2e_screenshot about-full
close_with Escape

# A service configured with quotes, a folder with blanks and arguments, whose program (a copy of
# the driver) has product version 9.8.7.6 and file version 1.2.3.4; the tray alone in a folder.
e2e_clean_state
e2e_desktop_trace_start
odd="$E2E_TMP/service folder"
mkdir -p "$odd"
cp "$E2E_DRIVER" "$odd/velmora_service.exe"
E2E_SERVICE_LOG="$E2E_TMP/unused.log"  # clean state and teardown remove the registration
command="\"$(e2e_winpath "$odd/velmora_service.exe")\" -k \"a b\""
e2e_wine sc create "$E2E_SERVICE_NAME" binPath= "$command" || e2e_fail "sc create failed"
e2e_tray_copy "$E2E_TMP/tray alone"
e2e_tray_up
open_about
expect_versions 9.8.7.6 "$tray_version" "Not found"
e2e_screenshot about-odd-service 520x640+252+64
close_with Escape

# No service at all.
e2e_clean_state
E2E_SERVICE_LOG=""
e2e_desktop_trace_start
e2e_tray_up
open_about
expect_versions "not running" "$tray_version" "Not found"
close_with Return
e2e_pass
