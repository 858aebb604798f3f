#!/usr/bin/env bash
# Fuzzes the frame decoder of the client library for a short while: builds the
# libFuzzer target with clang (address and undefined-behaviour checks) apart
# from the CMake builds, and runs it. FUZZ_SECONDS sets the time (default 20).
# The corpus in build/fuzz/corpus grows from run to run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh fuzz

out=build/fuzz
mkdir -p "$out/corpus"
cxx=$(command -v clang++ || true)
if [ -z "$cxx" ]; then
  cxx=$(ls /usr/bin/clang++-* 2>/dev/null | sort -V | tail -1)
fi
if [ -z "$cxx" ]; then
  echo "test-fuzz: clang++ not found" >&2
  exit 1
fi

echo "== building wire_fuzz with $cxx"
"$cxx" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I. csta32/fuzz/wire_fuzz.cpp csta32/wire/wire.cpp -o "$out/wire_fuzz"

echo "== fuzzing the frame decoder for ${FUZZ_SECONDS:-20} s"
if "$out/wire_fuzz" -max_total_time="${FUZZ_SECONDS:-20}" -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$out/" "$out/corpus" >"$out/fuzz.log" 2>&1; then
  grep '^stat::' "$out/fuzz.log" || true
else
  cat "$out/fuzz.log"
  echo "test-fuzz: the decoder failed; the input is saved under $out/" >&2
  exit 1
fi
