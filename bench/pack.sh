#!/usr/bin/env bash
# The sender's side the way a user meets it: `vaultpost pack` (release
# build, its defaults: AES-256, 600,000 PBKDF2 iterations, automatic
# compression) on 128 MiB inputs, each beside the simplest tools doing the
# same work in the same run:
#
#   compressible    hexadecimal text over 12 symbols, which deflate halves,
#                   against `gzip -6` compressing the same file;
#   incompressible  random bytes, against twice `cat` copying the file plus
#                   `openssl kdf` deriving a 600,000-iteration PBKDF2 key
#                   (the reading, the writing and the key derivation pack
#                   cannot avoid);
#   zlib            the compressible file with --level 1 (zlib, the
#                   deflater where ISA-L is missing), against gzip -6.
#
# Then pack's peak memory for the 128 MiB inputs and for a 1 GiB one (sparse
# zeros with sixteen 1 MiB stretches of noise): it must not grow with the
# input. Each command runs RUNS times (default 5) after a sync, and the
# fastest run counts; NICE=-10 (as root) runs every command, ours and the
# references alike, ahead of other load.
# Usage: [NICE=N] bench/pack.sh [RUNS]

set -euo pipefail
cd "$(dirname "$0")/.."

VAULTPOST=${VAULTPOST:-build/release/cli/vaultpost}
OPENSSL=${OPENSSL:-openssl}
RUNS=${1:-5}
NICE=${NICE:-}
SIZE=$((128 * 1024 * 1024))
[ -x "$VAULTPOST" ] || { echo "missing $VAULTPOST: build the release tree first" >&2; exit 1; }

source bench/timing.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/vp-pack-XXXXXX")
trap 'rm -rf "$work"' EXIT

echo "making the inputs in $work ..."
head -c "$SIZE" /dev/urandom > "$work/random.bin"
head -c $((SIZE / 2)) /dev/urandom | od -An -v -tx1 | tr -d ' \n' | tr 'cdef' '0123' \
  | head -c "$SIZE" > "$work/text.txt"
truncate -s 1G "$work/huge.bin"
for i in $(seq 0 15); do
  head -c 1M /dev/urandom | dd of="$work/huge.bin" bs=1M seek=$((i * 64 + 32)) conv=notrunc status=none
done

pack_cmd() {  # INPUT [OPTIONS...] [WRAPPER=...]
  local input=$1 wrapper=${WRAPPER:-}
  shift
  echo "printf 'mark\\n' | $wrapper '$VAULTPOST' pack --password-stdin --force -o '$work/out.emc' $* '$input'"
}

gzip_us=$(fastest "gzip -6 -c '$work/text.txt' > '$work/text.gz'")
text_us=$(fastest "$(pack_cmd "$work/text.txt")")
text_size=$(stat -c %s "$work/out.emc")
gzip_size=$(stat -c %s "$work/text.gz")
zlib_us=$(fastest "$(pack_cmd "$work/text.txt" --level 1)")
cat_us=$(fastest "cat '$work/random.bin' > '$work/copy.bin'" "rm -f '$work/copy.bin'")
random_us=$(fastest "$(pack_cmd "$work/random.bin")")
kdf_us=0
if command -v "$OPENSSL" > /dev/null; then
  salt=$(head -c 32 /dev/urandom | od -An -v -tx1 | tr -d ' \n')
  kdf_us=$(fastest "'$OPENSSL' kdf -keylen 32 -kdfopt digest:SHA256 -kdfopt pass:mark -kdfopt hexsalt:$salt -kdfopt iter:600000 PBKDF2")
fi
reference_us=$((2 * cat_us + kdf_us))

peaks=""
if [ -x /usr/bin/time ]; then
  for input in text.txt random.bin huge.bin; do
    sh -c "$(WRAPPER="/usr/bin/time -f %M -o '$work/peak'" pack_cmd "$work/$input")" > /dev/null 2>&1 || true
    peaks="$peaks $input: $(( $(cat "$work/peak") / 1024 )) MiB"
  done
fi

echo
printf '%-52s %10s %10s %7s\n' "128 MiB, fastest of $RUNS" "pack" "reference" "ratio"
printf '%-52s %10s %10s %7s\n' "compressible / gzip -6" "$(ms "$text_us")" "$(ms "$gzip_us")" "$(ratio "$text_us" "$gzip_us")"
printf '%-52s %10s %10s %7s\n' "compressible, --level 1 (zlib) / gzip -6" "$(ms "$zlib_us")" "$(ms "$gzip_us")" "$(ratio "$zlib_us" "$gzip_us")"
printf '%-52s %10s %10s %7s\n' "incompressible / 2 x cat + openssl kdf (600,000)" "$(ms "$random_us")" "$(ms "$reference_us")" "$(ratio "$random_us" "$reference_us")"
echo "  (cat $(ms "$cat_us"), openssl kdf $(ms "$kdf_us"))"
echo "document of the compressible input: $text_size bytes (gzip -6: $gzip_size)"
if [ -n "$peaks" ]; then
  echo "peak memory of pack:$peaks"
else
  echo "(no /usr/bin/time: peak memory not measured)"
fi
