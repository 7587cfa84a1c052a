# shellcheck shell=bash
# wine_env.sh - shared set-up for the end-to-end scenarios that run the x86_64 Windows programs
# under 64-bit Wine on an X display. Source it from a `set -euo pipefail` script, then:
#
#   e2e_parse_args "$@"   # --build DIR --tray EXE --driver EXE --artifacts DIR [--prefix DIR]
#   e2e_setup             # display, prefix, persistent wineserver, virtual desktop; EXIT trap
#   e2e_clean_state       # before every case: no tray running, no product keys, no log
#   ...                   # e2e_start_tray, e2e_driver, e2e_expect_exit, e2e_screenshot, ...
#   e2e_pass
#
# A script may also just source this file, set E2E_BUILD_DIR and call e2e_setup/e2e_teardown
# around other commands (CTest): they then run with WINEPREFIX, DISPLAY and a running server,
# and the scenarios started inside join that session instead of starting their own.
#
# Facts this file relies on (Wine 8.0, Debian 12):
# - Helpers (services.exe, explorer.exe, winedevice.exe) inherit the stdio of the wine command
#   that started them. Wine's output therefore never goes into a pipe or `$(...)`: every wine
#   command here writes to files or /dev/null, and output is read back from those files.
# - HKCU\Software\Wine\Explorer "Desktop"="shell" with Explorer\Desktops "shell"="1024x768"
#   makes every program started with plain `wine X.exe` open its windows inside one virtual
#   desktop X window titled "shell - Wine desktop", with a taskbar and notification area (the
#   desktop name "shell" turns the taskbar on). `wine X.exe` still waits for the program and
#   exits with the program's own exit code (a TerminateProcess code included).
# - %TEMP% of the prefix's user is C:\users\<user>\Temp (not AppData\Local\Temp); the path is
#   asked from Wine at set-up (cmd + winepath) rather than assumed.
# - wineserver -p keeps the server and the helpers alive between commands, so a program starts
#   in a fraction of a second; `wineboot --init` of a new prefix takes 10-20 s and is done once
#   per prefix (a marker file records a completed initialisation).
#
# Every wait is bounded. Settings: E2E_WINE_TIMEOUT (seconds for one wine command, default 60),
# E2E_XVFB_DISPLAY (":N" to force the private display number), E2E_WINEPREFIX, WINEDEBUG
# (channels added to "-all"), E2E_KEEP_TMP=1 (keep the scratch folder for inspection).

E2E_NAME="$(basename "${0%.sh}")"
E2E_WINE_TIMEOUT="${E2E_WINE_TIMEOUT:-60}"
E2E_PIDS=()          # Unix PIDs of background processes started here; ended at teardown
E2E_CLEAN_HOOKS=()   # functions e2e_clean_state also runs (later features register theirs)
E2E_XVFB_PID=""
E2E_TMP=""
E2E_SET_UP=0
E2E_EXIT_CODE=""
E2E_CONFIGURED=0
E2E_NESTED=0         # 1 when an outer script's session (display, server) is reused
E2E_BUILD="${E2E_BUILD:-}" E2E_TRAY="${E2E_TRAY:-}" E2E_DRIVER="${E2E_DRIVER:-}"
E2E_ARTIFACTS="${E2E_ARTIFACTS:-}"
E2E_TRAY_LOG=""
E2E_TRAY_PID=""
E2E_BG_PID=""

# The product's keys, deleted between cases in both registry views.
E2E_PRODUCT_KEYS=(
  'HKLM\Software\Ostrand'
  'HKLM\SOFTWARE\Policies\Ostrand'
  'HKCU\Software\Ostrand'
  'HKCU\SOFTWARE\Policies\Ostrand'
)

# --------------------------------------------------------------------------------------------
# Messages and assertions

e2e_log() { printf '[%s %s] %s\n' "$(date +%H:%M:%S)" "$E2E_NAME" "$*" >&2; }

e2e_fail() {
  printf '[%s %s] FAIL: %s\n' "$(date +%H:%M:%S)" "$E2E_NAME" "$*" >&2
  exit 1
}

e2e_pass() { e2e_log "PASS"; }

e2e_assert_eq() {  # EXPECTED ACTUAL WHAT
  [[ "$1" == "$2" ]] || e2e_fail "$3: expected [$1], got [$2]"
}

# Prints FILE without carriage returns (Windows programs end lines with CRLF).
e2e_strip_cr() { tr -d '\r' <"$1"; }

