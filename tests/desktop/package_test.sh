#!/usr/bin/env bash
# The Debian package end to end: built with CPack, its contents and
# dependencies checked, installed with apt into a throwaway Debian 12 root
# (debootstrap; kept in BUILD_DIR/package-root between runs), a document opened
# there (terminal and dialogs), the type known to the desktop's databases, and
# the package removed with nothing left. Without debootstrap (or a mirror) it
# installs on this machine itself and removes the package again.
#
#   package_test.sh BUILD_DIR [SHOTS]
source "$(dirname "$0")/desktop_testing.sh"

build=$(cd "$1" && pwd)
shots=${2:-$build/desktop/screenshots}
mirror=${VP_DEBIAN_MIRROR:-http://deb.debian.org/debian}
suite=bookworm
vp_workdir
w=$VP_WORK
started=$SECONDS
step() { echo "[$((SECONDS - started)) s] $*"; }

step "cpack -G DEB"
(cd "$build" && rm -f orlenta-reader_*.deb && cpack -G DEB >"$w/cpack.log" 2>&1) || fail "cpack: $(tail -20 "$w/cpack.log")"
deb=$(ls "$build"/orlenta-reader_*_"$(dpkg --print-architecture)".deb)

step "contents and control fields of $(basename "$deb")"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sort >"$w/files"
expected=(./usr/bin/vaultpost ./usr/lib/vaultpost/vaultpost-gtk.so ./usr/share/applications/orlenta-reader.desktop
  ./usr/share/bash-completion/completions/vaultpost ./usr/share/doc/orlenta-reader/copyright
  ./usr/share/man/man1/vaultpost.1.gz ./usr/share/mime/packages/orlenta-reader.xml
  ./usr/share/thumbnailers/orlenta-reader.thumbnailer)
for size in 16x16 24x24 32x32 48x48 64x64 128x128 256x256; do
  expected+=("./usr/share/icons/hicolor/$size/apps/orlenta-reader.png"
    "./usr/share/icons/hicolor/$size/mimetypes/application-x-orlenta-document.png")
done
expected+=(./usr/share/icons/hicolor/scalable/apps/orlenta-reader.svg
  ./usr/share/icons/hicolor/scalable/mimetypes/application-x-orlenta-document.svg)
printf '%s\n' "${expected[@]}" | sort >"$w/expected"
diff -u "$w/expected" "$w/files" || fail "the package holds other files than expected"
[ "$(dpkg-deb -c "$deb" | awk '{print $2}' | sort -u)" = "root/root" ] || fail "files not owned by root"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libgtk-4-1 libpng16-16 libstdc++6 zlib1g; do
  [[ ", $depends" == *", $library ("* ]] || fail "Depends lacks $library: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = orlenta-reader ] || fail "package name"

names=$(echo "$depends" | tr ',' '\n' | sed 's/|.*//; s/(.*//; s/ //g' | grep -v '^$' | sort -u | tr '\n' ' ')
extra="shared-mime-info desktop-file-utils xdg-utils libglib2.0-bin"
key=$(echo "$suite $names $extra" | sha256sum | cut -c1-16)
cache=$build/package-root/$suite-$key.tar
root=$w/root
in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
if [ ! -f "$cache" ] && command -v debootstrap >/dev/null; then
  step "debootstrap $suite (kept in $cache for later runs)"
  mkdir -p "$root" "$(dirname "$cache")"
  if debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$w/debootstrap.log" 2>&1 &&
    DEBIAN_FRONTEND=noninteractive in_root apt-get install -y -q --no-install-recommends $names $extra \
      >"$w/dependencies.log" 2>&1; then
    in_root apt-get clean
    rm -rf "$root/var/lib/apt/lists/partial"
    tar -C "$root" -cf "$cache.new" . && mv "$cache.new" "$cache"
  else
    echo "debootstrap failed: $(tail -3 "$w/debootstrap.log" "$w/dependencies.log" 2>/dev/null)"
  fi
  rm -rf "$root"
fi
if [ -f "$cache" ]; then
  step "a fresh root from $cache"
  mkdir -p "$root"
  tar -C "$root" -xf "$cache"
  prefix=$root
else
  # No root could be made: this machine itself, the package removed again below.
  step "no throwaway root: installing on this machine"
  root=/
  in_root() { env "$@"; }
  prefix=""
  dpkg -s orlenta-reader >/dev/null 2>&1 && fail "orlenta-reader is installed here already; not touching it"
fi
# Everything a package may touch, less apt's and dpkg's own books and caches.
snapshot() {
  (cd "$prefix/" && find ./usr ./etc ./opt ./var -xdev \( -path ./var/cache -o -path ./var/log -o -path ./var/lib/apt \
    -o -path ./var/lib/dpkg -o -path ./var/tmp \) -prune -o -print 2>/dev/null | sort)
}
snapshot >"$w/before"

step "apt install ./$(basename "$deb")"
mkdir -p "$prefix/tmp/vp"
cp "$deb" "$prefix/tmp/vp/"
apt_lock=()
if [ -z "$prefix" ]; then apt_lock=(flock /tmp/apt.lock); fi
"${apt_lock[@]}" chroot "${root}" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
  sh -c "cd /tmp/vp && apt install -y ./$(basename "$deb")" >"$w/install.log" 2>&1 ||
  fail "apt install: $(tail -20 "$w/install.log")"
grep -q 'orlenta-reader' "$w/install.log" || fail "apt did not install the package"
in_root dpkg -L orlenta-reader | sort >"$w/installed"

step "the desktop's databases picked the type up (triggers)"
[ -f "$prefix/usr/share/mime/application/x-orlenta-document.xml" ] || fail "the MIME database does not know the type"
grep -q 'application/x-orlenta-document=orlenta-reader.desktop' "$prefix/usr/share/applications/mimeinfo.cache" ||
  fail "the desktop database does not know the entry"

step "a document opened through the installed files"
vpencode=$build/tools/encoder/vpencode
printf 'Opened from the package.\n' >"$prefix/tmp/vp/main.txt"
"$vpencode" -o "$prefix/tmp/vp/doc.emc" --user alice --password secret --part "$prefix/tmp/vp/main.txt" >/dev/null
cp "$prefix/tmp/vp/doc.emc" "$prefix/tmp/vp/renamed.bin"
cat >"$prefix/tmp/vp/viewer" <<'VIEWER'
#!/bin/sh
cat "$1" >>/tmp/vp/viewed
VIEWER
chmod +x "$prefix/tmp/vp/viewer"
env=(TMPDIR=/tmp/vp VAULTPOST_VIEWER=/tmp/vp/viewer)
printf 'secret\n\n' | in_root "${env[@]}" vaultpost open --user alice --password-stdin /tmp/vp/doc.emc \
  >"$w/terminal.log" 2>&1 || fail "vaultpost open (terminal) failed: $(cat "$w/terminal.log")"
[ "$(cat "$prefix/tmp/vp/viewed")" = "Opened from the package." ] || fail "the viewer got the wrong bytes"
[ "$(vp_left_in "$prefix/tmp/vp/vptemp-0")" = 0 ] || fail "parts left behind"
[ "$(in_root gio info -a standard::content-type /tmp/vp/renamed.bin | sed -n 's/^ *standard::content-type: //p')" = \
  application/x-orlenta-document ] || fail "gio in the root does not know a renamed document"
applications=$(in_root gio mime application/x-orlenta-document)
[[ $applications == *"Default application for"*"orlenta-reader.desktop"* ]] || fail "no application for the type: $applications"
thumbnail_exec=$(sed -n 's/^Exec=//p' "$prefix/usr/share/thumbnailers/orlenta-reader.thumbnailer")
command=${thumbnail_exec//%i//tmp/vp/doc.emc}
command=${command//%o//tmp/vp/thumb.png}
in_root ${command//%s/256} || fail "the installed thumbnailer failed"
[ "$(identify -format '%wx%h' "$prefix/tmp/vp/thumb.png")" = 256x256 ] || fail "the thumbnail is not 256x256"

# The dialogs on a private X server: the package's dependencies suffice.
vp_start_xvfb
rm -f "$prefix/tmp/vp/viewed"
in_root "${env[@]}" DISPLAY="$DISPLAY" GDK_BACKEND=x11 GSK_RENDERER=cairo NO_AT_BRIDGE=1 \
  setsid vaultpost open --gui /tmp/vp/doc.emc >"$w/gui.log" 2>&1 &
gui=$!
VP_PIDS+=("$gui")
prompt=$(vp_window "Open Encrypted Document" 60)
mkdir -p "$shots"
vp_shot "$prompt" "$shots/12-installed-package.png"
vp_focus "$prompt"
vp_type alice
vp_key Tab
vp_type secret
vp_key Return
notice=$(vp_window "Orlenta Reader")
vp_press "$notice" Return
wait "$gui" || fail "vaultpost open --gui in the root failed: $(cat "$w/gui.log")"
[ "$(cat "$prefix/tmp/vp/viewed")" = "Opened from the package." ] || fail "the viewer got the wrong bytes (windows)"

step "apt remove --purge orlenta-reader"
"${apt_lock[@]}" chroot "${root}" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
  apt remove -y --purge orlenta-reader >"$w/remove.log" 2>&1 || fail "apt remove: $(tail -20 "$w/remove.log")"
rm -rf "$prefix/tmp/vp"
in_root dpkg -s orlenta-reader >/dev/null 2>&1 && fail "still installed"
while read -r path; do
  if [ -f "$prefix$path" ] || [ -L "$prefix$path" ]; then fail "left behind: $path"; fi
done <"$w/installed"
snapshot >"$w/after"
diff -u "$w/before" "$w/after" || fail "the removal left the root changed"
[ ! -e "$prefix/usr/share/mime/application/x-orlenta-document.xml" ] || fail "the MIME database still knows the type"
! grep -q orlenta "$prefix/usr/share/applications/mimeinfo.cache" || fail "the desktop database still has the entry"
if [ -n "$prefix" ]; then rm -rf "$root"; fi
step "the package installs, works and leaves without a trace"
