#!/bin/sh
# Runs a Windows program of the build under Wine, in the build folder's own prefix (32-bit, or 64-bit
# with VELLUMAR_WINEARCH=win64).
# CTest calls it as the cross-compiling emulator: wine-run.sh PROGRAM.exe [ARGS...]
here=$(cd "$(dirname "$0")" && pwd)
dir=$(cd "$(dirname "$1")" 2>/dev/null && pwd)
while [ -n "$dir" ] && [ "$dir" != / ] && [ ! -f "$dir/CMakeCache.txt" ]; do dir=$(dirname "$dir"); done
[ -n "$dir" ] && [ "$dir" != / ] || dir=$(pwd)
if [ "${VELLUMAR_WINEARCH:-win32}" = win64 ]; then
    export WINEPREFIX="${VELLUMAR_WINEPREFIX64:-$dir/wineprefix}"
else
    export WINEPREFIX="${VELLUMAR_WINEPREFIX:-$dir/wineprefix}"
fi
. "$here/wine-env.sh"
"$here/wine-prefix.sh" ensure || exit 1
exec "$wine_loader" "$@"
