#!/bin/sh
# End-to-end run of "vellumar-cli tags" on the sample photos: output, exit status and usage errors.
# The expected lines are the same for the native and the Windows build.
#   tags.sh CLI SOURCE_DIR BUILD_DIR
set -u
cli=$1
source_dir=$2
build_dir=$3
. "$source_dir/cli/tests/cli_run.sh"
expected="$source_dir/cli/tests/data"
work="$build_dir/cli-tests/tags"
rm -rf "$work" && mkdir -p "$work"
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

cd "$source_dir/samples/photos" || exit 1

# Every sample photo, in name order; one of them does not load, so the status is 1.
run tags --codepage 1252 $(ls *.jpg | LC_ALL=C sort) >"$work/all.jsonl" 2>"$work/all.err"
status=$?
[ "$status" -eq 1 ] || fail "tags on all samples: exit status $status, expected 1"
cmp -s "$work/all.jsonl" "$expected/tags-samples.jsonl" || {
    fail "tags on all samples: output differs from cli/tests/data/tags-samples.jsonl"
    diff "$work/all.jsonl" "$expected/tags-samples.jsonl" | head -20
}

# Positions scaled to a display size; every file loads, so the status is 0.
run tags --codepage=1252 --display 160x480 packet_search_words.jpg packet_regions.jpg >"$work/display.jsonl"
status=$?
[ "$status" -eq 0 ] || fail "tags --display: exit status $status, expected 0"
cmp -s "$work/display.jsonl" "$expected/tags-display.jsonl" || {
    fail "tags --display: output differs from cli/tests/data/tags-display.jsonl"
    diff "$work/display.jsonl" "$expected/tags-display.jsonl" | head -20
}

# A missing file is reported in its line, not as a usage error, and on stderr in one line naming it.
run tags missing-file.jpg >"$work/missing.jsonl" 2>"$work/missing.err"
status=$?
[ "$status" -eq 1 ] || fail "missing file: exit status $status, expected 1"
grep -q '"file":"missing-file.jpg","loaded":false' "$work/missing.jsonl" || fail "missing file: no line for it"
tr -d '\r' <"$work/missing.err" >"$work/missing.txt"
[ "$(wc -l <"$work/missing.txt")" -eq 1 ] && grep -q '^vellumar-cli tags: missing-file.jpg: cannot open' "$work/missing.txt" ||
    fail "missing file: stderr is not one line naming it: $(cat "$work/missing.txt")"

# Usage errors: status 2, a message on stderr and nothing on stdout.
for args in "tags" "tags --display 12 no_packet.jpg" "tags --display x10 no_packet.jpg" \
    "tags --codepage 99999 no_packet.jpg" "tags --codepage latin1 no_packet.jpg" "tags --colour no_packet.jpg" \
    "tags -x no_packet.jpg" "nosuchcommand"; do
    # shellcheck disable=SC2086
    run $args >"$work/usage.out" 2>"$work/usage.err"
    status=$?
    [ "$status" -eq 2 ] || fail "'$args': exit status $status, expected 2"
    [ -s "$work/usage.err" ] || fail "'$args': no message on stderr"
    [ -s "$work/usage.out" ] && fail "'$args': wrote to stdout"
done

# --help on the tool and on a command, and --version: status 0 and the text on stdout.
for args in "--help" "tags --help" "overlay --help" "--version"; do
    # shellcheck disable=SC2086
    run $args >"$work/help.out" 2>"$work/help.err"
    status=$?
    [ "$status" -eq 0 ] || fail "'$args': exit status $status, expected 0"
    [ -s "$work/help.out" ] || fail "'$args': nothing on stdout"
done
run tags --help | grep -q -- "--display WxH" || fail "tags --help does not describe --display"
run --version | tr -d '\r' | grep -qx "vellumar-cli [0-9.]*" || fail "--version: $(run --version)"

# Photos made here, byte by byte.
cd "$work" || exit 1
byte() { printf "\\$(printf '%03o' "$1")"; }
# segment MARKER FILE: 0xFF, the marker, the big-endian length (counting itself), the payload.
segment() {
    length=$(($(wc -c <"$2") + 2))
    byte 255
    byte "$1"
    byte $((length / 256))
    byte $((length % 256))
    cat "$2"
}
# photo FILE [SEGMENT_FILE...]: start of image, APP9 segments from the files, a scan and a little data.
photo() {
    out=$1
    shift
    byte 255 >"$out" && byte 216 >>"$out"
    for payload in "$@"; do
        segment 233 "$payload" >>"$out"
    done
    printf '\001\001\000\000\077\000' >scan.bin
    segment 218 scan.bin >>"$out"
    printf '\022\064' >>"$out"
}
# packet FILE VERSION_ELEMENT NAME...: a packet with one layer per name.
packet() {
    out=$1
    version=$2
    shift 2
    printf '<rdf:RDF><rdf:Description><nto:size_x>10</nto:size_x><nto:size_y>10</nto:size_y>' >"$out"
    printf '<nto:layer rdf:parseType="Collection">' >>"$out"
    for name in "$@"; do
        printf '<rdf:li><nto:name>%s</nto:name><nto:pos_x>1</nto:pos_x><nto:pos_y>2</nto:pos_y></rdf:li>' \
            "$name" >>"$out"
    done
    printf '</nto:layer>%s</rdf:Description></rdf:RDF>' "$version" >>"$out"
}
v2='<nto:version>2</nto:version>'

