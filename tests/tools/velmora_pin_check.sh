#!/usr/bin/env bash
# velmora_pin_check.sh [EMULATOR] TOOL: the service-desk tool's answers and exit codes. Whether
# the tray accepts its PINs is the unit tests' and the PIN scenario's to show.
set -euo pipefail
run() { "$@" 2>"$err" | tr -d '\r'; }
err="$(mktemp)"
trap 'rm -f "$err"' EXIT
failed=0
check() {  # EXPECTED_EXIT PATTERN (stdout, or stderr when not 0) ARGS...
  local want=$1 pattern=$2 out status=0
  shift 2
  out="$(run "${TOOL[@]}" "$@")" || status=$?
  [[ $want != 0 ]] && out="$(tr -d '\r' <"$err")"
  if [[ $status != "$want" || ! $out =~ $pattern ]]; then
    echo "FAIL: velmora_pin $*: exit $status, [$out]" >&2
    failed=1
  fi
}
TOOL=("$@")
check 0 '^[0-9]{6}$' 1234 4253
check 0 '^[0-9]{6}$' 0007 42
check 1 'user code must be the four digits' 123 4253
check 1 'user code must be the four digits' 12a4 4253
check 1 'token must be the SharedToken text' 1234 425
check 1 'token must be the SharedToken text' 1234 42x3
check 1 'no PIN answers this user code' 1230 0000
check 2 '^usage: velmora_pin USERCODE SHAREDTOKEN'
check 2 '^usage: velmora_pin USERCODE SHAREDTOKEN' 1234
((failed == 0)) && echo "velmora_pin: 9 checks passed"
exit "$failed"
