#!/usr/bin/env bash
# The whole test suite: installs what is missing, builds Release and runs every
# test through CTest, then builds the unit tests again under AddressSanitizer +
# UndefinedBehaviorSanitizer in a separate build directory and runs them, and
# runs every libFuzzer target for 40 seconds (scripts/fuzz.sh; Clang).
# The benchmarks are built (so they keep compiling) but not run. The Release
# run includes the desktop tests (the GTK dialogs driven on a private Xvfb,
# the installed desktop files); then the Debian package is built, installed
# into a throwaway Debian root, used and removed. Then the Windows module:
# the x86-64 build with its tests under wine64 (on a private Xvfb, see
# tests/win32/README.md), and the i686 release build, checked statically.
# Last, the browser reader (scripts/web.sh test): its WebAssembly
# build, the security and codec unit tests under node, and the page in
# Chromium against the native reader.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh

jobs=$(nproc)

echo "== Release build"
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVP_WARNINGS_AS_ERRORS=ON >/dev/null
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

echo "== Windows module, x86-64: unit tests under wine64"
started=$SECONDS
cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
      -DVP_WARNINGS_AS_ERRORS=ON -DVP_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/win64 -j"$jobs"
ctest --test-dir build/win64 --output-on-failure -j"$jobs"
echo "   (x86-64 build and tests: $((SECONDS - started)) s)"

echo "== Windows module, i686: the release target, checked statically"
started=$SECONDS
cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
      -DVP_WARNINGS_AS_ERRORS=ON -DVP_BUILD_TESTS=OFF -DVP_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/win32 -j"$jobs" --target vaultpost
ctest --test-dir build/win32 -L static --output-on-failure
echo "   (i686 build and check: $((SECONDS - started)) s)"

echo "== Browser reader: WebAssembly build, unit tests under node, the page in Chromium"
started=$SECONDS
bash scripts/web.sh test
echo "   (browser reader: $((SECONDS - started)) s)"
