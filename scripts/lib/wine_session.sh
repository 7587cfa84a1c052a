# shellcheck shell=bash
# wine_session.sh - a Wine session for the x86_64 Windows programs: 64-bit Wine on an X display,
# a prepared prefix, a persistent server, the reference service in Wine's service manager, and
# the registry. scripts/run.sh, scripts/test.sh, the benchmarks and the scenarios' harness build
# on it. Source it from a `set -euo pipefail` script, set SESSION_* as needed, then call
# session_setup; session_teardown (also the EXIT trap) ends what it started.
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
# Every wait is bounded. Settings: SESSION_WINE_TIMEOUT (seconds for one wine command, default
# 60), SESSION_WINEPREFIX, WINEDEBUG (channels added to "-all"), SESSION_KEEP_TMP=1 (keep the
# scratch folder).

SESSION_NAME="${SESSION_NAME:-$(basename "${0%.sh}")}"
SESSION_WINE_TIMEOUT="${SESSION_WINE_TIMEOUT:-60}"
SESSION_PIDS=()  # Unix PIDs of background processes started here
SESSION_XVFB_PID="" SESSION_TMP="" SESSION_SET_UP=0 SESSION_NESTED=0 SESSION_TRAY_PID=""
SESSION_TRAY_LOG=""
SESSION_USER_KEY='HKCU\Software\Ostrand\Velmora' SESSION_MACHINE_KEY='HKLM\Software\Ostrand\Velmora'

session_log() { printf '[%s %s] %s\n' "$(date +%H:%M:%S)" "$SESSION_NAME" "$*" >&2; }
session_fail() { session_log "FAIL: $*"; exit 1; }

# Runs COMMAND every 0.1 s until it succeeds; status 1 when SECONDS_ have passed first.
session_wait_until() {  # SECONDS_ COMMAND...
  local deadline=$((SECONDS + $1))
  until "${@:2}"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}
# Succeeds when the number that COMMAND prints is greater than COUNT.
session_more_than() { (($("${@:2}") > $1)); }  # COUNT COMMAND...
session_not() { ! "$@" >/dev/null; }  # COMMAND...
# The process's state letter is anything but Z (a zombie is not running).
session_is_running() { [[ "$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null)" == [!Z] ]]; }  # UNIX_PID

# --------------------------------------------------------------------------------------------
# Set-up and teardown

# Settles paths and the Wine environment; the build folder defaults to SESSION_BUILD_DIR or
# build/windows-x86_64.
session_configure() {
  SESSION_BUILD="$(realpath -m "${SESSION_BUILD:-${SESSION_BUILD_DIR:-$PWD/build/windows-x86_64}}")"
  SESSION_ARTIFACTS="${SESSION_ARTIFACTS:-$SESSION_BUILD/e2e-artifacts}"
  SESSION_TRAY="${SESSION_TRAY:-$SESSION_BUILD/src/VelmoraTray.exe}"
  mkdir -p "$SESSION_ARTIFACTS"
  # Not an inherited WINEPREFIX (say ~/.wine): the session owns its prefix.
  export WINEPREFIX="${SESSION_WINEPREFIX:-$SESSION_BUILD/wineprefix-e2e}" WINEARCH=win64
  [[ "${WINEDEBUG:-}" == -all* ]] || export WINEDEBUG="-all${WINEDEBUG:+,$WINEDEBUG}"
  # winemenubuilder would write desktop entries into the real home folder.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
}

session_start_display() {
  if [[ -n "${DISPLAY:-}" ]] && timeout 10 xdpyinfo >/dev/null 2>&1; then return; fi
  # A private Xvfb left behind by a run that was killed (CTest kills on time-out); the command
  # line guards against a recycled PID.
  local stale="$WINEPREFIX.xvfb.pid"
  if [[ -f "$stale" ]] && tr '\0' ' ' 2>/dev/null <"/proc/$(cat "$stale")/cmdline" | grep -q Xvfb; then
    kill "$(cat "$stale")" || true
  fi
  # -displayfd lets the server pick a free display number itself.
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$SESSION_TMP/display" </dev/null \
    >"$SESSION_TMP/xvfb.log" 2>&1 &
  SESSION_XVFB_PID=$!
  echo "$SESSION_XVFB_PID" >"$stale"
  session_wait_until 10 test -s "$SESSION_TMP/display" || session_fail "Xvfb did not start"
  DISPLAY=":$(head -n1 "$SESSION_TMP/display")"
  export DISPLAY
  session_wait_until 10 xdpyinfo >/dev/null 2>&1 || session_fail "Xvfb on $DISPLAY does not answer"
  session_log "private Xvfb $DISPLAY (pid $SESSION_XVFB_PID)"
}

