# Cross-compiling the Windows program with MinGW-w64 (i686). The -posix
# compilers use the POSIX thread model, which std::thread needs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(SUMVANE_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_C_COMPILER ${SUMVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SUMVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SUMVANE_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${SUMVANE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static: the .exe needs no MinGW DLLs beside it. Large-address-aware: a
# 32-bit process otherwise cannot map the 1 GiB views the digest reads through.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -Wl,--large-address-aware")
