#!/bin/sh
# Checks the setup program under Wine, in a fresh prefix of its own (64-bit or 32-bit), on the X display
# that xvfb-run gives it:
#  1. a silent install: the files, the shortcut, the uninstall entry, every registration row in each
#     registry view and the classes through a client of each bitness (the overlay on a tagged and an
#     untagged photo), and Vellumar started from the install folder writing its index there;
#  2. the quiet uninstall: no row, no file but the kept index, no shortcut, no entry;
#  3. an earlier build installed over the kept index, then this build over it while a program holds the
#     toolbar library: the index stays, the files are replaced, the held one at the restart;
#  4. installers whose toolbar library cannot be registered fail, installing where /D= says, and so does
#     one whose access step fails.
# The work folder keeps the logs, and the prefix of a failed run.
#   installer_check.sh win64|win32 WORK_DIR SETUP.exe BIN_DIR BIN64_DIR MAKENSIS VERSION
set -u
arch=$1
mkdir -p "$2"
work=$(cd "$2" && pwd)
setup=$3
bin=$(cd "$4" && pwd)
bin64=$(cd "$5" && pwd)
makensis=$6
version=$7
here=$(cd "$(dirname "$0")" && pwd)
src=$(cd "$here/../.." && pwd)
cmake_dir=$src/cmake

export VELLUMAR_WINEARCH=$arch
export WINEPREFIX=$work/prefix
. "$cmake_dir/wine-env.sh"
# The setup, Vellumar and the 32-bit helpers go to Wine's 32-bit loader (Debian's wine), which runs them
# in the process it starts, so that their exit status comes back; `wine` is the prefix's own loader.
wine32() { command wine "$@"; }

drive=$WINEPREFIX/drive_c
if [ "$arch" = win64 ]; then
    # A 32-bit setup lands in the 32-bit Program Files folder and writes the 32-bit registry view.
    programs_win='C:\Program Files (x86)'
    view=/reg:32
else
    programs_win='C:\Program Files'
    view=
fi
instdir_win="$programs_win\\Vellumar"
instdir="$drive/${programs_win#C:\\}/Vellumar"
lnk="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/Vellumar.lnk"
entry='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vellumar'
overlay='{7C1722C1-D2BE-425A-A6D9-A1FC99DD7987}'
title="Update Search Index..."
log="$work/check.log"
: >"$log"

say() { echo "[installer $arch] $*" | tee -a "$log"; }
fail() {
    say "FAIL: $*"
    exit 1
}
trap '"$cmake_dir/wine-prefix.sh" stop' EXIT

# Runs a command line inside Wine as Windows hands it over, unquoted: /D= and _?= must come last and
# unquoted, spaces and all. The exit status comes back through cmd (its low 8 bits).
run_verbatim() {
    wine32 cmd /c "$1" </dev/null >>"$log" 2>&1
}

# same_as_build DIR WHAT: the installed programs are those of DIR (laid out as installed);
# LumenoteToolbar64.dll only on 64-bit Windows.
same_as_build() {
    for name in Vellumar.exe vellumar-cli.exe LumenoteToolbar.dll; do
        cmp -s "$1/$name" "$instdir/$name" || fail "$name is not the one of $2"
    done
    if [ "$arch" = win64 ]; then
        cmp -s "$1/LumenoteToolbar64.dll" "$instdir/LumenoteToolbar64.dll" || fail "LumenoteToolbar64.dll is not the one of $2"
    fi
}

# query KEY VALUE EXPECTED: one value of the uninstall entry (32-bit view) as reg shows it.
query() {
    out=$(wine reg query "$1" /v "$2" $view </dev/null 2>/dev/null | tr -d '\r')
    printf '%s\n' "$out" | grep -F -q -- "$3" || fail "$1 [$2]: no '$3' in: $out"
}

clients() {
    wine32 'C:\tools\client32.exe' "$1" "$instdir_win\\LumenoteToolbar.dll" </dev/null >>"$log" 2>&1 ||
        fail "32-bit client: $1"
    if [ "$arch" = win64 ]; then
        wine 'C:\tools\client64.exe' "$1" "$instdir_win\\LumenoteToolbar64.dll" </dev/null >>"$log" 2>&1 ||
            fail "64-bit client: $1"
    fi
}

# wait_until SECONDS COMMAND...: polls the command until it succeeds.
wait_until() {
    limit=$1
    shift
    begin=$(date +%s)
    while ! "$@"; do
        [ $(($(date +%s) - begin)) -ge "$limit" ] && return 1
        sleep 0.3
    done
}