# Runs "$@" every 0.1 s until it succeeds or SECONDS_ pass; returns its last status.
e2e_wait_until() {  # SECONDS_ COMMAND...
  local deadline=$((SECONDS + $1)) status=0
  shift
  while :; do
    "$@" && return 0 || status=$?
    ((SECONDS < deadline)) || return "$status"
    sleep 0.1
  done
}

# --------------------------------------------------------------------------------------------
# Arguments and environment

e2e_usage() {
  echo "usage: $0 --build DIR --tray EXE --driver EXE --artifacts DIR [--prefix DIR]" >&2
  exit 2
}

e2e_parse_args() {
  while (($#)); do
    case "$1" in
      --build) E2E_BUILD="$2" ;;
      --tray) E2E_TRAY="$2" ;;
      --driver) E2E_DRIVER="$2" ;;
      --artifacts) E2E_ARTIFACTS="$2" ;;
      --prefix) E2E_WINEPREFIX="$2" ;;
      *) e2e_usage ;;
    esac
    shift 2 || e2e_usage
  done
  [[ -n "${E2E_BUILD:-}" ]] || e2e_usage
  e2e_configure
}

# Settles paths and the Wine environment. Callers that only source this file and call
# e2e_setup (scripts/test.sh) get the defaults: E2E_BUILD_DIR or build/windows-x86_64.
e2e_configure() {
  ((E2E_CONFIGURED == 0)) || return 0
  E2E_BUILD="${E2E_BUILD:-${E2E_BUILD_DIR:-$PWD/build/windows-x86_64}}"
  mkdir -p "$E2E_BUILD"
  E2E_BUILD="$(cd "$E2E_BUILD" && pwd)"
  E2E_ARTIFACTS="${E2E_ARTIFACTS:-$E2E_BUILD/e2e-artifacts}"
  mkdir -p "$E2E_ARTIFACTS"
  [[ -z "$E2E_DRIVER" ]] || E2E_DRIVER="$(realpath -e "$E2E_DRIVER")" ||
    e2e_fail "driver not found: $E2E_DRIVER"
  [[ -z "$E2E_TRAY" ]] || E2E_TRAY="$(realpath -e "$E2E_TRAY")" ||
    e2e_fail "tray not found: $E2E_TRAY"
  # An inherited WINEPREFIX (say ~/.wine) is deliberately not used: tests own their prefix.
  export WINEPREFIX="${E2E_WINEPREFIX:-$E2E_BUILD/wineprefix-e2e}"
  export WINEARCH=win64
  [[ "${WINEDEBUG:-}" == -all* ]] || export WINEDEBUG="-all${WINEDEBUG:+,$WINEDEBUG}"
  # winemenubuilder would write desktop entries into the real home folder.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  E2E_CONFIGURED=1
}

# --------------------------------------------------------------------------------------------
# Running Windows programs

# wine with stdio detached and a time limit; returns wine's (the program's) exit code.
e2e_wine() {
  timeout -k 5 "$E2E_WINE_TIMEOUT" wine "$@" </dev/null >>"$E2E_TMP/wine.log" 2>&1
}

# wine with stdout to FILE (CR stripped afterwards) and stderr appended to the wine log.
e2e_wine_to() {  # FILE ARGS...
  local out="$1" status=0
  shift
  timeout -k 5 "$E2E_WINE_TIMEOUT" wine "$@" </dev/null >"$out.raw" 2>>"$E2E_TMP/wine.log" ||
    status=$?
  tr -d '\r' <"$out.raw" >"$out"
  rm -f "$out.raw"
  return "$status"
}

# Runs the driver and prints its output (safe inside $(...): wine itself writes to a file).
e2e_driver() {
  local out="$E2E_TMP/driver.$$.$RANDOM" status=0
  e2e_wine_to "$out" "$E2E_DRIVER" "$@" || status=$?
  cat "$out"
  rm -f "$out"
  return "$status"
}

# Starts "$@" under wine in the background with stdio in files named after TAG; the Unix PID
# (the Windows process itself: wine execs into it) is left in E2E_BG_PID and registered for
# teardown.
e2e_start_bg() {  # TAG ARGS...
  local tag="$1"
  shift
  wine "$@" </dev/null >"$E2E_TMP/$tag.out" 2>"$E2E_TMP/$tag.err" &
  E2E_BG_PID=$!
  E2E_PIDS+=("$E2E_BG_PID")
}

