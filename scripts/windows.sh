#!/usr/bin/env bash
# Shows the Windows release at work as a user gets it: builds the 32-bit
# vaultpost.dll and its setup program, installs the reader with the setup on
# 64-bit Windows (a WoW64 prefix under Wine), and opens the sample document
# (user name "demo", password "orlenta", made by scripts/sample.sh) as a
# double-click does.
#
# With a display that answers ($DISPLAY), the setup's pages and the reader's
# dialogs appear there and you play the user. Without one, a private Xvfb is
# started, the setup runs silently, and vp_dialog_tour plays the user of the
# reader, saving a PNG of each window (prompt, About box, progress window,
# wait notice, and any message) under build/windows/screenshots/.
# Wine runs in a prefix of this command's own, build/windows/prefix.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

echo "== The sample document"
bash scripts/sample.sh
sample=build/sample/sample.emc

echo "== The release: the 32-bit module and its setup program"
. scripts/configure.sh
configure_windows build/win32 cmake/mingw-i686.cmake
cmake --build build/win32 -j"$jobs" --target vp_setup vp_dialog_tour
setup=$(ls build/win32/setup/OrlentaReaderSetup-*.exe)

# 64-bit Windows, where the 32-bit module runs through WoW64.
export VP_WINEARCH=win64
. tests/win32/wine_env.sh
export WINEPREFIX="$PWD/build/windows/prefix"
shots="$PWD/build/windows/screenshots"
xvfb_pid=""
cleanup() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
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
  Xvfb -displayfd 3 -noreset -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s build/windows.display ] && break; sleep 0.1; done
  exec 3>&-
  DISPLAY=":$(cat build/windows.display)"
  export DISPLAY
fi

echo "== Wine ($WINEPREFIX, display $DISPLAY)"
# A prefix made before wine32 was installed has no 32-bit half: make it anew.
if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$WINE" wineboot --init >/dev/null 2>&1
  "$WINESERVER" -w
fi
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d "$managed" /f >/dev/null 2>&1
# A viewer for the sample's main part (a fresh prefix has no association for .txt).
"$WINE" reg add 'HKLM\Software\Classes\.txt' /ve /d txtfile /f >/dev/null 2>&1
"$WINE" reg add 'HKLM\Software\Classes\txtfile\shell\open\command' /ve /d 'notepad.exe "%1"' /f >/dev/null 2>&1

document="Z:$PWD/$sample"
if [ "$interactive" = 1 ]; then
  echo "== Installing: $setup"
  "$WINE" "$setup"
  echo "Opening $sample as a double-click does: user name demo, password orlenta"
  "$WINE" start /wait /unix "$PWD/$sample"
else
  echo "== Installing silently: $setup /S"
  "$WINE" "$setup" /S
  rm -rf "$shots"
  mkdir -p "$shots"
  "$WINE" build/win32/tests/vp_dialog_tour.exe "$document" demo orlenta "Z:$shots"
  echo "Screenshots:"
  ls -1 "$shots"
fi