# Vellumar's dialog and message boxes from outside (dialog_probe prints key=value lines).
probe() {
    wine32 'C:\tools\dialog_probe.exe' "$@" </dev/null 2>/dev/null | tr -d '\r' >"$work/probe.txt"
}
val() { sed -n "s/^$1=//p" "$work/probe.txt" | head -n 1; }
dialog_is() { probe dialog && [ "$(val "$1")" = "$2" ]; }
box_shows() { probe box "$1" && grep -qxF "text=$2" "$work/probe.txt"; }
window_id() { xdotool search --name "$1" 2>/dev/null | head -n 1; }
# Keys go to the window Wine thinks active: a click on the caption first.
press_key() {
    w=$(window_id "$1")
    [ -n "$w" ] || fail "no window '$1' for key $2"
    xdotool mousemove --window "$w" 30 8 click 1
    sleep 0.3
    xdotool key --window "$w" "$2"
}

# The index, the counter and the thumbnails, as a checksum list.
index_sums() {
    (cd "$instdir" && find index tb.idx thumbs -type f | sort | xargs md5sum)
}

# ---- The installers: this build's, an earlier build's, and two whose library cannot be registered.
rm -rf "$work/setups" "$work/current" "$work/earlier"
mkdir -p "$work/setups" "$work/current" "$work/earlier"
cp "$setup" "$work/setups/" || fail "no setup program $setup"
setup_name=$(basename "$setup")
cp "$bin/Vellumar.exe" "$bin/vellumar-cli.exe" "$bin/LumenoteToolbar.dll" "$work/current/"
cp "$bin64/LumenoteToolbar.dll" "$work/current/LumenoteToolbar64.dll"
# The earlier build: the same programs with other bytes at their ends (which Windows ignores), so that
# a replaced file shows.
cp "$work"/current/* "$work/earlier/"
for f in "$work"/earlier/*; do printf 'earlier build' >>"$f"; done
echo "not a library" >"$work/broken.dll"
make_setup() {
    # zlib: a quicker compressor than the setup program's own, for installers made only to be run here.
    "$makensis" -V1 -X"SetCompressor /FINAL zlib" -DVERSION="$2" -DOUTFILE="$work/setups/$1" -DVELLUMAR_EXE="$3/Vellumar.exe" \
        -DCLI_EXE="$3/vellumar-cli.exe" -DTOOLBAR_DLL="$4" -DTOOLBAR64_DLL="$5" "$src/installer/vellumar.nsi" \
        >>"$log" 2>&1 || fail "makensis $1"
}
make_setup Vellumar-Earlier.exe 1.0.0.0 "$work/earlier" "$work/earlier/LumenoteToolbar.dll" \
    "$work/earlier/LumenoteToolbar64.dll"
make_setup Vellumar-Broken32.exe "$version" "$bin" "$work/broken.dll" "$bin64/LumenoteToolbar.dll"
make_setup Vellumar-Broken64.exe "$version" "$bin" "$bin/LumenoteToolbar.dll" "$work/broken.dll"

# ---- A fresh prefix with the setups, the helpers and the sample photos on C:.
"$cmake_dir/wine-prefix.sh" fresh || fail "cannot create the Wine prefix"
mkdir -p "$drive/setup" "$drive/tools" "$drive/photos"
cp "$work"/setups/*.exe "$drive/setup/"
cp "$bin/dialog_probe.exe" "$drive/tools/" || fail "no dialog_probe.exe"
cp "$bin/toolbar_registration_client.exe" "$drive/tools/client32.exe" || fail "no 32-bit client"
cp "$bin64/toolbar_registration_client.exe" "$drive/tools/client64.exe" || fail "no 64-bit client"
cp "$src"/samples/photos/*.jpg "$drive/photos/"

# ---- 1. Silent install into the default folder.
start=$(date +%s)
run_verbatim "C:\\setup\\$setup_name /S" || fail "silent install: exit status $?"
say "silent install in $(($(date +%s) - start)) s"
same_as_build "$work/current" "this build"
[ "$arch" = win32 ] && [ -e "$instdir/LumenoteToolbar64.dll" ] && fail "a 64-bit library on 32-bit Windows"
[ -f "$instdir/uninstall.exe" ] || fail "no uninstaller"
ls "$instdir" | grep -q '\.update$' && fail "unpacked files left: $(ls "$instdir")"
[ -f "$lnk" ] || fail "no Start-menu shortcut for all users"
grep -aqF "$instdir_win\\Vellumar.exe" "$lnk" || fail "the shortcut does not lead to $instdir_win\\Vellumar.exe"
query "$entry" DisplayName Vellumar
query "$entry" DisplayVersion "$version"
query "$entry" Publisher Lumenote
query "$entry" DisplayIcon "$instdir_win\\Vellumar.exe,0"
query "$entry" InstallLocation "$instdir_win"
query "$entry" UninstallString "\"$instdir_win\\uninstall.exe\""
query "$entry" QuietUninstallString "\"$instdir_win\\uninstall.exe\" /S"
query "$entry" EstimatedSize REG_DWORD
clients installed
if [ "$arch" = win64 ]; then
    # Each library's rows in its own view, as the platform's tool reads them.
    out=$(wine reg query "HKCR\\CLSID\\$overlay\\InprocServer32" /ve /reg:64 </dev/null 2>&1 | tr -d '\r')
    printf '%s\n' "$out" | grep -qF "$instdir_win\\LumenoteToolbar64.dll" || fail "64-bit view: $out"
    out=$(wine reg query "HKCR\\CLSID\\$overlay\\InprocServer32" /ve /reg:32 </dev/null 2>&1 | tr -d '\r')
    printf '%s\n' "$out" | grep -qF "$instdir_win\\LumenoteToolbar.dll" || fail "32-bit view: $out"
fi
say "files, shortcut, uninstall entry and registration checked"

# Vellumar from the install folder rebuilds the index over a prepared drive: C: only, so that the walk
# never leaves the prefix (the drives are taken away while the prefix's server is down).
"$cmake_dir/wine-prefix.sh" stop
for link in "$WINEPREFIX"/dosdevices/?:; do
    [ "${link##*/}" = c: ] || rm -f "$link"
