# Cross-building for Windows x86-64 with Debian's mingw-w64 (the POSIX-threads variant of g++).
# Programs are linked statically, so the .exe files need only Windows' own DLLs.
# W05_WIN_DEPS names a folder of libraries built for Windows (libzip, GoogleTest) that find_*
# searches besides the toolchain's own root.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(W05_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${W05_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${W05_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${W05_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${W05_MINGW_PREFIX})
if(W05_WIN_DEPS)
  list(APPEND CMAKE_FIND_ROOT_PATH ${W05_WIN_DEPS})
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine through a wrapper that sets up the Wine prefix and the locale.
if(W05_WINE_RUNNER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${W05_WINE_RUNNER})
endif()
