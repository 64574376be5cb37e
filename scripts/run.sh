#!/usr/bin/env bash
# The main job: installs what is missing, builds, makes a sample document with
# `vaultpost pack` and opens it with the reader. On a terminal the reader asks
# for the credentials (user name "demo", password "orlenta") and shows the
# document in the desktop's viewer, or in the pager on a plain terminal;
# without a terminal it takes them from standard input.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/sample.sh
cmake --build build/release -j"$(nproc)" --target vaultpost

sample=build/sample/sample.emc
build/release/cli/vaultpost inspect "$sample"

if { : </dev/tty; } 2>/dev/null; then
  exec build/release/cli/vaultpost open "$sample"
else
  printf 'orlenta\n\n' | build/release/cli/vaultpost open --user demo --password-stdin "$sample"
fi
