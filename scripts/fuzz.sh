#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan + UBSan), replays each target's seed corpus
# from the repository (tests/fuzz/corpus/<target>, the shipped language files for the language
# parser), then fuzzes each target for a bounded time. The working corpus grows in
# build/fuzz/corpus across runs; a crashing input is saved in build/fuzz/artifacts.
# Usage: scripts/fuzz.sh [seconds per target, default 15] [target...]
#   FUZZ_RUNS=N runs N executions per target instead of a time (a long campaign, one core).
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-15}
shift || true
JOBS=${JOBS:-$(nproc)}
TARGETS=("$@")
((${#TARGETS[@]})) ||
  TARGETS=(language_fuzz service_records_fuzz log_text_fuzz settings_fuzz pin_fuzz)

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$JOBS" --target "${TARGETS[@]}"

artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"

options() {  # TARGET: its libFuzzer options
  case "$1" in
    language_fuzz) echo "-max_len=16384 -dict=tests/fuzz/language.dict" ;;
    service_records_fuzz) echo "-max_len=1300" ;;
    log_text_fuzz) echo "-max_len=4096" ;;
    settings_fuzz) echo "-max_len=8192" ;;
    pin_fuzz) echo "-max_len=256" ;;
  esac
}

for target in "${TARGETS[@]}"; do
  binary=build/fuzz/tests/fuzz/$target
  seeds=tests/fuzz/corpus/$target
  corpus=build/fuzz/corpus/$target
  mkdir -p "$corpus"
  if [[ $target == language_fuzz ]]; then seeds=resources/Localization; fi
  # shellcheck disable=SC2046  # the options are words
  read -r -a extra <<<"$(options "$target")"
  echo "== $target: replaying $(find "$seeds" -maxdepth 1 -type f | wc -l) seeds"
  find "$seeds" -maxdepth 1 -type f -print0 | xargs -0 "$binary" -runs=1 "${extra[@]}" \
    -artifact_prefix="$artifacts/$target-" >/dev/null 2>"$artifacts/$target-replay.log" || {
    cat "$artifacts/$target-replay.log"
    echo "FAIL $target: a seed crashes"
    exit 1
  }
  if [[ -n ${FUZZ_RUNS:-} ]]; then
    limit=(-runs="$FUZZ_RUNS")
    echo "== $target for $FUZZ_RUNS executions"
  else
    limit=(-max_total_time="$SECONDS_PER_TARGET")
    echo "== $target for ${SECONDS_PER_TARGET}s"
  fi
  "$binary" "$corpus" "$seeds" "${limit[@]}" "${extra[@]}" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$artifacts/$target-" -print_final_stats=1
done
