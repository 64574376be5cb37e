# Sourced by the scripts: the one way each build folder is configured, so that
# run.sh, windows.sh and test.sh share their builds (configuring a folder with
# other options than last time rebuilds everything in it).

# The native Release build (the reader, the tools, the unit tests).
configure_release() {
  cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVP_WARNINGS_AS_ERRORS=ON >/dev/null
}

# configure_windows FOLDER TOOLCHAIN: a MinGW cross build of the Windows
# module with its tests. The toolchain file is named only when the folder is
# new: CMake reads it once, and warns that it is unused when named again.
configure_windows() {
  local args=(-DCMAKE_BUILD_TYPE=Release -DVP_WARNINGS_AS_ERRORS=ON -DVP_BUILD_TESTS=ON -DVP_BUILD_BENCHMARKS=OFF)
  [ -f "$1/CMakeCache.txt" ] || args+=(-DCMAKE_TOOLCHAIN_FILE="$2")
  cmake -S . -B "$1" "${args[@]}" >/dev/null
}
