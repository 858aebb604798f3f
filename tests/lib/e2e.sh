# Shared by the end-to-end shell tests of the call logger. Set `e2e_name`
# before sourcing; the test runs in its work directory, where probix32
# writes out.txt.

# Says what went wrong, with what probix32 printed, and ends the test.
fail() {
  echo "$e2e_name: $*" >&2
  [ -f out.txt ] && { echo "---- probix32 printed:" >&2; cat out.txt >&2; }
  exit 1
}

# Waits (at most 20 s) until a condition holds: other processes, not events
# of our own, are being waited for.
wait_for() {
  e2e_i=0
  while ! eval "$1"; do
    e2e_i=$((e2e_i + 1))
    [ $e2e_i -gt 200 ] && fail "timed out waiting for: $1"
    sleep 0.1
  done
}

# Line ends in a file so far (0 before it exists).
lines() { if [ -f "$1" ]; then tr -cd '\n' < "$1" | wc -c; else echo 0; fi; }

# The profile of an unattended logger on the built-in switch, every
# extension monitored; the arguments are further lines of [SMDR].
write_profile() {
  printf '[PROBIX]\nareaCode=617\n[Server]\nServerID=TELVANIX\nUserID=Telvanix\n' > probix.ini
  printf '[SMDR]\nLogDevice=calls.log\nMonitorExt=TRUE\n' >> probix.ini
  for line in "$@"; do printf '%s\n' "$line" >> probix.ini; done
}

# One call made, answered and hung up through probix32's commands on fd 4.
call() {
  printf 'MAKE_CALL %s %s\nGET EVENTS\nANSWER %s\nGET EVENTS\nHANGUP CALL\nGET EVENTS\n' \
    "$1" "$2" "$2" >&4
}
