#!/usr/bin/env bash
# wine_setup.sh STATE
# Prepares one test run's Wine: a private Xvfb, a clean template prefix
# (STATE/template, never run in after this) and the run's shared prefix
# (STATE/prefix, a copy of it) with a persistent wineserver, so that each
# later Wine call costs a fraction of a second. wine_teardown.sh undoes it.
set -euo pipefail
state=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine_env.sh"

# A run that was interrupted may have left its processes behind.
bash "$here/wine_teardown.sh" "$state" >/dev/null 2>&1 || true
rm -rf "$state"
mkdir -p "$state/logs"
logs=$state/logs

# The display: Xvfb picks a free number and writes it to fd 3. No TCP, and
# its output goes to a file so that CTest does not wait on our pipes.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$state/display.number" \
  </dev/null >"$logs/xvfb.log" 2>&1 &
echo $! >"$state/xvfb.pid"
for _ in $(seq 100); do
  [ -s "$state/display.number" ] && break
  kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null || { cat "$logs/xvfb.log" >&2; exit 1; }
  sleep 0.1
done
[ -s "$state/display.number" ] || { echo "Xvfb did not report its display" >&2; exit 1; }
export DISPLAY=:$(tr -d '\n' <"$state/display.number")

# The template: a fresh prefix with the two settings every test needs.
export WINEPREFIX=$state/template
"$WINE64" wineboot --init </dev/null >"$logs/wineboot.log" 2>&1
# Without a window manager, Wine's managed windows stall 2 s on every hide.
"$WINE64" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >>"$logs/wineboot.log" 2>&1
# A crashing program exits with its exception code instead of waiting on a dialog.
"$WINE64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
  </dev/null >>"$logs/wineboot.log" 2>&1
# Stopping the server writes the registry out, so that copies are complete.
"$WINESERVER" -w

cp -a "$state/template" "$state/prefix"

# The run's prefix: a server that stays up between calls, and the services
# and the desktop process started once with their output sent to a file
# (they would otherwise hold the first test's output pipe open).
export WINEPREFIX=$state/prefix
"$WINESERVER" -p </dev/null >>"$logs/wineserver.log" 2>&1
"$WINE64" rundll32.exe user32.dll,GetDesktopWindow </dev/null >"$logs/warmup.log" 2>&1 || true

cat >"$state/env" <<ENV
export WINEPREFIX='$state/prefix'
export DISPLAY='$DISPLAY'
ENV
echo "Wine prefix $state/prefix, display $DISPLAY"
