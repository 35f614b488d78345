#!/bin/sh
# One check of Vellumar.exe under Wine, in a fresh prefix (32-bit, or 64-bit for the x86-64 build with
# VELLUMAR_WINEARCH=win64) whose only drive is C:, on the X
# display that xvfb-run gives it. Screenshots and logs stay in the work folder; the prefix is removed
# after a passing check.
#   gui_check.sh CHECK BIN_DIR SOURCE_DIR WORK_DIR
# CHECK: startup | second-copy | find-files | rebuild | esc | add-folder | close | tray-exit | silent-end | lock
#        | browse-refusals | browse-network | cancel-button | background-complete | tray-show | find-files-second | spaces
set -u
check=$1
bin=$(cd "$2" && pwd)
src=$(cd "$3" && pwd)
mkdir -p "$4"
work=$(cd "$4" && pwd)/$check
here=$(cd "$(dirname "$0")" && pwd)

rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix"
. "$here/../../../cmake/wine-env.sh"
# debugstr: the program reports each page it navigates to with OutputDebugString.
export WINEDEBUG=-all,+debugstr
drive="$WINEPREFIX/drive_c"
log="$work/check.log"
title="Update Search Index..."

say() { echo "[$check] $*" | tee -a "$log"; }
shot() { import -window root "$work/$1.png" 2>/dev/null; }
# The main dialog alone (the picture in docs/ is made this way).
shot_dialog() {
    w=$(window_id "$title")
    [ -n "$w" ] && import -window "$w" "$work/$1.png" 2>/dev/null
}
fail() {
    say "FAIL: $*"
    shot failure
    exit 1
}
# Ends the prefix's server and waits until it has gone: the next program starts a new one, and a prefix
# made after this one is removed can never meet the old one.
end_server() {
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
}
trap end_server EXIT

