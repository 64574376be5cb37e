# cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
# The release target: the 32-bit Windows module. Nothing 32-bit can run on
# this machine, so its build is checked statically (exports, imports,
# resources, version block).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(VP_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
