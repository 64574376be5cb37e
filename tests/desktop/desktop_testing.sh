# Helpers of the desktop tests (sourced): a private X server, windows found by
# name, screenshots, documents and the test viewer. Every process started here
# is ended by its id when the script ends.

set -euo pipefail

VP_PIDS=()
VP_WORK=""

vp_cleanup() {
  local pid
  for pid in "${VP_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${VP_PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ -n "$VP_WORK" ]; then rm -rf "$VP_WORK"; fi
}
trap vp_cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  if declare -F vp_on_failure >/dev/null; then vp_on_failure >&2 || true; fi
  exit 1
}

vp_workdir() {
  VP_WORK=$(mktemp -d /tmp/vp-desktop-XXXXXX)
}

# vp_start_xvfb: a private X server on a free display; exports what GTK needs
# to draw on it in software. -noreset: by default the server resets when its
# last client leaves and drops a connection that arrives meanwhile, so a
# reader started just after the previous one ended would find no display.
vp_start_xvfb() {
  local fifo
  fifo=$(mktemp -u "$VP_WORK/display-XXXXXX")
  mkfifo "$fifo"
  Xvfb -displayfd 3 -noreset -screen 0 1280x800x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  VP_XVFB_PID=$!
  VP_PIDS+=("$VP_XVFB_PID")
  local number
  read -r -t 20 number <"$fifo" || fail "Xvfb did not start"
  export DISPLAY=":$number" GDK_BACKEND=x11 GSK_RENDERER=cairo NO_AT_BRIDGE=1 GTK_A11Y=none
  unset WAYLAND_DISPLAY
}

# vp_window NAME [SECONDS]: the id of the visible window whose whole title is
# NAME (an extended regular expression), waiting for it to appear.
vp_window() {
  local name=$1 deadline=$((SECONDS + ${2:-90})) id
  while ((SECONDS < deadline)); do
    id=$(xdotool search --onlyvisible --name "^${name}\$" 2>/dev/null | tail -1 || true)
    if [ -n "$id" ]; then
      echo "$id"
      return 0
    fi
    sleep 0.2
  done
  fail "no window \"$name\" within ${2:-90} s"
}

# vp_gone ID [SECONDS]: waits until window ID is no longer visible.
vp_gone() {
  local deadline=$((SECONDS + ${2:-90}))
  local shown
  while ((SECONDS < deadline)); do
    shown=$(xdotool search --onlyvisible --name '.' 2>/dev/null || true)
    grep -qx "$1" <<<"$shown" || return 0
    sleep 0.2
  done
  fail "window $1 is still shown"
}

# vp_shot ID FILE: a PNG of window ID (after a moment for it to be drawn).
vp_shot() {
  sleep 0.6
  xwd -id "$1" -silent | /usr/bin/convert xwd:- "$2"
}

vp_geometry() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
}

# vp_focus ID: gives window ID the keyboard, as a click on it would.
vp_focus() {
  xdotool windowfocus --sync "$1"
  sleep 0.2
}

vp_type() { xdotool type --delay 40 "$1"; }
vp_key() { xdotool key "$@"; }
vp_press() { vp_focus "$1"; vp_key "$2"; }  # ID KEY

# vp_click ID X Y: a click at X, Y inside window ID (negative X counts from
# its right edge).
vp_click() {
  local x=$2
  vp_geometry "$1"
  if ((x < 0)); then x=$((WIDTH + x)); fi
  xdotool mousemove --window "$1" "$x" "$3" click 1
}

# vp_close ID: the close button at the right end of the window's title bar.
vp_close() { vp_click "$1" -27 27; }

# vp_left_in ROOT: the number of entries under ROOT (0 without ROOT).
vp_left_in() {
  if [ -d "$1" ]; then find "$1" -mindepth 1 | wc -l; else echo 0; fi
}

# vp_viewer FILE: a test viewer that appends the path and content it got to
# $VP_RECORD, its reader's id and command line to $VP_RECORD.parents, and
# waits (at most 60 s) until the file $VP_HOLD names, if any, exists.
vp_viewer() {
  cat >"$1" <<'VIEWER'
#!/bin/sh
printf '%s\n' "$1" >>"$VP_RECORD"
cat "$1" >>"$VP_RECORD" 2>/dev/null || true
echo "$PPID $(tr '\0' ' ' </proc/$PPID/cmdline)" >>"$VP_RECORD.parents"
if [ -n "${VP_HOLD:-}" ]; then
  i=0
  while [ ! -e "$VP_HOLD" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
fi
VIEWER
  chmod +x "$1"
}

vp_le16() { printf "\\x$(printf %02x $(($1 & 255)))\\x$(printf %02x $((($1 >> 8) & 255)))"; }
vp_le32() { vp_le16 $(($1 & 65535)); vp_le16 $((($1 >> 16) & 65535)); }

# vp_png_icon PNG ICO: an icon file of the one PNG, said to be 256 x 256.
vp_png_icon() {
  local size
  size=$(stat -c %s "$1")
  { vp_le16 0; vp_le16 1; vp_le16 1; printf '\x00\x00\x00\x00'; vp_le16 1; vp_le16 32; vp_le32 "$size"; vp_le32 22
    cat "$1"; } >"$2"
}

# vp_wait_for TEST SECONDS: waits until the shell command TEST succeeds.
vp_wait_for() {
  local deadline=$((SECONDS + $2))
  until eval "$1"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}
