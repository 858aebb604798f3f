#!/usr/bin/env bash
# probix32.exe at a console under Wine: tmux plays the terminal, Wine turns
# its keys into console input, and the screen is read back. Covers the
# Win32 console layer end to end: key waiting, extended keys (0xE0 + scan
# code), cursor position, moving and clearing to the end of the row.
# Wine's terminal bridge passes the arrows and ESC [ H / ESC [ F (Home/End)
# but drops F1-F3, so those are left out.
# Usage: windows_console_test.sh <wine> <probix32.exe> <profile>. 77 = skipped.
set -u
wine="$1" prog="$2" profile="$3"
if ! command -v tmux >/dev/null 2>&1; then echo "skipped: tmux missing"; exit 77; fi

work=$(mktemp -d)
sock="$work/tmux.sock"
t() { tmux -S "$sock" -f /dev/null "$@"; }
cleanup() { t kill-server >/dev/null 2>&1; rm -rf "$work"; }
trap cleanup EXIT
unset TMUX
cp "$profile" "$work/probix.ini"

screen() { t capture-pane -p -t probix | sed 's/ *$//'; }
fail() {
  echo "FAIL: $1"
  echo "---- screen ----"
  screen
  exit 1
}
# Wine redraws slowly: poll for up to 30 seconds.
wait_for() {  # description, test command...
  local what="$1"; shift
  for _ in $(seq 1 300); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  fail "$what"
}
rows() { screen | sed '/^$/d'; }
last_row_is() { [ "$(rows | tail -n 1)" = "$1" ]; }
last_rows_are() { [ "$(rows | tail -n 2 | paste -sd'|' -)" = "$1|$2" ]; }
screen_has() { screen | grep -qF -- "$1"; }
keys() { t send-keys -t probix "$@"; }
text() { t send-keys -t probix -l "$1"; }
home() { text $'\e[H'; }
end() { text $'\e[F'; }

t new-session -d -s probix -x 80 -y 24 \
  "cd '$work' && WINEDEBUG=-all DISPLAY= '$wine' '$prog' -sprobix.ini 2>/dev/null;
   echo PROBIX_EXITED_\$?; sleep 60"

wait_for "first prompt" last_row_is "PROBIX:"

# Mended in place: Home, Right, Backspace, End, Left; the row is cleared
# behind a line that got shorter.
text 'xhelo quit'
home; keys Right BSpace; end; keys Left Left Left Left Left BSpace
text p
wait_for "edited line" last_row_is "PROBIX: help quit"
keys Enter
wait_for "help of QUIT" screen_has "Abort the program without any cleanup steps"
wait_for "next prompt" last_row_is "PROBIX:"

# Up and Down browse the history.
keys Up
wait_for "recalled line" last_row_is "PROBIX: help quit"
keys Down
wait_for "browsed past the newest" last_row_is "PROBIX:"
keys Up C-a C-k
wait_for "killed line" last_row_is "PROBIX:"

# A line longer than the row continues on the next one, and editing at its
# start redraws both rows.
a72=$(printf 'a%.0s' $(seq 1 72))
text "${a72}bbbbbbbb"
wait_for "line wrapped" last_rows_are "PROBIX: $a72" "bbbbbbbb"
home; text Z
wait_for "insert before a wrapped line" last_rows_are "PROBIX: Z${a72:1}" "abbbbbbbb"
end; keys BSpace BSpace
wait_for "shortened wrapped line" last_rows_are "PROBIX: Z${a72:1}" "abbbbbb"
keys C-a C-k
wait_for "killed wrapped line" last_row_is "PROBIX:"

text quit
keys Enter
wait_for "program ended" screen_has "PROBIX_EXITED_0"
echo "console line editing under Wine: ok"
exit 0
