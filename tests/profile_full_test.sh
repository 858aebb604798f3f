#!/usr/bin/env bash
# probix32 -m- saving its settings into a profile that cannot grow (a file
# size limit stands in for a full disk): the profile keeps every byte, and
# the failure is told, both where a new copy is written beside it and where
# the folder cannot take one (the file is rewritten in place).
#
#   profile_full_test.sh <probix32> <work directory>
# Exit 77 means skipped.
set -u
prog=$1
work=$2
rm -rf "$work"
mkdir -p "$work/open" "$work/locked"

profile() {
  {
    printf '[PROBIX]\nareaCode=617\n[Server]\nServerID=TELVANIX\nUserID=Telvanix\n'
    printf '[SMDR]\nLogDevice=NUL\n'
    # Notes that bring the file to 8 bytes short of the limit, so none of
    # the keys written at start (BaudRate, Parity, ... are new) fits.
    for i in $(seq 1 28); do printf '; note %02d %s\n' "$i" "$(printf '%058d' 0)"; done
  } > "$1"
  local have
  have=$(wc -c < "$1")
  printf ';%*s\n' $((2040 - have - 2)) '' >> "$1"
}

fail() {
  echo "profile_full_test: $*" >&2
  exit 1
}

run_in() {  # folder
  (
    cd "$1" || exit 1
    trap '' XFSZ  # a write past the limit fails instead of ending the program
    ulimit -f 2   # 2048 bytes
    echo EXIT | HOME="$1" PROBIX_WAIT_CLOCK=stepped "$prog" -sprobix.ini -m- > out.txt 2>&1
  )
}

check() {  # folder, the words of the message
  local dir=$1 why=$2
  cmp -s "$dir/probix.ini" "$work/original.ini" ||
    { diff "$work/original.ini" "$dir/probix.ini" >&2; fail "$dir/probix.ini changed"; }
  grep -q "? Profile probix.ini is not rewritten: $why" "$dir/out.txt" ||
    { cat "$dir/out.txt" >&2; fail "no message in $dir"; }
}

profile "$work/original.ini"
size=$(wc -c < "$work/original.ini")
[ "$size" -eq 2040 ] || fail "the profile is $size bytes"

cp "$work/original.ini" "$work/open/probix.ini"
run_in "$work/open"
check "$work/open" "its new copy could not be written"

# A folder nobody can add a file to: only the superuser's immutable folder
# keeps the superuser out.
cp "$work/original.ini" "$work/locked/probix.ini"
chmod 555 "$work/locked"
if touch "$work/locked/probe" 2>/dev/null; then
  rm -f "$work/locked/probe"
  if ! chattr +i "$work/locked" 2>/dev/null || touch "$work/locked/probe" 2>/dev/null; then
    chmod 755 "$work/locked"
    echo "skipped: no folder this user cannot write to"
    exit 77
  fi
  immutable=yes
fi
# The program's own output has to go somewhere: into the folder above.
(
  cd "$work/locked" || exit 1
  trap '' XFSZ
  ulimit -f 2
  echo EXIT | HOME="$work/locked" PROBIX_WAIT_CLOCK=stepped "$prog" -sprobix.ini -m- > "$work/locked.out" 2>&1
)
[ "${immutable:-}" = yes ] && chattr -i "$work/locked"
chmod 755 "$work/locked"
mv "$work/locked.out" "$work/locked/out.txt"
check "$work/locked" "it could not be written whole"
echo "profile on a full disk: ok"
