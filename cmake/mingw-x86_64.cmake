# 64-bit Windows cross build with MinGW-w64 (posix thread model): the toolbar DLL for 64-bit shells.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VELLUMAR_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)

# Tests of the Windows build run under 64-bit Wine, in a private prefix of the build folder.
set(CMAKE_CROSSCOMPILING_EMULATOR env VELLUMAR_WINEARCH=win64 ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
