#!/usr/bin/env bash
# Runs every test: host unit tests under AddressSanitizer and UndefinedBehaviorSanitizer, the
# bounded fuzz runs, the Windows builds (32-bit release link-checked, 64-bit run under Wine),
# the unit tests again as Windows programs, the end-to-end scenarios and the PE checks.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}

bash scripts/setup.sh

summary=()
failed=0
run_ctest() {  # name, ctest args...
  local name=$1
  shift
  local log="build/ctest-$name.log"
  if ctest "$@" --output-on-failure -j1 2>&1 | tee "$log"; then
    :
  else
    failed=1
  fi
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of' "$log" | tail -n 1 || true)
  summary+=("$name: ${line:-no result}")
}

echo "== host build (ASan + UBSan)"
cmake --preset host >/dev/null
cmake --build --preset host -j "$JOBS"
run_ctest host --preset host -j "$JOBS"

echo "== fuzzing: seed corpora replayed, then every parser of outside data (bounded)"
if bash scripts/fuzz.sh "${FUZZ_SECONDS:-15}" >build/fuzz.log 2>&1; then
  summary+=("fuzz: 5 targets (language, service records, log text, settings, PIN), seeds replayed, ${FUZZ_SECONDS:-15} s each, no finding")
else
  tail -n 40 build/fuzz.log
  summary+=("fuzz: FAILED (see build/fuzz.log)")
  failed=1
fi
if python3 resources/Localization/make_lng.py --check; then
  summary+=("language files: match their sources")
else
  summary+=("language files: FAILED --check")
  failed=1
fi

echo "== Windows i686 release (compiled and link-checked)"
cmake --preset windows-i686 >/dev/null
cmake --build --preset windows-i686 -j "$JOBS"
run_ctest windows-i686 --test-dir build/windows-i686

echo "== Windows x86_64 under Wine"
cmake --preset windows-x86_64 >/dev/null
cmake --build --preset windows-x86_64 -j "$JOBS"
# shellcheck source=lib/wine_session.sh
source scripts/lib/wine_session.sh
SESSION_BUILD_DIR=$ROOT/build/windows-x86_64
session_setup  # its EXIT trap ends the session should the build or a test abort the script
run_ctest windows-x86_64 --test-dir build/windows-x86_64 --timeout 600
session_teardown

# The shipped 32-bit programs run only where the kernel and Wine can run 32-bit code.
wow64=$(bash scripts/detect_wow64.sh)
[ "$wow64" = yes ] && wow64="this machine can run them, but this run has no 32-bit scenarios yet"
summary+=("32-bit under Wine: not run: ${wow64#no: }")
summary+=("$(bash scripts/count_lines.sh)")

echo
echo "== summary"
printf '%s\n' "${summary[@]}"
total_failed=0
total_passed=0
for s in "${summary[@]}"; do
  if [[ $s =~ ([0-9]+)%\ tests\ passed,\ ([0-9]+)\ tests\ failed\ out\ of\ ([0-9]+) ]]; then
    total_failed=$((total_failed + BASH_REMATCH[2]))
    total_passed=$((total_passed + BASH_REMATCH[3] - BASH_REMATCH[2]))
  fi
done
echo "$total_passed passed, $total_failed failed"
exit "$failed"