make_prefix() {
    "$here/../../../cmake/wine-prefix.sh" ensure || fail "cannot make the Wine prefix"
    # Only C: exists, so a rebuild walks the prefix and never the machine. The server goes first, so
    # that no running part of Wine remembers the other drives.
    end_server
    rm -f "$WINEPREFIX/dosdevices/z:" "$WINEPREFIX/dosdevices/d:" "$WINEPREFIX/dosdevices/e:"
    mkdir -p "$drive/vellumar" "$drive/photos" "$drive/tools"
    cp "$bin/Vellumar.exe" "$drive/vellumar/" || fail "no Vellumar.exe"
    cp "$bin/dialog_probe.exe" "$drive/tools/" || fail "no dialog_probe.exe"
    cp "$src"/samples/photos/*.jpg "$drive/photos/" || fail "no sample photos"
}

# Copies of the samples in COUNT folders, so that a job runs long enough to be watched. A job goes through
# a few hundred photos a second: the checks that act during a job take 300 folders, and those that wait for
# the completion as few as keep the job running through their first steps.
add_bulk_photos() {
    i=1
    while [ "$i" -le "$1" ]; do
        mkdir -p "$drive/photos/bulk/$i"
        cp "$src"/samples/photos/*.jpg "$drive/photos/bulk/$i/"
        i=$((i + 1))
    done
}

# start_vellumar N: runs a copy in the background; its pid goes to $work/pidN, its output to vellumarN.log.
# The program's folder is C:\vellumar unless program_folder (a path below C:\) says otherwise.
program_folder='vellumar'
start_vellumar() {
    (cd "$drive/$program_folder" && exec "$wine_loader" "C:\\$(echo "$program_folder" | tr / '\\')\\Vellumar.exe") \
        >"$work/vellumar$1.log" 2>&1 &
    echo $! >"$work/pid$1"
}

# wait_exit N SECONDS: the exit status of copy N, or 124 when it is still running.
wait_exit() {
    pid=$(cat "$work/pid$1")
    t=0
    while kill -0 "$pid" 2>/dev/null; do
        [ "$t" -ge $(($2 * 10)) ] && return 124
        sleep 0.1
        t=$((t + 1))
    done
    wait "$pid"
}

probe() {
    wine 'C:\tools\dialog_probe.exe' "$@" </dev/null >"$work/probe.raw" 2>/dev/null
    probe_status=$?
    tr -d '\r' <"$work/probe.raw" >"$work/probe.txt"
    return $probe_status
}
val() { sed -n "s/^$1=//p" "$work/probe.txt" | head -n 1; }

# wait_until SECONDS COMMAND...: polls the command (a probe plus a test) until it succeeds.
wait_until() {
    limit=$1
    shift
    start=$(date +%s)
    while ! "$@"; do
        [ $(($(date +%s) - start)) -ge "$limit" ] && return 1
        sleep 0.3
    done
}

dialog_is() { probe dialog && [ "$(val "$1")" = "$2" ]; }
box_gone() { ! probe box "$1"; }
box_shows() { probe box "$1" && grep -qxF "text=$2" "$work/probe.txt"; }

window_id() { xdotool search --name "$1" 2>/dev/null | head -n 1; }

# Clicks a control of the main dialog by its identifier (positions from the probe).
click_control() {
    probe dialog || fail "dialog gone before clicking $1"
    w=$(window_id "$title")
    xdotool mousemove --window "$w" "$(val "c$1_x")" "$(val "c$1_y")" click 1
}

# Activates a window by a click on its caption, then presses a key (keys go to the active window).
press_key() {
    w=$(window_id "$1")
    [ -n "$w" ] || fail "no window '$1' for key $2"
    xdotool mousemove --window "$w" 30 8 click 1
    sleep 0.3
    xdotool key --window "$w" "$2"
}

# browse_to KEY... [NAME]: walks the open folder browser's tree by keys from its first item ("My
# Computer"), then types NAME when given (the tree finds an item by its typed name).
browse_to() {
    w=$(window_id "Browse for Folder")
    probe child "Browse for Folder" SysTreeView32 || fail "no folder tree"
    # A click on the first item gives the tree the focus.
    xdotool mousemove --window "$w" $(($(val x) + 60)) $(($(val y) + 9)) click 1
    sleep 0.3
    for key in "$@"; do
        case "$key" in
        Home | Down | Up | Right | Left) xdotool key --window "$w" "$key" ;;
        *) xdotool type --window "$w" "$key" ;;
        esac
        sleep 0.4
    done
}

browser_closed() { ! probe box "Browse for Folder"; }

press_browser_ok() {
    w=$(window_id "Browse for Folder")
    probe child "Browse for Folder" Button OK || fail "no OK button"
    xdotool mousemove --window "$w" "$(val cx)" "$(val cy)" click 1
}

# The tray window, shown while it holds an icon.
tray_window() { xdotool search --onlyvisible --name "Wine System Tray" 2>/dev/null | head -n 1; }
tray_shown() { [ -n "$(tray_window)" ]; }
tray_gone() { [ -z "$(tray_window)" ]; }

# click_tray BUTTON [REPEAT]: clicks the only icon, at the left of the tray window's client area below
# its caption.
click_tray() {
    tray=$(tray_window)
    [ -n "$tray" ] || fail "no tray window on this desktop"
    height=$(xdotool getwindowgeometry "$tray" | sed -n 's/.*Geometry: [0-9]*x\([0-9]*\).*/\1/p')
    xdotool mousemove --window "$tray" 12 $((height - 11)) click --repeat "${2:-1}" --delay 80 "$1"
}

# A rebuild long enough to watch, sent to background mode.
rebuild_in_background() {
    click_control 1002
    wait_until 20 dialog_is c1004_visible 1 || fail "background button not shown during the job"
    click_control 1004
    wait_until 10 dialog_is visible 0 || fail "background mode did not hide the dialog"
    wait_until 10 tray_shown || fail "no tray icon in background mode"
    sleep 0.5
}

page_navigated() { grep -qF "Vellumar page $1" "$work/vellumar1.log"; }

# The collapsed size: the template's own size less the 90-pixel band.
collapsed_height() {
    probe template 'C:\vellumar\Vellumar.exe' || fail "cannot make the template's window"
    echo $(($(val window_h) - 90))
}

