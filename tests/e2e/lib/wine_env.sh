# shellcheck shell=bash
# wine_env.sh - the harness of the end-to-end scenarios: the x86_64 Windows programs under 64-bit
# Wine on an X display. Source it from a `set -euo pipefail` script, then:
#
#   e2e_begin "$@"    # --build DIR --tray EXE --driver EXE --artifacts DIR; set-up
#   e2e_clean_state   # before every case: no tray, no product keys, no log, no service
#   ...               # e2e_tray_up, e2e_driver, e2e_expect_exit, e2e_screenshot, ...
#
# A script may also just source it, set E2E_BUILD_DIR and call e2e_setup/e2e_teardown around
# other commands (CTest): they then run with WINEPREFIX, DISPLAY and a running server, and the
# scenarios started inside join that session instead of starting their own.
#
# Facts relied on (Wine 8.0, Debian 12):
# - Wine's helpers (services.exe, explorer.exe, winedevice.exe) inherit the stdio of the wine
#   command that started them, so wine's output never goes into a pipe or $(...) here: it goes
#   to files, which are read back.
# - HKCU\Software\Wine\Explorer "Desktop"="shell" with Explorer\Desktops "shell"="1024x768" puts
#   the windows of every `wine X.exe` into one virtual desktop titled "shell - Wine desktop",
#   with a taskbar; `wine X.exe` still waits for the program and returns its exit code.
# - wineserver -p keeps the server and the helpers alive: a program starts in a fraction of a
#   second. `wineboot --init` of a new prefix takes 10-20 s; a marker file records it.
#
# Every wait is bounded. Settings: E2E_WINE_TIMEOUT (seconds for one wine command, default 60),
# E2E_WINEPREFIX, WINEDEBUG (channels added to "-all"), E2E_KEEP_TMP=1 (keep the scratch folder).

E2E_NAME="$(basename "${0%.sh}")"
E2E_LIB="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
E2E_WINE_TIMEOUT="${E2E_WINE_TIMEOUT:-60}"
E2E_PIDS=()  # Unix PIDs of background processes started here
E2E_XVFB_PID="" E2E_TMP="" E2E_SET_UP=0 E2E_NESTED=0 E2E_MAIN="" E2E_TRAY_PID="" E2E_TRAY_LOG=""
E2E_USER_KEY='HKCU\Software\Ostrand\Velmora' E2E_MACHINE_KEY='HKLM\Software\Ostrand\Velmora'

# --------------------------------------------------------------------------------------------
# Messages and waits

e2e_log() { printf '[%s %s] %s\n' "$(date +%H:%M:%S)" "$E2E_NAME" "$*" >&2; }
e2e_fail() { e2e_log "FAIL: $*"; exit 1; }
e2e_assert_eq() { [[ "$1" == "$2" ]] || e2e_fail "$3: expected [$1], got [$2]"; }  # WANT GOT WHAT
# PASS is logged by the teardown of a scenario that ends well; kept for scripts that say it.
e2e_pass() { :; }