# Starts the tray with ARGS; its Unix PID is left in E2E_TRAY_PID.
# shellcheck disable=SC2120  # arguments are optional
e2e_start_tray() {
  e2e_start_bg "tray-${#E2E_PIDS[@]}" "$E2E_TRAY" "$@"
  # shellcheck disable=SC2034  # read by the scenarios
  E2E_TRAY_PID=$E2E_BG_PID
}

e2e_is_running() {  # UNIX_PID   (a zombie is not running)
  local state
  state="$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null)" || return 1
  [[ -n "$state" && "$state" != Z ]]
}

# Waits for a background process of this shell. Returns its exit code (also left in
# E2E_EXIT_CODE); 124 with E2E_EXIT_CODE=timeout when it is still running after TIMEOUT s.
e2e_wait_exit() {  # UNIX_PID TIMEOUT
  local pid="$1" deadline=$((SECONDS + $2)) status=0
  while e2e_is_running "$pid"; do
    if ((SECONDS >= deadline)); then
      E2E_EXIT_CODE=timeout
      return 124
    fi
    sleep 0.1
  done
  wait "$pid" || status=$?
  E2E_EXIT_CODE=$status
  return "$status"
}

e2e_expect_exit() {  # UNIX_PID TIMEOUT EXPECTED WHAT
  e2e_wait_exit "$1" "$2" || true
  [[ "$E2E_EXIT_CODE" == "$3" ]] ||
    e2e_fail "$4: expected exit code $3 within $2 s, got $E2E_EXIT_CODE"
}

# Hidden main window of the tray with Windows PID (or image name) SPEC; prints the HWND.
e2e_find_main() {  # SPEC TIMEOUT_MS
  e2e_driver find-main "$1" "$2"
}

# --------------------------------------------------------------------------------------------
# Registry (writes through `wine reg`, reads through the driver)

e2e_reg_add() { e2e_wine reg add "$@" /f; }

# Deleting something that is not there is not an error.
e2e_reg_delete() { e2e_wine reg delete "$@" /f || true; }

# Prints "REG_DWORD: n", "REG_SZ: text", ...; status 1 when the value does not exist.
e2e_reg_query() {  # HKLM|HKCU PATH NAME [32|64]
  e2e_driver reg-query "$@"
}

# --------------------------------------------------------------------------------------------
# Files and pictures

# Fails unless the tray's log has the message LINE right after the message BEFORE.
e2e_expect_log_sequence() {  # BEFORE LINE WHAT
  local messages previous
  messages="$(e2e_tray_log_messages)" || exit 1
  previous="$(awk -v want="$2" '$0 == want { print prev; found = 1; exit } { prev = $0 }
    END { exit !found }' <<<"$messages")" || e2e_fail "$3: no line [$2] in the log: $messages"
  e2e_assert_eq "$1" "$previous" "$3: line before [$2]"
}

# Windows path of a Unix path (drive Z: is the Unix root in every prefix Wine creates).
e2e_winpath() { printf 'Z:%s\n' "${1//\//\\}"; }

e2e_log_path() { printf '%s\n' "$E2E_TRAY_LOG"; }

# The tray's log lines without their time stamps, CR stripped. Fails when a line does not have
# the exact "[dd.mm.yyyy hh:mm:ss] " prefix or does not end in CRLF.
e2e_tray_log_messages() {
  local log="$E2E_TMP/tray-log.snapshot"
  [[ -f "$E2E_TRAY_LOG" ]] || e2e_fail "no log file at $E2E_TRAY_LOG"
  # Every check reads one copy: the tray's threads may still be appending lines.
  cp "$E2E_TRAY_LOG" "$log"
  local lines crlf
  lines="$(wc -l <"$log")"
  crlf="$(grep -c $'\r$' "$log" || true)"
  [[ "$lines" == "$crlf" && "$(tail -c1 "$log" | od -An -tx1 | tr -d ' ')" == 0a ]] ||
    e2e_fail "log lines do not all end in CRLF ($crlf of $lines)"
  local bad
  bad="$(e2e_strip_cr "$log" |
    grep -Evn '^\[[0-9]{2}\.[0-9]{2}\.[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\] ' || true)"
  [[ -z "$bad" ]] || e2e_fail "log lines without a time stamp: $bad"
  e2e_strip_cr "$log" | cut -c23-
}

e2e_screenshot() {  # NAME
  local file="$E2E_ARTIFACTS/$E2E_NAME-$1.png"
  if timeout 20 import -display "$DISPLAY" -window root "$file" </dev/null >/dev/null 2>&1; then
    e2e_log "screenshot $file"
  else
    e2e_log "warning: screenshot $1 failed"
  fi
}

