#!/bin/sh
# What the index and the thumbnail cache survive: damaged and cut-short indexes, adding a folder again,
# two writers on one home with a reader beside them, a "thumbs" that is a file; natively also FIFOs named
# like photos, add-folder killed at random moments, and a full disk.
#   index_safety.sh CLI SOURCE_DIR BUILD_DIR
set -u
cli=$1
source_dir=$2
build_dir=$3
. "$source_dir/cli/tests/cli_run.sh"
work="$build_dir/cli-tests/safety"
# A tmpfs may be left mounted by an interrupted run.
umount "$work/full" 2>/dev/null
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
lines() { wc -l <"$1" | tr -d ' '; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Paths and thumbnail paths of the records in a dump, one per line.
paths_of() { sed -n 's/^{"path":"\([^"]*\)".*/\1/p' "$1"; }
thumbnails_of() { sed -n 's/.*"thumbnail":"\([^"]*\)".*/\1/p' "$1"; }
# Every thumbnail a dump names: named once, there, 40054 bytes (32 bits per pixel). Windows paths are
# read through the Z: drive.
check_thumbnails() {
    thumbnails_of "$1" >thumbs.list
    [ -s thumbs.list ] || return 0
    dup=$(sort thumbs.list | uniq -d | head -n 1)
    [ -z "$dup" ] || fail "$2: thumbnail $dup is named twice"
    if [ "$windows" -eq 1 ]; then
        sed -e 's/^Z://' -e 's/\\\\/\//g' thumbs.list >thumbs.host
    else
        cp thumbs.list thumbs.host
    fi
    sizes=$(tr '\n' '\0' <thumbs.host | xargs -0 stat -c %s 2>&1 | sort -u | tr '\n' ' ')
    [ "$sizes" = "40054 " ] || [ "$windows" -eq 1 ] || fail "$2: thumbnail sizes $sizes"
    [ "$windows" -eq 0 ] || tr '\n' '\0' <thumbs.host | xargs -0 stat -c %s >/dev/null 2>&1 ||
        fail "$2: a named thumbnail is missing"
}
# sets FOLDER COUNT: COUNT subfolders of FOLDER, each with links to the 12 sample photos.
sets() {
    mkdir -p "$1"
    set=0
    while [ $set -lt "$2" ]; do
        cp -al pictures "$1/s$set" 2>/dev/null || cp -r pictures "$1/s$set"
        set=$((set + 1))
    done
}
# One pass over a dump (DUMP EXPECTED): a line for each record there twice, each thumbnail named twice
# and each path of the file EXPECTED without a record; the thumbnails go to thumbs.list.
check_dump() {
    awk -v expected="$2" '
        BEGIN { while ((getline line < expected) > 0) wanted[line] = 1 }
        {
            match($0, /^\{"path":"[^"]*"/); path = substr($0, 10, RLENGTH - 10)
            match($0, /"thumbnail":"[^"]*"/); thumbnail = substr($0, RSTART + 13, RLENGTH - 14)
            if (seen[path]++) print "a record twice: " path
            if (thumbnail != "" && named[thumbnail]++) print "a thumbnail named twice: " thumbnail
            if (thumbnail != "") print thumbnail > "thumbs.list"
            delete wanted[path]
        }
        END { for (path in wanted) print "a record lost or hidden: " path }' "$1"
}
part() { echo "[$(($(now_ms) - started)) ms] $*"; }

started=$(now_ms)
cp -r "$source_dir/samples/photos" pictures
loadable=$(($(ls pictures/*.jpg | wc -l) - 1)) # packet_missing_size.jpg does not load
mkdir more && cp pictures/no_packet.jpg more/m1.jpg && cp pictures/packet_regions.jpg more/m2.jpg

part "a damaged index is kept, and new records stay readable"
run add-folder --home damaged pictures >/dev/null 2>&1 || fail "add-folder: failed"
# 100 stray bytes before the records: readers cannot read any of them, and say so.
head -c 100 /dev/zero | tr '\0' '\001' >damaged.index
cat damaged/index >>damaged.index
cp damaged.index damaged/index
run dump --home damaged >dump.out 2>dump.err
[ $? -eq 0 ] || fail "dump of a damaged index: exit status not 0"
[ -s dump.out ] && fail "dump of a damaged index: printed records"
grep -q "warning: the index is damaged at byte 0" dump.err || fail "dump of a damaged index: $(cat dump.err)"
run search --home damaged "" >search.out 2>search.err
grep -q "warning: the index is damaged at byte 0" search.err || fail "search of a damaged index: $(cat search.err)"
run add-folder --home damaged more >add.out 2>add.err
[ $? -eq 0 ] || fail "add-folder over a damaged index: exit status not 0 ($(cat add.err))"
grep -q "Index Warning: Part of the search index could not be read" add.err ||
    fail "add-folder over a damaged index: no warning ($(cat add.err))"
cmp -s damaged/index.damaged damaged.index || fail "add-folder over a damaged index: the old index was not kept"
run dump --home damaged >dump.out 2>dump.err
[ "$(lines dump.out)" = 2 ] || fail "add-folder over a damaged index: $(lines dump.out) records, expected 2"
[ -s dump.err ] && fail "add-folder over a damaged index: dump still warns ($(cat dump.err))"

part "a cut-short last record is left out without a copy"
# What a job killed between a record's path and its thumbnail leaves: a path and nothing more.
printf '\005\000\000\000x.jpg' >>damaged/index
rm damaged/index.damaged
run dump --home damaged >dump.out 2>dump.err
grep -q "warning: the index of .* bytes ends in an incomplete record" dump.err ||
    fail "dump of a cut-short index: $(cat dump.err)"
run add-folder --home damaged pictures >add.out 2>add.err
[ $? -eq 0 ] || fail "add-folder over a cut-short index: exit status not 0 ($(cat add.err))"
[ -e damaged/index.damaged ] && fail "add-folder over a cut-short index kept a damaged copy"
run dump --home damaged >dump.out 2>dump.err
[ "$(lines dump.out)" = $((loadable + 2)) ] || fail "after a cut-short index: $(lines dump.out) records"
[ -s dump.err ] && fail "after a cut-short index: dump warns ($(cat dump.err))"

part "adding a folder again takes its old thumbnails with it"
for round in 1 2 3; do
    run add-folder --home again pictures >/dev/null 2>&1
done
run dump --home again >dump.out 2>/dev/null
[ "$(ls again/thumbs | wc -l | tr -d ' ')" = "$loadable" ] ||
    fail "adding a folder three times: $(ls again/thumbs | wc -l) thumbnails for $(lines dump.out) records"
check_thumbnails dump.out "adding a folder three times"

part "a thumbs that is a file"
mkdir file-thumbs && : >file-thumbs/thumbs
run add-folder --home file-thumbs pictures >add.out 2>add.err
[ $? -eq 1 ] || fail "thumbs is a file: exit status not 1"
grep -q "Cannot create the thumbnail folder" add.err || fail "thumbs is a file: $(cat add.err)"
run dump --home file-thumbs >dump.out 2>/dev/null
[ -s dump.out ] && fail "thumbs is a file: records without thumbnails"

part "two writers and a reader on one home"
# The process and everything it started (under Wine: the shell of wine-run.sh, then Wine's process).
family() {
    echo "$1"
    for child in $(ps -o pid= --ppid "$1"); do
        family "$child"
    done
}
sets many 10
run add-folder --home two more >/dev/null 2>&1 || fail "add-folder more: failed"
before=$(wc -c <two/index)
run add-folder --home two many >first.out 2>first.err &
first=$!
tries=0
# The first writer takes the lock before it writes: a record beyond those of "more" means it holds it.
# It is stopped there, so that the second writer certainly comes while it runs. It runs only in short
# steps between looks, so that on a fast build it cannot finish between a look and the stop.
while :; do
    stopped=$(family $first)
    kill -STOP $stopped 2>/dev/null
    [ "$(wc -c <two/index)" -gt "$before" ] || [ $tries -ge 3000 ] && break
    kill -CONT $stopped 2>/dev/null
    sleep 0.01
    tries=$((tries + 1))
done
run add-folder --home two pictures >second.out 2>second.err
second=$?
[ $second -eq 1 ] || fail "second writer: exit status $second, expected 1"
grep -q "Another program is updating the search index in" second.err || fail "second writer: $(cat second.err)"
run rebuild --home two --drive pictures >second.out 2>second.err
[ $? -eq 1 ] || fail "second writer (rebuild): exit status not 1"
# A reader meanwhile: every record of "more" and none cut in two.
run dump --home two >dump.out 2>dump.err
[ $? -eq 0 ] || fail "reader during a write: exit status not 0"
grep -c '"path":".*more[\\/][\\/]*m[12]\.jpg"' dump.out | grep -qx 2 || fail "reader during a write: records of more missing"
kill -CONT $stopped 2>/dev/null
readers=0
while kill -0 $first 2>/dev/null && [ $readers -lt 5 ]; do
    run dump --home two >dump.out 2>dump.err || fail "reader during a write: dump failed"
    grep -c '"path":".*more[\\/][\\/]*m[12]\.jpg"' dump.out | grep -qx 2 ||
        fail "reader during a write: records of more missing"
    readers=$((readers + 1))
done
wait $first
[ $? -eq 0 ] || fail "first writer: exit status not 0 ($(cat first.err))"
run dump --home two >dump.out 2>/dev/null
expected=$((120 / 12 * loadable + 2))
[ "$(lines dump.out)" = $expected ] || fail "two writers: $(lines dump.out) records, expected $expected"
check_thumbnails dump.out "two writers"

if [ "$windows" -eq 1 ]; then
    echo "SKIP FIFOs, kills and a full disk: native only"
else
    part "FIFOs named like photos"
    mkdir fifos && mkfifo fifos/x.jpg && cp pictures/no_packet.jpg fifos/real.jpg
    timeout 60 "$cli" add-folder --home fifo-home fifos >add.out 2>add.err
    [ $? -eq 0 ] || fail "add-folder with a FIFO: exit status not 0 ($(cat add.err))"
    "$cli" dump --home fifo-home >dump.out 2>/dev/null
    [ "$(lines dump.out)" = 1 ] || fail "add-folder with a FIFO: $(lines dump.out) records, expected 1"
    timeout 60 "$cli" rebuild --home fifo-home --drive fifos >/dev/null 2>&1 || fail "rebuild with a FIFO failed"
    timeout 10 "$cli" tags fifos/x.jpg >tags.out 2>tags.err
    [ $? -eq 1 ] || fail "tags of a FIFO: exit status not 1"
    grep -q "not a regular file" tags.err || fail "tags of a FIFO: $(cat tags.err)"
    grep -q '"loaded":false' tags.out || fail "tags of a FIFO: $(cat tags.out)"
    timeout 10 "$cli" overlay fifos/x.jpg >overlay.out 2>overlay.err
    grep -q "x.jpg	no" overlay.out || fail "overlay of a FIFO: $(cat overlay.out)"

    part "add-folder killed at 30 random moments"
    mkdir -p kill/base
    for sample in $(ls pictures/*.jpg | head -n 6); do # the first six samples all load
        ln "$sample" kill/base/ 2>/dev/null || cp "$sample" kill/base/
    done
    "$cli" add-folder --home kill/home kill/base >/dev/null 2>&1 || fail "crash test: the first add-folder failed"
    begin=$(now_ms)
    "$cli" add-folder --home kill/probe kill/base >/dev/null 2>&1
    span=$(($(now_ms) - begin))
    ls "$work"/kill/base/*.jpg >kill/expected
    moments=$(awk -v span="$span" 'BEGIN { srand(20261208); for (i = 0; i < 30; i++) printf "%.3f\n", rand() * span / 1000 }')
    i=0
    for moment in $moments; do
        cp -al kill/base kill/k$i && cp -al kill/base kill/c$i
        "$cli" add-folder --home kill/home kill/k$i >/dev/null 2>&1 &
        victim=$!
        sleep "$moment"
        kill -9 $victim 2>/dev/null
        wait $victim 2>/dev/null
        timeout 60 "$cli" add-folder --home kill/home kill/c$i >add.out 2>add.err ||
            fail "kill $i at $moment s: the next add-folder failed ($(cat add.err))"
        ls "$work"/kill/c$i/*.jpg >>kill/expected
        "$cli" dump --home kill/home >dump.out 2>dump.err || fail "kill $i: dump failed"
        [ -s dump.err ] && fail "kill $i at $moment s: dump warns ($(cat dump.err))"
        rm -f thumbs.list
        check_dump dump.out kill/expected >kill/problems
        [ -s kill/problems ] && fail "kill $i at $moment s: $(head -n 3 kill/problems)"
        sizes=$(tr '\n' '\0' <thumbs.list | xargs -0 stat -c %s | sort -u | tr '\n' ' ')
        [ "$sizes" = "40054 " ] || fail "kill $i at $moment s: thumbnails of $sizes bytes"
        [ -e kill/home/index.damaged ] && fail "kill $i at $moment s: a stopped job counted as damage"
        i=$((i + 1))
    done
    "$cli" search --home kill/home "" >search.out 2>/dev/null
    [ "$(lines search.out)" = "$(lines dump.out)" ] || fail "crash test: search and dump disagree"
    # A killed folder added again holds each of its files once.
    "$cli" add-folder --home kill/home kill/k3 >/dev/null 2>&1 || fail "crash test: adding k3 again failed"
    "$cli" dump --home kill/home >dump.out 2>/dev/null
    [ "$(paths_of dump.out | grep -c '/kill/k3/')" = 6 ] || fail "crash test: k3 added again has not 6 records"
    check_thumbnails dump.out "crash test, k3 added again"
    part "crash test: 30 kills spread over ${span} ms runs"

    part "a full disk"
    mkdir full
    if [ "$(id -u)" -eq 0 ] && mount -t tmpfs -o size=200k tmpfs full 2>/dev/null; then
        trap 'umount "$work/full" 2>/dev/null' EXIT
        sets full-pictures 25
        timeout 120 "$cli" add-folder --home full/home full-pictures >add.out 2>add.err
        [ $? -eq 1 ] || fail "full disk: exit status not 1"
        grep -q "Failed to index file" add.err || fail "full disk: $(cat add.err)"
        grep -q "files processed" add.err && fail "full disk: reported as processed"
        "$cli" dump --home full/home >dump.out 2>dump.err || fail "full disk: dump failed"
        [ -s dump.err ] && fail "full disk: dump warns ($(cat dump.err))"
        [ "$(lines dump.out)" -gt 0 ] || fail "full disk: no record at all"
        check_thumbnails dump.out "full disk"
        # Nothing partial is left in the cache either.
        sizes=$(find full/home/thumbs -type f -exec stat -c %s {} + | sort -u | tr '\n' ' ')
        [ "$sizes" = "40054 " ] || fail "full disk: thumbnail files of $sizes bytes"
        [ "$(ls full/home/thumbs | wc -l | tr -d ' ')" = "$(lines dump.out)" ] || fail "full disk: stray thumbnails"
        cp full/home/index full.index
        # Another folder: its records find no room, and the index stays as it was.
        timeout 120 "$cli" add-folder --home full/home more >add.out 2>add.err
        [ $? -eq 1 ] || fail "full disk, another folder: exit status not 1"
        cmp -s full/home/index full.index || fail "full disk, another folder: the index changed"
        umount full
        trap - EXIT
    else
        echo "SKIP full disk: a tmpfs cannot be mounted here"
    fi
fi
part "done"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