start_first() {
    start_vellumar 1
    wait_until 30 dialog_is visible 1 || fail "the dialog did not appear"
    sleep 0.5
}

check_startup() {
    make_prefix
    start_first
    shot startup
    probe dialog
    [ "$(val title)" = "$title" ] || fail "title '$(val title)'"
    [ "$(val c1003_text)" = "Add Folder to Index" ] || fail "button 1003 '$(val c1003_text)'"
    [ "$(val c1002_text)" = "Rebuild Index" ] || fail "button 1002 '$(val c1002_text)'"
    [ "$(val c1004_visible)" = 0 ] || fail "background button visible"
    [ "$(val c1001_text)" = "" ] || fail "progress text '$(val c1001_text)'"
    [ "$(val browser_controls)" = 1 ] || fail "no browser control in the page area"
    width=$(val window_w)
    height=$(val window_h)
    expected=$(collapsed_height)
    [ "$(val window_w)" = "$width" ] || fail "template width $(val window_w), dialog $width"
    [ "$height" = "$expected" ] || fail "dialog height $height, expected $expected"
    say "dialog ${width}x$height, collapsed by 90 from the template"
    page_navigated 'res://C:\\vellumar\\Vellumar.exe/UPDATE_INDEX.HTM' || fail "start page not navigated"
    [ -f "$drive/vellumar/index" ] || fail "no index file beside the executable"
    press_key "$title" Escape
    status=0
    wait_exit 1 15 || status=$?
    [ "$status" = 0 ] || fail "Esc when idle: exit status $status"
}

check_second_copy() {
    make_prefix
    # Enough photos that the job is still running when the first copy has come back: its completion
    # message would take the front.
    add_bulk_photos 300
    start_first
    click_control 1002
    wait_until 20 dialog_is c1004_visible 1 || fail "background button not shown during the job"
    click_control 1004
    wait_until 10 dialog_is visible 0 || fail "background mode did not hide the dialog"
    sleep 0.5
    shot background
    tray=$(xdotool search --onlyvisible --name "Wine System Tray" 2>/dev/null | head -n 1)
    [ -n "$tray" ] && say "tray window shown in background mode" || say "no tray window on this desktop"
    start_vellumar 2
    status=0
    wait_exit 2 20 || status=$?
    [ "$status" = 3 ] || fail "second copy: exit status $status"
    wait_until 10 dialog_is visible 1 || fail "first copy did not come back"
    [ "$(val c1002_text)" = Cancel ] || fail "the job ended before the first copy came back"
    # The dialog is shown first and brought to the front after: a probe can fall in between.
    wait_until 5 dialog_is foreground 1 || fail "first copy not in the foreground"
    shot after-second-copy
    # Wine hides its tray window when it holds no icon: ours must be gone.
    if [ -n "$tray" ]; then
        wait_until 5 tray_gone || fail "tray icon still shown after activation"
    fi
    [ "$(xdotool search --name "$title" 2>/dev/null | wc -l)" = 1 ] || fail "more than one dialog"
    kill -0 "$(cat "$work/pid1")" 2>/dev/null || fail "first copy ended"
}

check_find_files() {
    make_prefix
    wine 'C:\tools\dialog_probe.exe' hold "NTO FindFiles Mutex" 60 >"$work/holder.log" 2>&1 &
    holder=$!
    wait_until 15 grep -q holding "$work/holder.log" || fail "helper did not take the mutex"
    start_vellumar 1
    wait_until 30 box_shows "Can't start Vellumar" "Can't start Vellumar while Find Files dialog is running" ||
        fail "no start-up message"
    shot find-files
    probe dialog && fail "the main dialog appeared"
    [ -f "$drive/vellumar/index" ] && fail "the engine was opened"
    press_key "Can't start Vellumar" Return
    status=0
    wait_exit 1 15 || status=$?
    [ "$status" = 2 ] || fail "exit status $status"
    kill "$holder" 2>/dev/null
}