# --------------------------------------------------------------------------------------------
# Clean state between cases

e2e_on_clean() { E2E_CLEAN_HOOKS+=("$1"); }

e2e_kill_tracked() {
  local pid
  for pid in "${E2E_PIDS[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for pid in "${E2E_PIDS[@]}"; do
    e2e_wait_exit "$pid" 5 >/dev/null 2>&1 || true
    if e2e_is_running "$pid"; then
      kill -KILL "$pid" 2>/dev/null || true
      e2e_wait_exit "$pid" 5 >/dev/null 2>&1 || true
    fi
  done
  E2E_PIDS=()
}

e2e_clean_state() {
  local hook view
  [[ -n "$E2E_DRIVER" ]] || e2e_fail "e2e_clean_state needs the driver (--driver)"
  # TerminateProcess from the Windows side ends instances that this shell did not start too.
  e2e_driver terminate VelmoraTray.exe 1 10000 >/dev/null ||
    e2e_fail "a running VelmoraTray.exe could not be ended"
  e2e_kill_tracked
  for view in 64 32; do
    e2e_driver reg-delete-tree "$view" "${E2E_PRODUCT_KEYS[@]}" >/dev/null ||
      e2e_fail "cannot delete the product keys in the $view-bit view"
  done
  rm -f "$E2E_TRAY_LOG"
  find "$(dirname "$E2E_TRAY_LOG")" -maxdepth 1 -iname 'velmoratray.lo_' -delete 2>/dev/null || true
  for hook in "${E2E_CLEAN_HOOKS[@]}"; do "$hook"; done
}

# --------------------------------------------------------------------------------------------
# Set-up and teardown

e2e_pid_is() {  # PID NAME   (guards against killing a recycled PID)
  [[ -r "/proc/$1/cmdline" ]] && tr '\0' ' ' <"/proc/$1/cmdline" | grep -q -- "$2"
}

e2e_start_display() {
  if [[ -n "${DISPLAY:-}" ]] && timeout 10 xdpyinfo >/dev/null 2>&1; then
    e2e_log "using the caller's display $DISPLAY"
    return
  fi
  # A private Xvfb left behind by a run that was killed (CTest kills on time-out).
  local stale="$WINEPREFIX.xvfb.pid"
  if [[ -f "$stale" ]] && e2e_pid_is "$(cat "$stale")" Xvfb; then kill "$(cat "$stale")" || true; fi
  local displayfile="$E2E_TMP/display"
  if [[ -n "${E2E_XVFB_DISPLAY:-}" ]]; then
    Xvfb "$E2E_XVFB_DISPLAY" -screen 0 1024x768x24 -nolisten tcp </dev/null \
      >"$E2E_TMP/xvfb.log" 2>&1 &
    E2E_XVFB_PID=$!
    echo "${E2E_XVFB_DISPLAY#:}" >"$displayfile"
  else
    # -displayfd lets the server pick a free display number itself (no race with others).
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" </dev/null \
      >"$E2E_TMP/xvfb.log" 2>&1 &
    E2E_XVFB_PID=$!
  fi
  echo "$E2E_XVFB_PID" >"$stale"
  e2e_wait_until 10 test -s "$displayfile" || e2e_fail "Xvfb did not start"
  DISPLAY=":$(head -n1 "$displayfile")"
  export DISPLAY
  e2e_wait_until 10 xdpyinfo >/dev/null 2>&1 || e2e_fail "Xvfb on $DISPLAY does not answer"
  e2e_log "private Xvfb $DISPLAY (pid $E2E_XVFB_PID)"
}

e2e_stop_wineserver() {
  timeout 20 wineserver -k </dev/null >/dev/null 2>&1 || true
  timeout 20 wineserver -w </dev/null >/dev/null 2>&1 || true
}

e2e_init_prefix() {
  local marker="$WINEPREFIX/.velmora-e2e-ready"
  [[ -f "$marker" ]] && return
  e2e_log "initialising $WINEPREFIX (once per prefix)"
  mkdir -p "$WINEPREFIX"
  local saved="$E2E_WINE_TIMEOUT"
  E2E_WINE_TIMEOUT=300
  e2e_wine wineboot --init || e2e_fail "wineboot --init failed"
  E2E_WINE_TIMEOUT="$saved"
  e2e_reg_add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 ||
    e2e_fail "cannot switch off the crash dialog"
  e2e_reg_add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d shell ||
    e2e_fail "cannot configure the virtual desktop"
  e2e_reg_add 'HKCU\Software\Wine\Explorer\Desktops' /v shell /t REG_SZ /d 1024x768 ||
    e2e_fail "cannot configure the virtual desktop size"
  # The registry files are written when the server ends; end it so that the marker never
  # stands beside an unsaved configuration.
  e2e_stop_wineserver
  touch "$marker"
}

