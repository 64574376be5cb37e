#!/usr/bin/env bash
# Builds the libFuzzer targets with Clang under AddressSanitizer +
# UndefinedBehaviorSanitizer in build/fuzz (with the seed corpus, which the
# build writes from the encoder's documents), then runs every target for
# SECONDS each with a fixed seed, two at a time, each from its seeds alone.
# Fails on any crash, leak, timeout or sanitizer report; the input that did
# it is left in build/fuzz/artifacts/<target>/ (keep it under
# fuzz/regressions/<target>/ once the fault is mended, so that the unit tests
# replay it).
#
# usage: scripts/fuzz.sh [SECONDS [TARGET...]]    (default 600 s, every target)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-600}
shift || true
parallel=${VP_FUZZ_PARALLEL:-2}
cxx=$(command -v clang++-14 || command -v clang++ || true)
if [ -z "$cxx" ]; then
  echo "fuzz.sh: clang++ is missing (scripts/deps.sh installs clang-14)" >&2
  exit 1
fi

build=build/fuzz
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$cxx" \
      -DVP_SANITIZE=address,undefined -DVP_BUILD_FUZZERS=ON -DVP_BUILD_TESTS=OFF -DVP_BUILD_BENCHMARKS=OFF >/dev/null
mkdir -p "$build/logs"
if ! cmake --build "$build" -j"$(nproc)" --target fuzzers >"$build/logs/build.log" 2>&1; then
  cat "$build/logs/build.log" >&2
  exit 1
fi

targets=("$@")
if ((${#targets[@]} == 0)); then
  for program in "$build"/fuzz/fuzz_*; do targets+=("${program##*/fuzz_}"); done
fi

export ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=0
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

run() {
  local target=$1
  local corpus="$build/corpus/$target" artifacts="$build/artifacts/$target/" log="$build/logs/$target.log"
  rm -rf "$corpus" "$artifacts"
  mkdir -p "$corpus" "$artifacts" "$build/logs"
  # -timeout: one input may take at most 20 s; -rss_limit_mb: and 2 GiB.
  local rc=0
  "$build/fuzz/fuzz_$target" -seed=1 -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus" "$build/fuzz/seeds/$target" >"$log" 2>&1 || rc=$?
  echo "$rc" >"$build/logs/$target.rc"
}

running=0
for target in "${targets[@]}"; do
  if ((running >= parallel)); then
    wait -n
    running=$((running - 1))
  fi
  run "$target" &
  running=$((running + 1))
done
wait

failed=0
for target in "${targets[@]}"; do
  if [ "$(cat "$build/logs/$target.rc")" != 0 ]; then
    failed=1
    echo "== fuzz target $target FAILED; log: $build/logs/$target.log, input: $build/artifacts/$target/" >&2
    grep -E "ERROR|SUMMARY|check failed|runtime error" "$build/logs/$target.log" | head -20 >&2 || true
  fi
done

printf '%-18s %12s %8s %8s %8s\n' target executions cov ft corpus
for target in "${targets[@]}"; do
  log="$build/logs/$target.log"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  last=$(grep -E '^#[0-9]+.*cov: ' "$log" | tail -1 || true)
  cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
  ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
  corp=$(sed -n 's/.* corp: \([0-9]*\)\/.*/\1/p' <<<"$last")
  printf '%-18s %12s %8s %8s %8s\n' "$target" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}"
done
exit $failed
