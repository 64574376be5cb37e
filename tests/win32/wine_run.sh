#!/usr/bin/env bash
# wine_run.sh STATE PROGRAM [ARGS...]
# The CROSSCOMPILING_EMULATOR of the x86-64 build: runs a Windows program in
# the run's prefix on the run's display and passes its exit code on.
#   VP_WINEPREFIX=DIR   runs in that prefix instead (see wine_fresh_prefix.sh);
#   VP_WINE_FRESH=NAME  runs in a fresh copy of the clean template made for
#                       this call alone, stopped and deleted afterwards (for
#                       tests that change machine or user state others read).
set -euo pipefail
state=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"
if [ ! -f "$state/env" ]; then
  echo "wine_run.sh: no Wine prepared in $state (run the wine_setup test first)" >&2
  exit 125
fi
. "$state/env"
if [ -n "${VP_WINE_FRESH:-}" ]; then
  fresh=$(bash "$here/wine_fresh_prefix.sh" "$state" "$VP_WINE_FRESH")
  set +e
  WINEPREFIX=$fresh "$WINE64" "$@"
  rc=$?
  WINEPREFIX=$fresh "$WINESERVER" -k 2>/dev/null
  rm -rf "$fresh"
  exit $rc
fi
if [ -n "${VP_WINEPREFIX:-}" ]; then export WINEPREFIX=$VP_WINEPREFIX; fi
exec "$WINE64" "$@"
