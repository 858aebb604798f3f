#!/usr/bin/env bash
# Types at probix32 in a real terminal (tmux, 80x24) and reads the screen
# back: line editing in place, running the edited line, recalling it.
# Usage: terminal_test.sh <probix32> [cross]. Exit 77 means skipped.
set -u
prog="$1"
if [ "${2:-}" = cross ]; then echo "skipped: cross build"; exit 77; fi
if ! command -v tmux >/dev/null 2>&1; then echo "skipped: tmux missing"; exit 77; fi

work=$(mktemp -d)
sock="$work/tmux.sock"
t() { tmux -S "$sock" -f /dev/null "$@"; }
cleanup() { t kill-server >/dev/null 2>&1; rm -rf "$work"; }
trap cleanup EXIT
unset TMUX

screen() { t capture-pane -p -t probix; }
# The last row that holds anything.
last_row() { screen | sed '/^ *$/d' | tail -n 1; }
fail() {
  echo "FAIL: $1"
  echo "---- screen ----"
  screen
  exit 1
}
# Polls the screen: a bounded number of short tries.
wait_for() {  # description, test command...
  local what="$1"; shift
  for _ in $(seq 1 100); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  fail "$what"
}
prompt_count() { screen | grep -cE '^PROBIX( \[.*\])?:( |$)'; }
at_prompt() { last_row | grep -qE '^PROBIX( \[.*\])?: ?$'; }
last_row_is() { [ "$(last_row | sed 's/ *$//')" = "$1" ]; }
screen_has() { screen | grep -qF -- "$1"; }

# A private directory and HOME, so no profile of the machine is read.
t new-session -d -s probix -x 80 -y 24 \
  "cd '$work' && HOME='$work' '$prog'; echo PROBIX_EXITED_\$?;
   echo TTY_MODE \$(stty -a | tr ' ;' '\\n\\n' | grep -xE -- '-?(icanon|echo)' | sort); sleep 60"

wait_for "first prompt" at_prompt

# Typos mended in place with the cursor keys, Backspace and Ctrl keys.
t send-keys -t probix -l 'xhelo quit'
t send-keys -t probix Home Right BSpace End Left Left Left Left Left BSpace
t send-keys -t probix -l p
wait_for "edited line shown at the prompt" last_row_is "PROBIX: help quit"
t send-keys -t probix C-a
t send-keys -t probix -l z
wait_for "insert at the start" last_row_is "PROBIX: zhelp quit"
t send-keys -t probix C-b C-d
wait_for "Ctrl-D deletes under the cursor" last_row_is "PROBIX: help quit"
before=$(prompt_count)
t send-keys -t probix Enter
wait_for "help text of QUIT" screen_has "Abort the program without any cleanup steps"
wait_for "prompt after the command" at_prompt
[ "$(prompt_count)" -gt "$before" ] || fail "no new prompt"

# Up (or F3) brings the line back, Down goes on past the newest line.
t send-keys -t probix F3
wait_for "recalled line" last_row_is "PROBIX: help quit"
t send-keys -t probix Down
wait_for "browsed past the newest" at_prompt
t send-keys -t probix Up
wait_for "recalled line again" last_row_is "PROBIX: help quit"
t send-keys -t probix C-a C-k
wait_for "killed line" at_prompt
t send-keys -t probix -l quit
t send-keys -t probix Enter
wait_for "program ended" screen_has "PROBIX_EXITED_0"

# The terminal was handed back in its normal mode.
wait_for "terminal mode restored" screen_has "TTY_MODE echo icanon"
echo "terminal line editing: ok"
exit 0
