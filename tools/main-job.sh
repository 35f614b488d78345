#!/usr/bin/env bash
# The main job on the sample photos kept in the repository: installs what is missing, builds vellumar-cli
# (native release) and shows the tags of every sample photo.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/install-deps.sh native
cmake --preset release >/dev/null
cmake --build --preset release --target vellumar-cli -- -j2
cli="$root/build/release/bin/vellumar-cli"

echo "== Tags of the sample photos (one JSON object per photo)"
set +e
"$cli" tags samples/photos/*.jpg
status=$?
set -e
# 1 means that some photo did not load; the samples include unreadable ones on purpose.
[ "$status" -le 1 ] || exit "$status"