session_stop_wineserver() {
  timeout 20 wineserver -k </dev/null >/dev/null 2>&1 || true
  timeout 20 wineserver -w </dev/null >/dev/null 2>&1 || true
}

session_init_prefix() {
  [[ ! -f "$WINEPREFIX/.velmora-e2e-ready" ]] || return 0
  session_log "initialising $WINEPREFIX (once per prefix)"
  mkdir -p "$WINEPREFIX"
  SESSION_WINE_TIMEOUT=300 session_wine wineboot --init || session_fail "wineboot --init failed"
  session_reg_add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
  session_reg_add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d shell
  session_reg_add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /t REG_SZ /d 1024x768
  # The registry files are written when the server ends: no marker beside an unsaved set-up.
  session_stop_wineserver
  touch "$WINEPREFIX/.velmora-e2e-ready"
}

# Starts (or joins) a session: display, initialised prefix, persistent wineserver with its
# helpers, the tray's log path and the user. A script run inside another script's session
# (CTest inside scripts/test.sh) finds SESSION_PREFIX equal to its own prefix and joins it
# instead of restarting the server under the caller's feet.
session_setup() {
  local temp
  ((SESSION_SET_UP == 0)) || return 0
  command -v wine >/dev/null || session_fail "wine is not installed"
  session_configure
  SESSION_TMP="$(mktemp -d "${TMPDIR:-/tmp}/velmora-session.XXXXXX")"
  trap session_teardown EXIT
  trap 'exit 130' INT TERM
  SESSION_SET_UP=1
  if [[ "${SESSION_PREFIX:-}" == "$WINEPREFIX" && -n "${DISPLAY:-}" ]] &&
    timeout 10 xdpyinfo >/dev/null 2>&1; then
    SESSION_NESTED=1
  else
    session_start_display
    session_stop_wineserver  # leftovers of a killed run would keep the old display
    session_init_prefix
    timeout 20 wineserver -p </dev/null >/dev/null 2>&1 || session_fail "wineserver -p failed"
    # Seen once under load: the first program of a fresh server did not start; the next did.
    session_wine wineboot || { sleep 1 && session_wine wineboot; } || session_fail "wineboot failed"
    export SESSION_PREFIX="$WINEPREFIX"
  fi
  # %TEMP% of the prefix's user is asked from Wine, not assumed.
  IFS=';' read -r temp SESSION_USER SESSION_LOGON \
    < <(session_run cmd /c 'echo %TEMP%;%USERDOMAIN%\%USERNAME%;%USERNAME%')
  [[ -n "$SESSION_LOGON" ]] || session_fail "cannot ask Wine for %TEMP% and the user"
  # The user as the service's log writes it: DOMAIN\\user, the backslash escaped.
  SESSION_LOGGED_USER="${SESSION_USER//\\/\\\\}"
  SESSION_TRAY_LOG="$(session_run winepath -u "$temp")/VelmoraTray.log" || session_fail "winepath failed"
}

