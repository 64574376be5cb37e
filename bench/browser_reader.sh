#!/usr/bin/env bash
# The browser reader against the native one on the same machine, on 128 MiB
# documents: one stored part of random bytes and one compressed part of
# hexadecimal text (about 64 MB of zlib data). For each, the fastest of RUNS
# runs (default 5) of
#   native   `vaultpost open` with a viewer that exits at once (the whole
#            process: key, decoding, the part file written and wiped): wall
#            and processor time, and its peak resident memory;
#   page     the page in Chromium, from OK to the shown document (key,
#            decoding in WebAssembly, the part handed to the page): wall
#            time, the processor time of its renderer process (worker
#            included), and that process's peak resident memory.
# Processor times are the steadier figures on a machine others share.
# Needs the release build and the page with its test tools:
#   bash scripts/web.sh test   (or the whole scripts/test.sh)
# Usage: bench/browser_reader.sh [RUNS]

set -euo pipefail
cd "$(dirname "$0")/.."

VAULTPOST=${VAULTPOST:-build/release/cli/vaultpost}
VPENCODE=${VPENCODE:-build/release/tools/encoder/vpencode}
PAGE=${PAGE:-$PWD/build/web/page/index.html}
NODE_MODULES=${NODE_MODULES:-$PWD/build/web-cache/npm/node_modules}
RUNS=${1:-5}
SIZE=$((128 * 1024 * 1024))

for needed in "$VAULTPOST" "$VPENCODE" "$PAGE" "$NODE_MODULES/playwright-core" /usr/bin/time; do
  [ -e "$needed" ] || { echo "missing $needed (bash scripts/web.sh test builds what is ours)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/vp-browser-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work/tmp"  # the native reader's part files
mkdir -p "$TMPDIR"

echo "making the documents in $work ..."
head -c "$SIZE" /dev/urandom > "$work/random.bin"
head -c $((SIZE / 2)) /dev/urandom | od -An -v -tx1 | tr -d ' \n' | head -c "$SIZE" > "$work/hex.dat"
"$VPENCODE" -o "$work/stored.emc" --user bench --password mark --part "$work/random.bin"
"$VPENCODE" -o "$work/compressed.emc" --user bench --password mark --part "$work/hex.dat:z"
rm "$work/random.bin" "$work/hex.dat"

native() {  # DOCUMENT: fastest wall and processor time, and the peak resident memory
  local best=0 cpu=0 peak=0 start end ms used
  for ((i = 0; i < RUNS; ++i)); do
    sync
    start=$(date +%s%N)
    printf 'mark\n\n\n' | VAULTPOST_VIEWER=true /usr/bin/time -f '%U %S %M' -o "$work/usage" \
      "$VAULTPOST" open --user bench --password-stdin "$1" > /dev/null 2>&1
    end=$(date +%s%N)
    ms=$(( (end - start) / 1000000 ))
    used=$(awk '{ printf "%d", ($1 + $2) * 1000 }' "$work/usage")
    peak=$(awk '{ printf "%d", $3 / 1024 }' "$work/usage")
    if ((best == 0 || ms < best)); then best=$ms; fi
    if ((cpu == 0 || used < cpu)); then cpu=$used; fi
  done
  printf '%s\t%s ms (processor %s ms)\tpeak %s MiB\n' "$(basename "$1")" "$best" "$cpu" "$peak"
}

echo
echo "native reader (vaultpost open), fastest of $RUNS:"
native "$work/stored.emc"
native "$work/compressed.emc"
echo
echo "browser reader (Chromium), fastest of $RUNS:"
node bench/browser_reader.js "$PAGE" "$NODE_MODULES" "$RUNS" "$work/stored.emc" "$work/compressed.emc"
