#!/usr/bin/env bash
# Makes the sample document build/sample/sample.emc (user name "demo",
# password "orlenta") from the files in samples/ with `vaultpost pack` of the
# native Release build, which it builds first. Shared by run.sh and windows.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/configure.sh
configure_release
cmake --build build/release -j"$(nproc)" --target vaultpost
sample=build/sample/sample.emc
mkdir -p "$(dirname "$sample")"
printf 'orlenta\n' | build/release/cli/vaultpost pack -o "$sample" --force --user demo --password-stdin \
  --title "Orlenta Reader sample" \
  --prompt "A sample document. User name: demo, password: orlenta" \
  samples/welcome.txt samples/figures.csv
echo "Made $sample (user name: demo, password: orlenta)"
