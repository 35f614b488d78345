# Wine settings shared by every script that runs our Windows programs (sourced, not run).
# VELLUMAR_WINEARCH=win64 selects a 64-bit prefix and Wine's 64-bit loader; the default is a 32-bit prefix.
export WINEDEBUG=-all
# Wine's .NET and HTML engines are not packaged here; asking for them costs seconds per start.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ "${VELLUMAR_WINEARCH:-win32}" = win64 ]; then
    export WINEARCH=win64
    # Debian keeps the 64-bit loader off the PATH, and its `wine` prefers the 32-bit one: the scripts'
    # plain wine, wineboot and winepath go to the 64-bit loader here.
    wine_loader=/usr/lib/wine/wine64
    wine() { "$wine_loader" "$@"; }
    wineboot() { "$wine_loader" wineboot "$@"; }
    winepath() { "$wine_loader" winepath "$@"; }
else
    export WINEARCH=win32
    wine_loader=wine
fi
