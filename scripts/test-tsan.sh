#!/usr/bin/env bash
# Builds the client library's, the simulator's and the voice library's tests
# with ThreadSanitizer and runs them: any data race fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

targets="csta32_client_test csta32_directory_test csta32_exit_test csta32_wire_test embedded_test simulator_test simulator_embedded_test
         voxbridge_channel_test voxbridge_tables_test voxbridge_e2e_test"
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=Tsan >/dev/null
# shellcheck disable=SC2086
cmake --build build/tsan -j "$jobs" --target $targets
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" \
  ctest --test-dir build/tsan --output-on-failure -j "$jobs" \
    -R '^(csta32_client_test|csta32_directory_test|csta32_exit_test|csta32_wire_test|embedded_test|simulator_test|simulator_embedded_test|voxbridge_channel_test|voxbridge_tables_test|voxbridge_e2e_test)$'
