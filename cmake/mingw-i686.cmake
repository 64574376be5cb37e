# cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
# The release target: the 32-bit Windows module and its setup program. Its
# tests run under Wine in a 32-bit prefix and under WoW64 (tests/win32/README.md).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VP_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