# Every loadable sample (and each of its copies) has exactly one record, nothing else has one.
check_index_records() {
    python3 "$here/index_records.py" "$drive/vellumar/index" >"$work/records.txt" || fail "unreadable index"
    count=$(wc -l <"$work/records.txt")
    say "index holds $count records"
    [ "$count" -gt 0 ] || fail "empty index"
    sort "$work/records.txt" | uniq -d >"$work/duplicates.txt"
    [ -s "$work/duplicates.txt" ] && fail "duplicate records"
    grep -v '^C:\\photos\\' "$work/records.txt" >"$work/strangers.txt" && fail "records outside C:\\photos"
    if [ -x "$bin/vellumar-cli.exe" ] || [ -f "$bin/vellumar-cli.exe" ]; then
        cp "$bin/vellumar-cli.exe" "$drive/tools/"
        loadable=$(cd "$drive/photos" && for f in *.jpg; do
            wine 'C:\tools\vellumar-cli.exe' tags "C:\\photos\\$f" 2>/dev/null | grep -q '"loaded":true' && echo "$f"
        done)
        expected=$(echo "$loadable" | grep -c .)
        for f in $loadable; do
            grep -qxF "C:\\photos\\$f" "$work/records.txt" || fail "no record for $f"
        done
        direct=$(grep -c '^C:\\photos\\[^\\]*$' "$work/records.txt")
        [ "$direct" = "$expected" ] || fail "$direct records for the $expected loadable samples"
        say "one record for each of the $expected loadable samples"
    fi
}

check_rebuild() {
    make_prefix
    add_bulk_photos 40
    start_first
    collapsed=$(val window_h)
    click_control 1002
    wait_until 20 dialog_is window_h $((collapsed + 90)) || fail "the band did not grow"
    probe dialog
    [ "$(val c1002_text)" = Cancel ] || fail "rebuild button reads '$(val c1002_text)' during the job"
    [ "$(val c1003_enabled)" = 0 ] || fail "add-folder button enabled during the job"
    shot rebuilding
    shot_dialog dialog-rebuilding
    wait_until 240 box_shows Vellumar "Your search index has been updated" || fail "no completion message"
    shot completed
    press_key '^Vellumar$' Return
    wait_until 10 dialog_is c1002_text "Rebuild index" || fail "rebuild button reads '$(val c1002_text)'"
    probe dialog
    [ "$(val window_h)" = "$collapsed" ] || fail "band still open"
    [ "$(val c1003_enabled)" = 1 ] || fail "add-folder button still disabled"
    [ "$(val c1001_text)" = "Your search index has been updated" ] || fail "progress text '$(val c1001_text)'"
    page_navigated 'res://C:\\vellumar\\Vellumar.exe/UPDATE_COMPLETE.HTM' || fail "completion page not navigated"
    shot after-rebuild
    check_index_records
}

check_esc() {
    make_prefix
    add_bulk_photos 300
    start_first
    click_control 1002
    wait_until 20 dialog_is c1002_text Cancel || fail "rebuild did not start"
    sleep 1
    press_key "$title" Escape
    # Stopping takes at most the engine's grace period; no question may appear on the way out.
    start=$(date +%s)
    pid=$(cat "$work/pid1")
    while kill -0 "$pid" 2>/dev/null; do
        probe box "Index building in progress" && fail "Esc asked a question"
        [ $(($(date +%s) - start)) -ge 15 ] && fail "Esc did not end the program"
    done
    status=0
    wait "$pid" || status=$?
    [ "$status" = 0 ] || fail "exit status $status"
    grep -q "Your search index has been updated" "$work/probe.txt" && fail "completion after Esc"
    say "Esc ended the job and the program in $(($(date +%s) - start)) s"
}

check_add_folder() {
    make_prefix
    start_first
    click_control 1003
    wait_until 20 probe box "Browse for Folder" || fail "no folder browser"
    shot folder-browser
    # Wine's folder browser shows no edit box: walk its tree by keyboard from "My Computer" to
    # C:\photos (the tree finds an item by its typed name) and press OK.
    browse_to Home Down Right photos
    shot folder-chosen
    press_browser_ok
    wait_until 120 box_shows Vellumar 'Folder C:\photos\ has been added to the search index' ||
        fail "no completion message"
    shot add-completed
    press_key '^Vellumar$' Return
    wait_until 10 dialog_is c1003_text "Add Folder to Index" || fail "add button reads '$(val c1003_text)'"
    page_navigated 'C:\\vellumar/add.htm' || fail "add.htm not navigated"
    check_index_records
}

