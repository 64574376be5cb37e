# cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake
# The 64-bit twin of the Windows module: the same code tested in a 64-bit
# process (in a 64-bit Wine prefix); not shipped.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VP_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
