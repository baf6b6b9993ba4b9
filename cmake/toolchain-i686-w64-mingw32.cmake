# Cross-compiling the Windows program with MinGW-w64 (i686): Sumvane.exe.
set(CMAKE_SYSTEM_PROCESSOR i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)

# Large-address-aware: 4 GiB of address space on 64-bit Windows instead of 2,
# for a summary read whole into memory and the mapped views of
# TesselMappedFile.
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--large-address-aware")
