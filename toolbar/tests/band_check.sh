#!/bin/sh
# Runs the band's checks under Wine: a 32-bit prefix of their own (the checks register the library), a
# virtual X server since Wine needs a display for windows, and the prefix's server ended afterwards.
#   band_check.sh toolbar_band_tests.exe PREFIX_FOLDER
set -u
# The prefix's server and desktop must start with the display already there: a desktop started without
# one cannot make windows for the programs that come later.
if [ -z "${VELLUMAR_BAND_DISPLAY:-}" ]; then
    VELLUMAR_BAND_DISPLAY=1 exec xvfb-run -a -s "-screen 0 1024x768x24" sh "$0" "$@"
fi
program=$1
export WINEPREFIX=$2
cmake_dir=$(cd "$(dirname "$0")/../../cmake" && pwd)
. "$cmake_dir/wine-env.sh"

"$cmake_dir/wine-prefix.sh" ensure || { echo "FAILED: cannot create the Wine prefix"; exit 1; }
trap '"$cmake_dir/wine-prefix.sh" stop' EXIT
wine "$program"
