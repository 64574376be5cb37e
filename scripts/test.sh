#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds Release and runs every
# test through CTest, then builds the unit tests again under AddressSanitizer +
# UndefinedBehaviorSanitizer in a separate build directory and runs them, and
# runs every libFuzzer target for 40 seconds (scripts/fuzz.sh; Clang).
# The benchmarks are built (so they keep compiling) but not run. The Release
# run includes the desktop tests (the GTK dialogs driven on a private Xvfb,
# the installed desktop files); then the Debian package is built, installed
# into a throwaway Debian root, used and removed. Then the Windows module (on
# private Xvfb displays, see tests/win32/README.md): the x86-64 build with its
# tests in a 64-bit Wine prefix, and the i686 release with its setup program,
# whose tests and setup scenarios run twice: in a 32-bit prefix (32-bit
# Windows) and in a 64-bit one (WoW64, 64-bit Windows). Last, the browser
# reader (scripts/web.sh test): its WebAssembly build, the security and codec
# unit tests under node, and the page in Chromium against the native reader.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)

echo "== Release build"
. scripts/configure.sh
configure_release
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"

echo "== Linux desktop: the Debian package, installed into a throwaway root, used and removed"
started=$SECONDS
bash tests/desktop/package_test.sh build/release
echo "   (package stage: $((SECONDS - started)) s)"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build"
# Built without the desktop dialogs: the command's tests then run against a
# vaultpost that has the terminal only, as a build without GTK 4 is.
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVP_SANITIZE=address,undefined -DVP_WARNINGS_AS_ERRORS=ON \
      -DVP_BUILD_BENCHMARKS=OFF -DVP_WITH_GTK=OFF >/dev/null
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  ctest --test-dir build/asan -L unit --output-on-failure -j"$jobs"

echo "== ThreadSanitizer build (support library concurrency tests)"
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVP_SANITIZE=thread -DVP_WARNINGS_AS_ERRORS=ON \
      -DVP_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/tsan -j"$jobs" --target test_xp
TSAN_OPTIONS=halt_on_error=1 \
  ctest --test-dir build/tsan -L tsan --output-on-failure -j"$jobs"

echo "== Fuzzing: every libFuzzer target for 40 s (Clang, AddressSanitizer + UndefinedBehaviorSanitizer)"
bash scripts/fuzz.sh 40

# The clean prefixes every Windows suite copies, made once in this run (a
# 32-bit one and a 64-bit one with its WoW64 half) and shared by all of them.
export VP_WINE_TEMPLATES=$PWD/build/wine-templates
rm -rf "$VP_WINE_TEMPLATES"
trap 'rm -rf "$VP_WINE_TEMPLATES"' EXIT

echo "== Windows module, x86-64: tests in a 64-bit prefix"
started=$SECONDS
configure_windows build/win64 cmake/mingw-x86_64.cmake
cmake --build build/win64 -j"$jobs"
VP_WINEARCH=win64 ctest --test-dir build/win64 --output-on-failure -j"$jobs"
echo "   (x86-64 build and tests: $((SECONDS - started)) s)"

echo "== Windows module, i686 (the release) and its setup program"
started=$SECONDS
configure_windows build/win32 cmake/mingw-i686.cmake
cmake --build build/win32 -j"$jobs"
echo "   (i686 build: $((SECONDS - started)) s)"
for arch in win32 win64; do
  case $arch in
    win32) echo "== i686: tests and setup scenarios in a 32-bit prefix (32-bit Windows)" ;;
    win64) echo "== i686: tests and setup scenarios under WoW64 (64-bit Windows)" ;;
  esac
  started=$SECONDS
  VP_WINEARCH=$arch ctest --test-dir build/win32 --output-on-failure -j"$jobs"
  echo "   ($arch prefix: $((SECONDS - started)) s)"
done

echo "== Browser reader: WebAssembly build, unit tests under node, the page in Chromium"
started=$SECONDS
bash scripts/web.sh test
echo "   (browser reader: $((SECONDS - started)) s)"
