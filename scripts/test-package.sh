#!/usr/bin/env bash
# The Debian package: built from the native build with CPack, unpacked into
# a scratch root, and used from there: probix32 starts and exits, telsim
# prints its usage, and a program built against the installed header and
# library finds the embedded server.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/native
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPROBIX_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs" >/dev/null
rm -f "$build"/probix_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/probix_*.deb)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"
usr="$scratch/root/usr"
for f in bin/probix32 bin/telsim include/csta32.h lib/libcsta32.so \
         lib/systemd/system/probix32-smdr.service share/probix/probix-smdr.ini; do
  [ -e "$usr/$f" ] || { echo "test-package: $deb lacks /usr/$f" >&2; exit 1; }
done
[ -f "$scratch/root/etc/logrotate.d/probix32-smdr" ] ||
  { echo "test-package: $deb lacks /etc/logrotate.d/probix32-smdr" >&2; exit 1; }
# The service's user and folders come from the package's own scripts.
dpkg-deb -e "$deb" "$scratch/control"
for f in postinst prerm conffiles; do
  [ -f "$scratch/control/$f" ] || { echo "test-package: $deb has no $f" >&2; exit 1; }
done
grep -qx /etc/logrotate.d/probix32-smdr "$scratch/control/conffiles" ||
  { echo "test-package: the logrotate stanza is no conffile" >&2; exit 1; }
grep -q 'ExecStart=/usr/bin/probix32 -m- -s/etc/probix/probix.ini' \
  "$usr/lib/systemd/system/probix32-smdr.service" ||
  { echo "test-package: the unit does not start the logger" >&2; exit 1; }
if command -v systemd-analyze >/dev/null 2>&1; then
  # The unit's program must exist where the unit says: check against a copy
  # that points at the unpacked one.
  sed "s|/usr/bin/probix32|$usr/bin/probix32|" "$usr/lib/systemd/system/probix32-smdr.service" \
    > "$scratch/probix32-smdr.service"
  verify=$(systemd-analyze verify "$scratch/probix32-smdr.service" 2>&1 | grep -v 'User=\|Group=' || true)
  [ -z "$verify" ] || echo "test-package: systemd-analyze says: $verify" >&2
fi
# The profile the package starts from opens its log and monitors extensions.
grep -q '^LogDevice=/var/log/probix/CALLS.LOG$' "$usr/share/probix/probix-smdr.ini" ||
  { echo "test-package: the service profile names another log" >&2; exit 1; }

out=$(cd "$scratch" && printf 'EXIT\n' | "$usr/bin/probix32" -s"$scratch/probix.ini")
grep -q '^PROBIX version ' <<<"$out" || { echo "test-package: probix32 from the package printed: $out" >&2; exit 1; }
help=$("$usr/bin/telsim" --help 2>&1) || { echo "test-package: telsim --help failed: $help" >&2; exit 1; }
grep -q '^usage: telsim' <<<"$help" || { echo "test-package: telsim --help printed: $help" >&2; exit 1; }

cat >"$scratch/servers.cpp" <<'CPP'
#include <csta32.h>
#include <cstdio>
int main() {
  EnumServerNamesCB show = [](char* name, auto) -> bool { std::printf("%s\n", name); return true; };
  return acsEnumServerNames(ST_CSTA, show, 0) == 0 ? 0 : 1;
}
CPP
g++ -std=c++17 -I"$usr/include" "$scratch/servers.cpp" -L"$usr/lib" -lcsta32 -o "$scratch/servers"
names=$(LD_LIBRARY_PATH="$usr/lib" "$scratch/servers")
grep -q '^TELVANIX$' <<<"$names" || { echo "test-package: the installed library listed: $names" >&2; exit 1; }
echo "test-package: $(basename "$deb") unpacked into a scratch root: probix32, telsim and libcsta32 work from there"