# Runs COMMAND every 0.1 s until it succeeds; status 1 when SECONDS_ have passed first.
e2e_wait_until() {  # SECONDS_ COMMAND...
  local deadline=$((SECONDS + $1))
  until "${@:2}"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# Succeeds when the number that COMMAND prints is greater than COUNT.
e2e_more_than() { (($("${@:2}") > $1)); }  # COUNT COMMAND...
e2e_not() { ! "$@" >/dev/null; }  # COMMAND...
# Fails with WHAT unless COMMAND succeeds within SECONDS_.
e2e_within() { e2e_wait_until "$1" "${@:3}" || e2e_fail "$2"; }  # SECONDS_ WHAT COMMAND...

# --------------------------------------------------------------------------------------------
# Set-up and teardown

e2e_begin() {
  while (($# > 1)); do
    printf -v "E2E_$(tr '[:lower:]' '[:upper:]' <<<"${1#--}")" %s "$2"
    shift 2
  done
  E2E_SCENARIO=1
  e2e_setup
}

# Settles paths and the Wine environment; the build folder defaults to E2E_BUILD_DIR or
# build/windows-x86_64.
e2e_configure() {
  E2E_BUILD="$(realpath -m "${E2E_BUILD:-${E2E_BUILD_DIR:-$PWD/build/windows-x86_64}}")"
  E2E_ARTIFACTS="${E2E_ARTIFACTS:-$E2E_BUILD/e2e-artifacts}"
  E2E_TRAY="${E2E_TRAY:-$E2E_BUILD/src/VelmoraTray.exe}"
  E2E_DRIVER="${E2E_DRIVER:-$E2E_BUILD/tests/e2e/velmora_driver.exe}"
  mkdir -p "$E2E_ARTIFACTS"
  # Not an inherited WINEPREFIX (say ~/.wine): tests own their prefix.
  export WINEPREFIX="${E2E_WINEPREFIX:-$E2E_BUILD/wineprefix-e2e}" WINEARCH=win64
  [[ "${WINEDEBUG:-}" == -all* ]] || export WINEDEBUG="-all${WINEDEBUG:+,$WINEDEBUG}"
  # winemenubuilder would write desktop entries into the real home folder.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
}

e2e_start_display() {
  if [[ -n "${DISPLAY:-}" ]] && timeout 10 xdpyinfo >/dev/null 2>&1; then return; fi
  # A private Xvfb left behind by a run that was killed (CTest kills on time-out); the command
  # line guards against a recycled PID.
  local stale="$WINEPREFIX.xvfb.pid"
  if [[ -f "$stale" ]] && tr '\0' ' ' 2>/dev/null <"/proc/$(cat "$stale")/cmdline" | grep -q Xvfb; then
    kill "$(cat "$stale")" || true
  fi
  # -displayfd lets the server pick a free display number itself.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$E2E_TMP/display" </dev/null \
    >"$E2E_TMP/xvfb.log" 2>&1 &
  E2E_XVFB_PID=$!
  echo "$E2E_XVFB_PID" >"$stale"
  e2e_wait_until 10 test -s "$E2E_TMP/display" || e2e_fail "Xvfb did not start"
  DISPLAY=":$(head -n1 "$E2E_TMP/display")"
  export DISPLAY
  e2e_wait_until 10 xdpyinfo >/dev/null 2>&1 || e2e_fail "Xvfb on $DISPLAY does not answer"
  e2e_log "private Xvfb $DISPLAY (pid $E2E_XVFB_PID)"
}

e2e_stop_wineserver() {
  timeout 20 wineserver -k </dev/null >/dev/null 2>&1 || true
  timeout 20 wineserver -w </dev/null >/dev/null 2>&1 || true
}

e2e_init_prefix() {
  [[ ! -f "$WINEPREFIX/.velmora-e2e-ready" ]] || return 0
  e2e_log "initialising $WINEPREFIX (once per prefix)"
  mkdir -p "$WINEPREFIX"
  E2E_WINE_TIMEOUT=300 e2e_wine wineboot --init || e2e_fail "wineboot --init failed"
  e2e_reg_add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
  e2e_reg_add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d shell
  e2e_reg_add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /t REG_SZ /d 1024x768
  # The registry files are written when the server ends: no marker beside an unsaved set-up.
  e2e_stop_wineserver
  touch "$WINEPREFIX/.velmora-e2e-ready"
}

# Starts (or joins) a session: display, initialised prefix, persistent wineserver with its
# helpers, the tray's log path and the user. A scenario run inside another script's session
# (CTest inside scripts/test.sh) finds E2E_SESSION_PREFIX equal to its own prefix and joins it
# instead of restarting the server under the caller's feet.
e2e_setup() {
  local temp
  ((E2E_SET_UP == 0)) || return 0
  command -v wine >/dev/null || e2e_fail "wine is not installed"
  e2e_configure
  E2E_TMP="$(mktemp -d "${TMPDIR:-/tmp}/velmora-e2e.XXXXXX")"
  trap e2e_teardown EXIT
  trap 'exit 130' INT TERM
  E2E_SET_UP=1
  if [[ "${E2E_SESSION_PREFIX:-}" == "$WINEPREFIX" && -n "${DISPLAY:-}" ]] &&
    timeout 10 xdpyinfo >/dev/null 2>&1; then
    E2E_NESTED=1
  else
    e2e_start_display
    e2e_stop_wineserver  # leftovers of a killed run would keep the old display
    e2e_init_prefix
    timeout 20 wineserver -p </dev/null >/dev/null 2>&1 || e2e_fail "wineserver -p failed"
    # Seen once under load: the first program of a fresh server did not start; the next did.
    e2e_wine wineboot || { sleep 1 && e2e_wine wineboot; } || e2e_fail "wineboot failed"
    export E2E_SESSION_PREFIX="$WINEPREFIX"
  fi
  # %TEMP% of the prefix's user is asked from Wine, not assumed.
  IFS=';' read -r temp E2E_USER E2E_LOGON \
    < <(e2e_run cmd /c 'echo %TEMP%;%USERDOMAIN%\%USERNAME%;%USERNAME%')
  [[ -n "$E2E_LOGON" ]] || e2e_fail "cannot ask Wine for %TEMP% and the user"
  # The user as the service's log writes it: DOMAIN\\user, the backslash escaped.
  E2E_LOGGED_USER="${E2E_USER//\\/\\\\}"
  E2E_TRAY_LOG="$(e2e_run winepath -u "$temp")/VelmoraTray.log" || e2e_fail "winepath failed"
}

# Ends what e2e_setup and the scenario started (also the EXIT trap). Always returns 0: the
# caller's status stands.
e2e_teardown() {
  local status=$?
  trap - EXIT
  ((E2E_SET_UP == 1)) || return 0
  E2E_SET_UP=0
  [[ -z "$E2E_SERVICE_LOG" ]] || e2e_service_remove >/dev/null 2>&1 || true
  e2e_kill_tracked
  if ((E2E_NESTED == 0)); then
    e2e_stop_wineserver
    [[ -z "$E2E_XVFB_PID" ]] || kill "$E2E_XVFB_PID" 2>/dev/null || true
    rm -f "$WINEPREFIX.xvfb.pid"
    unset E2E_SESSION_PREFIX
  fi
  if ((status == 0)); then
    [[ -z "${E2E_SCENARIO:-}" ]] || e2e_log PASS
  elif [[ -d "$E2E_TMP" ]]; then
    # What the programs printed, beside the screenshots.
    mkdir -p "$E2E_ARTIFACTS/$E2E_NAME-output"
    cp -r "$E2E_TMP"/. "$E2E_TRAY_LOG" "$E2E_ARTIFACTS/$E2E_NAME-output/" 2>/dev/null || true
  fi
  [[ "${E2E_KEEP_TMP:-0}" == 1 ]] || rm -rf "$E2E_TMP"
}

# --------------------------------------------------------------------------------------------
# Processes

# Runs a Windows program with a time limit and prints its output without CR (safe inside
# $(...): wine itself writes to a file); returns the program's exit code. Seen under load: Wine
# did not start the program at all ("could not be started"); that try does not count. Wine's
# log stays the program's stderr: programs it starts (the service manager) write there for good.
e2e_run() {  # EXE ARGS...
  local out="$E2E_TMP/out.$BASHPID.$RANDOM" log="$E2E_TMP/wine.log" status try size
  for try in 1 2 3; do
    status=0 size=$(stat -c %s "$log" 2>/dev/null || echo 0)
    timeout -k 5 "$E2E_WINE_TIMEOUT" wine "$@" </dev/null >"$out" 2>>"$log" || status=$?
    ((status != 0)) && tail -c +$((size + 1)) "$log" |
      grep -qE 'could not be started|ShellExecuteEx failed|failed to start' || break
    sleep 1
  done
  tr -d '\r' <"$out"
  rm -f "$out"
  return "$status"
}
e2e_wine() { e2e_run "$@" >>"$E2E_TMP/wine.log"; }
e2e_driver() { e2e_run "$E2E_DRIVER" "$@"; }

# Starts a Windows program in the background with its output in $E2E_TMP/TAG.out and .err; its
# Unix PID (the Windows process itself: wine execs into it) is left in E2E_BG_PID.
e2e_start_bg() {  # TAG EXE ARGS...
  wine "${@:2}" </dev/null >"$E2E_TMP/$1.out" 2>"$E2E_TMP/$1.err" &
  E2E_BG_PID=$!
  E2E_PIDS+=("$E2E_BG_PID")
}

# The driver in the background, once it has printed WORD.
e2e_driver_bg() {  # TAG WORD ARGS...
  e2e_start_bg "$1" "$E2E_DRIVER" "${@:3}"
  e2e_wait_until 20 grep -qs "$2" "$E2E_TMP/$1.out" ||
    e2e_fail "$1 never printed $2: $(cat "$E2E_TMP/$1.out" "$E2E_TMP/$1.err")"
}

# shellcheck disable=SC2034  # E2E_TRAY_PID and E2E_MAIN are read by the scenarios
e2e_start_tray() { e2e_start_bg "tray-${#E2E_PIDS[@]}" "$E2E_TRAY" "$@" && E2E_TRAY_PID=$E2E_BG_PID; }

# Starts the tray and waits for its hidden main window (its HWND left in E2E_MAIN) and, on a
# traced desktop, for its icon.
# shellcheck disable=SC2120  # arguments are optional
e2e_tray_up() {  # [ARGS...]
  local icons
  icons="$(e2e_trace_count "$E2E_ICON_ADDED")"
  e2e_start_tray "$@"
  # shellcheck disable=SC2034
  E2E_MAIN="$(e2e_main_window VelmoraTray.exe 20000)" || e2e_fail "no main window"
  [[ -z "$E2E_DESKTOP_TRACE" ]] || e2e_wait_until 10 e2e_more_than "$icons" \
    e2e_trace_count "$E2E_ICON_ADDED" || e2e_fail "the tray's icon did not appear"
}

# The tray's hidden main window in the process PID or IMAGE, within TIMEOUT ms (default 0).
e2e_main_window() { e2e_driver find-window "$1" '#32770' Velmora "${2:-0}"; }  # PID|IMAGE [TIMEOUT]

# Ends the running tray from the Windows side (also an instance this shell did not start).
e2e_tray_down() {
  e2e_driver terminate VelmoraTray.exe 1 10000 >/dev/null || e2e_fail "cannot end VelmoraTray.exe"
}

# The process's state letter is anything but Z (a zombie is not running).
e2e_is_running() { [[ "$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)" == [!Z] ]]; }  # UNIX_PID

# Fails unless a background process of this shell ends with EXPECTED within TIMEOUT s.
e2e_expect_exit() {  # UNIX_PID TIMEOUT EXPECTED WHAT
  local status=0
  e2e_within "$2" "$4: still running after $2 s" e2e_not e2e_is_running "$1"
  wait "$1" || status=$?
  e2e_assert_eq "$3" "$status" "$4: exit code"
}

e2e_kill_tracked() {
  local pid
  for pid in "${E2E_PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${E2E_PIDS[@]}"; do
    e2e_wait_until 5 e2e_not e2e_is_running "$pid" || kill -KILL "$pid" 2>/dev/null || true
  done
  E2E_PIDS=()
}

e2e_clean_state() {
  local keys
  keys="$(e2e_winpath "$E2E_LIB/delete_product_keys.reg")"
  e2e_tray_down
  e2e_kill_tracked
  E2E_DESKTOP_TRACE=""
  # Under heavy load Wine's reg has been seen to fail once: a second try settles it.
  e2e_wine reg import "$keys" || { sleep 1 && e2e_wine reg import "$keys"; } ||
    e2e_fail "cannot delete the product keys"
  rm -f "$E2E_TRAY_LOG" "${E2E_TRAY_LOG%.log}.lo_"
  [[ -z "$E2E_SERVICE_LOG" ]] || e2e_service_remove
}

# --------------------------------------------------------------------------------------------
# Registry, files and pictures

# Under load Wine has been seen not to start reg.exe once: a second try settles it.
e2e_reg_add() { e2e_wine reg add "$@" /f || e2e_fail "cannot add $*"; }
e2e_reg_delete() { e2e_wine reg delete "$@" /f || e2e_fail "cannot delete $*"; }

# A product setting under the machine's product key (REG_DWORD unless TYPE is given).
e2e_set_machine() {  # NAME DATA [TYPE]
  e2e_reg_add "$E2E_MACHINE_KEY" /v "$1" /t "${3:-REG_DWORD}" /d "$2"
}

# The managed document as the service stores it: REG_SZ text whose ANSI bytes are the JSON's
# bytes XOR 0x0E (ASCII JSON stays printable ASCII, which every code page keeps).
e2e_managed_document() {  # JSON
  e2e_set_machine 'Managed settings' "$(printf %s "$1" | perl -pe 's/./chr(ord($&) ^ 14)/gse')" REG_SZ
}

# Prints "TYPE DATA" of a value (a REG_DWORD in decimal); status 1 when it does not exist.
e2e_reg_get() {  # KEY NAME [/reg:32|/reg:64]
  local type data
  read -r type data < <(e2e_run reg query "$1" /v "$2" "${@:3}" |
    awk -F'    ' -v name="$2" '$2 == name { print $3, $4; exit }') || return 1
  [[ "$type" != REG_DWORD ]] || data=$((data))
  echo "$type $data"
}

# The tray's "timerEnd" (epoch seconds); status 1 unless it is there as REG_SZ.
e2e_timer_end() {
  local value
  value="$(e2e_reg_get "$E2E_USER_KEY" timerEnd)" && [[ "$value" == "REG_SZ "* ]] &&
    echo "${value#REG_SZ }"
}

# Windows path of a Unix path (drive Z: is the Unix root in every prefix Wine creates).
e2e_winpath() { printf 'Z:%s\n' "${1//\//\\}"; }

# The tray's log lines without their time stamps. Fails unless every line has the exact
# "[dd.mm.yyyy hh:mm:ss] " prefix and ends in CRLF.
e2e_tray_log_messages() {
  local log="$E2E_TMP/tray-log.snapshot" bad
  [[ -f "$E2E_TRAY_LOG" ]] || e2e_fail "no log file at $E2E_TRAY_LOG"
  # One copy for every check: the tray's threads may still be appending lines.
  cp "$E2E_TRAY_LOG" "$log"
  bad="$(grep -aEvn $'^\\[[0-9]{2}\\.[0-9]{2}\\.[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\\] .*\r$' "$log")" &&
    e2e_fail "log lines without a time stamp or CRLF: $bad"
  [[ "$(tail -c1 "$log" | od -An -tx1)" == *0a ]] || e2e_fail "the log's last line has no line end"
  tr -d '\r' <"$log" | cut -c23-
}

# Fails unless the tray's log has the message LINE right after the message BEFORE.
e2e_expect_log_sequence() {  # BEFORE LINE WHAT
  local messages
  messages="$(e2e_tray_log_messages)" || exit 1
  [[ "$(grep -Fx -m1 -B1 -- "$2" <<<"$messages" | head -n1)" == "$1" ]] ||
    e2e_fail "$3: [$2] does not follow [$1] in the log: $messages"
}

# The 1024x768 screen, or the part GEOMETRY (WxH+X+Y) of it, into the artifacts.
e2e_screenshot() {  # NAME [GEOMETRY]
  local file="$E2E_ARTIFACTS/$E2E_NAME-$1.png"
  timeout 20 import -display "$DISPLAY" -window root ${2:+-crop "$2" +repage} "$file" </dev/null \
    >/dev/null 2>&1 || { e2e_log "warning: screenshot $1 failed"; return 0; }
  e2e_log "screenshot $file"
}

# --------------------------------------------------------------------------------------------
# The reference service VelmoraFrameworkService in Wine's service manager (which needs the
# persistent wineserver). E2E_SERVICE names its program (default: service/ in the build
# folder); it writes its log beside itself. Once installed, clean state and teardown remove it.

E2E_SERVICE_NAME=VelmoraFrameworkService E2E_SERVICE="${E2E_SERVICE:-}" E2E_SERVICE_LOG=""

# E2E_SERVICE_STATE: RUNNING, STOPPED, ... or MISSING; E2E_SERVICE_EXIT: its exit code.
e2e_service_query() {
  read -r E2E_SERVICE_STATE E2E_SERVICE_EXIT < <(e2e_run sc query "$E2E_SERVICE_NAME" |
    awk '$1 == "STATE" { s = $4 } $1 == "WIN32_EXIT_CODE" { e = $3 } END { print (s ? s : "MISSING"), e }')
}
e2e_service_is() { e2e_service_query && [[ "$E2E_SERVICE_STATE" == "$1" ]]; }
e2e_service_settled() { e2e_service_query && [[ "$E2E_SERVICE_STATE" != *_PENDING ]]; }

# Stops the service; status 1 when it is still not stopped after 20 s.
e2e_service_stop() {
  e2e_wine sc stop "$E2E_SERVICE_NAME" || true
  e2e_wait_until 20 e2e_service_is STOPPED
}

# Stops (kills, when it does not stop) and deletes the service; nothing when it is missing.
e2e_service_remove() {
  ! e2e_service_is MISSING || return 0
  [[ "$E2E_SERVICE_STATE" == STOPPED ]] || e2e_service_stop ||
    e2e_driver terminate VelmoraFrameworkService.exe 1 10000 >/dev/null || true
  e2e_wine sc delete "$E2E_SERVICE_NAME" || true
  e2e_wait_until 10 e2e_service_is MISSING || e2e_log "warning: the service is still registered"
}

# Registers the service (demand start) with a fresh log.
e2e_service_install() {
  E2E_SERVICE="$(realpath -e "${E2E_SERVICE:-$E2E_BUILD/service/VelmoraFrameworkService.exe}")" ||
    e2e_fail "service not found: $E2E_SERVICE"
  E2E_SERVICE_LOG="$(dirname "$E2E_SERVICE")/VelmoraFrameworkService.log"
  e2e_service_remove
  rm -f "$E2E_SERVICE_LOG" "${E2E_SERVICE_LOG%.log}.lo_"
  e2e_wine sc create "$E2E_SERVICE_NAME" binPath= "$(e2e_winpath "$E2E_SERVICE")" \
    DisplayName= "Velmora Framework Service" || e2e_fail "sc create failed"
}

# Starts the service; status 0 once it runs, 1 when it has stopped again (its exit code in
# E2E_SERVICE_EXIT).
e2e_service_start() {
  e2e_wine sc start "$E2E_SERVICE_NAME" || true
  e2e_wait_until 20 e2e_service_settled || e2e_fail "the service is still $E2E_SERVICE_STATE after 20 s"
  [[ "$E2E_SERVICE_STATE" == RUNNING ]]
}

e2e_service_up() {
  e2e_service_install
  e2e_service_start || e2e_fail "the service did not start (exit code $E2E_SERVICE_EXIT)"
}

# Fails unless a line of the service's log contains TEXT within TIMEOUT seconds (default 5).
e2e_service_expect_log() {  # TEXT WHAT [TIMEOUT]
  e2e_wait_until "${3:-5}" grep -qF -- "$1" "$E2E_SERVICE_LOG" 2>/dev/null ||
    e2e_fail "$2: no line with [$1] in the service log:
$(tr -d '\r' <"$E2E_SERVICE_LOG" 2>/dev/null | cut -c23-)"
}

# How many lines of the service's log contain TEXT; how many requests it has logged so far.
e2e_service_lines() { grep -cF -- "$1" "$E2E_SERVICE_LOG" || true; }  # TEXT
e2e_service_requests() { e2e_service_lines 'Request. '; }

# Fails unless the driver's command ends with the service's ANSWER (START, EXPIRE, FORBID,
# TIMEOUT).
e2e_expect_answer() {  # ANSWER WHAT DRIVER-ARGS...
  local got
  got="$(e2e_driver "${@:3}")" || true
  [[ "$got" == *"$1" ]] || e2e_fail "$2: expected $1, got [${got: -200}]
$(tr -d '\r' <"$E2E_SERVICE_LOG" | cut -c23-)"
}

# EMERGENCYSTART, set as the tray and the shell-hook library set it.
e2e_emergency() {
  e2e_driver hold signalled-event 'Global\__EMERGENCYSTART_EVENT__' 0 >/dev/null ||
    e2e_fail "cannot set EMERGENCYSTART"
}

# Fails unless the service grants SECONDS for REASON (default "no reason") and the tray then
# records the end of the elevation in "timerEnd".
e2e_expect_grant() {  # SECONDS [REASON]
  e2e_service_expect_log "Request. user=\"$E2E_LOGGED_USER\" reason=\"${2:-no reason}\" at-login=0 seconds=$1" \
    "request for $1 s" 10
  e2e_service_expect_log "Decision. Granted: \"$E2E_LOGGED_USER\" is elevated for $1 seconds." "grant"
  e2e_within 5 "no timerEnd after the grant" e2e_timer_end >/dev/null
}

# Ends the running elevation with EMERGENCYSTART (with "signalled": expects it ended so by
# someone else); the tray removes "timerEnd".
e2e_end_elevation() {  # [signalled]
  [[ -n "${1:-}" ]] || e2e_emergency
  e2e_service_expect_log "ends: EMERGENCYSTART." "the end of the elevation"
  e2e_within 5 "timerEnd is still there after EXPIRE" e2e_not e2e_timer_end
}

# --------------------------------------------------------------------------------------------
# A virtual desktop whose explorer traces its tooltips, the tray's icon, its menu, balloons and
# dialogs.
#
# Facts (Wine 8.0): explorer prints a balloon as `TOOLTIPS_Show Show tooltip N, L"text"` only
# when the desktop process itself runs with WINEDEBUG=+tooltips; the desktop is started by the
# first program that needs it and inherits its WINEDEBUG and stderr, so it is replaced rather
# than switched on. Texts are escaped as debugstr_w does (a non-ASCII character as \xxxx).
# +timestamp prefixes each line with the tick count in seconds (GetTickCount64's clock). The
# desktop process ends a moment after the last program that uses its desktop has ended.

E2E_DESKTOP_TRACE="" E2E_DESKTOP_X="" E2E_DESKTOP_CHANNELS="${E2E_DESKTOP_CHANNELS:-}"
E2E_ICON_ADDED='TOOLTIPS_AddToolT add text L"Velmora"'

e2e_desktop_window() {
  E2E_DESKTOP_X="$(xdotool search --name '^shell - Wine desktop$' 2>/dev/null | head -n1)"
  [[ -n "$E2E_DESKTOP_X" ]]
}
e2e_desktop_or_ended() { e2e_desktop_window || ! e2e_is_running "$1"; }  # UNIX_PID

# Replaces the desktop process by one that traces its tooltips into E2E_DESKTOP_TRACE. Call it
# after every e2e_clean_state, which ends it with the other tracked processes.
e2e_desktop_trace_start() {
  local attempt pid trace="$E2E_TMP/desktop.trace"
  # A new desktop process that finds a desktop window ends at once, and Wine may start an
  # untraced one of its own meanwhile: the window must be our process's (_NET_WM_PID).
  for attempt in 1 2 3 4 5; do
    e2e_driver terminate explorer.exe 1 10000 >/dev/null || e2e_fail "cannot end the desktop process"
    e2e_within 10 "the old desktop window is still there" e2e_not e2e_desktop_window
    # The full path: `wine explorer.exe` would run it through start.exe, a PID we cannot end.
    WINEDEBUG="-all,+tooltips,+timestamp${E2E_DESKTOP_CHANNELS:+,$E2E_DESKTOP_CHANNELS}" \
      wine 'C:\windows\explorer.exe' /desktop=shell,1024x768 </dev/null >/dev/null 2>"$trace" &
    pid=$!
    E2E_PIDS+=("$pid")
    e2e_wait_until 20 e2e_desktop_or_ended "$pid" || true
    if [[ "$(xdotool getwindowpid "$E2E_DESKTOP_X" 2>/dev/null)" == "$pid" ]]; then
      # The driver (a user32 program) waits in the background to keep the desktop in use until
      # the case ends; the taskbar must be there: an icon added before it is lost.
      e2e_driver_bg desktop-user HELD hold event velmora-desktop-user 3600000
      e2e_driver find-window explorer.exe Shell_TrayWnd '' 10000 >/dev/null || e2e_fail "no taskbar"
      if e2e_is_running "$pid"; then
        E2E_DESKTOP_TRACE="$trace"
        return 0
      fi
    fi
    e2e_log "the new desktop ended at once (attempt $attempt); starting it again"
  done
  e2e_fail "the desktop did not start"
}

# The start of every elevation case: a clean state, a traced desktop, the service running.
e2e_elevation_case() {
  e2e_clean_state
  e2e_desktop_trace_start
  e2e_service_up
}

# How many trace lines contain the fixed string PATTERN.
e2e_trace_count() { grep -acF -- "$1" "$E2E_DESKTOP_TRACE" 2>/dev/null || true; }

# How many times the balloon TEXT has been shown (compared as debugstr_w writes it).
e2e_balloon_count() {  # TEXT
  e2e_trace_count "Show tooltip 0, L\"$(printf %s "$1" |
    perl -CS -pe 's/(["\\])/\\$1/g; s/([^\x20-\x7e])/sprintf("\\%04x", ord $1)/ge')\", size"
}

# Fails unless TEXT is shown as a balloon more than BEFORE times within TIMEOUT seconds.
e2e_expect_balloon() {  # TEXT BEFORE WHAT [TIMEOUT]
  e2e_wait_until "${4:-10}" e2e_more_than "$2" e2e_balloon_count "$1" || e2e_fail "$3: no balloon [$1]" \
    "in: $(grep -ao 'Show tooltip 0, L".*", size' "$E2E_DESKTOP_TRACE" | paste -sd'|')"
}

# A real click with BUTTON (default 1, the left one) into the virtual desktop.
e2e_click() {  # X Y [BUTTON]
  e2e_desktop_window || e2e_fail "no virtual desktop"
  xdotool mousemove --window "$E2E_DESKTOP_X" "$1" "$2" click "${3:-1}"
}
# The tray's icon is the first (right-most) slot; far from it and the menus, a click closes an
# open popup menu.
e2e_click_tray_icon() { e2e_click 1013 758 "$@"; }  # [BUTTON]
e2e_click_away() { e2e_click 400 300; }

# A real click with BUTTON (1 left, 3 right) on the tray's icon, Control held when CONTROL is 1.
# Prints the menu's items as "text|text" (nothing when no menu opens). The menu stays open; its
# items, "<id> <grayed> <x> <y> <text>", are left in $E2E_TMP/menu.txt.
e2e_icon_menu() {  # BUTTON CONTROL
  if (($2)); then xdotool keydown ctrl; fi
  e2e_click_tray_icon "$1"
  e2e_driver menu-items VelmoraTray.exe 3000 >"$E2E_TMP/menu.txt" || : >"$E2E_TMP/menu.txt"
  if (($2)); then xdotool keyup ctrl; fi
  cut -d' ' -f5- "$E2E_TMP/menu.txt" | paste -sd'|'
}

# Clicks the item TEXT of the open menu.
e2e_choose() {  # TEXT
  local x y
  read -r _ _ x y _ < <(grep " $1\$" "$E2E_TMP/menu.txt") ||
    e2e_fail "no item [$1] in: $(cat "$E2E_TMP/menu.txt")"
  e2e_click "$x" "$y"
}

# Waits for the tray's visible window TITLE; its owner and controls are left in
# $E2E_TMP/dialog.txt: "PID <pid>", then "<id> <class> visible=1 enabled=1 checked=0
# centre=<x>,<y> <text>" per control, the text escaped as in C.
# e2e_run already tries again when Wine did not start the driver; any other end but "found" or
# "not found" is reported with the end of Wine's log.
e2e_dialog() {  # TITLE [TIMEOUT_MS]
  local status=0
  e2e_driver window "$1" "${2:-10000}" VelmoraTray.exe >"$E2E_TMP/dialog.txt" || status=$?
  ((status == 0)) ||
    e2e_fail "no window [$1] (driver status $status): $(tail -n 3 "$E2E_TMP/wine.log")"
}
# e2e_dialog, then fails unless a control of the window shows exactly TEXT.
e2e_expect_dialog() {  # TITLE TEXT [TIMEOUT_MS]
  e2e_dialog "$1" "${3:-10000}"
  grep -q " $2\$" "$E2E_TMP/dialog.txt" || e2e_fail "[$1] without [$2]: $(cat "$E2E_TMP/dialog.txt")"
}
e2e_close_dialog() {  # TITLE KEY
  xdotool key "$2"
  e2e_within 5 "$2 did not close $1" e2e_not e2e_driver window "$1" 0 VelmoraTray.exe
}

# The line of control ID in the description that e2e_dialog left, and its exact text.
e2e_control() {  # ID
  grep -m1 "^$1 " "$E2E_TMP/dialog.txt" || e2e_fail "no control $1 in: $(cat "$E2E_TMP/dialog.txt")"
}
e2e_control_text() { printf '%b' "$(e2e_control "$1" | cut -d' ' -f7-)"; }  # ID

e2e_click_item() {  # ID
  local x y
  IFS='=,' read -r _ x y <<<"$(e2e_control "$1" | cut -d' ' -f6)"
  e2e_click "$x" "$y"
}

# Makes e2e_tray_up start a copy of the tray in DIR, with FILES beside it.
e2e_tray_copy() {  # DIR [FILE...]
  mkdir -p "$1"
  cp "$E2E_TRAY" "${@:2}" "$1/"
  E2E_TRAY="$1/$(basename "$E2E_TRAY")"
}
