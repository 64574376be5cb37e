#!/usr/bin/env bash
# wine_setup.sh WINE_DIR
# Prepares a test run's Wine of the kind VP_WINEARCH names in WINE_DIR/<kind>:
# a private Xvfb, a clean template prefix (never run in) and the run's prefix
# (a copy) with a persistent wineserver. wine_teardown.sh undoes it.
# VP_WINE_TEMPLATES=DIR shares the clean prefixes between runs: DIR/<kind> is
# made once by the first run that needs it, and copied from afterwards.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh" "$1"

bash "$here/wine_teardown.sh" "$1" >/dev/null 2>&1 || true
rm -rf "$state"
mkdir -p "$state/logs"
logs=$state/logs

# The display: Xvfb picks a free number and writes it to fd 3. No TCP, no
# reset when the last client leaves (a client arriving during a reset is
# dropped), and its output goes to a file so that CTest does not wait on our
# pipes.
Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp 3>"$state/display.number" \
  </dev/null >"$logs/xvfb.log" 2>&1 &
echo $! >"$state/xvfb.pid"
for _ in $(seq 100); do
  [ -s "$state/display.number" ] && break
  kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null || { cat "$logs/xvfb.log" >&2; exit 1; }
  sleep 0.1
done
[ -s "$state/display.number" ] || { echo "Xvfb did not report its display" >&2; exit 1; }
export DISPLAY=:$(tr -d '\n' <"$state/display.number")

make_template() {
  export WINEPREFIX=$1
  "$WINE" wineboot --init </dev/null >"$logs/wineboot.log" 2>&1
  # Without a window manager, Wine's managed windows stall 2 s on every hide.
  "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >>"$logs/wineboot.log" 2>&1
  # A crashing program exits with its exception code instead of waiting on a dialog.
  "$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
    </dev/null >>"$logs/wineboot.log" 2>&1
  # Stopping the server writes the registry out, so that copies are complete.
  "$WINESERVER" -w
  touch "$1/.vp-template-complete"
}

if [ -n "${VP_WINE_TEMPLATES:-}" ]; then
  shared=$VP_WINE_TEMPLATES/$WINEARCH
  mkdir -p "$VP_WINE_TEMPLATES"
  (
    flock 9
    if [ ! -f "$shared/.vp-template-complete" ]; then
      rm -rf "$shared"
      make_template "$shared"
    fi
  ) 9>"$VP_WINE_TEMPLATES/$WINEARCH.lock"
  copy_prefix "$shared" "$state/template"
else
  make_template "$state/template"
fi

copy_prefix "$state/template" "$state/prefix"

# The run's prefix: a server that stays up between calls, and the services
# and the desktop process started once with their output sent to a file
# (they would otherwise hold the first test's output pipe open).
export WINEPREFIX=$state/prefix
"$WINESERVER" -p </dev/null >>"$logs/wineserver.log" 2>&1
"$WINE" rundll32.exe user32.dll,GetDesktopWindow </dev/null >"$logs/warmup.log" 2>&1 || true

cat >"$state/env" <<ENV
export WINEPREFIX='$state/prefix'
export DISPLAY='$DISPLAY'
ENV
echo "Wine prefix $state/prefix ($WINEARCH), display $DISPLAY"
