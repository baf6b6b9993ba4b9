# Cross-compiling the Windows program with MinGW-w64 (i686): Sumvane.exe.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Large-address-aware: a 32-bit process otherwise cannot map the 1 GiB views
# the digest reads through.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--large-address-aware")
