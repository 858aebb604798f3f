#!/usr/bin/env bash
# Soak test of the TCP path (Linux; not part of the test run): 100 streams
# place calls through a telsim process for a few minutes while the server is
# stopped and continued, streams are cut at random and the control port is
# hammered. At the end every stream works or has been told it failed, telsim
# still accepts streams, and both processes' memory is back near where it
# started.
#
#   bash bench/soak.sh [SECONDS] [BUILD_DIR]      (default 180, build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-180}
build=${2:-build/release}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target telsim_server telsim_soak >/dev/null

work=$(mktemp -d)
telsim_pid=
soak_pid=
cleanup() {
  [ -n "$soak_pid" ] && kill "$soak_pid" 2>/dev/null || true
  [ -n "$telsim_pid" ] && kill -CONT "$telsim_pid" 2>/dev/null || true
  [ -n "$telsim_pid" ] && kill "$telsim_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

printf 'extensions 1000-1299 X1#1\nlines L1#1-8\n' >"$work/soak.cfg"
"$build/simulator/telsim" -q -p 0 -k 0 -c "$work/soak.cfg" >"$work/telsim.out" 2>&1 &
telsim_pid=$!
for _ in $(seq 100); do
  grep -q 'control on' "$work/telsim.out" && break
  sleep 0.1
done
port=$(sed -n 's/.*streams on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/telsim.out")
control=$(sed -n 's/.*control on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/telsim.out")
[ -n "$port" ] && [ -n "$control" ] || { echo "soak: telsim did not start"; cat "$work/telsim.out"; exit 1; }

# One control command; its answer on stdout.
ctl() {
  exec 3<>"/dev/tcp/127.0.0.1/$control"
  printf '%s\n' "$1" >&3
  timeout 10 sed '/^\(OK\|ERROR\)$/q' <&3 || true
  exec 3<&- 3>&-
}
rss() { ps -o rss= -p "$1" | tr -d ' '; }

mkfifo "$work/soak.in"
"$build/bench/telsim_soak" "$port" "$seconds" <"$work/soak.in" >"$work/soak.out" 2>&1 &
soak_pid=$!
exec 4>"$work/soak.in"  # the client waits on this at the end

sleep 5
base_telsim=$(rss "$telsim_pid")
base_soak=$(rss "$soak_pid")
echo "soak: telsim on $port (control $control), ${seconds}s; after warm-up telsim ${base_telsim} KB, client ${base_soak} KB"

# The control port hammered: many short connections, nonsense and an overlong line.
(
  while kill -0 "$soak_pid" 2>/dev/null; do
    for cmd in sessions calls devices help "bogus command" "dnd 1000 on" "dnd 1000 off"; do
      ctl "$cmd" >/dev/null 2>&1 || true
    done
    { head -c 70000 /dev/zero | tr '\0' x; } 2>/dev/null >"/dev/tcp/127.0.0.1/$control" || true
  done
) &
hammer_pid=$!

end=$((SECONDS + seconds - 10))
next_stop=$((SECONDS + 20))
while [ $SECONDS -lt $end ]; do
  sleep 1
  # Cut a stream at random.
  ids=$(ctl sessions | sed -n 's/^stream \([0-9]*\) .*/\1/p')
  if [ -n "$ids" ]; then
    victim=$(printf '%s\n' $ids | shuf -n 1)
    ctl "drop $victim" >/dev/null
  fi
  # Now and then the whole server stops for a while.
  if [ $SECONDS -ge $next_stop ]; then
    kill -STOP "$telsim_pid"
    sleep 3
    kill -CONT "$telsim_pid"
    next_stop=$((SECONDS + 20))
  fi
done

for _ in $(seq 120); do
  grep -q '^soak: idle' "$work/soak.out" && break
  sleep 1
done
kill "$hammer_pid" 2>/dev/null || true
wait "$hammer_pid" 2>/dev/null || true
sleep 2
end_telsim=$(rss "$telsim_pid")
end_soak=$(rss "$soak_pid")
exec 4>&-
status=0
wait "$soak_pid" || status=$?
soak_pid=
cat "$work/soak.out"
sessions=$(ctl sessions | head -n -1)
echo "soak: telsim streams left: ${sessions}"
echo "soak: memory telsim ${base_telsim} -> ${end_telsim} KB, client ${base_soak} -> ${end_soak} KB"
ctl quit >/dev/null
wait "$telsim_pid" || true
telsim_pid=

# "Near where it started": within 50% (and 20 MB) of the warm-up figure.
near() { [ "$2" -le $(( $1 * 3 / 2 + 20480 )) ]; }
if [ $status -ne 0 ] || ! near "$base_telsim" "$end_telsim" || ! near "$base_soak" "$end_soak" ||
   ! grep -q ', 0 neither' "$work/soak.out" 2>/dev/null; then
  echo "soak: FAILED"
  exit 1
fi
echo "soak: passed"
