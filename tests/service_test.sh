#!/usr/bin/env bash
# probix32 -m- as a service would run it: standard input a silent pipe,
# /dev/null, or a terminal (tmux) where a key has been typed but not Enter.
# In each the calls made at the switch (through its control port) are
# logged as they end; a hang-up after the log was moved sends later records
# to a new file; SIGTERM ends the program as EXIT does, every record whole.
#
#   service_test.sh <probix32> <work directory> pipe|null|tty
# Exit 77 means skipped.
set -u
prog=$1
work=$2
mode=$3

if [ "$mode" = tty ] && ! command -v tmux >/dev/null 2>&1; then
  echo "skipped: tmux missing"; exit 77
fi

rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1

pid=""
sock="$work/tmux.sock"
t() { tmux -S "$sock" -f /dev/null "$@"; }
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  [ "$mode" = tty ] && t kill-server >/dev/null 2>&1
  exec 5>&- 6>&- 2>/dev/null
}
trap cleanup EXIT

fail() {
  echo "service_test ($mode): $*" >&2
  echo "---- probix32 printed:" >&2
  cat out.txt >&2 2>/dev/null
  [ "$mode" = tty ] && t capture-pane -p -t probix >&2 2>/dev/null
  for f in CALLS.LOG CALLS.LOG.1; do
    [ -f $f ] && { echo "---- $f:" >&2; cat $f >&2; }
  done
  exit 1
}

# Other processes are being waited for: short sleeps, a bounded number.
wait_for() {  # description, shell condition
  for _ in $(seq 1 150); do
    eval "$2" && return 0
    sleep 0.1
  done
  fail "timed out waiting for $1"
}

cat > probix.ini <<'EOF'
[PROBIX]
areaCode=617
[Server]
ServerID=TELVANIX
UserID=Telvanix
[SMDR]
LogDevice=CALLS.LOG
MonitorExt=TRUE
EOF

# One control command to the program's own switch; prints its answer.
ctl() {
  printf '%s\n' "$1" >&5
  local line
  while IFS= read -r -t 5 line <&5; do
    case "$line" in
      OK) return 0 ;;
      ERROR) fail "switch refused: $1" ;;
    esac
    printf '%s\n' "$line"
  done
  fail "no answer from the switch to: $1"
}

records() { if [ -f "$1" ]; then grep -c . "$1"; else echo 0; fi; }

start_program() {
  local port=$1
  local env="HOME='$work' TELSIM_CONTROL=$port"
  case "$mode" in
    pipe)
      # Held open here and never written: the read would block for ever.
      mkfifo input
      exec 6<>input
      env HOME="$work" TELSIM_CONTROL=$port "$prog" -sprobix.ini -m- <input >out.txt 2>err.txt &
      pid=$!
      ;;
    null)
      env HOME="$work" TELSIM_CONTROL=$port "$prog" -sprobix.ini -m- </dev/null >out.txt 2>err.txt &
      pid=$!
      ;;
    tty)
      unset TMUX
      t new-session -d -s probix -x 80 -y 24 \
        "cd '$work' && sh -c 'echo \$\$ > pid; exec env $env \"$prog\" -sprobix.ini -m-' 2>err.txt;
         echo PROBIX_EXITED_\$?; sleep 60"
      wait_for "the program's process" '[ -s pid ]'
      pid=$(cat pid)
      ;;
  esac
}

# What the program has printed so far.
printed() {
  if [ "$mode" = tty ]; then t capture-pane -p -S - -t probix; else cat out.txt; fi
}