done
"$cmake_dir/wine-prefix.sh" ensure || fail "cannot restart the Wine prefix"

start=$(date +%s)
(cd "$instdir" && exec wine "$instdir_win\\Vellumar.exe") </dev/null >"$work/vellumar.log" 2>&1 &
vellumar=$!
wait_until 60 dialog_is visible 1 || fail "Vellumar's dialog did not appear"
sleep 0.5
probe dialog
xdotool mousemove --window "$(window_id "$title")" "$(val c1002_x)" "$(val c1002_y)" click 1
wait_until 300 box_shows Vellumar "Your search index has been updated" || fail "the rebuild did not complete"
press_key '^Vellumar$' Return
wait_until 10 dialog_is c1002_text "Rebuild index" || fail "the dialog did not go back to idle"
press_key "$title" Escape
t=0
while kill -0 "$vellumar" 2>/dev/null; do
    [ "$t" -ge 150 ] && fail "Vellumar did not end on Esc"
    sleep 0.1
    t=$((t + 1))
done
python3 "$src/app/tests/gui/index_records.py" "$instdir/index" >"$work/records.txt" || fail "unreadable index"
grep -qxF 'C:\photos\packet_regions.jpg' "$work/records.txt" || fail "no record of the sample photos in the index"
[ -f "$instdir/tb.idx" ] || fail "no tb.idx in the install folder"
ls "$instdir/thumbs/" | grep -q '\.tb$' || fail "no thumbnails in the install folder"
index_sums >"$work/index.sums"
say "Vellumar wrote $(wc -l <"$work/records.txt") records and their thumbnails in $instdir_win in $(($(date +%s) - start)) s"

# ---- 2. The quiet uninstall, as the uninstall entry gives it: the uninstaller hands over to a copy of
# itself and returns at once, so wait for its work to be done.
start=$(date +%s)
wine32 "$instdir_win\\uninstall.exe" /S </dev/null >>"$log" 2>&1 || fail "quiet uninstall: exit status $?"
gone() { [ ! -e "$instdir/uninstall.exe" ] && ! wine reg query "$entry" $view </dev/null >/dev/null 2>&1; }
wait_until 60 gone || fail "the quiet uninstall did not finish"
sleep 1
say "quiet uninstall in $(($(date +%s) - start)) s"
left=$(cd "$instdir" && ls -A | grep -vxE 'index|tb\.idx|thumbs')
[ -z "$left" ] && [ -f "$instdir/index" ] || fail "left in the install folder: $(ls -A "$instdir")"
index_sums | cmp -s - "$work/index.sums" || fail "the quiet uninstall changed the index or the thumbnails"
[ -e "$lnk" ] && fail "the shortcut is still there"
clients uninstalled
say "no row, no shortcut, no entry, nothing but the index left"

