#!/usr/bin/env bash
# Sets up, builds and runs every test: the native build, the sanitizer build,
# and every further suite in scripts/test-*.sh (Windows cross build under
# Wine, fuzzing, ...). Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

bash scripts/setup.sh native

echo "== rooms: every include within reach"
bash scripts/check-includes.sh

echo "== native build and tests"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPROBIX_WERROR=ON >/dev/null
cmake --build build/native -j "$jobs"
ctest --test-dir build/native --output-on-failure -j "$jobs"

echo "== sanitizer build and tests"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Sanitize -DPROBIX_WERROR=ON >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

for suite in scripts/test-*.sh; do
  [ -e "$suite" ] || continue
  echo "== $(basename "$suite" .sh)"
  bash "$suite"
done
echo "== all tests passed"