# Close box during a job: the question comes, No keeps the job, Yes stops it and ends the program.
check_close() {
    make_prefix
    add_bulk_photos 300
    start_first
    click_control 1002
    wait_until 20 dialog_is c1002_text Cancel || fail "rebuild did not start"
    press_key "$title" alt+F4
    question="Are you sure that you want to cancel index building?"
    wait_until 15 box_shows "Index building in progress" "$question" || fail "no question on close"
    shot close-question
    press_key "Index building in progress" n
    wait_until 10 box_gone "Index building in progress" || fail "the question stayed after No"
    probe dialog || fail "No ended the program"
    [ "$(val c1002_text)" = Cancel ] || fail "No stopped the job"
    press_key "$title" alt+F4
    wait_until 15 box_shows "Index building in progress" "$question" || fail "no question on the second close"
    press_key "Index building in progress" y
    status=0
    wait_exit 1 15 || status=$?
    [ "$status" = 0 ] || fail "Yes: exit status $status"
}

# Background mode, then "Exit App" from the tray icon's menu during the job.
check_tray_exit() {
    make_prefix
    add_bulk_photos 300
    start_first
    rebuild_in_background
    # A right click on the icon opens the menu.
    click_tray 3
    wait_until 10 probe menu || fail "no tray menu"
    shot tray-menu
    # "Exit App" is the menu's last item.
    xdotool mousemove $(($(val left) + 30)) $(($(val bottom) - 10)) click 1
    status=0
    wait_exit 1 15 || status=$?
    [ "$status" = 0 ] || fail "Exit App: exit status $status"
}

# A rebuild that cannot open the index ends without its last report; the dialog still goes back to
# Idle (a folder in place of the index file makes the open fail).
check_silent_end() {
    make_prefix
    mkdir "$drive/vellumar/index"
    start_first
    collapsed=$(val window_h)
    click_control 1002
    wait_until 15 dialog_is c1002_text "Rebuild index" || fail "rebuild button reads '$(val c1002_text)'"
    probe dialog
    [ "$(val window_h)" = "$collapsed" ] || fail "band still open"
    [ "$(val c1003_enabled)" = 1 ] || fail "add-folder button still disabled"
    [ "$(val c1004_visible)" = 0 ] || fail "background button still shown"
    probe box Vellumar && fail "a completion message for a run that did not complete"
    shot silent-end
}

