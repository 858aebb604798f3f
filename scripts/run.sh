#!/usr/bin/env bash
# Sets up, builds and runs probix32 against the embedded simulator. Extra
# arguments go to probix32 (for example -iexamples/demo.cmd).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh native >&2
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/native -j "$(nproc 2>/dev/null || echo 2)" --target probix32 >&2
exec build/native/shell/probix32 "$@"
