#!/bin/sh
# probix32 logging calls unattended to a serial port that is one end of a
# pseudo-terminal pair made by socat (PROBIX_COM2 points COM2 at it). The
# profile asks for 2400 baud, even parity, 7 data bits: the port must take
# them (a pseudo-terminal shows the speed) and the records must arrive whole
# at the other end. Then the
# other end goes away: the next record is reported lost and counted; it comes
# back and the port is opened again.
#
#   calllog_pty.sh <probix32> <work directory>
set -eu
program=$1
work=$2
for tool in socat stty; do
  if ! command -v "$tool" >/dev/null 2>&1; then echo "skipped: $tool missing"; exit 77; fi
done
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
  echo "calllog_pty: $*" >&2
  [ -f out.txt ] && { echo "---- probix32 printed:" >&2; cat out.txt >&2; }
  exit 1
}

# Waits (at most 20 s) until a condition holds; external processes, not
# events of our own, are being waited for.
wait_for() {
  i=0
  while ! eval "$1"; do
    i=$((i + 1))
    [ $i -gt 200 ] && fail "timed out waiting for: $1"
    sleep 0.1
  done
}

# The far end appears as LINK, its bytes going to FILE; calls are made
# until probix32 says the port is back (n counts them) and a record arrived.
port_comes_back() {
  socat -u PTY,link="$1",raw,echo=0 CREATE:"$2" 2>>socat.err &
  socat_pid=$!
  wait_for "[ -e '$1' ]"
  exec 3<>"$1"
  n=0
  while ! grep -q "! COM2 is back" out.txt; do
    n=$((n + 1))
    [ $n -gt 40 ] && fail "the port was never opened again"
    printf 'MAKE_CALL 207 208\nGET EVENTS\nANSWER 208\nGET EVENTS\nHANGUP CALL\nGET EVENTS\n' >&4
    sleep 0.25
  done
  wait_for "[ \"\$(wc -l < $2)\" -ge 1 ]"
}

socat -u PTY,link="$work/ttyA",raw,echo=0 CREATE:"$work/received" 2>socat.err &
socat_pid=$!
cleanup() {
  kill "$socat_pid" 2>/dev/null || true
  [ -n "${probix_pid:-}" ] && kill "$probix_pid" 2>/dev/null || true
}
trap cleanup EXIT
wait_for '[ -e "$work/ttyA" ]'
# Held open here too, so that socat keeps its end while probix32 closes and
# reopens the port.
exec 3<>"$work/ttyA"

cat > probix.ini <<'EOF'
[PROBIX]
areaCode=617
[Server]
ServerID=TELVANIX
UserID=Telvanix
[SMDR]
LogDevice=COM2
BaudRate=2400
Parity=EVEN
DataBits=7
StopBits=1
MonitorExt=TRUE
EOF

mkfifo commands
PROBIX_COM2="$work/ttyA" "$program" -sprobix.ini -m- < commands > out.txt 2>&1 &
probix_pid=$!
exec 4>commands
cat >&4 <<'EOF'
EXPERT
TANGELO
MAKE_CALL 201 202
GET EVENTS
ANSWER 202
GET EVENTS
HANGUP CALL
GET EVENTS
MAKE_CALL 203 204
GET EVENTS
ANSWER 204
GET EVENTS
HANGUP CALL
GET EVENTS
EOF

wait_for '[ "$(wc -l < received)" -ge 2 ]'
settings=$(stty -F "$work/ttyA" -a)
echo "$settings" | grep -q "speed 2400 baud" || fail "speed not set: $settings"
# A pseudo-terminal keeps the speed but always reads 8 data bits without
# parity (the kernel resets them), so those two are not seen here.
echo "$settings" | grep -Eq -- '(^| )-opost' || fail "output is translated: $settings"

lines=$(wc -l < received)
[ "$lines" -eq 2 ] || fail "expected 2 records, got $lines"
# Each record is whole: 80 characters, the called party at column 58.
awk 'length($0) != 80 { bad = 1 } END { exit bad }' received || fail "a record is cut: $(cat received)"
grep -q "^C .* I 202 .* 201  *202  *0:00$" received || fail "no record of 201 to 202: $(cat received)"
grep -q "^C .* I 204 .* 203  *204  *0:00$" received || fail "no record of 203 to 204: $(cat received)"

# The far end goes away: the next record cannot be written.
kill "$socat_pid"
wait "$socat_pid" 2>/dev/null || true
exec 3<&-
cat >&4 <<'EOF'
MAKE_CALL 205 206
GET EVENTS
ANSWER 206
GET EVENTS
HANGUP CALL
GET EVENTS
EOF
wait_for 'grep -q "? Unable to write the record of call 3 to \"COM2\"" out.txt'

# The port comes back (plugged in again): after a wait that grows with each
# failed try it is opened again, said so, and records reach it. Calls are
# made until then; each one that ends before is counted as lost.
port_comes_back "$work/ttyA" "$work/received2"
awk 'length($0) != 80 { bad = 1 } END { exit bad }' received2 || fail "a record is cut: $(cat received2)"
cat >&4 <<'EOF'
REPORT STATUS
EXIT
EOF
exec 4>&-
wait "$probix_pid" || fail "probix32 failed"
probix_pid=
grep -q "Call records lost: $n" out.txt || fail "lost records not counted: $n calls while away"

# Started while the port is not there yet (an adapter plugged in later):
# logging goes on, and the port is opened once it comes.
exec 3<&-
kill "$socat_pid"
wait "$socat_pid" 2>/dev/null || true
PROBIX_COM2="$work/ttyB" "$program" -sprobix.ini -m- < commands > out.txt 2>&1 &
probix_pid=$!
exec 4>commands
printf 'EXPERT\nTANGELO\n' >&4
wait_for 'grep -q "Call logging goes on: \"COM2\" is tried again" out.txt'
port_comes_back "$work/ttyB" "$work/received3"
printf 'EXIT\n' >&4
exec 4>&-
wait "$probix_pid" || fail "probix32 failed"
probix_pid=
echo "calllog_pty: records read whole with the line settings applied; a lost record reported; the port opened again, also when missing at start-up"
