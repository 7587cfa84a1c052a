#!/usr/bin/env bash
# msi_install.sh MSI X64_BUILD: the package in a fresh 64-bit Wine prefix, as an administrator
# deploys it: silent install (the package's files, registry, service running with restart on
# failure), the tray started from the Run value at the next logon, an upgrade to a newer
# version, and a silent removal that ends a running elevation and leaves no program, service or
# Run value. The Wine session provides the display, the prefix and the Wine helpers.
#
# Where 32-bit programs cannot run (no wine32, or a kernel without 32-bit support) the installed
# 32-bit tray is replaced in the prefix by the x86_64 build of the same code before the logon:
# the Run value the package wrote, unchanged, must still start it.
set -euo pipefail
msi="$(realpath -e "$1")" x64="$(realpath -e "$2")"
root="$(cd "$(dirname "$0")/../.." && pwd)"
SESSION_BUILD="$(dirname "$msi")" SESSION_WINEPREFIX="$(dirname "$msi")/wineprefix-msi"  # PE check skips it
# The service manager reports the calls it does not implement (into the harness's wine.log).
export WINEDEBUG=-all,fixme+service
rm -rf "$SESSION_WINEPREFIX"
# shellcheck source=../../scripts/lib/wine_session.sh
source "$root/scripts/lib/wine_session.sh"
session_setup
passed=0  # the prefix (about 700 MB) stays when something failed
trap 'session_teardown; ((passed == 0)) || rm -rf "$WINEPREFIX"' EXIT
app="$WINEPREFIX/drive_c/Program Files/Ostrand/Velmora" service_log=VelmoraFrameworkService.log
# What the service writes beside itself, and the Run key.
own='VelmoraFrameworkService.lo*' run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'

package() {  # OPTION PACKAGE WHAT
  session_wine msiexec "$1" "$(session_winpath "$2")" /qn /l*v "$(session_winpath "$SESSION_TMP/$3.log")" ||
    session_fail "$3 failed (see $3.log)"
}
no_tray() {  # of this prefix: other prefixes on the machine may run theirs
  ! grep -las 'VelmoraTray\.exe' /proc/[0-9]*/cmdline | sed 's/cmdline$/environ/' |
    xargs -r grep -lasxzF "WINEPREFIX=$WINEPREFIX" | grep -q .
}
count() { cat "$app/$service_log" 2>/dev/null | grep -c "$1" || :; }  # PATTERN: its log lines
# The tray from the Run value asks for the elevation at login that policy sets: a grant shows
# that it started.
logon_and_elevate() {  # WHEN
  local granted
  granted=$(count 'Decision. Granted')
  ((stand_in == 0)) || cp "$x64/src/VelmoraTray.exe" "$app/VelmoraTray.exe"
  # A new wineserver: its boot starts the service manager and runs the Run values.
  session_stop_wineserver
  timeout 20 wineserver -p </dev/null >/dev/null 2>&1 || session_fail "wineserver -p"
  session_wine wineboot || { sleep 1 && session_wine wineboot; } || session_fail "wineboot"
  session_wait_until 20 session_service_is RUNNING || session_fail "$1: the service is $SESSION_SERVICE_STATE"
  session_wait_until 20 session_more_than "$granted" count 'Decision. Granted' || session_fail "$1: no \
    elevation at logon: $(tail -n 5 "$app/$service_log"; tail -n 5 "$SESSION_TRAY_LOG")"
}
every_elevation_ended() {  # WHEN: an elevation at login lasts until the service stops
  (($(count 'Decision. Granted') == $(count 'Elevation. The elevation of .* ends: '))) &&
    [[ "$(grep 'ends: ' "$app/$service_log" | tail -n 1)" == *'ends: the service is stopping.'* ]] ||
    session_fail "$1: not every elevation ended when the service stopped: $(tail -n 5 "$app/$service_log")"
}

package /i "$msi" install
msiextract -C "$SESSION_TMP/package" "$msi" >/dev/null
diff -rq -x "$own" "$(dirname "$(find "$SESSION_TMP/package" -name VelmoraTray.exe)")" "$app" ||
  session_fail "the installed files are not the package's"
session_wait_until 20 session_service_is RUNNING || session_fail "the service is $SESSION_SERVICE_STATE after install"
# Wine's service manager takes failure actions without keeping them; it says so, with the reset
# period, which shows the package's call reached it. Windows keeps them (sc qfailure).
grep -q 'SERVICE_CONFIG_FAILURE_ACTIONS not implemented: period 86400 ' "$SESSION_TMP/wine.log" ||
  session_fail "restart on failure was not configured"
session_run "C:\\Program Files\\Ostrand\\Velmora\\x64\\velmora_hook_tool.exe" hook-check >/dev/null ||
  session_fail "the installed 64-bit hook library does not work"

stand_in=1  # unless 32-bit programs run here
/lib/ld-linux.so.2 --version >/dev/null 2>&1 &&
  [[ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]] && stand_in=0
session_reg_add 'HKLM\SOFTWARE\Policies\Ostrand\Velmora' /v ElevateAtLogin /t REG_DWORD /d 1
(cd "$SESSION_BUILD" && wixl -a x64 -D Version=99.0.0.0 -D I686Dir=.. \
  -D X64Dir="$(realpath --relative-to=. "$x64")" -D SourceDir="$(realpath --relative-to=. "$root")" \
  -o "$SESSION_TMP/newer.msi" "$root/packaging/Velmora.wxs") 2>"$SESSION_TMP/wixl.log" || session_fail "wixl"
logon_and_elevate "first logon"

package /i "$SESSION_TMP/newer.msi" upgrade
session_run reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s >"$SESSION_TMP/products"
(($(grep -c 'DisplayName.*REG_SZ.*Velmora$' "$SESSION_TMP/products") == 1)) &&
  grep -q 'DisplayVersion.*99\.0\.0' "$SESSION_TMP/products" || session_fail "not the one newer product"
session_wait_until 20 session_service_is RUNNING || session_fail "the service is $SESSION_SERVICE_STATE after upgrade"
every_elevation_ended "upgrade"
logon_and_elevate "logon after the upgrade"

package /x "$SESSION_TMP/newer.msi" removal
session_wait_until 20 session_service_is MISSING || session_fail "the service is still there: $SESSION_SERVICE_STATE"
! session_reg_get "$run_key" VelmoraTray >/dev/null || session_fail "the Run value is still there"
session_wait_until 10 no_tray || session_fail "the tray still runs after the removal"
[[ -z "$(find "$app" -type f ! -name "$own")" ]] || session_fail "files left after removal"
every_elevation_ended "removal"
# shellcheck disable=SC2034  # read by the EXIT trap
passed=1