# One writer per home between Vellumar.exe and vellumar-cli.exe: while the dialog rebuilds, the tool
# cannot add a folder to the same home; while the tool adds a folder, a job of the dialog shows the
# message and the dialog goes back to Idle.
check_lock() {
    make_prefix
    add_bulk_photos 300
    cp "$bin/vellumar-cli.exe" "$drive/tools/" || fail "no vellumar-cli.exe"
    start_first
    click_control 1002
    wait_until 20 dialog_is c1002_text Cancel || fail "rebuild did not start"
    # The job takes the lock before it writes anything.
    wait_until 60 test -s "$drive/vellumar/index" || fail "the rebuild wrote no record"
    status=0
    wine 'C:\tools\vellumar-cli.exe' add-folder --home 'C:\vellumar' 'C:\photos' </dev/null \
        >"$work/cli.out" 2>"$work/cli.err" || status=$?
    tr -d '\r' <"$work/cli.err" >"$work/cli.txt"
    [ "$status" = 1 ] || fail "add-folder during the rebuild: exit status $status"
    grep -qF 'Another program is updating the search index in C:\vellumar. Try again when it has finished.' \
        "$work/cli.txt" || fail "add-folder during the rebuild: $(cat "$work/cli.txt")"
    probe dialog
    [ "$(val c1002_text)" = Cancel ] || fail "the rebuild did not go on"
    say "the tool was refused while the dialog rebuilt"
    click_control 1002
    wait_until 10 dialog_is c1002_text "Rebuild index" || fail "the rebuild did not stop"

    # The other way round: the tool's job is stopped while it holds the lock, so that the dialog's job
    # certainly comes while it runs.
    counter=$(od -An -tu4 "$drive/vellumar/tb.idx" | tr -d ' ')
    (cd "$drive/tools" && exec "$wine_loader" 'C:\tools\vellumar-cli.exe' add-folder --home 'C:\vellumar' 'C:\photos\bulk') \
        </dev/null >"$work/cli2.out" 2>&1 &
    tool=$!
    # A new thumbnail number: the tool is adding records.
    wait_until 60 sh -c '[ "$(od -An -tu4 "$1" | tr -d " ")" != "$2" ]' - "$drive/vellumar/tb.idx" "$counter" ||
        fail "the tool made no thumbnail"
    family() {
        echo "$1"
        for child in $(ps -o pid= --ppid "$1"); do
            family "$child"
        done
    }
    stopped=$(family $tool)
    kill -STOP $stopped
    click_control 1003
    wait_until 20 probe box "Browse for Folder" || fail "no folder browser"
    browse_to Home Down Right photos
    press_browser_ok
    wait_until 30 box_shows "Index Fail" \
        'Another program is updating the search index in C:\vellumar. Try again when it has finished.' ||
        fail "no message for the second writer"
    shot second-writer
    press_key '^Index Fail$' Return
    wait_until 15 dialog_is c1003_text "Add Folder to Index" || fail "add button reads '$(val c1003_text)'"
    probe dialog
    [ "$(val c1002_enabled)" = 1 ] || fail "rebuild button still disabled"
    [ "$(val c1004_visible)" = 0 ] || fail "background button still shown"
    probe box Vellumar && fail "a completion message for a job that did not run"
    say "the dialog's job showed the message and the dialog is idle again"
    kill -CONT $stopped
}

# Presses the Cancel button of a running job and checks the dialog at rest: the button's own text back,
# the band collapsed to the height in $collapsed, the other job's button enabled, no background button.
#   cancel_job BUTTON TEXT-AT-REST OTHER-BUTTON JOB-NAME
cancel_job() {
    sleep 1
    click_control "$1"
    wait_until 15 dialog_is "c$1_text" "$2" || fail "$4 button reads '$(val "c$1_text")'"
    [ "$(val window_h)" = "$collapsed" ] || fail "band still open after the $4's Cancel"
    [ "$(val "c$3_enabled")" = 1 ] || fail "the other job's button still disabled after the $4's Cancel"
    [ "$(val c1004_visible)" = 0 ] || fail "background button still shown"
}

# The dialog's own Cancel button stops each job: the band collapses, no message comes, the program runs on.
check_cancel_button() {
    make_prefix
    add_bulk_photos 300
    start_first
    collapsed=$(val window_h)
    click_control 1002
    wait_until 20 dialog_is c1002_text Cancel || fail "rebuild did not start"
    cancel_job 1002 "Rebuild index" 1003 rebuild
    say "Cancel stopped the rebuild"
    click_control 1003
    wait_until 20 probe box "Browse for Folder" || fail "no folder browser"
    browse_to Home Down Right photos
    press_browser_ok
    wait_until 20 dialog_is c1003_text Cancel || fail "add-folder did not start"
    cancel_job 1003 "Add Folder to Index" 1002 add-folder
    shot after-cancel
    sleep 1
    probe box Vellumar && fail "a completion message after Cancel"
    kill -0 "$(cat "$work/pid1")" 2>/dev/null || fail "the program ended"
    say "Cancel stopped the add-folder job"
}

# A job that completes in background mode: its message first, then the dialog in front, tray icon gone.
check_background_complete() {
    make_prefix
    add_bulk_photos 80
    start_first
    rebuild_in_background
    wait_until 240 box_shows Vellumar "Your search index has been updated" || fail "no completion message"
    probe dialog
    [ "$(val visible)" = 0 ] || fail "the dialog came back before the message was closed"
    shot background-completed
    press_key '^Vellumar$' Return
    wait_until 10 dialog_is visible 1 || fail "the dialog did not come back"
    wait_until 5 dialog_is foreground 1 || fail "the dialog is not in front"
    wait_until 5 tray_gone || fail "the tray icon stayed"
    shot after-background-completion
}

