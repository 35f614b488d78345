#!/bin/sh
# End-to-end runs of "vellumar-cli add-folder / rebuild / search / dump" on the sample photos: exit
# statuses, output, and what lands in the home folder. The same checks hold for the native and the
# Windows build (paths are matched with either separator).
#   index_commands.sh CLI SOURCE_DIR BUILD_DIR
set -u
cli=$1
source_dir=$2
build_dir=$3
. "$source_dir/cli/tests/cli_run.sh"
work="$build_dir/cli-tests/index"
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
lines() { wc -l <"$1" | tr -d ' '; }
# The 4-byte little-endian counter of tb.idx.
counter() { od -An -tu4 "$1" | tr -d ' '; }

cp -r "$source_dir/samples/photos" pictures
samples=$(ls pictures/*.jpg | wc -l | tr -d ' ')
loadable=$((samples - 1)) # packet_missing_size.jpg does not load

# Add the sample photos to a fresh home; the texts of the legacy packet are in code page 1252.
run add-folder --home home --codepage 1252 pictures >add.out 2>add.err
status=$?
[ "$status" -eq 0 ] || fail "add-folder: exit status $status, expected 0 ($(cat add.err))"
[ -s add.out ] && fail "add-folder wrote to stdout"
[ -f home/index ] || fail "add-folder: no index in the home folder"
[ "$(counter home/tb.idx)" = "$((loadable + 1))" ] || fail "add-folder: tb.idx holds $(counter home/tb.idx)"
[ "$(ls home/thumbs | wc -l | tr -d ' ')" = "$loadable" ] || fail "add-folder: $(ls home/thumbs | wc -l) thumbnails"
[ "$(wc -c <home/thumbs/000001.tb | tr -d ' ')" -gt 30000 ] || fail "add-folder: thumbnail too small"

# Search: file names, captions and layer names, letter case ignored; one line per hit.
run search --home home --codepage 1252 lake >search.out 2>search.err
status=$?
[ "$status" -eq 0 ] || fail "search lake: exit status $status"
[ "$(lines search.out)" = 1 ] || fail "search lake: $(lines search.out) lines, expected 1"
grep -q "pictures[\\/]packet_search_words\.jpg	.*home[\\/]thumbs[\\/]0000[0-9][0-9]\.tb" search.out ||
    fail "search lake: unexpected line $(cat search.out)"
grep -q "^1 hits" search.err || fail "search lake: no hit count on stderr"
run search --home home LIGHTHOUSE >search.out 2>/dev/null
[ "$(lines search.out)" = 1 ] || fail "search LIGHTHOUSE: $(lines search.out) lines, expected 1"
run search --home home pictures >search.out 2>search.err
status=$?
[ "$status" -eq 0 ] || fail "search pictures: exit status $status"
[ -s search.out ] && fail "search pictures: a folder name matched"
grep -q "^0 hits" search.err || fail "search pictures: no count of 0 hits"
# The word café in code page 1252; Wine hands a Windows program its arguments from UTF-8.
cafe=$(printf 'caf\351')
[ "$windows" -eq 1 ] && cafe=$(printf 'caf\303\251')
run search --home home --codepage 1252 "$cafe" >search.out 2>/dev/null
[ "$(lines search.out)" = 2 ] || fail "search café in code page 1252: $(lines search.out) lines, expected 2"
# --json: the same hits as JSON Lines.
run search --home home --codepage 1252 --json "$cafe" >search.json 2>/dev/null
[ "$(grep -c '^{"path":"[^"]*\.jpg","thumbnail":"[^"]*home[\\/]*thumbs[\\/]*0000[0-9][0-9]\.tb"}$' search.json)" = 2 ] ||
    fail "search --json café: $(cat search.json)"

# Dump: every record as JSON, texts converted to UTF-8.
run dump --home home --codepage 1252 >dump.out 2>dump.err
status=$?
[ "$status" -eq 0 ] || fail "dump: exit status $status"
[ "$(lines dump.out)" = "$loadable" ] || fail "dump: $(lines dump.out) records, expected $loadable"
grep -q '"caption":"Summer at the lake","layers":\["Grandma","Lighthouse"\]}' dump.out ||
    fail "dump: no record with the sample caption and layers"
grep -q '"caption":"Dessert à la plage","layers":\["Café","Crème & jam"\]}' dump.out ||
    fail "dump: the legacy packet's texts are not UTF-8"

# Adding the same folder again replaces its records.
run add-folder --home home --codepage 1252 pictures >/dev/null 2>&1
run dump --home home >dump.out 2>/dev/null
[ "$(lines dump.out)" = "$loadable" ] || fail "add-folder twice: $(lines dump.out) records, expected $loadable"

# A rebuild over one given root starts a fresh index and thumbnail numbering.
mkdir -p disk/sub && cp pictures/no_packet.jpg disk/a.jpg && cp pictures/packet_regions.jpg disk/sub/b.JPG
run rebuild --home home --drive disk >rebuild.out 2>rebuild.err
status=$?
[ "$status" -eq 0 ] || fail "rebuild: exit status $status ($(cat rebuild.err))"
grep -q "^2 files indexed" rebuild.err || fail "rebuild: $(cat rebuild.err)"
run dump --home home >dump.out 2>/dev/null
[ "$(lines dump.out)" = 2 ] || fail "rebuild: $(lines dump.out) records, expected 2"
[ "$(counter home/tb.idx)" = 3 ] || fail "rebuild: tb.idx holds $(counter home/tb.idx), expected 3"
[ -f home/thumbs/000003.tb ] && fail "rebuild: old thumbnails were not wiped"

# A folder with a file cut short and a photo whose name code page 1252 only partly holds: the reader's
# messages are lines of their own naming the file, and the name is found by the part that converts.
mkdir -p odd
printf '\377\330\377\351\001\000<rdf' >odd/cut.jpg
text=$(printf '<rdf:RDF><rdf:Description><nto:size_x>1</nto:size_x><nto:size_y>1</nto:size_y><nto:layer>')
text="$text$(printf '<a><nto:name>Caf\303\251 \346\227\245\346\234\254</nto:name><nto:pos_x>1</nto:pos_x>')"
text="$text$(printf '<nto:pos_y>1</nto:pos_y></a></nto:layer><nto:version>2</nto:version></rdf:Description></rdf:RDF>')"
length=$(($(printf '%s' "$text" | wc -c) + 2))
{
    printf '\377\330\377\351'
    printf "\\$(printf '%03o' $((length / 256)))\\$(printf '%03o' $((length % 256)))"
    printf '%s' "$text"
    printf '\377\332\000\010\001\001\000\000\077\000\022\064'
} >odd/japanese.jpg
# (Natively also a name with a line break and an escape character, which the output escapes.)
[ "$windows" -eq 0 ] && cp pictures/no_packet.jpg "$(printf 'odd/line\nbreak\033.jpg')"
run add-folder --home odd-home --codepage 1252 odd >out 2>odd.err
tr -d '\r' <odd.err >odd.txt
[ "$(grep -c '^vellumar-cli add-folder: .*odd[\\/]cut\.jpg: ' odd.txt)" -eq 2 ] ||
    fail "add-folder: the reader's messages are not one line each naming the file: $(cat odd.txt)"
run search --home odd-home --codepage 1252 "$cafe" >search.out 2>/dev/null
grep -q "japanese\.jpg" search.out || fail "search café: a name with characters that 1252 lacks is not found"
if [ "$windows" -eq 0 ]; then
    run search --home odd-home break >search.out 2>/dev/null
    [ "$(lines search.out)" = 1 ] && grep -q 'odd/line\\nbreak\\x1B\.jpg	' search.out ||
        fail "search: a name with control characters is not escaped: $(cat search.out)"
    run search --home odd-home --json break >search.json 2>/dev/null
    grep -q 'odd/line\\nbreak\\u001b\.jpg",' search.json || fail "search --json: $(cat search.json)"
fi

# A duplicate root is walked once.
run rebuild --home home --drive disk --drive disk/ --drive "$(pwd)/disk" >rebuild.out 2>rebuild.err
grep -q "^2 files indexed" rebuild.err || fail "rebuild with a root given three times: $(cat rebuild.err)"

# A missing folder is a usage error, found before anything is touched: the index, the thumbnails and
# the home folder stay as they are.
cp home/index index.before
run add-folder --home home pictures/no-such-folder >out 2>err
[ $? -eq 2 ] || fail "add-folder of a missing folder: expected exit status 2"
grep -q "no-such-folder" err || fail "add-folder of a missing folder: the message does not name it"
run add-folder --home new-home pictures/no-such-folder >out 2>err
[ -e new-home ] && fail "add-folder of a missing folder created the home folder"
run add-folder --home home pictures/no_packet.jpg >out 2>err
[ $? -eq 2 ] || fail "add-folder of a file: expected exit status 2"
run rebuild --home home --drive disk --drive no-such-root >out 2>err
[ $? -eq 2 ] || fail "rebuild with a missing root: expected exit status 2"
grep -q "no-such-root" err || fail "rebuild with a missing root: the message does not name it"
cmp -s home/index index.before || fail "rebuild with a missing root changed the index"
[ -f home/thumbs/000001.tb ] && [ -f home/thumbs/000002.tb ] || fail "rebuild with a missing root wiped thumbnails"
# A home whose thumbnail paths would not fit a record (260 bytes) is refused before it is made.
long=$(printf 'h%.0s' $(seq 1 260))
run add-folder --home "$long" pictures >out 2>err
[ $? -eq 2 ] || fail "add-folder with a home of 260 characters: expected exit status 2"
grep -q "too long" err || fail "add-folder with a home of 260 characters: $(cat err)"
[ -e "$long" ] && fail "add-folder with a home of 260 characters created it"

# Failures: exit status 1 and a message naming what failed.
touch not-a-folder
run add-folder --home not-a-folder pictures >out 2>err
[ $? -eq 1 ] || fail "add-folder with an unusable home: expected exit status 1"
grep -q "not-a-folder" err || fail "add-folder with an unusable home: the message does not name it"
mkdir empty-home
for command in search dump; do
    if [ "$command" = search ]; then set -- x; else set --; fi
    run "$command" --home empty-home "$@" >out 2>err
    [ $? -eq 1 ] || fail "$command without an index: expected exit status 1"
    [ -f empty-home/index ] && fail "$command created an index"
    run "$command" --home no-such-home "$@" >out 2>err
    [ $? -eq 1 ] || fail "$command with a missing home: expected exit status 1"
    [ -e no-such-home ] && fail "$command created its home folder"
done

# Usage errors: status 2, a message on stderr and nothing on stdout.
for args in "add-folder" "add-folder a b" "add-folder --bogus x" "rebuild extra" "rebuild --drive" \
    "search" "search a b" "dump extra" "dump --codepage 99999" "add-folder --decoders 0 pictures" \
    "rebuild --decoders many"; do
    # shellcheck disable=SC2086
    run $args >usage.out 2>usage.err
    status=$?
    [ "$status" -eq 2 ] || fail "'$args': exit status $status, expected 2"
    [ -s usage.err ] || fail "'$args': no message on stderr"
    [ -s usage.out ] && fail "'$args': wrote to stdout"
done
run add-folder --home usage-home >/dev/null 2>&1
run rebuild --home usage-home extra >/dev/null 2>&1
[ -e usage-home ] && fail "a usage error created the home folder"

# Ctrl-C cancels the job, closes the index and ends with 130 (native: signals do not cross into Wine).
if [ "$windows" -eq 0 ]; then
    mkdir -p many
    i=0
    while [ $i -lt 3000 ]; do
        ln pictures/packet_regions.jpg many/p$i.jpg 2>/dev/null || cp pictures/packet_regions.jpg many/p$i.jpg
        i=$((i + 1))
    done
    rm -rf home2
    "$cli" add-folder --home home2 many >/dev/null 2>interrupt.err &
    pid=$!
    tries=0
    while [ ! -s home2/index ] && [ $tries -lt 500 ]; do
        sleep 0.02
        tries=$((tries + 1))
    done
    kill -INT $pid
    wait $pid
    status=$?
    [ "$status" -eq 130 ] || fail "Ctrl-C: exit status $status, expected 130"
    grep -q "interrupted" interrupt.err || fail "Ctrl-C: no word of the interruption"
    "$cli" dump --home home2 >dump.out 2>/dev/null || fail "Ctrl-C: the index cannot be read"
    records=$(lines dump.out)
    [ "$records" -gt 0 ] && [ "$records" -lt 3000 ] || fail "Ctrl-C: $records records, expected some but not all"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
