#!/usr/bin/env bash
# wine_teardown.sh WINE_DIR
# Ends what wine_setup.sh started in WINE_DIR/<kind> only: the wineservers of
# its prefixes, then its Xvfb. The prefixes are deleted; the logs stay.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh" "$1"

[ -d "$state" ] || exit 0
for prefix in "$state/prefix" "$state/template" "$state"/fresh/*; do
  [ -d "$prefix" ] && WINEPREFIX=$prefix "$WINESERVER" -k 2>/dev/null
done
if [ -s "$state/xvfb.pid" ]; then
  pid=$(cat "$state/xvfb.pid")
  # Only our own Xvfb: the id could have been reused since.
  if [ "$(ps -o comm= -p "$pid" 2>/dev/null)" = Xvfb ]; then
    kill "$pid" 2>/dev/null
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -f "$state/xvfb.pid"
fi
rm -rf "$state/prefix" "$state/template" "$state/fresh" "$state/env"
exit 0
