#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time; fails on the first finding. A finding is
# also an input that takes more than a second or makes the process hold more than 256 MB: no file may
# cost that much to read, however it was made.
#   tools/run-fuzzers.sh BUILD_DIR [SECONDS_PER_TARGET]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:?usage: run-fuzzers.sh BUILD_DIR [SECONDS]}" && pwd)
seconds=${2:-30}
work="$build/fuzz-work"
mkdir -p "$work"

seeds_for() {
    case "$1" in
    fuzz_xml_document) echo "$root/fuzz/corpus/xml" ;;
    *) echo "$root/samples/photos" ;;
    esac
}

status=0
for fuzzer in "$build"/bin/fuzz_*; do
    [ -x "$fuzzer" ] || continue
    name=$(basename "$fuzzer")
    corpus="$work/$name"
    mkdir -p "$corpus"
    echo "fuzz: $name for ${seconds}s"
    # AddressSanitizer keeps up to 256 MB of freed memory by default: a smaller quarantine leaves the
    # limit to what a load itself holds.
    if ! (cd "$work" && TMPDIR="$work" ASAN_OPTIONS="quarantine_size_mb=32${ASAN_OPTIONS:+:$ASAN_OPTIONS}" \
        "$fuzzer" -max_total_time="$seconds" -timeout=1 -rss_limit_mb=256 -malloc_limit_mb=256 \
        -print_final_stats=0 "$corpus" "$(seeds_for "$name")" >"$work/$name.log" 2>&1); then
        echo "fuzz: $name FOUND A PROBLEM; the end of its log:"
        tail -40 "$work/$name.log"
        status=1
    else
        grep -E '^#[0-9]+.*DONE' "$work/$name.log" | tail -1 || true
    fi
done
exit $status
