#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# Runs as root on a fresh Debian 12 machine; does nothing when all are present.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  zlib1g-dev libisal-dev libgtest-dev libgmock-dev libbenchmark-dev libssl-dev
  clang-14 libclang-rt-14-dev
  tmux
  # The benchmarks' peak-memory figures.
  time
  # gdb takes the reader's memory snapshots in the test of what it leaves in
  # memory; util-linux's setpriv and prlimit run it as another user.
  gdb util-linux
  # The Windows module: MinGW cross compilers with zlib, GoogleTest's sources
  # for the Windows test programs, Wine with a private X server to run them
  # (x11-apps and imagemagick for screenshots of its windows), and NSIS for
  # the setup program.
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest
  wine64 wine xvfb xauth x11-apps imagemagick nsis
  # The Linux desktop: GTK 4 and libpng to build against; xdotool to drive
  # the dialogs; the desktop's MIME and application databases, gio and
  # xdg-open, bash-completion and groff to try the installed files; dpkg-dev
  # (dpkg-shlibdeps) for the package and debootstrap for a root to install
  # it into.
  libgtk-4-dev libpng-dev xdotool shared-mime-info desktop-file-utils libglib2.0-bin xdg-utils
  bash-completion groff-base dpkg-dev debootstrap
  # The browser reader: Emscripten, dpkg-source (dpkg-dev, above) to unpack
  # zlib's source from Debian's archive, and Chromium for the page's tests.
  emscripten chromium
)
# node and npm run the WebAssembly tests and playwright-core; a machine may
# already have them from elsewhere than Debian, which then stays as it is.
command -v node >/dev/null || packages+=(nodejs)
command -v npm >/dev/null || packages+=(npm)

export DEBIAN_FRONTEND=noninteractive
sudo_cmd=()
if [ "$(id -u)" != 0 ]; then sudo_cmd=(sudo); fi

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The i686 module (the release) runs under Wine's 32-bit loader, wine32 from
# the i386 architecture, which must be the very version of the installed
# wine64 (multi-arch may then move some amd64 libraries to the current point
# release). A WoW64 prefix made before it was installed lacks syswow64.
if ! installed wine32:i386; then
  version=$(dpkg-query -W -f='${Version}' wine64)
  echo "installing: wine32:i386=$version"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo_cmd[@]}" dpkg --add-architecture i386
  fi
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "wine32:i386=$version" >/dev/null
fi
