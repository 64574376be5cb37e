#!/usr/bin/env bash
# The reader as the desktop sees it installed in a scratch prefix: the entry
# validates, MIME lookup knows every extension and a renamed document by its
# magic, xdg-open starts "vaultpost open --gui", the thumbnailer writes every
# size, and the icons, manual page and completion (every option of pack and
# verify) are in place.
#
#   integration_test.sh BUILD_DIR VPENCODE THUMBNAILS
source "$(dirname "$0")/desktop_testing.sh"

build=$1 vpencode=$2 out=$3
mkdir -p "$out"
rm -f "$out"/*.png
vp_workdir
w=$VP_WORK
p=$w/prefix
cmake --install "$build" --prefix "$p" >/dev/null
export XDG_DATA_DIRS=$p/share:/usr/share XDG_DATA_HOME=$w/data XDG_CONFIG_HOME=$w/config
export PATH=$p/bin:$PATH TMPDIR=$w/tmp VAULTPOST_VIEWER=$w/viewer VP_RECORD=$w/record
mkdir -p "$TMPDIR" "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
root=$TMPDIR/vptemp-$(id -u)
vp_viewer "$VAULTPOST_VIEWER"
type=application/x-orlenta-document

echo "installed files"
for f in bin/vaultpost share/applications/orlenta-reader.desktop share/mime/packages/orlenta-reader.xml \
  share/thumbnailers/orlenta-reader.thumbnailer share/man/man1/vaultpost.1.gz \
  share/bash-completion/completions/vaultpost share/doc/orlenta-reader/copyright \
  share/icons/hicolor/scalable/apps/orlenta-reader.svg share/icons/hicolor/scalable/mimetypes/$(echo $type | tr / -).svg; do
  [ -f "$p/$f" ] || fail "not installed: $f"
done
for size in 16 24 32 48 64 128 256; do
  for icon in apps/orlenta-reader mimetypes/application-x-orlenta-document; do
    f=$p/share/icons/hicolor/${size}x${size}/$icon.png
    [ "$(identify -format '%wx%h' "$f")" = "${size}x${size}" ] || fail "$f is not ${size}x${size}"
  done
done
result=$(desktop-file-validate "$p/share/applications/orlenta-reader.desktop" 2>&1) || fail "$result"
[ -z "$result" ] || fail "desktop-file-validate: $result"
warnings=$(zcat "$p/share/man/man1/vaultpost.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
[ -z "$warnings" ] || fail "manual page: $warnings"
# offers WORDS...: what the completion offers for the last word.
offers() {
  bash -c 'source /usr/share/bash-completion/bash_completion; source "$0"
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}; _vaultpost
    echo "${COMPREPLY[*]}"' "$p/share/bash-completion/completions/vaultpost" vaultpost "$@"
}
completion=$(offers op; offers open --g; offers ve; offers pack --pass)
[ "$completion" = $'open\n--gui\nverify\n--password-stdin --password-file' ] || fail "completion gave: $completion"
manual=$(zcat "$p/share/man/man1/vaultpost.1.gz" | sed 's/\\-/-/g')
for command in pack verify; do
  offered=" $(offers "$command" --) "
  for option in $(vaultpost "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
    grep -qE -- "$option([^a-z-]|$)" <<<"$manual" || fail "the manual page lacks $command $option"
    [[ $offered == *" $option "* ]] || fail "completion does not offer $command $option (offers$offered)"
  done
done

echo "the desktop's MIME lookup (gio), by extension and by magic"
update-mime-database "$p/share/mime"
update-desktop-database "$p/share/applications"
printf 'The main part.\n' >"$w/main.txt"
"$vpencode" -o "$w/open.emc" --no-credentials --no-wait-notice --part "$w/main.txt" >/dev/null
for name in copy.emd copy.oed renamed.bin renamed-without-extension; do cp "$w/open.emc" "$w/$name"; done
printf 'emdx not a document\n' >"$w/other.bin"
for f in open.emc copy.emd copy.oed renamed.bin renamed-without-extension other.bin; do
  got=$(gio info -a standard::content-type "$w/$f" | sed -n 's/^ *standard::content-type: //p')
  by_xdg_mime=$(XDG_CURRENT_DESKTOP=GNOME xdg-mime query filetype "$w/$f")
  if [ "$f" = other.bin ]; then
    [ "$got" != "$type" ] || fail "gio takes a file without the magic for a document"
  else
    [ "$got" = "$type" ] || fail "gio says $f is $got"
    [ "$by_xdg_mime" = "$type" ] || fail "xdg-mime says $f is $by_xdg_mime"
  fi
done

echo "xdg-open on a renamed document starts vaultpost open --gui"
vp_start_xvfb
XDG_CURRENT_DESKTOP=GNOME setsid xdg-open "$w/renamed.bin" >"$w/xdg-open.log" 2>&1 </dev/null ||
  fail "xdg-open: $(cat "$w/xdg-open.log")"
vp_wait_for '[ -s "$VP_RECORD.parents" ]' 60 || fail "no viewer was started (log: $(cat "$w/xdg-open.log"))"
read -r reader command <"$VP_RECORD.parents"
[ "$command" = "vaultpost open --gui $w/renamed.bin" ] || fail "the desktop ran: $command"
grep -qx 'The main part.' "$VP_RECORD" || fail "the viewer did not get the main part"
vp_wait_for '[ ! -e /proc/$reader ]' 30 || { kill "$reader"; fail "the reader did not end"; }
[ "$(vp_left_in "$root")" = 0 ] || fail "left behind: $(find "$root")"

echo "the thumbnailer, as the desktop runs it"
exec_line=$(sed -n 's/^Exec=//p' "$p/share/thumbnailers/orlenta-reader.thumbnailer")
grep -qx "MimeType=$type;" "$p/share/thumbnailers/orlenta-reader.thumbnailer" || fail "thumbnailer: no MimeType"
/usr/bin/convert -size 256x256 xc:'#2060c0' "$w/own.png"
vp_png_icon "$w/own.png" "$w/own.ico"
head -c 100 "$w/own.ico" >"$w/cut.ico"
"$vpencode" -o "$w/with-icon.emc" --user a --password b --icon "$w/own.ico" --part "$w/main.txt" >/dev/null
"$vpencode" -o "$w/damaged-icon.emc" --user a --password b --icon "$w/cut.ico" --part "$w/main.txt" >/dev/null
for doc in with-icon open damaged-icon; do
  for size in 128 256 512 1024; do
    png=$out/thumbnail-$doc-$size.png
    command=${exec_line//%i/$w/$doc.emc}
    command=${command//%o/$png}
    command=${command//%s/$size}
    $command || fail "thumbnailer failed: $command"
    [ "$(identify -format '%wx%h' "$png")" = "${size}x${size}" ] || fail "$png is not ${size}x${size}"
  done
done
own=$(identify -format '%[pixel:p{128,128}]' "$out/thumbnail-with-icon-256.png")
[ "$own" = "srgba(32,96,192,1)" ] || [ "$own" = "srgb(32,96,192)" ] || fail "the document's own icon is not drawn ($own)"
cmp -s "$out/thumbnail-open-512.png" "$out/thumbnail-damaged-icon-512.png" ||
  fail "a damaged icon does not give the type's icon"
! cmp -s "$out/thumbnail-open-512.png" "$out/thumbnail-with-icon-512.png" || fail "the document's icon is the type's"

echo "the desktop integration works; thumbnails in $out"
