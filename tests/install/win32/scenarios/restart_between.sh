#!/usr/bin/env bash
# restart_between.sh WINE_DIR NAME PROGRAM BEFORE AFTER
# Runs the gtest suites BEFORE of PROGRAM in a fresh prefix, ends the Wine
# session as a restart would (its scheduled deletions are carried out when the
# next starts), then runs the suites AFTER in the same prefix.
set -euo pipefail
root=$1 name=$2 program=$3 before=$4 after=$5
scripts=$(cd "$(dirname "$0")/../../../win32" && pwd)
. "$scripts/wine_env.sh" "$root"
prefix=$(bash "$scripts/wine_fresh_prefix.sh" "$root" "$name")
cleanup() {
  WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$prefix"
}
trap cleanup EXIT
VP_WINEPREFIX=$prefix bash "$scripts/wine_run.sh" "$root" "$program" --gtest_filter="$before"
WINEPREFIX=$prefix "$WINESERVER" -k
# The next session, warmed up as the fresh prefix was: its first program
# starts Wine's services, whose output must not hold the test's pipe.
. "$state/env"
export WINEPREFIX=$prefix
"$WINESERVER" -p </dev/null >>"$state/logs/wineserver-$name.log" 2>&1
"$WINE" rundll32.exe user32.dll,GetDesktopWindow </dev/null >"$state/logs/restart-$name.log" 2>&1 || true
VP_WINEPREFIX=$prefix bash "$scripts/wine_run.sh" "$root" "$program" --gtest_filter="$after"
