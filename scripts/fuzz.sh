#!/usr/bin/env bash
# Builds the fuzz preset (clang, libFuzzer, ASan + UBSan) and runs each fuzz target for a bounded
# time, starting from a seed corpus of the shipped language files. The corpus grows in
# build/fuzz/corpus across runs; a crashing input is saved in build/fuzz/artifacts.
# Usage: scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-60}
JOBS=${JOBS:-$(nproc)}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$JOBS"

corpus=build/fuzz/corpus/language
artifacts=build/fuzz/artifacts
mkdir -p "$corpus" "$artifacts"
cp resources/Localization/*.lng "$corpus"/

echo "== language_fuzz for ${SECONDS_PER_TARGET}s"
build/fuzz/tests/fuzz/language_fuzz "$corpus" \
  -max_total_time="$SECONDS_PER_TARGET" -max_len=16384 -timeout=10 -rss_limit_mb=2048 \
  -dict=tests/fuzz/language.dict -artifact_prefix="$artifacts/language-" -print_final_stats=1
