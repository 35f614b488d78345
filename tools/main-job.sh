#!/usr/bin/env bash
# The main job on the sample photos kept in the repository: installs what is missing, builds vellumar-cli
# (native release), shows the tags of every sample photo, adds the photo folder to a search index in a
# fresh home folder and searches it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/install-deps.sh native
cmake --preset release >/dev/null
cmake --build --preset release --target vellumar-cli -- -j2
cli="$root/build/release/bin/vellumar-cli"

# The legacy sample photo has its names in Windows-1252.
codepage=1252

echo "== Tags of the sample photos (one JSON object per photo)"
set +e
"$cli" tags --codepage "$codepage" samples/photos/*.jpg
status=$?
set -e
# 1 means that some photo did not load; the samples include unreadable ones on purpose.
[ "$status" -le 1 ] || exit "$status"

home="$root/build/main-job-home"
rm -rf "$home"
mkdir -p "$home"
echo
echo "== Adding samples/photos to a fresh index in $home"
"$cli" add-folder --home "$home" --codepage "$codepage" samples/photos

for word in lake grandma "caf\xe9"; do
    word=$(printf '%b' "$word")
    echo
    echo "== Search for '$(printf '%s' "$word" | iconv -f CP1252 -t UTF-8)' (path, tab, thumbnail)"
    "$cli" search --home "$home" --codepage "$codepage" "$word"
done

echo
echo "== The index, record by record"
"$cli" dump --home "$home" --codepage "$codepage"