# ---- 3. An earlier build over the kept index, then this build over it while a program holds the
# toolbar library that the shell of this Windows loads.
run_verbatim "C:\\setup\\Vellumar-Earlier.exe /S" || fail "install of the earlier build: exit status $?"
same_as_build "$work/earlier" "the earlier build"
query "$entry" DisplayVersion 1.0.0.0
# A loader itself in the background (not a shell function), so that its process id ends the holder.
if [ "$arch" = win64 ]; then
    held=LumenoteToolbar64.dll
    "$wine_loader" 'C:\tools\client64.exe' hold "$instdir_win\\$held" </dev/null >"$work/holder.log" 2>&1 &
else
    held=LumenoteToolbar.dll
    command wine 'C:\tools\client32.exe' hold "$instdir_win\\$held" </dev/null >"$work/holder.log" 2>&1 &
fi
holder=$!
wait_until 30 grep -q holding "$work/holder.log" || fail "the helper did not load $held"
status=0
run_verbatim "C:\\setup\\$setup_name /S" || status=$?
# 3010, a restart is needed, in the 8 bits that reach us.
[ "$status" = $((3010 % 256)) ] || fail "upgrade with $held in use: exit status $status"
for name in Vellumar.exe vellumar-cli.exe LumenoteToolbar.dll LumenoteToolbar64.dll; do
    [ -e "$instdir/$name" ] || continue
    if [ "$name" = "$held" ]; then
        cmp -s "$work/earlier/$name" "$instdir/$name" || fail "the held $name changed before the restart"
    else
        cmp -s "$work/current/$name" "$instdir/$name" || fail "$name was not replaced by the upgrade"
    fi
done
query "$entry" DisplayVersion "$version"
index_sums | cmp -s - "$work/index.sums" || fail "the upgrade changed the index or the thumbnails"
clients installed
kill "$holder"
wait "$holder" 2>/dev/null
wineboot -r </dev/null >>"$log" 2>&1
same_as_build "$work/current" "this build (after the restart)"
ls "$instdir" | grep -q '\.update$' && fail "unpacked files left after the restart: $(ls "$instdir")"
say "upgrade kept the index, replaced the files and $held at the restart"

# A synchronous uninstall from a copy, for its exit status; the user keeps the index again.
cp "$instdir/uninstall.exe" "$drive/setup/uninstall-copy.exe"
run_verbatim "C:\\setup\\uninstall-copy.exe /S _?=$instdir_win" || fail "uninstall: exit status $?"
[ -e "$instdir/uninstall.exe" ] && fail "the uninstaller is still there"
index_sums | cmp -s - "$work/index.sums" || fail "the uninstall changed the index or the thumbnails"

# ---- 4. A library that cannot be registered makes the setup fail; /D= puts it where it says.
broken_setups=Vellumar-Broken32.exe
[ "$arch" = win64 ] && broken_setups="$broken_setups Vellumar-Broken64.exe"
for broken in $broken_setups; do
    status=0
    run_verbatim "C:\\setup\\$broken /S /D=C:\\Broken Place\\Vellumar" || status=$?
    [ "$status" = 2 ] || fail "$broken: exit status $status"
    [ -f "$drive/Broken Place/Vellumar/uninstall.exe" ] || fail "$broken did not install where /D= says"
done
say "an unregistrable library fails the setup with status 2"

# Wine's icacls changes nothing and answers 0, so a failing one shows that the access step runs and that
# its result counts: in its place the client program, which exits with 2 on icacls's arguments (and is
# run instead of Wine's own icacls only when told so).
[ "$arch" = win64 ] && system32="$drive/windows/syswow64" || system32="$drive/windows/system32"
cp "$system32/icacls.exe" "$work/icacls.exe"
cp "$bin/toolbar_registration_client.exe" "$system32/icacls.exe"
status=0
(
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;icacls.exe=n"
    run_verbatim "C:\\setup\\$setup_name /S /D=C:\\Broken Place\\Vellumar"
) || status=$?
cp "$work/icacls.exe" "$system32/icacls.exe"
[ "$status" = 2 ] || fail "setup with a failing icacls: exit status $status"
say "a failing access step fails the setup with status 2"

say "passed"
"$cmake_dir/wine-prefix.sh" stop
rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
exit 0
