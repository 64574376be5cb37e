#!/usr/bin/env bash
# wine_fresh_prefix.sh WINE_DIR NAME
# Copies the clean template prefix to <state>/fresh/NAME (replacing an earlier
# copy), starts its wineserver and services as wine_setup.sh does, and prints
# its path, for VP_WINEPREFIX=<path> wine_run.sh WINE_DIR ...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh" "$1"
name=$2
[ -d "$state/template" ] || { echo "wine_fresh_prefix.sh: no template in $state" >&2; exit 125; }
case $name in */* | . | .. | '') echo "wine_fresh_prefix.sh: bad name '$name'" >&2; exit 2 ;; esac
target=$state/fresh/$name
if [ -d "$target" ]; then
  WINEPREFIX=$target "$WINESERVER" -k 2>/dev/null || true
  rm -rf "$target"
fi
mkdir -p "$state/fresh"
copy_prefix "$state/template" "$target"
. "$state/env"
export WINEPREFIX=$target
"$WINESERVER" -p </dev/null >>"$state/logs/wineserver-$name.log" 2>&1
"$WINE" rundll32.exe user32.dll,GetDesktopWindow </dev/null >"$state/logs/fresh-$name.log" 2>&1 || true
echo "$target"
