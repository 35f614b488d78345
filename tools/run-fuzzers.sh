#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a bounded time; fails on the first finding.
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
    if ! (cd "$work" && TMPDIR="$work" "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=0 "$corpus" "$(seeds_for "$name")" >"$work/$name.log" 2>&1); then
        echo "fuzz: $name FOUND A PROBLEM; the end of its log:"
        tail -40 "$work/$name.log"
        status=1
    else
        grep -E '^#[0-9]+.*DONE' "$work/$name.log" | tail -1 || true
    fi
done
exit $status
