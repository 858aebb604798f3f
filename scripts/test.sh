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
# run_ctest NAME DIR: runs a build's tests, then says how many ran and names
# those skipped (a tool missing here, a cross build): none may vanish unseen.
run_ctest() {
  local name=$1 dir=$2 log rc=0 total skipped count
  log=$(mktemp)
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" | tee "$log" || rc=$?
  total=$(sed -n 's/.*tests failed out of \([0-9]*\)$/\1/p' "$log" | tail -1)
  skipped=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$log" | tr '\n' ' ')
  count=$(wc -w <<<"$skipped")
  rm -f "$log"
  echo "== $name: $(( ${total:-0} - count )) tests run, $count skipped${skipped:+: ${skipped% }}"
  return $rc
}

echo "== native build and tests"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPROBIX_WERROR=ON >/dev/null
cmake --build build/native -j "$jobs"
run_ctest native build/native

echo "== sanitizer build and tests"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Sanitize -DPROBIX_WERROR=ON >/dev/null
cmake --build build/sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_ctest sanitizer build/sanitize

for suite in scripts/test-*.sh; do
  [ -e "$suite" ] || continue
  echo "== $(basename "$suite" .sh)"
  bash "$suite"
done
echo "== all tests passed"
