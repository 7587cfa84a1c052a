#!/usr/bin/env bash
# msi_install.sh MSI X64_BUILD: the package in a fresh 64-bit Wine prefix, as an administrator
# deploys it: silent install (files, registry, service running with restart on failure), the
# tray started from the Run value at the next logon, an upgrade to a newer version, and a
# silent removal that ends a running elevation and leaves no program, service or Run value.
#
# Where 32-bit programs cannot run (no wine32, or a kernel without 32-bit support) the installed
# 32-bit tray is replaced in the prefix by the x86_64 build of the same code before the logon:
# the Run value the package wrote, unchanged, must still start it.
set -euo pipefail
msi="$(realpath -e "$1")"
x64="$(realpath -e "$2")"
root="$(cd "$(dirname "$0")/../.." && pwd)"
work="$(dirname "$msi")/wineprefix-msi"  # the PE check skips wineprefix*
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
xvfb=""

say() { printf '[%s msi_install] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }
fail() { say "FAIL: $*"; exit 1; }
# Wine's helpers inherit the stdio of the command that starts them: never a pipe.
wine_q() { timeout -k 5 "${T:-120}" wine "$@" </dev/null >>"$work/wine.log" 2>&1; }
wine_to() {  # FILE ARGS...
  local out="$1" status=0
  shift
  timeout -k 5 60 wine "$@" </dev/null >"$out.raw" 2>>"$work/wine.log" || status=$?
  tr -d '\r' <"$out.raw" >"$out"
  return "$status"
}
wait_for() {  # SECONDS COMMAND...
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do ((SECONDS < deadline)) || return 1; sleep 0.3; done
}
reg_value() {  # KEY NAME: prints the data of a value, status 1 when it is missing
  wine_to "$work/reg.out" reg query "$1" /v "$2" || return 1
  awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^  */, ""); print }' "$work/reg.out"
}
service_state() {
  wine_to "$work/sc.out" sc query VelmoraFrameworkService || { echo MISSING; return; }
  awk '$1 == "STATE" { print $4 }' "$work/sc.out"
}
service_is() { [[ "$(service_state)" == "$1" ]]; }
# Trays of this prefix only: other prefixes on the machine may run theirs.
tray_running() {
  local file
  for file in $(grep -las 'VelmoraTray\.exe' /proc/[0-9]*/cmdline); do
    tr '\0' '\n' <"${file%cmdline}environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" &&
      return 0
  done
  return 1
}
no_tray() { ! tray_running; }
new_session() {  # a logon: a new wineserver, whose boot runs the Run values
  timeout 20 wineserver -k </dev/null >/dev/null 2>&1 || true
  timeout 20 wineserver -w </dev/null >/dev/null 2>&1 || true
  timeout 20 wineserver -p </dev/null >/dev/null 2>&1 || fail "wineserver -p"
  # The service manager starts with this boot; it reports calls it does not implement.
  T=120 WINEDEBUG=-all,fixme+service wine_q wineboot || fail "wineboot"
}
teardown() {
  local status=$?
  timeout 20 wineserver -k </dev/null >/dev/null 2>&1 || true
  timeout 20 wineserver -w </dev/null >/dev/null 2>&1 || true
  [[ -z "$xvfb" ]] || kill "$xvfb" 2>/dev/null || true
  # The prefix (about 700 MB) stays only when something failed.
  if ((status == 0)) && [[ -z "${MSI_KEEP:-}" ]]; then rm -rf "$WINEPREFIX"; else say "kept $work"; fi
}

rm -rf "$work"
mkdir -p "$work"
trap teardown EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" </dev/null \
  >"$work/xvfb.log" 2>&1 &
xvfb=$!
wait_for 10 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"

say "fresh prefix $WINEPREFIX"
T=300 wine_q wineboot --init || fail "wineboot --init"
new_session
app="$WINEPREFIX/drive_c/Program Files/Ostrand/Velmora"
run_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
service_key='HKLM\System\CurrentControlSet\Services\VelmoraFrameworkService'

say "msiexec /i /qn"
wine_q msiexec /i "Z:${msi//\//\\}" /qn /l*v "Z:${work//\//\\}\\install.log" ||
  fail "msiexec /i failed (see $work/install.log)"
for file in VelmoraTray.exe VelmoraSH64.dll velmora_hook_tool.exe velmora_lng_check.exe \
  VelmoraFrameworkService.exe License.txt x64/VelmoraSH64.dll x64/velmora_hook_tool.exe; do
  [[ -f "$app/$file" ]] || fail "$file was not installed"
