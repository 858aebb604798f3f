#!/usr/bin/env bash
# Cross-builds everything for 32-bit Windows (mingw-w64, i686) into
# build/windows, checks that probix32.exe is a console program needing only
# system DLLs, and runs every test under Wine in a private, headless prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)
build=build/windows

bash scripts/setup.sh windows

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" >/dev/null
cmake --build "$build" -j "$jobs"

# ---- the program must run on a bare Windows: PE32, i386, console, and
# importing nothing but system DLLs.
objdump=i686-w64-mingw32-objdump
exe="$build/shell/probix32.exe"
allowed='^(kernel32|msvcrt|ws2_32|user32|advapi32|shell32|ole32|oleaut32|winmm|ntdll|bcrypt|crypt32|mswsock|iphlpapi|api-ms-win-.*)\.dll$'

# check_pe FILE KIND [EXTRA-ALLOWED-REGEX]: KIND is "console" or "dll".
check_pe() {
  local file=$1 kind=$2 extra=${3:-'^$'} fail=0 dll
  local header
  header=$("$objdump" -f "$file")
  if ! grep -q 'file format pei-i386' <<<"$header" || ! grep -q 'architecture: i386' <<<"$header"; then
    echo "test-windows: $file is not a 32-bit x86 PE file" >&2
    fail=1
  fi
  local private
  private=$("$objdump" -p "$file")
  if ! grep -Eq '^Magic[[:space:]]+010b' <<<"$private"; then
    echo "test-windows: $file is not PE32" >&2
    fail=1
  fi
  if [ "$kind" = console ] && ! grep -Eq '^Subsystem[[:space:]]+0+3[[:space:]]' <<<"$private"; then
    echo "test-windows: $file is not a console program" >&2
    fail=1
  fi
  while read -r dll; do
    if ! grep -Eiq "$allowed" <<<"$dll" && ! grep -Eiq "$extra" <<<"$dll"; then
      echo "test-windows: $file imports $dll, which is not a system DLL" >&2
      fail=1
    fi
  done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$private")
  return $fail
}

check_pe "$exe" console
echo "test-windows: $exe is a PE32 console program using only system DLLs"
# Our own DLLs may import each other (the companions load the voice bridge).
ours=$(find "$build" -path "$build/wine" -prune -o -name '*.dll' -printf '%f\n' |
  sed 's/\./\\./g' | paste -sd'|' -)
while IFS= read -r -d '' dll; do
  check_pe "$dll" dll "^(${ours:-\$})\$"
done < <(find "$build" -path "$build/wine" -prune -o -name '*.dll' -print0)

# ---- tests under Wine. A private prefix keeps runs independent of the
# user's ~/.wine; no display, so nothing may try to open a window.
export WINEPREFIX="$root/$build/wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
export DISPLAY=
unset WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test-windows: initialising $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  # A crashing test must fail, not wait for someone to close a dialog.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
fi

# One wineserver for the whole run. Left to itself it quits 3 s after its
# last client, and a test starting at that instant fails with "recvmsg:
# Connection reset by peer"; two first starts at once race the same way.
wineserver -w
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wine cmd /c exit >/dev/null 2>&1 || true

ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 300
