# Sourced by the CLI's end-to-end scripts after they have set cli, source_dir and build_dir: `run` starts
# the tool under test (a Windows build through Wine, in the build folder's prefix), and `windows` is 1 for
# a Windows build.
windows=0
case "$cli" in
*.exe)
    windows=1
    run() { VELLUMAR_WINEPREFIX="${VELLUMAR_WINEPREFIX:-$build_dir/wineprefix}" "$source_dir/cmake/wine-run.sh" "$cli" "$@"; }
    ;;
*) run() { "$cli" "$@"; } ;;
esac