# Ends what session_setup and the caller started (also the EXIT trap). Always returns 0: the
# caller's status, or STATUS, stands. After a failure what the programs printed is kept beside
# the screenshots.
session_teardown() {  # [STATUS]
  local status=${1:-$?}
  trap - EXIT
  ((SESSION_SET_UP == 1)) || return 0
  SESSION_SET_UP=0
  [[ -z "$SESSION_SERVICE_LOG" ]] || session_service_remove >/dev/null 2>&1 || true
  session_kill_tracked
  if ((SESSION_NESTED == 0)); then
    session_stop_wineserver
    [[ -z "$SESSION_XVFB_PID" ]] || kill "$SESSION_XVFB_PID" 2>/dev/null || true
    rm -f "$WINEPREFIX.xvfb.pid"
    unset SESSION_PREFIX
  fi
  if ((status != 0)) && [[ -d "$SESSION_TMP" ]]; then
    mkdir -p "$SESSION_ARTIFACTS/$SESSION_NAME-output"
    cp -r "$SESSION_TMP"/. "$SESSION_TRAY_LOG" "$SESSION_ARTIFACTS/$SESSION_NAME-output/" 2>/dev/null || true
  fi
  [[ "${SESSION_KEEP_TMP:-0}" == 1 ]] || rm -rf "$SESSION_TMP"
}

# --------------------------------------------------------------------------------------------
# Processes

# Runs a Windows program with a time limit and prints its output without CR (safe inside
# $(...): wine itself writes to a file); returns the program's exit code. Seen under load: Wine
# did not start the program at all ("could not be started"); that try does not count. Wine's
# log stays the program's stderr: programs it starts (the service manager) write there for good.
session_run() {  # EXE ARGS...
  local out="$SESSION_TMP/out.$BASHPID.$RANDOM" log="$SESSION_TMP/wine.log" status try size
  for try in 1 2 3; do
    status=0 size=$(stat -c %s "$log" 2>/dev/null || echo 0)
    timeout -k 5 "$SESSION_WINE_TIMEOUT" wine "$@" </dev/null >"$out" 2>>"$log" || status=$?
    ((status != 0)) && tail -c +$((size + 1)) "$log" |
      grep -qE 'could not be started|ShellExecuteEx failed|failed to start' || break
    sleep 1
  done
  tr -d '\r' <"$out"
  rm -f "$out"
  return "$status"
}
session_wine() { session_run "$@" >>"$SESSION_TMP/wine.log"; }

# Starts a Windows program in the background with its output in $SESSION_TMP/TAG.out and .err;
# its Unix PID (the Windows process itself: wine execs into it) is left in SESSION_BG_PID.
session_start_bg() {  # TAG EXE ARGS...
  wine "${@:2}" </dev/null >"$SESSION_TMP/$1.out" 2>"$SESSION_TMP/$1.err" &
  SESSION_BG_PID=$!
  SESSION_PIDS+=("$SESSION_BG_PID")
}

# shellcheck disable=SC2034  # SESSION_TRAY_PID is read by the callers
session_start_tray() {
  session_start_bg "tray-${#SESSION_PIDS[@]}" "$SESSION_TRAY" "$@" && SESSION_TRAY_PID=$SESSION_BG_PID
}

session_kill_tracked() {
  local pid
  for pid in "${SESSION_PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${SESSION_PIDS[@]}"; do
    session_wait_until 5 session_not session_is_running "$pid" || kill -KILL "$pid" 2>/dev/null || true
  done
  SESSION_PIDS=()
}

# --------------------------------------------------------------------------------------------
# Registry, files and pictures

session_reg_add() { session_wine reg add "$@" /f || session_fail "cannot add $*"; }
session_reg_delete() { session_wine reg delete "$@" /f || session_fail "cannot delete $*"; }

# A product setting under the machine's product key (REG_DWORD unless TYPE is given).
session_set_machine() {  # NAME DATA [TYPE]
  session_reg_add "$SESSION_MACHINE_KEY" /v "$1" /t "${3:-REG_DWORD}" /d "$2"
}

# Prints "TYPE DATA" of a value (a REG_DWORD in decimal); status 1 when it does not exist.
session_reg_get() {  # KEY NAME [/reg:32|/reg:64]
  local type data
  read -r type data < <(session_run reg query "$1" /v "$2" "${@:3}" |
    awk -F'    ' -v name="$2" '$2 == name { print $3, $4; exit }') || return 1
  [[ "$type" != REG_DWORD ]] || data=$((data))
  echo "$type $data"
}

