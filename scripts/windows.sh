#!/usr/bin/env bash
# Shows the Windows module at work: builds the x86-64 vaultpost.dll and opens
# the sample document (user name "demo", password "orlenta", made by
# scripts/sample.sh) with rundll32 under Wine.
#
# With a display that answers ($DISPLAY), the dialogs appear there and you
# play the user. Without one, a private Xvfb is started and vp_dialog_tour
# plays the user, saving a PNG of each window (prompt, About box, progress
# window, wait notice, and any message) under build/windows/screenshots/.
# Wine runs in a prefix of this command's own, build/windows/prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

echo "== The sample document"
bash scripts/sample.sh
sample=build/sample/sample.emc

echo "== The module (x86-64)"
cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
      -DVP_WARNINGS_AS_ERRORS=ON -DVP_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/win64 -j"$jobs" --target vaultpost vp_dialog_tour

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX="$PWD/build/windows/prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=,winemenubuilder.exe=d"
shots="$PWD/build/windows/screenshots"
xvfb_pid=""
cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT

if [ -n "${DISPLAY:-}" ] && timeout 10 xwd -root -silent >/dev/null 2>&1; then
  interactive=1
  managed=Y
else
  interactive=0
  managed=N  # no window manager on Xvfb: Wine draws the frames itself
  exec 3>"$PWD/build/windows.display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s build/windows.display ] && break; sleep 0.1; done
  exec 3>&-
  DISPLAY=":$(cat build/windows.display)"
  export DISPLAY
fi

echo "== Wine ($WINEPREFIX, display $DISPLAY)"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1
  "$wineserver" -w
fi
"$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$managed" /f >/dev/null 2>&1
# A viewer for the sample's main part (a fresh prefix has no association for .txt).
"$wine" reg add 'HKLM\Software\Classes\.txt' /ve /d txtfile /f >/dev/null 2>&1
"$wine" reg add 'HKLM\Software\Classes\txtfile\shell\open\command' /ve /d 'notepad.exe "%1"' /f >/dev/null 2>&1

module="Z:$PWD/build/win64/module/vaultpost.dll"
document="Z:$PWD/$sample"
if [ "$interactive" = 1 ]; then
  echo "Opening $sample: user name demo, password orlenta"
  "$wine" rundll32.exe "$module",OpenDocument "$document"
else
  rm -rf "$shots"
  mkdir -p "$shots"
  "$wine" build/win64/tests/vp_dialog_tour.exe "$module" "$document" demo orlenta "Z:$shots"
  echo "Screenshots:"
  ls -1 "$shots"
fi
