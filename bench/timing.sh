# Shared by the end-to-end benchmarks (sourced): RUNS and NICE as there.

# Fastest wall time of RUNS runs of a shell command, in microseconds; the
# second argument, when given, runs after each run (untimed).
fastest() {
  local best=0 start end us
  for ((i = 0; i < RUNS; ++i)); do
    sync  # no writeback of earlier files during the run
    start=$(date +%s%N)
    if [ -n "$NICE" ]; then
      nice -n "$NICE" sh -c "$1" > /dev/null 2>&1 || true
    else
      sh -c "$1" > /dev/null 2>&1 || true
    fi
    end=$(date +%s%N)
    us=$(( (end - start) / 1000 ))
    if ((best == 0 || us < best)); then best=$us; fi
    [ -n "${2:-}" ] && sh -c "$2"
  done
  echo "$best"
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b > 0) printf "%.2f", a / b; else printf "n/a" }'; }
ms() { awk -v a="$1" 'BEGIN { printf "%.0f ms", a / 1000 }'; }
