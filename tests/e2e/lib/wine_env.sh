# shellcheck shell=bash
# wine_env.sh - the harness of the end-to-end scenarios, on the Wine session of
# scripts/lib/wine_session.sh. Source it from a `set -euo pipefail` script, then:
#
#   e2e_begin "$@"    # --build DIR --tray EXE --driver EXE --artifacts DIR; set-up
#   e2e_clean_state   # before every case: no tray, no product keys, no log, no service
#   ...               # e2e_tray_up, e2e_driver, e2e_expect_exit, session_screenshot, ...

E2E_LIB="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=../../../scripts/lib/wine_session.sh
source "$E2E_LIB/../../../scripts/lib/wine_session.sh"
E2E_MAIN="" E2E_DRIVER="${E2E_DRIVER:-}"

# --------------------------------------------------------------------------------------------
# Messages and waits

e2e_assert_eq() { [[ "$1" == "$2" ]] || session_fail "$3: expected [$1], got [$2]"; }  # WANT GOT WHAT

# Fails with WHAT unless COMMAND succeeds within SECONDS_.
e2e_within() { session_wait_until "$1" "${@:3}" || session_fail "$2"; }  # SECONDS_ WHAT COMMAND...

# --------------------------------------------------------------------------------------------
# Set-up and teardown