# Windows path of a Unix path (drive Z: is the Unix root in every prefix Wine creates).
session_winpath() { printf 'Z:%s\n' "${1//\//\\}"; }

# The 1024x768 screen, or the part GEOMETRY (WxH+X+Y) of it, into the artifacts.
session_screenshot() {  # NAME [GEOMETRY]
  local file="$SESSION_ARTIFACTS/$SESSION_NAME-$1.png"
  timeout 20 import -display "$DISPLAY" -window root ${2:+-crop "$2" +repage} "$file" </dev/null \
    >/dev/null 2>&1 || { session_log "warning: screenshot $1 failed"; return 0; }
  session_log "screenshot $file"
}

# --------------------------------------------------------------------------------------------
# The reference service VelmoraFrameworkService in Wine's service manager (which needs the
# persistent wineserver). SESSION_SERVICE names its program (default: service/ in the build
# folder); it writes its log beside itself. Once installed, teardown removes it.

SESSION_SERVICE_NAME=VelmoraFrameworkService SESSION_SERVICE="${SESSION_SERVICE:-}" SESSION_SERVICE_LOG=""

# SESSION_SERVICE_STATE: RUNNING, STOPPED, ... or MISSING; SESSION_SERVICE_EXIT: its exit code.
session_service_query() {
  read -r SESSION_SERVICE_STATE SESSION_SERVICE_EXIT < <(session_run sc query "$SESSION_SERVICE_NAME" |
    awk '$1 == "STATE" { s = $4 } $1 == "WIN32_EXIT_CODE" { e = $3 } END { print (s ? s : "MISSING"), e }')
}
session_service_is() { session_service_query && [[ "$SESSION_SERVICE_STATE" == "$1" ]]; }
session_service_settled() { session_service_query && [[ "$SESSION_SERVICE_STATE" != *_PENDING ]]; }

# Stops the service; status 1 when it is still not stopped after 20 s.
session_service_stop() {
  session_wine sc stop "$SESSION_SERVICE_NAME" || true
  session_wait_until 20 session_service_is STOPPED
}

# Stops (kills, when it does not stop) and deletes the service; nothing when it is missing.
session_service_remove() {
  ! session_service_is MISSING || return 0
  [[ "$SESSION_SERVICE_STATE" == STOPPED ]] || session_service_stop ||
    session_wine taskkill /f /im VelmoraFrameworkService.exe || true
  session_wine sc delete "$SESSION_SERVICE_NAME" || true
  session_wait_until 10 session_service_is MISSING || session_log "warning: the service is still registered"
}

# Registers the service (demand start) with a fresh log.
session_service_install() {
  SESSION_SERVICE="$(realpath -e "${SESSION_SERVICE:-$SESSION_BUILD/service/VelmoraFrameworkService.exe}")" ||
    session_fail "service not found: $SESSION_SERVICE"
  SESSION_SERVICE_LOG="$(dirname "$SESSION_SERVICE")/VelmoraFrameworkService.log"
  session_service_remove
  rm -f "$SESSION_SERVICE_LOG" "${SESSION_SERVICE_LOG%.log}.lo_"
  session_service_create "$(session_winpath "$SESSION_SERVICE")" DisplayName= "Velmora Framework Service"
}

# Registers the service with this command line. A deleted service keeps its name until its
# process and the last handle to it are gone, although sc query no longer finds it.
session_service_create() {  # BINPATH [NAME= VALUE...]
  session_wait_until 10 session_wine sc create "$SESSION_SERVICE_NAME" binPath= "$@" ||
    session_fail "sc create failed"
}

# Starts the service; status 0 once it runs, 1 when it has stopped again (its exit code in
# SESSION_SERVICE_EXIT).
session_service_start() {
  session_wine sc start "$SESSION_SERVICE_NAME" || true
  session_wait_until 20 session_service_settled ||
    session_fail "the service is still $SESSION_SERVICE_STATE after 20 s"
  [[ "$SESSION_SERVICE_STATE" == RUNNING ]]
}

session_service_up() {
  session_service_install
  session_service_start || session_fail "the service did not start (exit code $SESSION_SERVICE_EXIT)"
}