started=$(date +%s%N)
connected=""
for try in 1 2 3 4 5; do
  port=$((30000 + (RANDOM % 30000)))
  start_program "$port"
  # The switch and its control port are up once the stream is open; a port
  # someone else holds is said on stderr, and another one is tried.
  wait_for "the stream" 'printed | grep -q "acsHandle"'
  if ! grep -q "no control port" err.txt 2>/dev/null &&
     (: <>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    exec 5<>"/dev/tcp/127.0.0.1/$port"
    connected=yes
    break
  fi
  kill -KILL "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; pid=""
  [ "$mode" = tty ] && t kill-server >/dev/null 2>&1
  rm -f input pid
  started=$(date +%s%N)
done
[ -n "$connected" ] || fail "the switch's control port never opened"

# Every line and extension is monitored (8 and 16 on the built-in switch)
# long before a refused monitor's old 3-second wait could have ended.
wait_for "monitoring" 'ctl sessions | grep -q "(24 on devices)"'
elapsed=$(( ($(date +%s%N) - started) / 1000000 ))
[ "$elapsed" -lt 2500 ] || fail "start-up to monitoring took $elapsed ms"

if [ "$mode" = tty ]; then
  # A key typed and not yet entered: the events must go on.
  t send-keys -t probix -l x
fi

ctl "dial 201 202" >/dev/null
ctl "answer 202" >/dev/null
ctl "hangup 201" >/dev/null
wait_for "the first record" '[ "$(records CALLS.LOG)" -ge 1 ]'

# logrotate moves the file and sends a hang-up.
mv CALLS.LOG CALLS.LOG.1
kill -HUP "$pid"
if [ "$mode" != tty ]; then
  wait_for "the reopen" 'grep -q "Reopening CALLS.LOG for SMDR call logging" out.txt'
fi
ctl "dial 203 204" >/dev/null
ctl "answer 204" >/dev/null
ctl "hangup 203" >/dev/null
wait_for "the record after the reopen" '[ "$(records CALLS.LOG)" -ge 1 ]'

# One more call ends, one is still up, then the program is stopped.
ctl "dial 205 206" >/dev/null
ctl "answer 206" >/dev/null
ctl "hangup 205" >/dev/null
ctl "dial 207 208" >/dev/null
wait_for "the third record" '[ "$(records CALLS.LOG)" -ge 2 ]'
kill -TERM "$pid"
if [ "$mode" = tty ]; then
  wait_for "the program's end" 't capture-pane -p -S - -t probix | grep -q PROBIX_EXITED_'
  t capture-pane -p -S - -t probix > out.txt
  grep -q PROBIX_EXITED_0 out.txt || fail "exit status not 0 after SIGTERM"
else
  for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "still running after SIGTERM"
  wait "$pid"
  status=$?
  pid=""
  [ "$status" -eq 0 ] || fail "exit status $status after SIGTERM"
fi
pid=""

grep -q "Termination requested: stopping" out.txt || fail "the stop was not reported"
if [ "$mode" = null ]; then
  grep -q "End of input: call logging goes on until the program is stopped" out.txt ||
    fail "the end of input was not reported"
fi
grep -q "Could not get line" out.txt && fail "the end of input was taken for a failure"

# Moved file: the first call only; new file: the two after the hang-up. Each
# record whole: the calls' parties, one line each, all of one length.
[ "$(records CALLS.LOG.1)" -eq 1 ] || fail "CALLS.LOG.1 should hold one record"
[ "$(records CALLS.LOG)" -eq 2 ] || fail "CALLS.LOG should hold two records"
grep -q " 201 .* 202 " CALLS.LOG.1 || fail "201 to 202 not in the moved log"
grep -q " 203 .* 204 " CALLS.LOG || fail "203 to 204 not in the new log"
grep -q " 205 .* 206 " CALLS.LOG || fail "205 to 206 not in the new log"
grep -q " 207 " CALLS.LOG CALLS.LOG.1 && fail "the call still up was written"
lengths=$(cat CALLS.LOG.1 CALLS.LOG | awk '{ print length($0) }' | sort -u | wc -l)
[ "$lengths" -eq 1 ] || fail "records of different lengths"
[ -z "$(tail -c 1 CALLS.LOG)" ] || fail "the last record has no line end"
echo "service ($mode): ok"
