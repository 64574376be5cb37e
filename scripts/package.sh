#!/usr/bin/env bash
# Builds the Debian package of the Linux reader: installs what is missing,
# builds the reader in build/release (the test command's configuration) and
# runs CPack, which leaves build/release/orlenta-reader_<version>_<arch>.deb.
# Install it with: sudo apt install ./build/release/orlenta-reader_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVP_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build build/release -j"$(nproc)" --target vp_package_files
(cd build/release && rm -f orlenta-reader_*.deb && cpack -G DEB)
