# Sourced by the Wine harness scripts and scripts/windows.sh: the settings
# every Wine call shares, for the prefix kind VP_WINEARCH names:
#   win64 (the default)  a 64-bit prefix, as on 64-bit Windows: 64-bit programs
#                        run natively, 32-bit ones through WoW64 (syswow64);
#   win32                a 32-bit prefix, as on 32-bit Windows (i686 programs only).
# With a build's Wine folder as $1 (build/win32/wine), `state` is that kind's
# state folder in it ($1/win64 or $1/win32), so that both runs of the i686
# suite keep their own prefixes, display and logs.
export WINEARCH=${VP_WINEARCH:-win64}
case $WINEARCH in
  win64) WINE=${VP_WINE64:-/usr/lib/wine/wine64} WINESERVER=${VP_WINESERVER:-/usr/lib/wine/wineserver} ;;
  win32) WINE=${VP_WINE32:-/usr/lib/wine/wine} WINESERVER=${VP_WINESERVER32:-/usr/lib/wine/wineserver32} ;;
  *) echo "VP_WINEARCH is win64 or win32, not '$WINEARCH'" >&2; exit 2 ;;
esac
if [ -n "${1:-}" ]; then state=$1/$WINEARCH; fi
export WINEDEBUG=-all
# No .NET or Gecko installers, and no desktop files or menu entries written
# into $HOME by Wine's menu helper (Wine separates overrides with ";").
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# copy_prefix FROM TO: a prefix made from a clean one in a fraction of a
# second: the system's programs and libraries hard links, every other file a
# copy. The copied .update-timestamp tells Wine the prefix is up to date, so
# it never rewrites its libraries in place.
copy_prefix() {
  cp -al "$1" "$2"
  (cd "$1" && find . -type f ! -iregex \
     '.*\.\(dll\|exe\|drv\|sys\|ocx\|cpl\|acm\|ax\|ds\|nls\|tlb\|msstyles\|ttf\|fon\|mui\|com\|vxd\|tsp\|ime\|scr\|msi\)$' \
     -print0) | while IFS= read -r -d '' file; do cp -a --remove-destination "$1/$file" "$2/$file"; done
}
