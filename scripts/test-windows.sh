#!/usr/bin/env bash
# The Windows deliverables: cross-builds everything for 32-bit Windows
# (mingw-w64, i686) into build/windows, checks the built files statically
# (PE32, console program, only system DLLs imported, every DLL's export
# ordinals against its .def file), and runs every test under Wine.
#
# Where the host runs 32-bit x86 programs, the tests run on the i686 build
# under 32-bit Wine. Where it does not (kernels without 32-bit support), the
# same tree is built again for x86_64 into build/windows64 and every test
# runs under 64-bit Wine. PROBIX_WINDOWS_TESTS=64 forces the second way on
# any host, =32 insists on the first.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=$(nproc 2>/dev/null || echo 2)

bash scripts/setup.sh windows

# ---- which Wine can run here
want=${PROBIX_WINDOWS_TESTS:-auto}
# shellcheck source=scripts/lib/runs32.sh
. scripts/lib/runs32.sh
runs32=0
if host_runs_32bit; then runs32=1; fi
case "$want" in
  auto) if [ $runs32 = 1 ]; then arch=32; else arch=64; fi ;;
  32)
    if [ $runs32 = 0 ]; then
      echo "test-windows: PROBIX_WINDOWS_TESTS=32 but this host runs no 32-bit x86 programs" >&2
      exit 1
    fi
    arch=32 ;;
  64) arch=64 ;;
  *) echo "test-windows: PROBIX_WINDOWS_TESTS must be 32 or 64, not '$want'" >&2; exit 2 ;;
esac
if [ $runs32 = 1 ]; then host="this host runs 32-bit x86 programs"; else host="this host runs no 32-bit x86 programs"; fi
if [ $arch = 32 ]; then
  echo "test-windows: $host: tests run on the i686 build under 32-bit Wine"
else
  echo "test-windows: $host${PROBIX_WINDOWS_TESTS:+ (PROBIX_WINDOWS_TESTS=64)}: the i686 build is checked statically and the tests run on an x86_64 build under 64-bit Wine"
fi

# ---- the deliverables, always built for i686
build=build/windows
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" -DPROBIX_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs"

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

# Every .def file names a DLL that must have been built, with exactly the
# exports of the file at their ordinals.
while IFS= read -r -d '' def; do
  lib=$(awk 'toupper($1) == "LIBRARY" { print $2; exit }' "$def" | tr -d '"\r')
  [ -n "$lib" ] || { echo "test-windows: $def names no LIBRARY" >&2; exit 1; }
  case "$lib" in *.[dD][lL][lL]) ;; *) lib="$lib.dll" ;; esac
  dll=$(find "$build" -path "$build/wine" -prune -o -iname "$lib" -print | head -n 1)
  if [ -z "$dll" ]; then
    echo "test-windows: $def describes $lib, which the build did not make" >&2
    exit 1
  fi
  bash scripts/lib/check-exports.sh "$objdump" "$dll" "$def"
done < <(find . -path ./build -prune -o -name '*.def' -print0)

# ---- tests under Wine. A private prefix keeps runs independent of the
# user's ~/.wine; no display, so nothing may try to open a window.
if [ $arch = 64 ]; then
  build=build/windows64
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DPROBIX_WERROR=ON >/dev/null
  cmake --build "$build" -j "$jobs"
  # With the 32-bit Wine installed too, the wine launcher would pick the
  # 32-bit loader: name the 64-bit loader and server.
  loader=$(sed -n 's/^WINE_PROGRAM:FILEPATH=//p' "$build/CMakeCache.txt")
  export WINELOADER="$loader"
  export WINESERVER="$(dirname "$loader")/wineserver64"
  export WINEARCH=win64
  wine="$WINELOADER"
  wineserver="$WINESERVER"
else
  wine=wine
  wineserver=wineserver
fi
for tool in "$wine" "$wineserver"; do
  command -v "$tool" >/dev/null 2>&1 || { echo "test-windows: $tool not found" >&2; exit 1; }
done

export WINEPREFIX="$root/$build/wine"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
export DISPLAY=
unset WAYLAND_DISPLAY
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "test-windows: initialising $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot -i >/dev/null 2>&1 || true
  # A crashing test must fail, not wait for someone to close a dialog.
  "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
fi

# One wineserver for the whole run. Left to itself it quits 3 s after its
# last client, and a test starting at that instant fails with "recvmsg:
# Connection reset by peer"; two first starts at once race the same way.
"$wineserver" -w
"$wineserver" -p
trap '"$wineserver" -k >/dev/null 2>&1 || true' EXIT
"$wine" cmd /c exit >/dev/null 2>&1 || true

ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 300
if [ $arch = 32 ]; then
  echo "test-windows: done: i686 build checked and every test run under 32-bit Wine"
else
  echo "test-windows: done: i686 build checked statically; every test run on the x86_64 build under 64-bit Wine"
fi
