#!/usr/bin/env bash
# The browser reader: builds the page into build/web/page (open index.html in
# a browser, or copy the folder to any static host), and with "test" runs its
# tests: the security and codec unit tests as WebAssembly under node, and the
# page in Chromium driven by playwright-core against the native reader.
#
#   bash scripts/web.sh          # build the page
#   bash scripts/web.sh test     # build it, the native tools it is compared with, and test
#
# zlib's source comes from Debian's source archive through a private apt
# configuration (its own source list and lists folder; the system's sources
# stay as they are), and playwright-core from the npm registry; both are kept
# in build/web-cache and fetched again only when missing or changed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
mode=${1:-build}
bash scripts/deps.sh

jobs=$(nproc)
cache=$root/build/web-cache
mkdir -p "$cache"

# Debian's emscripten runs its JavaScript tools with node and finds their
# modules (acorn) among Debian's node modules, which a node from elsewhere
# does not search by itself.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

zlib_version=1:1.2.13.dfsg-1
zlib_source=$cache/zlib-1.2.13.dfsg
if [ ! -f "$zlib_source/inflate.c" ]; then
  echo "== zlib $zlib_version: source from Debian's archive"
  apt_dir=$cache/apt
  rm -rf "$apt_dir" "$zlib_source"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$apt_dir/source"
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian bookworm main" \
    > "$apt_dir/sources.list"
  apt_options=(-q -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o Dir::Etc::SourceParts=/nonexistent
               -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir" -o Dir::Cache::pkgcache=
               -o Dir::Cache::srcpkgcache= -o "APT::Sandbox::User=$(id -un)")
  apt-get "${apt_options[@]}" update >/dev/null
  (cd "$apt_dir/source" && apt-get "${apt_options[@]}" source "zlib=$zlib_version" >/dev/null)
  mv "$apt_dir/source/zlib-1.2.13.dfsg" "$zlib_source"
  rm -rf "$apt_dir"
fi

echo "== Browser reader: WebAssembly build (build/web)"
emcmake cmake -S . -B build/web -DCMAKE_BUILD_TYPE=Release -DVP_WARNINGS_AS_ERRORS=ON \
  -DVP_ZLIB_SOURCE="$zlib_source" -DVP_NATIVE_BUILD="$root/build/release" -DVP_NODE_MODULES="$cache/npm/node_modules" >/dev/null
cmake --build build/web -j"$jobs"
echo "The page: $root/build/web/page/index.html"

if [ "$mode" != test ]; then
  exit 0
fi

# The native reader and encoder, which make the test documents and the
# answers the page's parts are compared with.
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVP_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build build/release -j"$jobs" --target vaultpost vpencode vp_icons

npm_dir=$cache/npm
if ! cmp -s tests/web/package-lock.json "$npm_dir/package-lock.json" || [ ! -d "$npm_dir/node_modules" ]; then
  echo "== playwright-core from the npm registry"
  rm -rf "$npm_dir"
  mkdir -p "$npm_dir"
  cp tests/web/package.json tests/web/package-lock.json "$npm_dir/"
  (cd "$npm_dir" && npm ci --no-audit --no-fund --loglevel=error)
fi

echo "== Browser reader: unit tests under node, the page in Chromium"
ctest --test-dir build/web --output-on-failure -j"$jobs"
echo "Screenshots of every state: $root/build/web/screenshots"