done
for pack in "$root"/resources/Localization/*.lng; do
  cmp -s "$pack" "$app/Localization/$(basename "$pack")" || fail "$(basename "$pack") not installed"
done
wait_for 20 service_is RUNNING || fail "the service is $(service_state) after the install"
[[ "$(reg_value "$service_key" Start)" == 0x2 ]] || fail "the service does not start automatically"
# Wine's service manager takes failure actions without keeping them; it says so, with the reset
# period, which shows the package's call reached it. Windows keeps them (sc qfailure).
grep -q 'SERVICE_CONFIG_FAILURE_ACTIONS not implemented: period 86400 ' "$work/wine.log" ||
  fail "restart on failure was not configured"
run="$(reg_value "$run_key" VelmoraTray)" || fail "no Run value"
[[ "$run" == '"C:\Program Files\Ostrand\Velmora\VelmoraTray.exe"' ]] || fail "Run value is [$run]"
wine_to "$work/hook.out" "C:\\Program Files\\Ostrand\\Velmora\\x64\\velmora_hook_tool.exe" \
  hook-check || fail "the installed 64-bit hook library does not work: $(cat "$work/hook.out")"

# The tray at logon, asking for the elevation at login that policy sets: it lasts until the
# service ends it, so only the service's stop in the upgrade and in the removal can end it.
if /lib/ld-linux.so.2 --version >/dev/null 2>&1 &&
  [[ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]]; then
  say "32-bit programs run here: the installed 32-bit tray starts at logon"
  stand_in=0
else
  say "no 32-bit programs here: the x86_64 tray stands in for the 32-bit one at logon"
  stand_in=1
fi
service_log="$app/VelmoraFrameworkService.log"
wine_q reg add 'HKLM\SOFTWARE\Policies\Ostrand\Velmora' /v ElevateAtLogin /t REG_DWORD /d 1 /f ||
  fail "cannot set ElevateAtLogin"
log="$WINEPREFIX/drive_c/users/$(id -un)/Temp/VelmoraTray.log"
logon_and_elevate() {  # WHEN
  local granted
  granted=$(grep -c 'Decision. Granted' "$service_log" || true)
  ((stand_in == 0)) || cp "$x64/src/VelmoraTray.exe" "$app/VelmoraTray.exe"
  rm -f "$log"
  new_session
  wait_for 20 tray_running || fail "$1: the tray did not start from the Run value at logon"
  wait_for 10 grep -qs 'Tray app init' "$log" || fail "$1: the tray did not start up (no log)"
  wait_for 20 service_is RUNNING || fail "$1: the service is $(service_state) after the logon"
  wait_for 20 bash -c "((\$(grep -c 'Decision. Granted' '$service_log') > $granted))" ||
    fail "$1: the service granted nothing: $(tail -n 5 "$service_log")"
  say "$1: the tray started at logon and its elevation at login runs"
}
every_elevation_ended() {
  local granted ended
  granted=$(grep -c 'Decision. Granted' "$service_log" || true)
  ended=$(grep -c 'Elevation. The elevation of .* ends: ' "$service_log" || true)
  ((granted == ended)) || fail "$1: $granted elevations granted, $ended ended"
  [[ "$(grep 'ends: ' "$service_log" | tail -n 1)" == *'ends: the service is stopping.'* ]] ||
    fail "$1: the last elevation did not end when the service stopped: $(tail -n 5 "$service_log")"
}
(cd "$(dirname "$msi")" && wixl -a x64 -D Version=99.0.0.0 -D I686Dir=.. \
  -D X64Dir="$(realpath --relative-to=. "$x64")" -D SourceDir="$(realpath --relative-to=. "$root")" \
  -o "$work/newer.msi" "$root/packaging/Velmora.wxs") 2>"$work/wixl.log" || fail "wixl (newer)"
logon_and_elevate "first logon"

say "upgrade to a newer version, during an elevation"
wine_q msiexec /i "Z:${work//\//\\}\\newer.msi" /qn /l*v "Z:${work//\//\\}\\upgrade.log" ||
  fail "the upgrade failed (see $work/upgrade.log)"
wine_to "$work/uninstall.out" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s
products=$(grep -c 'DisplayName.*REG_SZ.*Velmora$' "$work/uninstall.out" || true)
((products == 1)) || fail "$products Velmora products registered after the upgrade"
grep -q 'DisplayVersion.*99\.0\.0' "$work/uninstall.out" || fail "the newer version is not registered"
wait_for 20 service_is RUNNING || fail "the service is $(service_state) after the upgrade"
every_elevation_ended "upgrade"
logon_and_elevate "logon after the upgrade"

say "msiexec /x /qn, during an elevation"
wine_q msiexec /x "Z:${work//\//\\}\\newer.msi" /qn /l*v "Z:${work//\//\\}\\remove.log" ||
  fail "msiexec /x failed (see $work/remove.log)"
wait_for 20 service_is MISSING || fail "the service is still registered ($(service_state))"
! reg_value "$run_key" VelmoraTray >/dev/null || fail "the Run value is still there"
wait_for 10 no_tray ||
  fail "the tray still runs after the removal"
left="$(cd "$app" && find . -type f ! -name 'VelmoraFrameworkService.lo*' | sort)"
[[ -z "$left" ]] || fail "files left after the removal: $left"
every_elevation_ended "removal"
say "PASS"