# Starts (or joins) a session: display, initialised prefix, persistent wineserver with its
# helpers, and the tray's log path. A script run from inside another script's session (the
# scenarios under CTest inside scripts/test.sh) finds E2E_SESSION_PREFIX equal to its own
# prefix and reuses that session instead of restarting the server under the caller's feet.
e2e_setup() {
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
    e2e_log "joining the session of the calling script ($DISPLAY, $WINEPREFIX)"
  else
    e2e_start_display
    e2e_stop_wineserver  # leftovers of a killed run would keep the old display
    e2e_init_prefix
    timeout 20 wineserver -p </dev/null >/dev/null 2>&1 || e2e_fail "wineserver -p failed"
    # Seen once under load: the first program of a fresh server did not start ("ShellExecuteEx
    # failed: Internal error"); the next attempt worked.
    local attempt
    for attempt in 1 2 3; do
      e2e_wine wineboot && break
      ((attempt < 3)) || e2e_fail "wineboot failed (see $E2E_TMP/wine.log)"
      e2e_log "wineboot failed, retrying"
      sleep 1
    done
    export E2E_SESSION_PREFIX="$WINEPREFIX"
  fi
  e2e_wine_to "$E2E_TMP/temp.win" cmd /c echo %TEMP% || e2e_fail "cannot expand %TEMP%"
  e2e_wine_to "$E2E_TMP/temp.unix" winepath -u "$(head -n1 "$E2E_TMP/temp.win")" ||
    e2e_fail "winepath failed"
  E2E_TRAY_LOG="$(head -n1 "$E2E_TMP/temp.unix")"
  E2E_TRAY_LOG="${E2E_TRAY_LOG%/}/VelmoraTray.log"
  [[ -d "$(dirname "$E2E_TRAY_LOG")" ]] || e2e_fail "temp folder missing: $E2E_TRAY_LOG"
}

# Ends what e2e_setup started (also the EXIT trap). Always returns 0: the caller's status
# stands, and `set -e` callers can call it directly.
e2e_teardown() {
  local status=$?
  trap - EXIT
  ((E2E_SET_UP == 1)) || return 0
  E2E_SET_UP=0
  e2e_kill_tracked
  if ((E2E_NESTED == 0)); then
    e2e_stop_wineserver
    if [[ -n "$E2E_XVFB_PID" ]]; then
      kill "$E2E_XVFB_PID" 2>/dev/null || true
      e2e_wait_exit "$E2E_XVFB_PID" 10 >/dev/null 2>&1 || kill -KILL "$E2E_XVFB_PID" 2>/dev/null || true
      rm -f "$WINEPREFIX.xvfb.pid"
      E2E_XVFB_PID=""
    fi
    unset E2E_SESSION_PREFIX
  fi
  if ((status != 0)) && [[ -d "$E2E_TMP" ]]; then
    # Keep what the programs printed next to the screenshots.
    mkdir -p "$E2E_ARTIFACTS/$E2E_NAME-output"
    cp -r "$E2E_TMP"/. "$E2E_ARTIFACTS/$E2E_NAME-output/" 2>/dev/null || true
    if [[ -f "$E2E_TRAY_LOG" ]]; then cp "$E2E_TRAY_LOG" "$E2E_ARTIFACTS/$E2E_NAME-output/"; fi
  fi
  [[ "${E2E_KEEP_TMP:-0}" == 1 ]] || rm -rf "$E2E_TMP"
  return 0
}

# --------------------------------------------------------------------------------------------
# Shell-hook library: VelmoraSH64.dll and velmora_hook_tool.exe, which the build places beside
# the tray (the tray and the tool load the library by its plain name).

# Runs velmora_hook_tool.exe ARGS from the tray's folder and prints its output (safe inside
# $(...)); returns the tool's exit code.
e2e_hook_tool() {  # ARGS...
  local dir out status=0
  dir="$(dirname "$E2E_TRAY")"
  [[ -f "$dir/VelmoraSH64.dll" && -f "$dir/velmora_hook_tool.exe" ]] ||
    e2e_fail "VelmoraSH64.dll and velmora_hook_tool.exe must be beside the tray in $dir"
  out="$E2E_TMP/hook-tool.$$.$RANDOM"
  e2e_wine_to "$out" "$dir/velmora_hook_tool.exe" "$@" || status=$?
  cat "$out"
  rm -f "$out"
  return "$status"
}

