#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: native debug with AddressSanitizer and
# UndefinedBehaviorSanitizer, native release, the benchmarks (built, not run), ThreadSanitizer over the
# threaded tests, the Windows build with its tests under Wine (unit tests, COM and GUI checks, the 64-bit
# toolbar's tests under 64-bit Wine, the setup program's checks), bounded fuzzing, clang-tidy and the
# format check.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash tools/install-deps.sh || exit 1

passed=0
failed=0
failures=()
step() {
    local name=$1
    shift
    echo
    echo "==== $name"
    local start=$SECONDS
    if "$@"; then
        echo "---- $name: ok ($((SECONDS - start)) s)"
        passed=$((passed + 1))
    else
        echo "---- $name: FAILED ($((SECONDS - start)) s)"
        failed=$((failed + 1))
        failures+=("$name")
    fi
}

build() {
    local preset=$1
    shift
    cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" "$@" -- -j2
}

format_check() {
    git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
}

# The checks in .clang-tidy over every file the native debug build compiles (the Windows-only files are
# not in its compile database).
tidy_check() {
    run-clang-tidy -p build/debug-asan -j2 -quiet '^(?!.*/build/).*' >build/clang-tidy.log 2>&1
    local status=$?
    grep -E '(error|warning):' build/clang-tidy.log | sed 's/\x1b\[[0-9;]*m//g' | sort -u
    return $status
}

# Some kernels run 64-bit programs only (no 32-bit execution): Wine's 32-bit loader then fails with
# "Exec format error" before any test starts. Such a machine still builds every Windows program and runs
# what 64-bit Wine and the browser can run; the 32-bit tests are listed as not run, never as passed.
can_run_32bit() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

windows_tests() {
    build win32 || return 1
    export VELLUMAR_WINEPREFIX="$root/build/win32/wineprefix"
    local prefix64="$root/build/win32/x86_64/wineprefix"
    local selection=()
    if ! can_run_32bit; then
        echo "windows: this machine cannot execute 32-bit programs; these tests are NOT run here:"
        ctest --preset win32 -N -E '_x64$|^gui_pages$' | grep 'Test *#' | sed 's/^/    /'
        selection=(-R '_x64$|^gui_pages$')
    else
        # One fresh 32-bit prefix for the whole run. The dialog checks of the 64-bit Vellumar.exe repeat
        # those of the program that ships, so they run only where the 32-bit one cannot.
        WINEPREFIX=$VELLUMAR_WINEPREFIX cmake/wine-prefix.sh fresh || return 1
        selection=(-E '^gui_.*_x64$|^test_app_win32_x64$')
    fi
    # The 64-bit toolbar's tests share one 64-bit prefix, made when missing (it takes seconds longer to
    # make). The servers are ended afterwards.
    VELLUMAR_WINEARCH=win64 WINEPREFIX=$prefix64 cmake/wine-prefix.sh ensure || return 1
    ctest --preset win32 "${selection[@]}"
    local status=$?
    # The Windows builds' thumbnails of the sample photos against the native release build's.
    local exes=("$root/build/win32/x86_64/bin/vellumar-cli.exe")
    can_run_32bit && exes+=("$root/build/win32/bin/vellumar-cli.exe")
    for exe in "${exes[@]}"; do
        echo "windows: thumbnails of $exe against the native build's"
        python3 tools/compare-thumbnails.py build/release/bin/vellumar-cli "$exe" || status=1
    done
    can_run_32bit && WINEPREFIX=$VELLUMAR_WINEPREFIX cmake/wine-prefix.sh stop
    VELLUMAR_WINEARCH=win64 WINEPREFIX=$prefix64 cmake/wine-prefix.sh stop
    return $status
}

tsan_tests() {
    build tsan --target threaded_tests || return 1
    ctest --preset tsan
}

fuzzing() {
    build fuzz || return 1
    tools/run-fuzzers.sh build/fuzz "${VELLUMAR_FUZZ_SECONDS:-30}"
}

step "format" format_check
step "native debug (ASan+UBSan): build" build debug-asan
step "native debug (ASan+UBSan): tests" ctest --preset debug-asan
step "clang-tidy" tidy_check
step "native release: build" build release
step "native release: tests" ctest --preset release
step "benchmarks: build" build bench
step "ThreadSanitizer: threaded tests" tsan_tests
step "Windows: build and tests under Wine" windows_tests
step "fuzzing" fuzzing

echo
if [ "$failed" -gt 0 ]; then
    printf 'failed step: %s\n' "${failures[@]}"
fi
echo "steps: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
