#!/bin/sh
# Builds the toolkit for 64-bit Windows once, static, from Debian's own
# source of the host's version, into a cache folder outside the checkout
# keyed by that version and the configuration below. Prints the installed
# prefix on its last line; a later call with the same key only prints it.
set -eu

CACHE=${VESMIRA_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vesmira-windows}
JOBS=${JOBS:-$(nproc)}
HERE=$(cd "$(dirname "$0")" && pwd)
TOOLCHAIN=$HERE/../packaging/windows/mingw-toolchain.cmake

VERSION=$(dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/^[0-9]*://; s/-[^-]*$//')

# What the wizard does not use is left out: it keeps the build near 20
# minutes and the program free of anything it would have to license or load.
# The dynamic GL switch needs INPUT_opengl=no, not FEATURE_opengl=OFF.
OPTIONS="-DBUILD_SHARED_LIBS=OFF -DFEATURE_static_runtime=ON
 -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
 -DFEATURE_pkg_config=OFF -DINPUT_opengl=no -DFEATURE_vulkan=OFF
 -DFEATURE_zstd=OFF -DFEATURE_icu=OFF -DFEATURE_glib=OFF -DFEATURE_sql=OFF
 -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF
 -DFEATURE_xml=OFF -DFEATURE_printsupport=OFF -DFEATURE_androiddeployqt=OFF
 -DFEATURE_testlib=ON
 -DFEATURE_system_zlib=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
 -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF
 -DFEATURE_system_pcre2=OFF -DFEATURE_system_doubleconversion=OFF"

KEY=$(printf '%s\n' "$OPTIONS" | cat - "$TOOLCHAIN" | sha256sum | cut -c1-12)
PREFIX=$CACHE/qt-$VERSION-$KEY

if [ -f "$PREFIX/.complete" ]; then
  echo "$PREFIX"
  exit 0
fi

# The toolkit remembers the toolchain file it was built with, for every
# program built against it later: a copy that stays with it, not the
# checkout's, which may be gone by then.
mkdir -p "$CACHE"
cp "$TOOLCHAIN" "$CACHE/toolchain-$KEY.cmake"
TOOLCHAIN=$CACHE/toolchain-$KEY.cmake

WORK=$CACHE/work-$VERSION-$KEY
rm -rf "$PREFIX"
echo "Building the toolkit $VERSION for Windows into $PREFIX (about 21 minutes on 2 cores, once)" >&2
# An interrupted build goes on where it stopped.
if [ ! -f "$WORK/build/build.ninja" ]; then
rm -rf "$WORK"
mkdir -p "$WORK"
cd "$WORK"
apt-get source -qq --download-only qt6-base >/dev/null 2>&1
# With Debian's patches: they carry its security fixes.
dpkg-source -x qt6-base_*.dsc src >/dev/null 2>&1

# Debian's source drops the tablet headers the Windows plugin includes; Wine's
# LGPL copies stand in, unpacked without installing Wine's development files.
apt-get download -qq libwine-dev >/dev/null 2>&1
dpkg-deb -x libwine-dev_*.deb wine-dev
WT=src/src/3rdparty/wintab
mkdir -p "$WT"
inc=$(find wine-dev -name wintab.h -path '*windows*' | head -1)
cp "$inc" "$WT/wine_wintab.h"
cp "$(dirname "$inc")/pktdef.h" "$WT/pktdef.h"
cat > "$WT/wintab.h" <<'H'
#pragma once
#include <windows.h>
#ifndef API
#define API WINAPI
#endif
/* Wine's own helper for its A/W type names. */
#ifndef DECL_WINELIB_TYPE_AW
#ifdef UNICODE
#define DECL_WINELIB_TYPE_AW(type) typedef type##W type;
#else
#define DECL_WINELIB_TYPE_AW(type) typedef type##A type;
#endif
#endif
#include "wine_wintab.h"
H

# shellcheck disable=SC2086
cmake -G Ninja -S src -B build -Wno-dev \
  -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX="$PREFIX" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_QMAKE_TARGET_MKSPEC=win32-g++ $OPTIONS >configure.log 2>&1 ||
  { tail -40 configure.log >&2; exit 1; }
fi
cd "$WORK"
cmake --build build -j "$JOBS" >build.log 2>&1 || { grep -B2 -A12 'FAILED\|error:' build.log | head -60 >&2; exit 1; }
cmake --install build >/dev/null
# Its licence texts come from scripts/windows-qt-licenses.sh.
cd "$CACHE"
rm -rf "$WORK"
touch "$PREFIX/.complete"
echo "$PREFIX"
