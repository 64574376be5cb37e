#!/usr/bin/env bash
# wine_run.sh WINE_DIR PROGRAM [ARGS...]
# The CROSSCOMPILING_EMULATOR of the Windows builds: runs a Windows program in
# the run's prefix on the run's display and passes its exit code on.
#   VP_WINEPREFIX=DIR   runs in that prefix instead;
#   VP_WINE_FRESH=NAME  runs in a fresh copy of the clean template, deleted
#                       afterwards (for tests that change state others read).
# Pictures go to <build>/screenshots/<kind> unless VP_SCREENSHOT_DIR says otherwise.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$1
shift
. "$here/wine_env.sh" "$root"
if [ ! -f "$state/env" ]; then
  echo "wine_run.sh: no Wine prepared in $state (run the wine_setup test first)" >&2
  exit 125
fi
. "$state/env"
if [ -z "${VP_SCREENSHOT_DIR:-}" ]; then
  shots=$(cd "$root/.." && pwd)/screenshots/$WINEARCH
  mkdir -p "$shots"
  export VP_SCREENSHOT_DIR=Z:$shots
fi
if [ -n "${VP_WINE_FRESH:-}" ]; then
  fresh=$(bash "$here/wine_fresh_prefix.sh" "$root" "$VP_WINE_FRESH")
  set +e
  WINEPREFIX=$fresh "$WINE" "$@"
  rc=$?
  WINEPREFIX=$fresh "$WINESERVER" -k 2>/dev/null
  rm -rf "$fresh"
  exit $rc
fi
if [ -n "${VP_WINEPREFIX:-}" ]; then export WINEPREFIX=$VP_WINEPREFIX; fi
exec "$WINE" "$@"
