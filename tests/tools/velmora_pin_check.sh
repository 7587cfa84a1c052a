#!/usr/bin/env bash
# velmora_pin_check.sh [EMULATOR] TOOL: the service-desk tool's answers and exit codes, with the
# user code taken as written. Whether the tray accepts its PINs, and why MakePin refuses, is the
# unit tests' and the PIN scenario's to show.
set -uo pipefail
err="$(mktemp)"
trap 'rm -f "$err"' EXIT
failed=0
# exit code | what it prints (on stdout when 0, else on stderr) | arguments
while IFS='|' read -r want pattern args; do
  # shellcheck disable=SC2086  # the arguments are words
  out="$("$@" $args </dev/null 2>"$err")"
  status=$?
  ((want == 0)) || out="$(<"$err")"
  out="${out//$'\r'/}"
  [[ $status == "$want" && $out =~ $pattern ]] ||
    { echo "FAIL: velmora_pin $args: exit $status, [$out]" >&2; failed=1; }
done <<'CHECKS'
0|^[0-9]{6}$|0007 42
1|user code must be the four digits|12a4 4253
2|^usage: velmora_pin USERCODE SHAREDTOKEN|
2|^usage: velmora_pin USERCODE SHAREDTOKEN|0007 42 extra
CHECKS
((failed == 0)) && echo "velmora_pin: every check passed"
exit "$failed"
