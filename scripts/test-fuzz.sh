#!/usr/bin/env bash
# Fuzzes for a short while, each target in turn: the frame decoder of the
# client library, private messages through probix32's dispatcher and
# display, and the three text readers (the profile, the simulator's
# configuration, telsrvr.ini). CMake builds the libFuzzer targets with clang
# (PROBIX_FUZZ: address and undefined-behaviour checks) in build/fuzz; each
# starts from its checked-in seeds (<room>/fuzz/corpus/<target>/), and what
# it finds beyond them grows in build/fuzz/runs/<target>/corpus from run to
# run. FUZZ_SECONDS sets the time of each (default 20).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh fuzz

cxx=$(command -v clang++ || true)
if [ -z "$cxx" ]; then
  cxx=$(ls /usr/bin/clang++-* 2>/dev/null | sort -V | tail -1)
fi
if [ -z "$cxx" ]; then
  echo "test-fuzz: clang++ not found" >&2
  exit 1
fi
cc=${cxx/clang++/clang}

targets=(wire_fuzz:csta32 private_fuzz:telephony profile_fuzz:console telsim_config_fuzz:simulator
         telsrvr_fuzz:voxbridge)
names=()
for t in "${targets[@]}"; do names+=("${t%%:*}"); done

echo "== building ${names[*]} with $cxx"
CC=$cc CXX=$cxx cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPROBIX_FUZZ=ON >/dev/null
cmake --build build/fuzz -j "$(nproc 2>/dev/null || echo 2)" --target "${names[@]}"

for t in "${targets[@]}"; do
  name=${t%%:*}
  room=${t#*:}
  dir=build/fuzz/runs/$name
  mkdir -p "$dir/corpus"
  exe=$(find build/fuzz -type f -name "$name" -perm -u+x | head -1)
  echo "== fuzzing $name for ${FUZZ_SECONDS:-20} s"
  if "$exe" -max_total_time="${FUZZ_SECONDS:-20}" -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$dir/" "$dir/corpus" "$room/fuzz/corpus/$name" >"$dir/fuzz.log" 2>&1; then
    grep '^stat::' "$dir/fuzz.log" || true
  else
    tail -60 "$dir/fuzz.log"
    echo "test-fuzz: $name failed; the input is saved under $dir/" >&2
    exit 1
  fi
done
