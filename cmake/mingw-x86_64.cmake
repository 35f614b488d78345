# 64-bit Windows cross build with MinGW-w64 (posix thread model): the toolbar DLL for 64-bit shells.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELLUMAR_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELLUMAR_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELLUMAR_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VELLUMAR_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VELLUMAR_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# -static: without it the posix compiler imports libwinpthread-1.dll, which a plain Windows machine lacks.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")

# Tests of the Windows build run under 64-bit Wine, in a private prefix of the build folder.
set(CMAKE_CROSSCOMPILING_EMULATOR env VELLUMAR_WINEARCH=win64 ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
