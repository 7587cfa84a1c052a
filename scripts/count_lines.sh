#!/usr/bin/env bash
# Prints the size of the tests beside the product's code: non-blank lines that are not only a
# comment, of everything under tests/ (C++ and scripts) and of the product's C++ (src/, service/,
# shellhook/, tools/). One line, for the test run's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
count() {  # files on stdin
  xargs -r cat | grep -vE '^[[:space:]]*$|^[[:space:]]*(//|#[[:space:]]|#$|#!)' | wc -l
}
tests=$(git ls-files tests | grep -E '\.(cpp|h|sh|py)$|CMakeLists\.txt$' | count)
product=$(git ls-files src service shellhook tools | grep -E '\.(cpp|h)$' | count)
share=$((100 * tests / (tests + product)))
echo "code size: tests $tests lines, product $product lines, tests are ${share}% of all"
