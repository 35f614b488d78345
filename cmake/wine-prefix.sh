#!/bin/sh
# Manages the Wine prefix named by WINEPREFIX (32-bit, or 64-bit with VELLUMAR_WINEARCH=win64).
#   ensure  create it when missing and make sure its server runs detached from our output pipes
#   fresh   throw the prefix away and create it anew (one prefix per test run)
#   stop    end the prefix's server
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"
: "${WINEPREFIX:?WINEPREFIX must name the prefix folder}"
export WINEPREFIX

start_server() {
    # A server started by a test would hand Wine's background processes the test's output pipe, and
    # every later test would wait for it: start them here, detached.
    if ! wineserver -p >/dev/null 2>&1; then :; fi
    wine cmd /c exit </dev/null >/dev/null 2>&1
}

# Ends the prefix's server and waits until it has gone: a folder made after this one is removed must never
# meet it.
end_server() {
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
}

# Wine's own libraries are in a prefix that wineboot finished.
prefix_complete() { [ -f "$WINEPREFIX/drive_c/windows/system32/kernel32.dll" ]; }

create() {
    # A server still running for this folder (an earlier prefix's, if the folder reuses its inode) could
    # answer for the new prefix, and wineboot leave it empty: "could not load kernel32.dll" in every
    # program after. Such a prefix is made once more.
    mkdir -p "$WINEPREFIX"
    end_server
    wineboot -i </dev/null >/dev/null 2>&1
    if ! prefix_complete; then
        echo "wine-prefix.sh: wineboot left $WINEPREFIX incomplete; making it again" >&2
        end_server
        rm -rf "$WINEPREFIX"
        mkdir -p "$WINEPREFIX"
        wineboot -i </dev/null >/dev/null 2>&1
        prefix_complete || { echo "wine-prefix.sh: Wine cannot make a prefix in $WINEPREFIX" >&2; return 1; }
    fi
    # No 2 s wait per closed window under a bare X server, and a crash ends the program instead of
    # opening a dialog that nobody closes.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
    touch "$WINEPREFIX/.vellumar-ready"
}

case "${1:-ensure}" in
ensure)
    lock="$WINEPREFIX.lock"
    mkdir -p "$(dirname "$WINEPREFIX")"
    (
        flock 9
        # Wine's server and background processes outlive this script: they must not inherit the lock.
        [ -f "$WINEPREFIX/.vellumar-ready" ] || { rm -rf "$WINEPREFIX"; create 9>&- || exit 1; }
        if [ ! -f "$WINEPREFIX/.vellumar-server" ]; then
            start_server 9>&-
            touch "$WINEPREFIX/.vellumar-server"
        fi
    ) 9>"$lock" || exit 1
    ;;
fresh)
    end_server
    rm -rf "$WINEPREFIX"
    "$0" ensure
    ;;
stop)
    end_server
    rm -f "$WINEPREFIX/.vellumar-server"
    ;;
*)
    echo "usage: $0 ensure|fresh|stop" >&2
    exit 2
    ;;
esac
