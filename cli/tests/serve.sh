#!/bin/sh
# "vellumar-cli serve": the HTTP checks natively (serve_http.py); the Windows build has no server and
# says so with status 2.
#   serve.sh CLI SOURCE_DIR BUILD_DIR
set -u
cli=$1
source_dir=$2
build_dir=$3
case "$cli" in
*.exe)
    work="$build_dir/cli-tests/serve"
    rm -rf "$work" && mkdir -p "$work"
    VELLUMAR_WINEPREFIX="${VELLUMAR_WINEPREFIX:-$build_dir/wineprefix}" "$source_dir/cmake/wine-run.sh" "$cli" \
        serve --port 0 >"$work/out" 2>"$work/err"
    status=$?
    if [ "$status" -ne 2 ] || ! grep -q "has no web server" "$work/err" || [ -s "$work/out" ]; then
        echo "FAIL: serve in the Windows build: status $status, stderr: $(cat "$work/err")"
        exit 1
    fi
    echo "serve: ok (not in this build, status 2)"
    ;;
*)
    exec python3 "$source_dir/cli/tests/serve_http.py" "$cli" "$source_dir" "$build_dir"
    ;;
esac
