#!/bin/sh
# probix32 -m- with the layout named in the profile (PBXType=MIVB_STANDARD):
# from the first call on, the file and a collector on the ServePort get the
# same records, 90 characters each and CR LF after every one.
#
#   calllog_layout_tcp.sh <probix32> <smdr_collector> <work directory>
set -eu
e2e_name=calllog_layout_tcp
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
  for p in $pids; do kill "$p" 2>/dev/null || true; done
  [ -n "$probix_pid" ] && kill "$probix_pid" 2>/dev/null || true
}
trap cleanup EXIT
write_profile PBXType=MIVB_STANDARD SystemID=042 ServePort=0

mkfifo commands
"$program" -sprobix.ini -m- < commands > out.txt 2>&1 &
probix_pid=$!
exec 4>commands
wait_for 'grep -q "Serving SMDR records on 127.0.0.1:" out.txt'
sport=$(sed -n 's/.*Serving SMDR records on 127.0.0.1:\([0-9]*\).*/\1/p' out.txt | head -1)
"$collector" connect "$sport" served.txt &
pids="$pids $!"
printf 'EXPERT\nTANGELO\n' >&4
wait_for 'grep -q "Expert commands permitted" out.txt'
call 201 202
call 203 204
wait_for '[ "$(lines CALLS.LOG)" -eq 2 ] && [ "$(lines served.txt)" -eq 2 ]'
printf 'EXIT\n' >&4
exec 4>&-
wait "$probix_pid" || fail "probix32 failed"
probix_pid=

cmp -s served.txt CALLS.LOG || fail "the served records differ from the file"
# Every record 90 characters and CR LF, nothing between them.
od -An -c CALLS.LOG | tr -d ' \n' | grep -q '\\r\\n' || fail "no CR LF in the file"
awk 'BEGIN { RS = "\n" } { if (length($0) != 91 || substr($0, 91, 1) != "\r") bad = 1; n++ }
     END { exit bad || n != 2 }' CALLS.LOG || fail "a record is not 90 characters and CR LF"
awk '{ if (substr($0, 86, 3) != "042") bad = 1 } END { exit bad }' CALLS.LOG ||
  fail "the system identifier from the profile is not in the records"
grep -q "^PBXType=MIVB_STANDARD" probix.ini || fail "the layout was not kept in the profile"
echo "calllog_layout_tcp: the layout from the profile, in the file and over TCP alike"
