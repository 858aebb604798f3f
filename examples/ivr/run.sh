#!/usr/bin/env bash
# Runs the IVR example against the simulator embedded in the program, with
# the scripted caller of caller.scn:  bash examples/ivr/run.sh [build-dir]
# Works in a scratch folder (the prompts and the recorded message.vox land
# there); drive C of the server's Windows names is a folder in it.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build/native}" && pwd)
work=${IVR_WORK:-$(mktemp -d)}
mkdir -p "$work/drives/c/TEMP"
cd "$work"
export TELVANIX_DRIVES="$work/drives"
export KVR="$here"                     # telsrvr/telsrvr.ini beside this script
export TELSIM_SCENARIO="$here/caller.scn"
# The switch keeps bare file names (the recording) in its voice folder: here.
printf 'voicefolder .\n' > "$work/telsim.cfg"
export TELSIM_CONFIG="$work/telsim.cfg"
"$build/examples/ivr/ivr" dxxxB1C1
echo "ivr: files in $work"