# Double-click on the tray icon and its menu's "Show window" bring the dialog back; one click does not.
check_tray_show() {
    make_prefix
    add_bulk_photos 300
    start_first
    rebuild_in_background
    click_tray 1 2
    wait_until 10 dialog_is visible 1 || fail "a double-click did not show the dialog"
    wait_until 5 tray_gone || fail "the tray icon stayed after the double-click"
    say "double-click showed the dialog"
    click_control 1004
    wait_until 10 dialog_is visible 0 || fail "background mode did not hide the dialog"
    wait_until 10 tray_shown || fail "no tray icon in background mode"
    sleep 0.5
    click_tray 1
    # Longer than a double-click takes, so that a late reaction to the single click would be seen.
    sleep 1.5
    probe dialog
    [ "$(val visible)" = 0 ] || fail "a single click showed the dialog"
    click_tray 3
    wait_until 10 probe menu || fail "no tray menu"
    # "Show window" is the menu's first item.
    xdotool mousemove $(($(val left) + 30)) $(($(val top) + 10)) click 1
    wait_until 10 dialog_is visible 1 || fail "Show window did not show the dialog"
    wait_until 5 tray_gone || fail "the tray icon stayed after Show window"
    probe dialog
    [ "$(val c1002_text)" = Cancel ] || fail "the job did not go on"
    say "Show window showed the dialog"
}

# While Find Files runs, a second copy shows its message and does not hand over to the running copy,
# which stays in background mode.
check_find_files_second() {
    make_prefix
    add_bulk_photos 300
    start_first
    rebuild_in_background
    wine 'C:\tools\dialog_probe.exe' hold "NTO FindFiles Mutex" 60 >"$work/holder.log" 2>&1 &
    holder=$!
    wait_until 15 grep -q holding "$work/holder.log" || fail "helper did not take the mutex"
    start_vellumar 2
    wait_until 30 box_shows "Can't start Vellumar" "Can't start Vellumar while Find Files dialog is running" ||
        fail "no start-up message"
    shot find-files-second
    press_key "Can't start Vellumar" Return
    status=0
    wait_exit 2 15 || status=$?
    [ "$status" = 2 ] || fail "second copy: exit status $status"
    sleep 1
    probe dialog
    [ "$(val visible)" = 0 ] || fail "the running copy was activated"
    tray_shown || fail "the running copy left background mode"
    kill "$holder" 2>/dev/null
}

# The program in a folder whose path has spaces: its pages and its index are found there.
check_spaces() {
    make_prefix
    program_folder='Program Files/Vellumar Photo Tools'
    mkdir -p "$drive/$program_folder"
    mv "$drive/vellumar/Vellumar.exe" "$drive/$program_folder/"
    start_first
    page_navigated 'res://C:\\Program Files\\Vellumar Photo Tools\\Vellumar.exe/UPDATE_INDEX.HTM' ||
        fail "start page not navigated"
    [ -f "$drive/$program_folder/index" ] || fail "no index file beside the executable"
    click_control 1003
    wait_until 20 probe box "Browse for Folder" || fail "no folder browser"
    browse_to Home Down Right photos
    press_browser_ok
    wait_until 120 box_shows Vellumar 'Folder C:\photos\ has been added to the search index' ||
        fail "no completion message"
    press_key '^Vellumar$' Return
    wait_until 10 dialog_is c1003_text "Add Folder to Index" || fail "add button reads '$(val c1003_text)'"
    page_navigated 'C:\\Program Files\\Vellumar Photo Tools/add.htm' || fail "add.htm not navigated"
    ls "$drive/$program_folder/thumbs" | grep -q . || fail "no thumbnails beside the executable"
    say "pages, index and thumbnails in '$program_folder'"
}

