#!/usr/bin/env bash
# The desktop dialogs driven as a user drives them, on a private X server:
# windows found by their titles, keys typed, buttons clicked. Each scenario
# checks what the viewer got, the exit status, and that nothing is left in
# the private folder; a PNG of every window goes to SHOTS.
#
#   dialogs_test.sh VAULTPOST VPENCODE ICON_DIR SHOTS
source "$(dirname "$0")/desktop_testing.sh"

vaultpost=$1 vpencode=$2 icons=$3 shots=$4
mkdir -p "$shots"
rm -f "$shots"/*.png
vp_workdir
vp_start_xvfb
w=$VP_WORK
export TMPDIR=$w/tmp XDG_CONFIG_HOME=$w/config VAULTPOST_VIEWER=$w/viewer VP_RECORD=$w/record
mkdir -p "$TMPDIR"
root=$TMPDIR/vptemp-$(id -u)
vp_viewer "$VAULTPOST_VIEWER"

printf 'The quarterly figures are in the attachment.\n' >"$w/report.txt"
printf 'Minutes of the board meeting.\n' >"$w/minutes.txt"
printf '\x00\x01 raw measurement data\n' >"$w/data.vpx"
doc() { "$vpencode" -o "$w/$1" "${@:2}" >/dev/null; }
doc report.emc --user alice --password secret --icon "$icons/document.ico" \
  --tag "Title=Quarterly report" --tag "Prompt=Enter the user name and password you were given for this report." \
  --tag "HyperlinkUrl=https://www.orlenta.example/help" --tag "HyperlinkText=Where do I find my password?" \
  --part "$w/report.txt" --generate 9437184:name=figures.dat
doc slow.emc --user bob --password slow --kdf 3 --iterations 6000 --part "$w/report.txt"
doc minutes.emc --password-only --password only --tag "Title=Board minutes" --part "$w/minutes.txt"
doc open.emc --no-credentials --part "$w/report.txt"
doc unknown.emc --no-credentials --part "$w/data.vpx"
# A hostile sender's texts: terminal escapes, markup, direction overrides,
# lengths far beyond any window, a script link, and an icon whose one image
# is a 2048 x 2048 PNG.
long=$(printf 'Quarterly%.0s' $(seq 1 600))
/usr/bin/convert -size 2048x2048 xc:red "$w/huge.png"
vp_png_icon "$w/huge.png" "$w/huge.ico"
doc hostile.emc --user x --password y --icon "$w/huge.ico" \
  --tag $'Title=\e]0;pwned\a\e[31mRED '"$long" \
  --tag $'Prompt=<b>bold</b> &amp; <span foreground="red">red</span> \e[2J\xe2\x80\xaetxt.exe '"$long" \
  --tag "UserNameLabel=$long" --tag "HyperlinkUrl=javascript:alert(document.cookie)" --tag "HyperlinkText=Click me" \
  --part "$w/report.txt"

# What a failure leaves to read: the reader's output, the windows on the
# screen, and where each reader is (its state and what it waits in).
vp_on_failure() {
  echo "--- vaultpost's output (last lines)"
  tail -20 "$w/vaultpost.log" 2>/dev/null || true
  echo "--- the X server of $DISPLAY"
  ps -o pid,stat,lstart,args -p "$VP_XVFB_PID" || echo "(gone)"
  xdotool getdisplaygeometry 2>&1 || true
  echo "--- named windows (* visible)"
  local id visible
  visible=$(xdotool search --onlyvisible --name '.' 2>/dev/null || true)
  for id in $(xdotool search --name '.' 2>/dev/null); do
    echo "$(grep -qx "$id" <<<"$visible" && echo '*' || echo ' ') $id: $(xdotool getwindowname "$id" 2>/dev/null)"
  done
  echo "--- readers running"
  local pid
  for pid in $(pgrep -f "^$vaultpost open" || true); do
    echo "$pid: $(tr '\0' ' ' </proc/"$pid"/cmdline 2>/dev/null)"
    grep -E '^(State|Threads):' /proc/"$pid"/status 2>/dev/null || true
    echo "  waits in: $(cat /proc/"$pid"/wchan 2>/dev/null)"
    if command -v gdb >/dev/null; then gdb -batch -p "$pid" -ex 'thread 1' -ex bt 2>/dev/null | grep '^#' | head -25; fi
  done
}
started=$SECONDS
scenario() { echo "[$((SECONDS - started)) s] $*"; }
OPEN_PID=""
# open_doc DOC [ENV=VALUE...]: vaultpost open --gui DOC without a terminal.
open_doc() {
  : >"$VP_RECORD"
  env "${@:2}" setsid timeout 180 "$vaultpost" open --gui "$w/$1" >>"$w/vaultpost.log" 2>&1 &
  OPEN_PID=$!
  VP_PIDS+=("$OPEN_PID")
}
# finish STATUS: the reader ends with STATUS and leaves nothing behind.
finish() {
  local status=0
  wait "$OPEN_PID" || status=$?
  [ "$status" = "$1" ] || fail "vaultpost ended with $status, not $1 (log: $(tail -5 "$w/vaultpost.log"))"
  [ "$(vp_left_in "$root")" = 0 ] || fail "left behind: $(find "$root")"
}
# viewed TEXT: the viewer got TEXT (it runs beside the reader: give it time).
viewed() { vp_wait_for "grep -qF -- $(printf %q "$1") \"\$VP_RECORD\"" 30 || fail "the viewer did not get \"$1\""; }
not_viewed() { [ ! -s "$VP_RECORD" ] || fail "the viewer ran: $(cat "$VP_RECORD")"; }
# button ID N: the Nth button from the right of the window's button row.
button() {
  vp_geometry "$1"
  vp_click "$1" $((-18 - 44 - (${2} - 1) * 96)) $((HEIGHT - 35))
}
prompt=""
enter_credentials() {  # WINDOW USER PASSWORD
  vp_focus "$1"
  if [ -n "$2" ]; then vp_type "$2"; vp_key Tab; fi
  vp_type "$3"
  vp_key Return
}

scenario "report.emc: prompt, About, wrong password, retry, progress, notice"
open_doc report.emc VP_HOLD="$w/release"
prompt=$(vp_window "Quarterly report")
vp_shot "$prompt" "$shots/01-prompt.png"
vp_click "$prompt" 27 27  # the About button at the left of the title bar
about=$(vp_window "About Orlenta Reader")
vp_shot "$about" "$shots/02-about.png"
vp_press "$about" Return
vp_gone "$about"
enter_credentials "$prompt" alice wrong
message=$(vp_window "Orlenta Reader")
vp_shot "$message" "$shots/03-wrong-password.png"
vp_press "$message" Return
vp_gone "$message"
vp_shot "$prompt" "$shots/04-prompt-again.png"
enter_credentials "$prompt" "" secret  # the user name is still there; the password field has the focus
opening=$(vp_window "Orlenta Reader")
sleep 1  # the viewer has the main part; the window waits beside it
vp_shot "$opening" "$shots/05-progress.png"
viewed "The quarterly figures are in the attachment."
touch "$w/release"
sleep 0.5
notice=$(vp_window "Orlenta Reader")
vp_shot "$notice" "$shots/06-notice.png"
[ "$(vp_left_in "$root")" != 0 ] || fail "the parts went before the notice was answered"
vp_press "$notice" Return
finish 0
rm -f "$w/release"

scenario "report.emc: the link"
open_doc report.emc
prompt=$(vp_window "Quarterly report")
vp_focus "$prompt"
vp_key Tab Tab Return  # user name, password, link
viewed "https://www.orlenta.example/help"
vp_press "$prompt" Escape
finish 1

scenario "report.emc: Cancel in the prompt; the close buttons of the message and the prompt"
open_doc report.emc
prompt=$(vp_window "Quarterly report")
button "$prompt" 2  # Cancel
finish 1
not_viewed
open_doc report.emc
prompt=$(vp_window "Quarterly report")
enter_credentials "$prompt" alice wrong
message=$(vp_window "Orlenta Reader")
vp_close "$message"
vp_gone "$message"
vp_close "$prompt"
finish 1
not_viewed

scenario "slow.emc: the key derivation's progress, and its Cancel"
open_doc slow.emc
prompt=$(vp_window "Open Encrypted Document")
enter_credentials "$prompt" bob slow
opening=$(vp_window "Orlenta Reader")
sleep 1.5
vp_shot "$opening" "$shots/07-key-derivation.png"
button "$opening" 1  # Cancel, the only button
finish 1
not_viewed

scenario "unknown.emc: the question declined (the notice still comes), then accepted"
open_doc unknown.emc
question=$(vp_window "Opening Unknown File Type")
vp_shot "$question" "$shots/08-unknown-type.png"
button "$question" 2  # Cancel
notice=$(vp_window "Orlenta Reader")
vp_close "$notice"
finish 0
not_viewed
open_doc unknown.emc
question=$(vp_window "Opening Unknown File Type")
vp_press "$question" Return
notice=$(vp_window "Orlenta Reader")
viewed "raw measurement data"
vp_press "$notice" Return
finish 0

scenario "minutes.emc: one masked field"
open_doc minutes.emc
prompt=$(vp_window "Board minutes")
vp_focus "$prompt"
vp_type only
vp_shot "$prompt" "$shots/09-password-only.png"
vp_key Return
notice=$(vp_window "Orlenta Reader")
viewed "Minutes of the board meeting."
vp_press "$notice" Return
finish 0

scenario "open.emc: no prompt; the notice closed by SIGTERM (a session ending) wipes"
open_doc open.emc
notice=$(vp_window "Orlenta Reader")
vp_shot "$notice" "$shots/10-no-credentials-notice.png"
viewed "The quarterly figures are in the attachment."
[ "$(vp_left_in "$root")" != 0 ] || fail "no part while the notice is up"
kill -TERM "$OPEN_PID"
finish 143

scenario "hostile.emc: texts shown as text, cut to the screen, no link, no huge icon"
open_doc hostile.emc
prompt=$(vp_window '.*RED Quarterly.*')
vp_shot "$prompt" "$shots/11-hostile.png"
vp_geometry "$prompt"
((WIDTH <= 800 && HEIGHT <= 700)) || fail "the hostile prompt is ${WIDTH}x${HEIGHT}"
title=$(xdotool getwindowname "$prompt")
case $title in *$'\e'*|*$'\a'*|*pwned$'\a'*) fail "a control character reached the title" ;; esac
((${#title} < 200)) || fail "the title was not cut (${#title} characters)"
vp_press "$prompt" Escape
finish 1
not_viewed

scenario "open.emc: the X server ends under the notice; the parts go with it"
first_display=$DISPLAY
vp_start_xvfb
lost=${VP_PIDS[-1]}
open_doc open.emc
vp_window "Orlenta Reader" >/dev/null
[ "$(vp_left_in "$root")" != 0 ] || fail "no part while the notice is up"
kill "$lost"
finish 1
export DISPLAY=$first_display

scenario "all dialog scenarios passed; screenshots in $shots"
