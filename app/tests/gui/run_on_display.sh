#!/bin/sh
# Runs a Windows test program under Wine on a private X display, in its own prefix, and ends that
# prefix's server afterwards (its desktop and tray belong to this display only). The prefix must be one
# of its own: Wine's desktop belongs to the display of the prefix's first program, and a shared prefix's
# first program may have had none, so that no window could be made.
#   run_on_display.sh PREFIX PROGRAM.exe [ARGS...]
here=$(cd "$(dirname "$0")" && pwd)
cmake_dir=$(cd "$here/../../../cmake" && pwd)
export VELLUMAR_WINEPREFIX="$1" VELLUMAR_WINEPREFIX64="$1"
shift
xvfb-run -a -n 240 -s "-screen 0 1024x768x24" sh -c '"$0" "$@"; status=$?; WINEPREFIX="$VELLUMAR_WINEPREFIX" "'"$cmake_dir"'/wine-prefix.sh" stop; exit $status' \
    "$cmake_dir/wine-run.sh" "$@"
