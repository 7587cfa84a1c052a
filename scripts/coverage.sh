#!/usr/bin/env bash
# Line and branch coverage of the host-built logic under the unit tests. Usage: coverage.sh [OUT]
# (default build/coverage.txt). The gcovr filter is fixed here so that runs can be compared.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/coverage.txt}

cmake --preset coverage >/dev/null
cmake --build --preset coverage -j2
find build/coverage -name '*.gcda' -delete
ctest --preset coverage -j2 >build/coverage-ctest.log 2>&1 || { tail -n 40 build/coverage-ctest.log; exit 1; }

gcovr_args=(-r . --object-directory build/coverage
            --filter 'src/' --filter 'service/'
            --exclude 'src/platform/win32/' --exclude 'service/win32/'
            --exclude-unreachable-branches --exclude-throw-branches
            --exclude-directories '.*/wineprefix[^/]*$')
{
  echo "# gcovr ${gcovr_args[*]}"
  echo "## branches"
  gcovr "${gcovr_args[@]}" --branches
  echo "## lines"
  gcovr "${gcovr_args[@]}" --print-summary
} >"$out"
tail -n 3 "$out"
