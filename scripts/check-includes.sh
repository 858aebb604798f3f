#!/usr/bin/env bash
# Fails when a source file includes a header of a room it may not reach:
# the rooms and what each may include are the table below, the same as
# docs/ARCHITECTURE.md, where each room's target is named after it (the
# three rooms in csta32/ aside). Tests (`*_test.cpp`, helpers named test_*
# or *_test_*), benchmarks and fuzz targets sit above the room they
# exercise and are not checked.
set -euo pipefail
cd "$(dirname "$0")/.."

# room: rooms it may include besides itself
allowed() {
  case "$1" in
    platform)   echo "" ;;
    tsapi)      echo "" ;;
    wire)       echo "tsapi" ;;
    client)     echo "tsapi wire platform" ;;
    private)    echo "tsapi" ;;
    simulator)  echo "platform tsapi wire private" ;;
    embedded)   echo "client simulator platform tsapi wire" ;;
    console)    echo "platform" ;;
    display)    echo "console platform tsapi private" ;;
    calllog)    echo "console platform tsapi" ;;
    telephony)  echo "calllog display console platform tsapi private" ;;
    shell)      echo "telephony calllog display console platform tsapi private" ;;
    voxbridge)  echo "platform tsapi private" ;;
    companions) echo "platform voxbridge" ;;
    *)          echo "?" ;;
  esac
}

# The room a path (a file, or an include taken from the source root) is in.
room_of() {
  case "$1" in
    platform/*) echo platform ;;
    csta32/include/*) echo tsapi ;;
    csta32/wire/*) echo wire ;;
    embedded/*) echo embedded ;;
    csta32/*) echo client ;;
    private/*) echo private ;;
    simulator/*) echo simulator ;;
    console/*) echo console ;;
    shell/*) echo shell ;;
    display/*) echo display ;;
    calllog/*) echo calllog ;;
    telephony/*) echo telephony ;;
    voxbridge/*) echo voxbridge ;;
    companions/*) echo companions ;;
    *) echo "" ;;
  esac
}

bad=0
checked=0
while IFS= read -r file; do
  case "$file" in
    *_test.cpp|*_test.c|*/test_*|*_test_*|tests/*|*/fuzz/*|bench/*) continue ;;
  esac
  from=$(room_of "$file")
  [ -n "$from" ] || continue
  checked=$((checked + 1))
  ok=" $from $(allowed "$from") "
  while IFS= read -r inc; do
    to=$(room_of "$inc")
    [ -n "$to" ] || continue
    case "$ok" in
      *" $to "*) ;;
      *) echo "check-includes: $file ($from) includes $inc ($to)"; bad=1 ;;
    esac
  done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
done < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find . -name '*.cpp' -o -name '*.h' | sed 's|^\./||')

if [ $bad != 0 ]; then
  echo "check-includes: a room reaches a room it may not (see docs/ARCHITECTURE.md)"
  exit 1
fi
echo "check-includes: $checked files, every include within its room's reach"
