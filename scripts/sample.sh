#!/usr/bin/env bash
# Makes the sample document build/sample/sample.emc (user name "demo",
# password "orlenta") from the files in samples/ with the encoder tool of the
# native Release build, which it builds first. Shared by run.sh and windows.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/configure.sh
configure_release
cmake --build build/release -j"$(nproc)" --target vpencode
sample=build/sample/sample.emc
mkdir -p "$(dirname "$sample")"
build/release/tools/encoder/vpencode -o "$sample" --user demo --password orlenta \
  --tag "Title=Orlenta Reader sample" \
  --tag "Prompt=A sample document. User name: demo, password: orlenta" \
  --part samples/welcome.txt:z --part samples/figures.csv
echo "Made $sample (user name: demo, password: orlenta)"