# An optical drive D: and a network drive N:, declared in the prefix (Wine reads the drive types when
# its server starts).
declare_drives() {
    mkdir -p "$work/cdrom/disc" "$work/share/folder"
    wine reg add 'HKLM\Software\Wine\Drives' /v d: /d cdrom /f </dev/null >/dev/null 2>&1
    wine reg add 'HKLM\Software\Wine\Drives' /v n: /d network /f </dev/null >/dev/null 2>&1
    end_server
    ln -s "$work/cdrom" "$WINEPREFIX/dosdevices/d:"
    ln -s "$work/share" "$WINEPREFIX/dosdevices/n:"
}

# refused_choice WHAT TEXT KEY...: the folder browser, walked by KEYs, is answered by OK; the choice is
# refused with TEXT under "Invalid folder" and the dialog stays idle.
refused_choice() {
    what=$1
    text=$2
    shift 2
    click_control 1003
    wait_until 20 probe box "Browse for Folder" || fail "no folder browser for $what"
    browse_to "$@"
    shot "browse-$what"
    press_browser_ok
    wait_until 15 box_shows "Invalid folder" "$text" || fail "$what: no message '$text'"
    shot "refused-$what"
    probe child "Invalid folder" Button OK || fail "$what: no OK button in the message"
    xdotool mousemove --window "$(window_id "Invalid folder")" "$(val cx)" "$(val cy)" click 1
    # The box is modal: the dialog takes clicks again once it is enabled.
    wait_until 10 dialog_is enabled 1 || fail "$what: the dialog stayed disabled"
    [ "$(val c1003_text)" = "Add Folder to Index" ] || fail "$what: add button reads '$(val c1003_text)'"
    probe dialog
    [ "$(val c1002_enabled)" = 1 ] || fail "$what: a job started"
    [ "$(val c1004_visible)" = 0 ] || fail "$what: background button shown"
    say "$what refused: $text"
}

# The folder browser's choices that are not folders of a fixed disk start nothing.
check_browse_refusals() {
    make_prefix
    declare_drives
    start_first
    # "My Computer" has no file-system path: the browser itself does not let it be chosen.
    click_control 1003
    wait_until 20 probe box "Browse for Folder" || fail "no folder browser"
    browse_to Home
    shot browse-my-computer
    probe child "Browse for Folder" Button OK || fail "no OK button"
    [ "$(val enabled)" = 0 ] || fail "My Computer can be chosen"
    probe child "Browse for Folder" Button Cancel || fail "no Cancel button"
    xdotool mousemove --window "$w" "$(val cx)" "$(val cy)" click 1
    wait_until 10 browser_closed || fail "the folder browser stayed"
    wait_until 10 dialog_is enabled 1 || fail "the dialog stayed disabled"
    say "My Computer cannot be chosen"
    # Below "My Computer": (C:), (D:), (N:).
    refused_choice cd-rom "Only local hard drive folders can be indexed" Home Right Down
    [ -s "$drive/vellumar/index" ] && fail "records were written"
}

# The network drive in a run of its own: under Wine a dialog does not always take the next click at
# once after a message box of it has closed.
check_browse_network() {
    make_prefix
    declare_drives
    start_first
    refused_choice network "Only local hard drive folders can be indexed" Home Right Down Down
    [ -s "$drive/vellumar/index" ] && fail "records were written"
}

case "$check" in
startup) check_startup ;;
second-copy) check_second_copy ;;
find-files) check_find_files ;;
rebuild) check_rebuild ;;
esc) check_esc ;;
add-folder) check_add_folder ;;
close) check_close ;;
tray-exit) check_tray_exit ;;
silent-end) check_silent_end ;;
lock) check_lock ;;
browse-refusals) check_browse_refusals ;;
browse-network) check_browse_network ;;
cancel-button) check_cancel_button ;;
background-complete) check_background_complete ;;
tray-show) check_tray_show ;;
find-files-second) check_find_files_second ;;
spaces) check_spaces ;;
*) fail "unknown check" ;;
esac
say "passed"
end_server
rm -rf "$WINEPREFIX"
exit 0
