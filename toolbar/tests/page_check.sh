#!/bin/sh
# Runs the page model's checks under Wine against download_server.py, which serves well-behaved and
# hostile images on 127.0.0.1 and ends by itself; it is stopped here as soon as the checks are done.
#   page_check.sh toolbar_page_tests.exe download_server.py PHOTO
set -u
program=$1
server=$2
photo=$3
cmake_dir=$(cd "$(dirname "$0")/../../cmake" && pwd)

port_file=$(mktemp)
python3 "$server" --photo "$photo" --lifetime 240 >"$port_file" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null; rm -f "$port_file"' EXIT

tries=0
while ! grep -q . "$port_file" && [ "$tries" -lt 300 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
port=$(head -n 1 "$port_file")
[ -n "$port" ] || { echo "FAILED: the test server did not start"; exit 1; }

export VELLUMAR_TEST_HTTP="http://127.0.0.1:$port"
# Wine's HTTP client takes a proxy from these; the server is on this machine.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY
"$cmake_dir/wine-run.sh" "$program"
