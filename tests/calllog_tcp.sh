#!/bin/sh
# probix32 logging calls unattended to a file and serving the same records
# over TCP: to collectors that connect to its ServePort (one before any
# record, one late, one stopped and never reading) and to a collector it
# pushes to, which goes away and comes back. Every collector that reads gets
# every record made while it was there, whole and in order, the late one the
# waiting records first; the stopped one changes nothing for the others or
# the file; the pushed stream loses nothing. Then bad values: logging goes on.
#
#   calllog_tcp.sh <probix32> <smdr_collector> <work directory>
set -eu
e2e_name=calllog_tcp
. "$(dirname "$0")/lib/e2e.sh"
program=$1
collector=$2
work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"

pids=""
probix_pid=""
cleanup() {
  for p in $pids; do
    kill -CONT "$p" 2>/dev/null || true
    kill "$p" 2>/dev/null || true
  done
  [ -n "$probix_pid" ] && kill "$probix_pid" 2>/dev/null || true
}
trap cleanup EXIT

# Asks for the status until it shows the pattern (the collectors connect on
# their own time).
status_until() {
  i=0
  while ! grep -q "$1" out.txt; do
    i=$((i + 1))
    [ $i -gt 100 ] && fail "status never showed: $1"
    printf 'REPORT STATUS\n' >&4
    sleep 0.2
  done
}
profile() { write_profile "ServePort=$1" "PushTo=$2" QueueRecords=50; }

# The collector pushed to listens first, so that its port can be named.
"$collector" listen 0 pushed.txt &
pushed_pid=$!
pids="$pids $pushed_pid"
wait_for '[ -s pushed.txt.port ]'
pport=$(cat pushed.txt.port)
profile 0 "127.0.0.1:$pport"

mkfifo commands
"$program" -sprobix.ini -m- < commands > out.txt 2>&1 &
probix_pid=$!
exec 4>commands
wait_for 'grep -q "Serving SMDR records on 127.0.0.1:" out.txt'
sport=$(sed -n 's/.*Serving SMDR records on 127.0.0.1:\([0-9]*\).*/\1/p' out.txt | head -1)
# The status can be had unattended, without EXPERT.
printf 'REPORT STATUS\n' >&4
wait_for 'grep -q "SMDR served on 127.0.0.1:$sport: 0 collectors" out.txt'
printf 'EXPERT\nTANGELO\n' >&4

# No collector on the serve port yet: the record waits there.
call 201 202
wait_for '[ "$(lines CALLS.LOG)" -eq 1 ] && [ "$(lines pushed.txt)" -eq 1 ]'
"$collector" connect "$sport" first.txt &
pids="$pids $!"
wait_for '[ "$(lines first.txt)" -eq 1 ]'
"$collector" connect "$sport" second.txt &
pids="$pids $!"
status_until ": 2 collectors,"
"$collector" stall "$sport" &
stalled_pid=$!
pids="$pids $stalled_pid"
status_until ": 3 collectors,"
kill -STOP "$stalled_pid"

call 203 204
call 205 206
wait_for '[ "$(lines CALLS.LOG)" -eq 3 ] && [ "$(lines first.txt)" -eq 3 ]'
wait_for '[ "$(lines second.txt)" -eq 2 ] && [ "$(lines pushed.txt)" -eq 3 ]'
cmp -s first.txt CALLS.LOG || fail "the first collector's records differ from the file"
cmp -s pushed.txt CALLS.LOG || fail "the pushed records differ from the file"
tail -n 2 CALLS.LOG | cmp -s - second.txt || fail "the late collector's records differ"
awk 'length($0) != 80 { bad = 1 } END { exit bad }' CALLS.LOG || fail "a record is cut"

# The collector pushed to goes away; records made meanwhile wait for it.
kill "$pushed_pid"
wait "$pushed_pid" 2>/dev/null || true
call 207 208
wait_for '[ "$(lines CALLS.LOG)" -eq 4 ]'
"$collector" listen "$pport" pushed2.txt &
pids="$pids $!"
wait_for '[ "$(lines pushed2.txt)" -eq 1 ]'
tail -n 1 CALLS.LOG | cmp -s - pushed2.txt || fail "the record pushed after the return differs"
wait_for '[ "$(lines first.txt)" -eq 4 ] && [ "$(lines second.txt)" -eq 3 ]'

# A port in use and a host that does not exist, set by command: said, and
# the file goes on.
"$collector" listen 0 busy.txt &
pids="$pids $!"
wait_for '[ -s busy.txt.port ]'
busy=$(cat busy.txt.port)
printf 'REPORT STATUS\nSET SMDR_SERVE_PORT %s\nSET SMDR_PUSH_TO no-such-host.invalid:1752\n' "$busy" >&4
call 209 210
printf 'EXIT\n' >&4
exec 4>&-
wait "$probix_pid" || fail "probix32 failed"
probix_pid=
grep -q "SMDR served on 127.0.0.1:$sport: 3 collectors, .* 0 lost, 0 waiting" out.txt ||
  fail "no status of the serve output"
grep -q "SMDR pushed to 127.0.0.1:$pport: connected, .* 0 lost, 0 queued" out.txt ||
  fail "no status of the push output"
grep -q "The SMDR collector at 127.0.0.1:$pport went away, reconnecting" out.txt ||
  fail "the push collector's leaving was not reported"
grep -q "? Unable to listen on 127.0.0.1:$busy for SMDR collectors" out.txt ||
  fail "the port in use was not reported"
grep -qi '? PushTo: unknown host "no-such-host.invalid"' out.txt || fail "the unknown host was not reported"
[ "$(lines CALLS.LOG)" -eq 5 ] || fail "logging to the file did not go on"
echo "calllog_tcp: every collector got its records whole and in order; bad values reported"