# --------------------------------------------------------------------------------------------
# The reference service VelmoraFrameworkService in Wine's service manager (services work only
# with the persistent wineserver that e2e_setup starts). E2E_SERVICE names its program (default
# service/VelmoraFrameworkService.exe in the build folder); the service writes its log beside
# it. e2e_service_install registers a clean-state hook and an exit handler that stop and delete
# the service, so that no scenario leaves it running for the next one.

E2E_SERVICE_NAME=VelmoraFrameworkService
E2E_SERVICE="${E2E_SERVICE:-}"
E2E_SERVICE_LOG=""
E2E_SERVICE_STATE=""  # RUNNING, STOPPED, START_PENDING, ... or MISSING, from e2e_service_query
E2E_SERVICE_EXIT=""   # its WIN32_EXIT_CODE
E2E_SERVICE_HOOKED=0

e2e_service_query() {
  local out="$E2E_TMP/sc-query.$$.$RANDOM"
  E2E_SERVICE_STATE=MISSING
  E2E_SERVICE_EXIT=""
  if e2e_wine_to "$out" sc query "$E2E_SERVICE_NAME"; then
    E2E_SERVICE_STATE="$(awk '$1 == "STATE" { print $4; exit }' "$out")"
    # shellcheck disable=SC2034  # read by the scenarios
    E2E_SERVICE_EXIT="$(awk '$1 == "WIN32_EXIT_CODE" { print $3; exit }' "$out")"
  fi
  rm -f "$out"
  E2E_SERVICE_STATE="${E2E_SERVICE_STATE:-MISSING}"
}

e2e_service_is() {
  e2e_service_query
  [[ "$E2E_SERVICE_STATE" == "$1" ]]
}

# Stops (killing it when it does not stop) and deletes the service; nothing when it is missing.
e2e_service_remove() {
  e2e_service_query
  [[ "$E2E_SERVICE_STATE" == MISSING ]] && return 0
  if [[ "$E2E_SERVICE_STATE" != STOPPED ]]; then
    e2e_wine sc stop "$E2E_SERVICE_NAME" || true
    if ! e2e_wait_until 20 e2e_service_is STOPPED; then
      e2e_log "warning: the service did not stop; ending its process"
      e2e_driver terminate VelmoraFrameworkService.exe 1 10000 >/dev/null || true
    fi
  fi
  e2e_wine sc delete "$E2E_SERVICE_NAME" || true
  e2e_wait_until 10 e2e_service_is MISSING || e2e_log "warning: the service is still registered"
}

e2e_service_at_exit() {
  local status=$?
  e2e_service_remove >/dev/null 2>&1 || true
  # e2e_teardown reads the script's status from $?.
  if ((status == 0)); then e2e_teardown; else (exit "$status") || e2e_teardown; fi
}

# Registers the service (demand start) with a fresh log; after e2e_setup.
e2e_service_install() {
  E2E_SERVICE="${E2E_SERVICE:-$E2E_BUILD/service/VelmoraFrameworkService.exe}"
  E2E_SERVICE="$(realpath -e "$E2E_SERVICE")" || e2e_fail "service not found: $E2E_SERVICE"
  E2E_SERVICE_LOG="$(dirname "$E2E_SERVICE")/VelmoraFrameworkService.log"
  if ((E2E_SERVICE_HOOKED == 0)); then
    e2e_on_clean e2e_service_remove
    trap e2e_service_at_exit EXIT
    E2E_SERVICE_HOOKED=1
  fi
  e2e_service_remove
  rm -f "$E2E_SERVICE_LOG" "${E2E_SERVICE_LOG%.log}.lo_"
  e2e_wine sc create "$E2E_SERVICE_NAME" binPath= "$(e2e_winpath "$E2E_SERVICE")" \
    DisplayName= "Velmora Framework Service" || e2e_fail "sc create failed"
}

# Starts the service and waits until it runs (status 0) or has stopped again (status 1, with
# its exit code in E2E_SERVICE_EXIT).
e2e_service_start() {
  local deadline=$((SECONDS + 20))
  e2e_wine sc start "$E2E_SERVICE_NAME" || true
  while :; do
    e2e_service_query
    case "$E2E_SERVICE_STATE" in
      RUNNING) return 0 ;;
      STOPPED) return 1 ;;
      MISSING) e2e_fail "the service is not registered" ;;
    esac
    ((SECONDS < deadline)) || e2e_fail "the service is still $E2E_SERVICE_STATE after 20 s"
    sleep 0.2
  done
}

