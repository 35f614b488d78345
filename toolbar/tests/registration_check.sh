#!/bin/sh
# Registers LumenoteToolbar.dll with regsvr32 in a fresh Wine prefix of its own and checks what
# registration and unregistration leave in the registry, with `wine reg` and with a client program.
# With `shared`, it uses the prefix as it is (the 64-bit build's prefix of all its tests), leaves its
# server running and takes its planted keys away afterwards. VELLUMAR_WINEARCH=win64 for the 64-bit build.
#   registration_check.sh LumenoteToolbar.dll registration_client.exe PREFIX_FOLDER [shared]
set -u
dll=$1
client=$2
export WINEPREFIX=$3
shared=${4:-}
cmake_dir=$(cd "$(dirname "$0")/../../cmake" && pwd)
. "$cmake_dir/wine-env.sh"

failures=0
fail() {
    echo "FAILED: $*"
    failures=$((failures + 1))
}

if [ "$shared" = shared ]; then
    "$cmake_dir/wine-prefix.sh" ensure || { echo "FAILED: cannot create the Wine prefix"; exit 1; }
else
    "$cmake_dir/wine-prefix.sh" fresh || { echo "FAILED: cannot create the Wine prefix"; exit 1; }
    trap '"$cmake_dir/wine-prefix.sh" stop' EXIT
fi

module=$(winepath -w "$dll")
band='{0C0F6FE2-8C8F-4E29-B942-48E1111182F7}'
overlay='{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}'
overlays='HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\ShellIconOverlayIdentifiers'

reg() {
    wine reg "$@" </dev/null >/dev/null 2>&1
}

# Leftovers of an earlier registration, and an overlay handler of another program.
reg add "HKCR\\CLSID\\$band\\Leftover\\Deeper" /v Stale /d yes /f || fail "planting under the band's key"
reg add "HKCR\\CLSID\\$overlay\\Leftover" /f || fail "planting under the overlay's key"
reg add "$overlays\\VellumarCheckSibling" /ve /d '{11111111-2222-3333-4444-555555555555}' /f ||
    fail "planting the sibling overlay"

wine regsvr32 /s "$module" </dev/null || fail "regsvr32 (first)"
wine regsvr32 /s "$module" </dev/null || fail "regsvr32 (second)"

# A few rows as the platform's own tool reads them: query KEY EXPECTED [VALUE_NAME] (default value
# without a name).
query() {
    if [ $# -ge 3 ]; then
        out=$(wine reg query "$1" /v "$3" </dev/null 2>/dev/null | tr -d '\r')
    else
        out=$(wine reg query "$1" /ve </dev/null 2>/dev/null | tr -d '\r')
    fi
    printf '%s\n' "$out" | grep -F -q -- "$2" || fail "reg query $1 ${3:-(default)}: no '$2' in: $out"
}
query "HKCR\\CLSID\\$overlay" 'JPGIconOverlay Class'
query "HKCR\\CLSID\\$band" 'Lumenote Toolbar'
query "HKCR\\CLSID\\$overlay\\InprocServer32" 'Apartment' ThreadingModel
query "HKCR\\CLSID\\$overlay\\InprocServer32" "$module"
query "HKCR\\NotaraToolbar.JPGIconOverlay\\CurVer" 'NotaraToolbar.JPGIconOverlay.1'
query "$overlays\\AnnotatedJpgOverlay" "$overlay"
reg query "HKCR\\CLSID\\$band\\Leftover" && fail "the planted subkey survived registration"

wine "$client" registered "$module" </dev/null || fail "client checks after registration"

wine regsvr32 /u /s "$module" </dev/null || fail "regsvr32 /u"
reg query "HKCR\\CLSID\\$overlay" && fail "the overlay's class key survived unregistration"
reg query "HKCR\\CLSID" || fail "HKCR\\CLSID is gone"
reg query "$overlays\\VellumarCheckSibling" || fail "the sibling overlay is gone"
wine "$client" unregistered "$module" </dev/null || fail "client checks after unregistration"

# Nothing left to remove: still a success.
wine regsvr32 /u /s "$module" </dev/null || fail "regsvr32 /u with nothing registered"

if [ "$shared" = shared ]; then
    reg delete "$overlays\\VellumarCheckSibling" /f
    reg delete "HKCR\\CLSID\\$band" /f
    reg delete "HKCR\\CLSID\\$overlay" /f
fi
if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "registration checks passed"
[ "$shared" = shared ] && exit 0
# The prefix is made anew by every run; a failed run keeps it for a look.
"$cmake_dir/wine-prefix.sh" stop
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
