#!/usr/bin/env bash
# The main job: installs what is missing, builds, then digests the README with
# every digest a document can name (ids 2, 3, 4, 7).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$(nproc)" --target vpdigest
for id in 2 3 4 7; do
  build/release/tools/digest/vpdigest "$id" README.md
done
