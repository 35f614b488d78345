# Wine settings shared by every script that runs our Windows programs (sourced, not run).
export WINEARCH=win32
export WINEDEBUG=-all
# Wine's .NET and HTML engines are not packaged here; asking for them costs seconds per start.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
