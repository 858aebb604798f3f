#!/usr/bin/env bash
# Installs what the builds need on a Debian machine, only where missing.
# Usage: scripts/setup.sh [native] [windows] [fuzz]
set -euo pipefail
# shellcheck source=scripts/lib/runs32.sh
. "$(dirname "$0")/lib/runs32.sh"
want_native=0 want_windows=0 want_fuzz=0
for a in "${@:-native}"; do
  case "$a" in
    native) want_native=1 ;;
    windows) want_windows=1 ;;
    fuzz) want_fuzz=1 ;;
    *) echo "setup: unknown part $a" >&2; exit 2 ;;
  esac
done

sudo_cmd=""
if [ "$(id -u)" != 0 ]; then sudo_cmd="sudo"; fi

missing=()
need() { dpkg -s "$1" >/dev/null 2>&1 || missing+=("$1"); }
if [ $want_native = 1 ]; then
  for p in g++ cmake ninja-build googletest libgtest-dev tmux socat; do need "$p"; done
fi
if [ $want_fuzz = 1 ]; then
  for p in clang libclang-rt-dev; do need "$p"; done
fi
if [ $want_windows = 1 ]; then
  for p in g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 tmux; do need "$p"; done
  # 32-bit Wine only where 32-bit programs run: elsewhere the Windows tests
  # run under 64-bit Wine, and the i386 packages would be dead weight.
  if host_runs_32bit; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      $sudo_cmd dpkg --add-architecture i386
    fi
    dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=("wine32:i386")
    dpkg -s wine >/dev/null 2>&1 || missing+=("wine")
  fi
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