e2e_begin() {
  while (($# > 1)); do
    case "$1" in
      --driver) E2E_DRIVER=$2 ;;
      *) printf -v "SESSION_$(tr '[:lower:]' '[:upper:]' <<<"${1#--}")" %s "$2" ;;
    esac
    shift 2
  done
  session_setup
  E2E_DRIVER="${E2E_DRIVER:-$SESSION_BUILD/tests/e2e/velmora_driver.exe}"
  trap e2e_end EXIT
}
# The EXIT trap of a scenario: a scenario that ends well says so.
e2e_end() {
  local status=$?
  session_teardown "$status"
  ((status != 0)) || session_log PASS
}

# --------------------------------------------------------------------------------------------
# Processes

e2e_driver() { session_run "$E2E_DRIVER" "$@"; }

# The driver in the background, once it has printed WORD.
e2e_driver_bg() {  # TAG WORD ARGS...
  session_start_bg "$1" "$E2E_DRIVER" "${@:3}"
  session_wait_until 20 grep -qs "$2" "$SESSION_TMP/$1.out" ||
    session_fail "$1 never printed $2: $(cat "$SESSION_TMP/$1.out" "$SESSION_TMP/$1.err")"
}

# Starts the tray and waits for its hidden main window (its HWND left in E2E_MAIN) and, on a
# traced desktop, for its icon.
# shellcheck disable=SC2120  # arguments are optional
e2e_tray_up() {  # [ARGS...]
  local icons
  icons="$(e2e_trace_count "$E2E_ICON_ADDED")"
  session_start_tray "$@"
  # shellcheck disable=SC2034
  E2E_MAIN="$(e2e_main_window VelmoraTray.exe 20000)" || session_fail "no main window"
  [[ -z "$E2E_DESKTOP_TRACE" ]] || session_wait_until 10 session_more_than "$icons" \
    e2e_trace_count "$E2E_ICON_ADDED" || session_fail "the tray's icon did not appear"
}

# The tray's hidden main window in the process PID or IMAGE, within TIMEOUT ms (default 0).
e2e_main_window() { e2e_driver find-window "$1" '#32770' Velmora "${2:-0}"; }  # PID|IMAGE [TIMEOUT]

# Ends the running tray from the Windows side (also an instance this shell did not start).
e2e_tray_down() {
  e2e_driver terminate VelmoraTray.exe 1 10000 >/dev/null || session_fail "cannot end VelmoraTray.exe"
}

# Fails unless a background process of this shell ends with EXPECTED within TIMEOUT s.
e2e_expect_exit() {  # UNIX_PID TIMEOUT EXPECTED WHAT
  local status=0
  e2e_within "$2" "$4: still running after $2 s" session_not session_is_running "$1"
  wait "$1" || status=$?
  e2e_assert_eq "$3" "$status" "$4: exit code"
}

e2e_clean_state() {
  local keys
  keys="$(session_winpath "$E2E_LIB/delete_product_keys.reg")"
  e2e_tray_down
  session_kill_tracked
  E2E_DESKTOP_TRACE=""
  session_wine reg import "$keys" || session_fail "cannot delete the product keys"
  rm -f "$SESSION_TRAY_LOG" "${SESSION_TRAY_LOG%.log}.lo_"
  [[ -z "$SESSION_SERVICE_LOG" ]] || session_service_remove
}

# --------------------------------------------------------------------------------------------
# The tray's registry values and log

# The tray's "timerEnd" (epoch seconds); status 1 unless it is there as REG_SZ.
e2e_timer_end() {
  local value
  value="$(session_reg_get "$SESSION_USER_KEY" timerEnd)" && [[ "$value" == "REG_SZ "* ]] &&
    echo "${value#REG_SZ }"
}

# The tray's log lines without their time stamps. Fails unless every line has the exact
# "[dd.mm.yyyy hh:mm:ss] " prefix and ends in CRLF.
e2e_tray_log_messages() {
  local log="$SESSION_TMP/tray-log.snapshot" bad
  [[ -f "$SESSION_TRAY_LOG" ]] || session_fail "no log file at $SESSION_TRAY_LOG"
  # One copy for every check: the tray's threads may still be appending lines.
  cp "$SESSION_TRAY_LOG" "$log"
  bad="$(grep -aEvn $'^\\[[0-9]{2}\\.[0-9]{2}\\.[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2}\\] .*\r$' "$log")" &&
    session_fail "log lines without a time stamp or CRLF: $bad"
  [[ "$(tail -c1 "$log" | od -An -tx1)" == *0a ]] || session_fail "the log's last line has no line end"
  tr -d '\r' <"$log" | cut -c23-
}

# Fails unless the tray's log has the message LINE right after the message BEFORE.
e2e_expect_log_sequence() {  # BEFORE LINE WHAT
  local messages
  messages="$(e2e_tray_log_messages)" || exit 1
  [[ "$(grep -Fx -m1 -B1 -- "$2" <<<"$messages" | head -n1)" == "$1" ]] ||
    session_fail "$3: [$2] does not follow [$1] in the log: $messages"
}

# --------------------------------------------------------------------------------------------
# What the reference service logged and answered

# Fails unless a line of the service's log contains TEXT within TIMEOUT seconds (default 5).
e2e_service_expect_log() {  # TEXT WHAT [TIMEOUT]
  session_wait_until "${3:-5}" grep -qF -- "$1" "$SESSION_SERVICE_LOG" 2>/dev/null ||
    session_fail "$2: no line with [$1] in the service log:
$(tr -d '\r' <"$SESSION_SERVICE_LOG" 2>/dev/null | cut -c23-)"
}

# How many lines of the service's log contain TEXT; how many requests it has logged so far.
e2e_service_lines() { grep -cF -- "$1" "$SESSION_SERVICE_LOG" || true; }  # TEXT
e2e_service_requests() { e2e_service_lines 'Request. '; }

# Fails unless the driver's command ends with the service's ANSWER (START, EXPIRE, FORBID,
# TIMEOUT).
e2e_expect_answer() {  # ANSWER WHAT DRIVER-ARGS...
  local got
  got="$(e2e_driver "${@:3}")" || true
  [[ "$got" == *"$1" ]] || session_fail "$2: expected $1, got [$(tail -c 200 <<<"$got")]
$(tr -d '\r' <"$SESSION_SERVICE_LOG" | cut -c23-)"
}

# EMERGENCYSTART, set as the tray and the shell-hook library set it.
e2e_emergency() {
  e2e_driver hold signalled-event 'Global\__EMERGENCYSTART_EVENT__' 0 >/dev/null ||
    session_fail "cannot set EMERGENCYSTART"
}

# Fails unless the service grants SECONDS for REASON (default "no reason") and the tray then
# records the end of the elevation in "timerEnd".
e2e_expect_grant() {  # SECONDS [REASON]
  e2e_service_expect_log "Request. user=\"$SESSION_LOGGED_USER\" reason=\"${2:-no reason}\" at-login=0 seconds=$1" \
    "request for $1 s" 10
  e2e_service_expect_log "Decision. Granted: \"$SESSION_LOGGED_USER\" is elevated for $1 seconds." "grant"
  e2e_within 5 "no timerEnd after the grant" e2e_timer_end >/dev/null
}

# Ends the running elevation with EMERGENCYSTART (with "signalled": expects it ended so by
# someone else); the tray removes "timerEnd".
e2e_end_elevation() {  # [signalled]
  [[ -n "${1:-}" ]] || e2e_emergency
  e2e_service_expect_log "ends: EMERGENCYSTART." "the end of the elevation"
  e2e_within 5 "timerEnd is still there after EXPIRE" session_not e2e_timer_end
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
e2e_desktop_or_ended() { e2e_desktop_window || ! session_is_running "$1"; }  # UNIX_PID

# Replaces the desktop process by one that traces its tooltips into E2E_DESKTOP_TRACE. Call it
# after every e2e_clean_state, which ends it with the other tracked processes.
e2e_desktop_trace_start() {
  local attempt pid trace="$SESSION_TMP/desktop.trace"
  # A new desktop process that finds a desktop window ends at once, and Wine may start an
  # untraced one of its own meanwhile: the window must be our process's (_NET_WM_PID).
  for attempt in 1 2 3 4 5; do
    e2e_driver terminate explorer.exe 1 10000 >/dev/null || session_fail "cannot end the desktop process"
    e2e_within 10 "the old desktop window is still there" session_not e2e_desktop_window
    # The full path: `wine explorer.exe` would run it through start.exe, a PID we cannot end.
    WINEDEBUG="-all,+tooltips,+timestamp${E2E_DESKTOP_CHANNELS:+,$E2E_DESKTOP_CHANNELS}" \
      wine 'C:\windows\explorer.exe' /desktop=shell,1024x768 </dev/null >/dev/null 2>"$trace" &
    pid=$!
    SESSION_PIDS+=("$pid")
    session_wait_until 20 e2e_desktop_or_ended "$pid" || true
    if [[ "$(xdotool getwindowpid "$E2E_DESKTOP_X" 2>/dev/null)" == "$pid" ]]; then
      # The driver (a user32 program) waits in the background to keep the desktop in use until
      # the case ends; the taskbar must be there: an icon added before it is lost.
      e2e_driver_bg desktop-user HELD hold event velmora-desktop-user 3600000
      e2e_driver find-window explorer.exe Shell_TrayWnd '' 10000 >/dev/null || session_fail "no taskbar"
      if session_is_running "$pid"; then
        E2E_DESKTOP_TRACE="$trace"
        return 0
      fi
    fi
    session_log "the new desktop ended at once (attempt $attempt); starting it again"
  done
  session_fail "the desktop did not start"
}

# The start of every elevation case: a clean state, a traced desktop, the service running.
e2e_elevation_case() {
  e2e_clean_state
  e2e_desktop_trace_start
  session_service_up
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
  session_wait_until "${4:-10}" session_more_than "$2" e2e_balloon_count "$1" || session_fail "$3: no balloon [$1]" \
    "in: $(grep -ao 'Show tooltip 0, L".*", size' "$E2E_DESKTOP_TRACE" | paste -sd'|')"
}

# A real click with BUTTON (default 1, the left one) into the virtual desktop.
e2e_click() {  # X Y [BUTTON]
  e2e_desktop_window || session_fail "no virtual desktop"
  xdotool mousemove --window "$E2E_DESKTOP_X" "$1" "$2" click "${3:-1}"
}
# The tray's icon is the first (right-most) slot; far from it and the menus, a click closes an
# open popup menu.
e2e_click_tray_icon() { e2e_click 1013 758 "$@"; }  # [BUTTON]
e2e_click_away() { e2e_click 400 300; }

# A real click with BUTTON (1 left, 3 right) on the tray's icon, Control held when CONTROL is 1.
# Prints the menu's items as "text|text" (nothing when no menu opens). The menu stays open; its
# items, "<id> <grayed> <x> <y> <text>", are left in $SESSION_TMP/menu.txt.
e2e_icon_menu() {  # BUTTON CONTROL
  if (($2)); then xdotool keydown ctrl; fi
  e2e_click_tray_icon "$1"
  e2e_driver menu-items VelmoraTray.exe 3000 >"$SESSION_TMP/menu.txt" || : >"$SESSION_TMP/menu.txt"
  if (($2)); then xdotool keyup ctrl; fi
  cut -d' ' -f5- "$SESSION_TMP/menu.txt" | paste -sd'|'
}

# Clicks the item TEXT of the open menu.
e2e_choose() {  # TEXT
  local x y
  read -r _ _ x y _ < <(grep " $1\$" "$SESSION_TMP/menu.txt") ||
    session_fail "no item [$1] in: $(cat "$SESSION_TMP/menu.txt")"
  e2e_click "$x" "$y"
}

# Waits for the tray's visible window TITLE; its owner and controls are left in
# $SESSION_TMP/dialog.txt: "PID <pid>", then "<id> <class> visible=1 enabled=1 checked=0
# centre=<x>,<y> <text>" per control, the text escaped as in C.
# session_run already tries again when Wine did not start the driver; any other end but "found" or
# "not found" is reported with the end of Wine's log.
e2e_dialog() {  # TITLE [TIMEOUT_MS]
  local status=0
  e2e_driver window "$1" "${2:-10000}" VelmoraTray.exe >"$SESSION_TMP/dialog.txt" || status=$?
  ((status == 0)) ||
    session_fail "no window [$1] (driver status $status): $(tail -n 3 "$SESSION_TMP/wine.log")"
}
# e2e_dialog, then fails unless a control of the window shows exactly TEXT.
e2e_expect_dialog() {  # TITLE TEXT [TIMEOUT_MS]
  e2e_dialog "$1" "${3:-10000}"
  grep -q " $2\$" "$SESSION_TMP/dialog.txt" || session_fail "[$1] without [$2]: $(cat "$SESSION_TMP/dialog.txt")"
}
# Without a window manager the X focus stays where the last X window left it (the desktop's,
# after a popup menu), and keys typed there never reach the dialog: the dialog's own X window
# takes the focus first.
e2e_close_dialog() {  # TITLE KEY
  local window
  session_wait_until 5 xdotool search --onlyvisible --name "^$1\$" >"$SESSION_TMP/xwindow" ||
    session_fail "no X window [$1]"
  window="$(tail -n1 "$SESSION_TMP/xwindow")"
  timeout 5 xdotool windowfocus --sync "$window" || session_fail "cannot focus [$1]"
  xdotool key "$2"
  e2e_within 5 "$2 did not close $1" session_not e2e_driver window "$1" 0 VelmoraTray.exe
}

# The line of control ID in the description that e2e_dialog left, and its exact text.
e2e_control() {  # ID
  grep -m1 "^$1 " "$SESSION_TMP/dialog.txt" || session_fail "no control $1 in: $(cat "$SESSION_TMP/dialog.txt")"
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
  cp "$SESSION_TRAY" "${@:2}" "$1/"
  SESSION_TRAY="$1/$(basename "$SESSION_TRAY")"
}
