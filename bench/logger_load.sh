#!/usr/bin/env bash
# Load benchmark of the unattended call logger (Linux; not part of the test
# run): telsim serves a switch over TCP, `probix32 -m-` logs it to a file,
# and bench/logger_load.cpp places RATE calls a second for SECONDS through
# the control port, each from a caller number of its own, and matches every
# record to its call. Prints offered, written, lost, doubled, swapped,
# latency p50/p99 and both processes' CPU and memory.
#
#   bash bench/logger_load.sh [RATE] [SECONDS] [options]   (default 1500 60)
#     --drop AT       cut the logger's stream (drop all) AT seconds in
#     --restart AT    restart the server (reset: no calls, IDs from 1) AT seconds in
#     --hold MS       each call talks MS milliseconds (default 100; 0: hung up at once)
#     --lines N       lines and extensions used in turn (default 256, all monitored)
#     --build DIR     build directory (default build/release)
#     --pipe          give probix32 a silent pipe as stdin instead of a pseudo-terminal
#   LOGGER_LOAD_KEEP=1 in the environment keeps the work folder (logs, console).
set -euo pipefail
cd "$(dirname "$0")/.."
rate=1500
seconds=60
if [ $# -gt 0 ] && [[ $1 != --* ]]; then rate=$1; shift; fi
if [ $# -gt 0 ] && [[ $1 != --* ]]; then seconds=$1; shift; fi
hold=100
lines=256
build=build/release
event=()
use_pty=1
while [ $# -gt 0 ]; do
  case $1 in
    --drop) event=(--drop-at "$2"); shift 2 ;;
    --restart) event=(--restart-at "$2"); shift 2 ;;
    --hold) hold=$2; shift 2 ;;
    --lines) lines=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --pipe) use_pty=0; shift ;;
    *) echo "logger_load: unknown option $1" >&2; exit 2 ;;
  esac
done

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target telsim_server probix32 logger_load >/dev/null

work=$(mktemp -d)
telsim_pid=
probix_pid=
holder_pid=
cleanup() {
  [ -n "$holder_pid" ] && kill "$holder_pid" 2>/dev/null || true
  [ -n "$probix_pid" ] && kill "$probix_pid" 2>/dev/null || true
  [ -n "$telsim_pid" ] && kill "$telsim_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  if [ -n "${LOGGER_LOAD_KEEP:-}" ]; then echo "  kept $work"; else rm -rf "$work"; fi
}
trap cleanup EXIT

last_ext=$((10000 + lines - 1))
printf 'extensions 10000-%d X1#1\nlines L1#1-%d\n' "$last_ext" "$lines" >"$work/load.cfg"
"$build/simulator/telsim" -q -p 0 -k 0 -c "$work/load.cfg" >"$work/telsim.out" 2>&1 &
telsim_pid=$!
for _ in $(seq 100); do
  grep -qs 'control on' "$work/telsim.out" && break
  sleep 0.1
done
port=$(sed -n 's/.*streams on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/telsim.out")
control=$(sed -n 's/.*control on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/telsim.out")
[ -n "$port" ] && [ -n "$control" ] || { echo "logger_load: telsim did not start"; cat "$work/telsim.out"; exit 1; }

cat >"$work/probix.ini" <<EOF
[PROBIX]
AutoEventReport=1
[Server]
ServerID=TELSIM
UserID=Telvanix
[SMDR]
LogDevice=CALLS.LOG
MonitorExt=FALSE
EOF

# probix32's stdin: a fifo held open by a process that writes nothing, so
# the logger never sees end of input.
mkfifo "$work/stdin"
sleep 1000000 >"$work/stdin" &
holder_pid=$!
cd "$work"
export CSTA32_SERVERS="TELSIM=127.0.0.1:$port"
probix="$OLDPWD/$build/shell/probix32"
if [ $use_pty = 1 ]; then
  # Under a pseudo-terminal: the console reads keys without holding up events.
  script -qfec "exec '$probix' -sprobix.ini -m-" console.out <stdin >/dev/null 2>&1 &
  script_pid=$!
  for _ in $(seq 50); do
    probix_pid=$(ps -o pid= --ppid "$script_pid" | tr -d ' ' | head -n 1)
    [ -n "$probix_pid" ] && break
    sleep 0.1
  done
  probix_pid=${probix_pid:-$script_pid}
else
  "$probix" -sprobix.ini -m- <stdin >console.out 2>&1 &
  probix_pid=$!
fi
cd "$OLDPWD"

# The log opens at start-up; the line monitors follow within moments.
for _ in $(seq 300); do
  [ -f "$work/CALLS.LOG" ] && break
  sleep 0.1
done
[ -f "$work/CALLS.LOG" ] || { echo "logger_load: probix32 opened no log"; cat "$work/console.out"; exit 1; }
sleep 3

cpu() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }
peak() { awk '/VmHWM/ { print $2 }' "/proc/$1/status"; }
t0=$(cpu "$telsim_pid")
p0=$(cpu "$probix_pid")
start=$(date +%s.%N)

status=0
"$build/bench/logger_load" --control "$control" --log "$work/CALLS.LOG" \
  --console "$work/console.out" --rate "$rate" --seconds "$seconds" --lines "$lines" \
  --hold "$hold" "${event[@]}" || status=$?

elapsed=$(echo "$(date +%s.%N) - $start" | bc)
ticks=$(getconf CLK_TCK)
t1=$(cpu "$telsim_pid")
p1=$(cpu "$probix_pid")
share() { echo "scale=1; 100 * ($2 - $1) / $ticks / $elapsed" | bc; }
echo "  telsim:  CPU $(share "$t0" "$t1")% of a core, peak memory $(( $(peak "$telsim_pid") / 1024 )) MB"
echo "  probix32: CPU $(share "$p0" "$p1")% of a core, peak memory $(( $(peak "$probix_pid") / 1024 )) MB"
if grep -q "?Logging a call that ended during a link outage" "$work/console.out"; then
  echo "  calls closed as ended during the outage: $(grep -c "ended during a link outage" "$work/console.out")"
fi
exec 3<>"/dev/tcp/127.0.0.1/$control"
printf 'quit\n' >&3
exec 3<&- 3>&-
exit $status
