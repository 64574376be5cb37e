# Sourced by the Wine harness scripts: the settings every Wine call of a test
# run shares. $1 of the sourcing script is the state folder (build/win64/wine).
WINE64=${VP_WINE64:-/usr/lib/wine/wine64}
WINESERVER=${VP_WINESERVER:-/usr/lib/wine/wineserver}
export WINEARCH=win64
export WINEDEBUG=-all
# No .NET or Gecko installers, no desktop files written into $HOME.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
