#!/usr/bin/env bash
# End to end, the way a user meets the reader: `vaultpost open` on a 128 MiB
# document (release build, a viewer that exits at once), each beside the
# simplest tools doing the same work in the same run:
#
#   stored      a 128 MiB stored part, against `cat` copying the same bytes
#               into the same temporary folder;
#   compressed  a 128 MiB compressed part (about 64 MB of zlib data), against
#               zlib alone inflating the same stream into nothing (vpzlib);
#   password    a wrong password on a 100,000-iteration document, against
#               `openssl kdf` deriving the same PBKDF2 key (both whole
#               processes).
#
# Each command runs RUNS times (default 7), after a sync, and the fastest run
# counts, which keeps other load on the machine out of the figures as far as
# possible; on a busy machine NICE=-10 (as root) runs every command, ours and
# the references alike, ahead of the other load. Prints the three ratios
# (ours / theirs; below 1 means faster) and the reader's peak memory.
# Usage: [NICE=N] bench/end_to_end.sh [RUNS]

set -euo pipefail
cd "$(dirname "$0")/.."

VAULTPOST=${VAULTPOST:-build/release/cli/vaultpost}
VPENCODE=${VPENCODE:-build/release/tools/encoder/vpencode}
VPZLIB=${VPZLIB:-build/release/tools/zlib/vpzlib}
OPENSSL=${OPENSSL:-openssl}
RUNS=${1:-7}
NICE=${NICE:-}
SIZE=$((128 * 1024 * 1024))

for tool in "$VAULTPOST" "$VPENCODE" "$VPZLIB"; do
  [ -x "$tool" ] || { echo "missing $tool: build the release tree first" >&2; exit 1; }
done

source bench/timing.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/vp-e2e-XXXXXX")
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work/tmp"  # the reader's part files and cat's copy go here
mkdir -p "$TMPDIR"

echo "making the documents in $work ..."
# Random bytes for the stored part; for the compressed one, hexadecimal text
# over 12 symbols, which deflate halves.
head -c "$SIZE" /dev/urandom > "$work/stored.txt"
head -c $((SIZE / 2)) /dev/urandom | od -An -v -tx1 | tr -d ' \n' | tr 'cdef' '0123' \
  | head -c "$SIZE" > "$work/text.txt"
"$VPENCODE" -o "$work/stored.emc" --user bench --password mark --part "$work/stored.txt"
"$VPENCODE" -o "$work/compressed.emc" --user bench --password mark --part "$work/text.txt:z"
"$VPZLIB" deflate 6 "$work/text.txt" "$work/text.z"  # the same stream as the part's
printf "a short part\n" > "$work/small.txt"
salt=00$(head -c 31 /dev/urandom | od -An -v -tx1 | tr -d ' \n')  # first byte 0: exactly I * 1000
"$VPENCODE" -o "$work/slow.emc" --user bench --password mark --iterations 100 --salt "$salt" \
  --part "$work/small.txt"
# The key the reader derives for a wrong password: PBKDF2-HMAC-SHA-256 with
# the password as P and the user name followed by the salt as S.
kdf_salt=$(printf 'bench' | od -An -v -tx1 | tr -d ' \n')$salt

open_cmd() {  # DOCUMENT PASSWORD [WRAPPER]: the password line, then an empty line for the notice
  echo "printf '%s\\n\\n' '$2' | VAULTPOST_VIEWER=true ${3:-} '$VAULTPOST' open --user bench --password-stdin '$1'"
}

cat_us=$(fastest "cat '$work/stored.txt' > '$TMPDIR/copy.txt'" "rm -f '$TMPDIR/copy.txt'")
stored_us=$(fastest "$(open_cmd "$work/stored.emc" mark)")
zlib_us=$(fastest "'$VPZLIB' inflate '$work/text.z'")
compressed_us=$(fastest "$(open_cmd "$work/compressed.emc" mark)")
wrong_us=$(fastest "$(open_cmd "$work/slow.emc" wrong)")
kdf_us=0
if command -v "$OPENSSL" > /dev/null; then
  kdf_us=$(fastest "'$OPENSSL' kdf -keylen 32 -kdfopt digest:SHA256 -kdfopt pass:wrong -kdfopt hexsalt:$kdf_salt -kdfopt iter:100000 PBKDF2")
fi
peak_kib=0
if [ -x /usr/bin/time ]; then
  sh -c "$(open_cmd "$work/stored.emc" mark "/usr/bin/time -f %M -o '$work/peak'")" > /dev/null 2>&1 || true
  peak_kib=$(cat "$work/peak")
fi

echo
printf '%-46s %10s %10s %7s\n' "128 MiB, fastest of $RUNS" "vaultpost" "reference" "ratio"
printf '%-46s %10s %10s %7s\n' "stored part / cat copy" "$(ms "$stored_us")" "$(ms "$cat_us")" "$(ratio "$stored_us" "$cat_us")"
printf '%-46s %10s %10s %7s\n' "compressed part / zlib inflating the stream" "$(ms "$compressed_us")" "$(ms "$zlib_us")" "$(ratio "$compressed_us" "$zlib_us")"
printf '%-46s %10s %10s %7s\n' "wrong password, 100,000 iterations / openssl kdf" "$(ms "$wrong_us")" "$(ms "$kdf_us")" "$(ratio "$wrong_us" "$kdf_us")"
if ((kdf_us == 0)); then echo "(no openssl command: the password line has no reference)"; fi
if ((peak_kib > 0)); then
  echo "peak memory of vaultpost (stored part): $((peak_kib / 1024)) MiB ($peak_kib KiB)"
else
  echo "(no /usr/bin/time: peak memory not measured)"
fi
