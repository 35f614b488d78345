#!/usr/bin/env bash
# Installs what the project needs on Debian 12 (run as root). Installs only what is missing, so running it
# again changes nothing.
#   tools/install-deps.sh          everything: native, Windows cross build, Wine, GUI checks, fuzzing
#   tools/install-deps.sh native   only what the native build of vellumar-cli needs
# The full set also fetches Debian's libjpeg-turbo source package into build/third_party (the Windows
# builds cross-compile it: Debian ships no MinGW build of it).
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)

native=(cmake ninja-build g++ make pkg-config libjpeg62-turbo-dev googletest libcpp-httplib-dev nlohmann-json3-dev
    libcli11-dev)
full=(
    "${native[@]}"
    libbenchmark-dev
    clang libclang-rt-14-dev clang-format clang-tidy
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools libwine-dev nsis
    wine wine32:i386 wine64
    xvfb xauth xdotool x11-utils imagemagick libvips-tools procps util-linux python3 file ripgrep
    nasm dpkg-dev
    chromium fonts-liberation
)

if [ "${1:-full}" = native ]; then
    wanted=("${native[@]}")
else
    wanted=("${full[@]}")
fi

missing=()
for package in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
    [ "$status" = "install ok installed" ] || missing+=("$package")
done

# The libjpeg-turbo sources of the Debian suite this machine runs, through a deb-src entry of that suite.
fetch_jpeg_source() {
    local folder="$repo/build/third_party"
    if compgen -G "$folder/libjpeg-turbo-*/CMakeLists.txt" >/dev/null; then
        return 0
    fi
    if [ -z "$(apt-cache showsrc libjpeg-turbo 2>/dev/null)" ]; then
        if [ "$(id -u)" -ne 0 ]; then
            echo "install-deps: adding a deb-src entry needs root" >&2
            exit 1
        fi
        local suite
        suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
        cat >/etc/apt/sources.list.d/vellumar-deb-src.sources <<SOURCES
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
        apt-get update -qq
    fi
    mkdir -p "$folder"
    echo "install-deps: fetching the libjpeg-turbo source package into $folder"
    (cd "$folder" && apt-get source -qq libjpeg-turbo)
}

if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: nothing to install"
    [ "${1:-full}" = native ] || fetch_jpeg_source
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: these packages are missing and need root to install: ${missing[*]}" >&2
    exit 1
fi

for package in "${missing[@]}"; do
    case "$package" in
    *:i386)
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
        ;;
    esac
done

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}"
[ "${1:-full}" = native ] || fetch_jpeg_source