e2e_service_stop() {
  e2e_wine sc stop "$E2E_SERVICE_NAME" || true
  e2e_wait_until 20 e2e_service_is STOPPED || e2e_fail "the service did not stop within 20 s"
}

# The service's log lines without their time stamps, CR stripped.
e2e_service_log() {
  [[ -f "$E2E_SERVICE_LOG" ]] || return 0
  tr -d '\r' <"$E2E_SERVICE_LOG" | cut -c23-
}

# Fails unless a line of the service's log contains TEXT within TIMEOUT seconds (default 5).
e2e_service_expect_log() {  # TEXT WHAT [TIMEOUT]
  e2e_wait_until "${3:-5}" grep -qF -- "$1" "$E2E_SERVICE_LOG" 2>/dev/null ||
    e2e_fail "$2: no line with [$1] in the service log:
$(e2e_service_log)"
}

# A product setting under the machine's product key (TYPE REG_DWORD unless given).
e2e_set_machine() {  # NAME DATA [TYPE]
  e2e_reg_add 'HKLM\Software\Ostrand\Velmora' /v "$1" /t "${3:-REG_DWORD}" /d "$2" ||
    e2e_fail "cannot set $1"
}

# The current user as the service's log writes it (DOMAIN\\user: the backslash escaped).
e2e_logged_user() {
  local user
  user="$(e2e_driver expand-env '%USERDOMAIN%\%USERNAME%')"
  printf '%s\n' "${user//\\/\\\\}"
}

# How many requests the service has logged so far.
e2e_service_requests() { grep -c 'Request\. ' "$E2E_SERVICE_LOG" || true; }

# --------------------------------------------------------------------------------------------
# Elevation scenarios (elevation_*.sh) and bench/run_tick_bench.sh: a virtual desktop whose
# explorer traces its tooltips, the tray's notification icon, balloons and crops of pictures.
#
# Facts (Wine 8.0): explorer prints a balloon as `TOOLTIPS_Show Show tooltip N, L"text"` only
# when the desktop process itself runs with WINEDEBUG=+tooltips; the desktop is started on
# demand by the first program that needs it and inherits that program's WINEDEBUG and stderr,
# so it cannot be switched on afterwards. Texts are escaped as debugstr_w does (a non-ASCII
# character as \xxxx, four hex digits). +timestamp prefixes each line with the tick count in
# seconds (the clock of GetTickCount64), which the tick benchmark lines up with the driver.

E2E_DESKTOP_TRACE=""  # explorer's trace file
E2E_DESKTOP_X=""      # X window of the "shell" virtual desktop
E2E_DESKTOP_CHANNELS="${E2E_DESKTOP_CHANNELS:-}"  # more debug channels for the desktop

e2e_desktop_window() {
  E2E_DESKTOP_X="$(xdotool search --name '^shell - Wine desktop$' 2>/dev/null | head -n1)"
  [[ -n "$E2E_DESKTOP_X" ]]
}

# Replaces the desktop process by one that traces its tooltips into E2E_DESKTOP_TRACE (a new
# file). Call it after every e2e_clean_state, which ends it with the other tracked processes.
e2e_desktop_trace_start() {
  e2e_desktop_restart "+tooltips,+timestamp${E2E_DESKTOP_CHANNELS:+,$E2E_DESKTOP_CHANNELS}"
}

# Replaces the desktop process by one with the Wine debug CHANNELS (none: no trace at all, as
# a user's desktop runs; the trace file then stays empty).
e2e_desktop_restart() {  # [CHANNELS]
  local channels="${1:-}"
  e2e_driver terminate explorer.exe 1 10000 >/dev/null || e2e_fail "cannot end the desktop process"
  e2e_wait_until 10 bash -c '! xdotool search --name "^shell - Wine desktop$" >/dev/null 2>&1' ||
    e2e_fail "the old desktop window is still there"
  E2E_DESKTOP_TRACE="$E2E_TMP/desktop.trace"
  # A new desktop process that still finds the old desktop's window ends at once: try again.
  # Seen under load: a new desktop process that runs on without ever showing its window.
  local attempt pid deadline
  for attempt in 1 2 3 4 5; do
    # The full path: `wine explorer.exe` would run it through start.exe, a PID we cannot end.
    WINEDEBUG="-all${channels:+,$channels}" wine 'C:\windows\explorer.exe' /desktop=shell,1024x768 \
      </dev/null >/dev/null 2>"$E2E_DESKTOP_TRACE" &
    pid=$!
    E2E_PIDS+=("$pid")
    deadline=$((SECONDS + 20))
    while e2e_is_running "$pid" && ((SECONDS < deadline)); do
      if e2e_desktop_window; then return 0; fi
      sleep 0.2
    done
    if e2e_is_running "$pid"; then
      e2e_log "the new desktop shows no window after 20 s (attempt $attempt); starting it again"
      kill -KILL "$pid" 2>/dev/null || true
      e2e_driver terminate explorer.exe 1 10000 >/dev/null || true
    else
      e2e_log "the new desktop ended at once (attempt $attempt); starting it again"
    fi
    sleep 1
  done
  e2e_fail "the desktop did not start"
}