# A file cut inside a segment: each of the reader's messages is a line of its own naming the file.
byte 255 >cut.jpg && byte 216 >>cut.jpg && printf '\377\351\001\000<rdf' >>cut.jpg
run tags cut.jpg >/dev/null 2>cut.err
tr -d '\r' <cut.err >cut.txt
[ "$(grep -c '^vellumar-cli tags: cut.jpg: ' cut.txt)" -eq 2 ] && [ "$(wc -l <cut.txt)" -eq 2 ] ||
    fail "cut file: stderr is not one line per message naming the file: $(cat cut.txt)"

# Twelve APP2 chunks (a split colour profile) beside the usual segments of a camera photo (Exif,
# tables, frame header) do not keep the tags from loading.
packet p.xml "$v2" Lighthouse
printf 'ICC_PROFILE' >icc.bin
printf 'Exif\000\000' >exif.bin
printf 'table' >table.bin
{
    byte 255 && byte 216
    segment 225 exif.bin
    for i in 1 2 3 4 5 6 7 8 9 10 11 12; do segment 226 icc.bin; done
    segment 233 p.xml
    for marker in 219 219 192 196 196 196 196; do segment $marker table.bin; done
    printf '\001\001\000\000\077\000' >scan.bin && segment 218 scan.bin
} >icc.jpg
run tags icc.jpg >icc.jsonl 2>/dev/null || fail "twelve APP2 chunks: exit status $?, expected 0"
grep -q '"loaded":true.*"name":"Lighthouse"' icc.jsonl || fail "twelve APP2 chunks: tags not read: $(cat icc.jsonl)"

# A character the code page lacks becomes "?"; the rest of the name stays.
packet p.xml "$v2" "$(printf 'Caf\303\251 \346\227\245\346\234\254')"
photo japanese.jpg p.xml
run tags --codepage 1252 japanese.jpg >japanese.jsonl 2>/dev/null
grep -qF "\"name\":\"$(printf 'Caf\303\251 ??')\"" japanese.jsonl ||
    fail "unmappable characters: name not \"Caf\303\251 ??\": $(cat japanese.jsonl)"

# A legacy packet's names survive the upgrade, a "<" and backslashes included.
packet p.xml "" "$(printf 'Caf\351')" 'a\\b c\<d'
photo legacy.jpg p.xml
run tags --codepage 1252 legacy.jpg >legacy.jsonl 2>/dev/null
grep -qF "\"layerCount\":2,\"layers\":[{\"x\":1,\"y\":2,\"name\":\"$(printf 'Caf\303\251')\"" legacy.jsonl &&
    grep -qF '"name":"a\\b c<d"' legacy.jsonl || fail "legacy packet: names lost: $(cat legacy.jsonl)"

# Bytes that are not UTF-8 (beyond U+10FFFF, a lead byte F5) become U+FFFD in every field.
packet p.xml "$v2" "$(printf 'x\364\220\200\200\365y')"
photo invalid.jpg p.xml
run tags --codepage 65001 invalid.jpg >invalid.jsonl 2>/dev/null
fffd=$(printf '\357\277\275')
grep -qF "\"name\":\"x$fffd$fffd$fffd$fffd${fffd}y\"" invalid.jsonl ||
    fail "invalid UTF-8: name not replaced: $(cat invalid.jsonl)"
LC_ALL=C grep -q "$(printf '[\364\365]')" invalid.jsonl && fail "invalid UTF-8: raw bytes in the output"

# overlay keeps a name with control characters on its one line, escaped (Windows names cannot hold them).
if [ "$windows" -eq 0 ]; then
    odd=$(printf 'new\nline\t\033.jpg')
    cp japanese.jpg "$odd"
    run overlay "$odd" >overlay.out
    [ "$(cat overlay.out)" = "$(printf '%s\t%s' 'new\nline\t\x1B.jpg' yes)" ] ||
        fail "overlay of a name with control characters: $(od -c overlay.out | head -3)"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
