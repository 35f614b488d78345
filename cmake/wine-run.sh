#!/bin/sh
# Runs a Windows program of the build under Wine, in the build folder's own 32-bit prefix.
# CTest calls it as the cross-compiling emulator: wine-run.sh PROGRAM.exe [ARGS...]
here=$(cd "$(dirname "$0")" && pwd)
dir=$(cd "$(dirname "$1")" 2>/dev/null && pwd)
while [ -n "$dir" ] && [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
[ -n "$dir" ] && [ "$dir" != / ] || dir=$(pwd)
export WINEPREFIX="${VELLUMAR_WINEPREFIX:-$dir/wineprefix}"
. "$here/wine-env.sh"
"$here/wine-prefix.sh" ensure || exit 1
exec wine "$@"
