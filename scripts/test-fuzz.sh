#!/usr/bin/env bash
# Fuzzes for a short while, each target in turn: the frame decoder of the
# client library, and private messages through probix32's dispatcher and
# display. Builds the libFuzzer targets with clang (address and
# undefined-behaviour checks) apart from the CMake builds, and runs them.
# FUZZ_SECONDS sets the time of each (default 20). The corpora in
# build/fuzz/<target>/ grow from run to run.
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

# The stream, dispatcher and display of probix32 with the client library and
# the switch it embeds: everything but the program's entry and tests.
probix_sources() {
  ls platform/*_posix.cpp csta32/*.cpp csta32/wire/*.cpp simulator/*.cpp private/*.cpp \
    display/*.cpp calllog/*.cpp telephony/*.cpp shell/*.cpp |
    grep -v -e '_test\.cpp$' -e '^simulator/main\.cpp$' -e '^shell/main\.cpp$'
}

# fuzz NAME SOURCES...: builds build/fuzz/NAME/NAME and runs it.
fuzz() {
  local name=$1
  shift
  local dir="$out/$name"
  mkdir -p "$dir/corpus"
  echo "== building $name with $cxx"
  "$cxx" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -I. "$@" -o "$dir/$name" -lpthread
  echo "== fuzzing $name for ${FUZZ_SECONDS:-20} s"
  if "$dir/$name" -max_total_time="${FUZZ_SECONDS:-20}" -max_len=4096 \
      -print_final_stats=1 -artifact_prefix="$dir/" "$dir/corpus" >"$dir/fuzz.log" 2>&1; then
    grep '^stat::' "$dir/fuzz.log" || true
  else
    cat "$dir/fuzz.log"
    echo "test-fuzz: $name failed; the input is saved under $dir/" >&2
    exit 1
  fi
}

fuzz wire_fuzz csta32/fuzz/wire_fuzz.cpp csta32/wire/wire.cpp
# shellcheck disable=SC2046
fuzz private_fuzz telephony/fuzz/private_fuzz.cpp $(probix_sources)