# The start of every elevation case: a clean state, a traced desktop, the service running.
e2e_elevation_case() {
  e2e_clean_state
  e2e_desktop_trace_start
  e2e_service_install
  e2e_service_start || e2e_fail "the service did not start (exit code $E2E_SERVICE_EXIT)"
}

# Prints TEXT as the trace shows it (debugstr_w escapes).
e2e_dbgstr() {  # TEXT
  local text="$1" out="" c code i
  for ((i = 0; i < ${#text}; i++)); do
    c="${text:i:1}"
    printf -v code '%d' "'$c"
    if ((code < 32 || code >= 127)); then
      printf -v c '\\%04x' "$code"
    elif [[ "$c" == '"' || "$c" == "\\" ]]; then
      c="\\$c"
    fi
    out+="$c"
  done
  printf '%s\n' "$out"
}

# How many trace lines contain the fixed string PATTERN.
e2e_trace_count() {  # PATTERN
  grep -acF -- "$1" "$E2E_DESKTOP_TRACE" 2>/dev/null || true
}

# Balloon (or tooltip) texts shown so far, in order, as debugstr_w text.
e2e_balloon_texts() {
  grep -ao 'Show tooltip [0-9]*, L".*", size' "$E2E_DESKTOP_TRACE" 2>/dev/null |
    sed 's/^Show tooltip [0-9]*, L"//; s/", size$//' | grep -vx 'Velmora' || true
}

# How many times the balloon text TEXT has been shown.
e2e_balloon_count() {  # TEXT
  e2e_trace_count "Show tooltip 0, L\"$(e2e_dbgstr "$1")\", size"
}

e2e_balloon_shown_more_than() {  # TEXT COUNT
  (($(e2e_balloon_count "$1") > $2))
}

# Fails unless TEXT is shown as a balloon more than BEFORE times within TIMEOUT seconds.
e2e_expect_balloon() {  # TEXT BEFORE WHAT [TIMEOUT]
  e2e_wait_until "${4:-10}" e2e_balloon_shown_more_than "$1" "$2" ||
    e2e_fail "$3: no balloon [$1]; balloons shown: $(e2e_balloon_texts | tr '\n' '|')"
}

e2e_tray_icons_more_than() {  # COUNT
  (($(e2e_trace_count 'TOOLTIPS_AddToolT add text L"Velmora"') > $1))
}

# Waits until the tray's icon has been added to the notification area (COUNT+1-th time).
# shellcheck disable=SC2120  # the count is optional
e2e_wait_tray_icon() {  # [COUNT_BEFORE]
  e2e_wait_until 10 e2e_tray_icons_more_than "${1:-0}" || e2e_fail "the tray's icon did not appear"
}

# A real click on the first icon slot of the taskbar (right-most): BUTTON 1 left, 3 right.
e2e_click_tray_icon() {  # [BUTTON]
  e2e_desktop_window || e2e_fail "no virtual desktop"
  xdotool mousemove --window "$E2E_DESKTOP_X" 1013 758 click "${1:-1}"
}

# Clicks the desktop far from the icon and the menus: closes an open popup menu.
e2e_click_away() {
  xdotool mousemove --window "$E2E_DESKTOP_X" 400 300 click 1
}

# A screenshot cut to GEOMETRY (ImageMagick WxH+X+Y) of the 1024x768 screen.
e2e_screenshot_crop() {  # NAME GEOMETRY
  local file="$E2E_ARTIFACTS/$E2E_NAME-$1.png"
  if timeout 20 import -display "$DISPLAY" -window root -crop "$2" +repage "$file" \
    </dev/null >/dev/null 2>&1; then
    e2e_log "screenshot $file"
  else
    e2e_log "warning: screenshot $1 failed"
  fi
}
