#!/bin/sh
# End-to-end run of "vellumar-cli tags" on the sample photos: output, exit status and usage errors.
# The expected lines are the same for the native and the Windows build.
#   tags.sh CLI SOURCE_DIR BUILD_DIR
set -u
cli=$1
source_dir=$2
build_dir=$3
case "$cli" in
*.exe) run() { VELLUMAR_WINEPREFIX="${VELLUMAR_WINEPREFIX:-$build_dir/wineprefix}" "$source_dir/cmake/wine-run.sh" "$cli" "$@"; } ;;
*) run() { "$cli" "$@"; } ;;
esac
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

# A missing file is reported in its line, not as a usage error.
run tags missing-file.jpg >"$work/missing.jsonl" 2>/dev/null
status=$?
[ "$status" -eq 1 ] || fail "missing file: exit status $status, expected 1"
grep -q '"file":"missing-file.jpg","loaded":false' "$work/missing.jsonl" || fail "missing file: no line for it"

# Usage errors: status 2, a message on stderr and nothing on stdout.
for args in "tags" "tags --display 12 no_packet.jpg" "tags --display x10 no_packet.jpg" \
    "tags --codepage 99999 no_packet.jpg" "tags --codepage latin1 no_packet.jpg" "tags --colour no_packet.jpg" \
    "nosuchcommand"; do
    # shellcheck disable=SC2086
    run $args >"$work/usage.out" 2>"$work/usage.err"
    status=$?
    [ "$status" -eq 2 ] || fail "'$args': exit status $status, expected 2"
    [ -s "$work/usage.err" ] || fail "'$args': no message on stderr"
    [ -s "$work/usage.out" ] && fail "'$args': wrote to stdout"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
