# Shared by mingw-i686.cmake and mingw-x86_64.cmake, which set VP_MINGW_TRIPLE
# and CMAKE_SYSTEM_PROCESSOR first. The -posix compilers carry the C++11
# thread support (std::thread, std::mutex) that the support library uses.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VP_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VP_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VP_MINGW_TRIPLE}-windres)

# Headers and libraries (zlib from libz-mingw-w64-dev among them) come from the
# target's root only; programs (windres, the build machine's compiler for the
# icon generator) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VP_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program and module links the C and C++ runtimes and winpthread
# statically, so that what we build imports system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
