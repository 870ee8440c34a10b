#!/usr/bin/env bash
# Builds libdeflate for Windows x86-64 with the MinGW-w64 compiler from
# Debian's source package of the version the Linux packages have, so that the
# three platforms compress with the same code; installs include/libdeflate.h
# and lib/libdeflate.a into PREFIX (default build-deps/libdeflate-mingw).
# Configure the Windows build with -DLIBDEFLATE_ROOT=PREFIX.
set -euo pipefail
prefix=$(realpath -m "${1:-build-deps/libdeflate-mingw}")
version=$(dpkg-query -W -f='${Version}\n' libdeflate-dev | head -n 1)
if [ -f "$prefix/lib/libdeflate.a" ] && [ "$(cat "$prefix/version" 2>/dev/null)" = "$version" ]; then
  exit 0
fi
# The source package comes from the distribution's own archive.
if ! apt-get source --print-uris -qq "libdeflate=$version" >/dev/null 2>&1; then
  sed -e 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
    >/etc/apt/sources.list.d/vln-deb-src.sources
  apt-get update -qq
fi
work=$(mktemp -d)
trap 'status=$?; rm -rf "$work"; exit $status' EXIT
cd "$work"
apt-get source -qq --download-only "libdeflate=$version" 2>&1 | grep -v unsandboxed || true
dpkg-source -x --no-check ./libdeflate_*.dsc src >/dev/null
cd - >/dev/null
make -s -C "$work/src" -j2 CC=x86_64-w64-mingw32-gcc-posix AR=x86_64-w64-mingw32-ar \
  libdeflatestatic.lib
mkdir -p "$prefix/include" "$prefix/lib"
cp "$work/src/libdeflate.h" "$prefix/include/"
cp "$work/src/libdeflatestatic.lib" "$prefix/lib/libdeflate.a"
echo "$version" >"$prefix/version"
