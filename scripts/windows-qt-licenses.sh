#!/bin/sh
# Copies the licence texts of the toolkit and of what its static build for
# Windows (QtCore, QtGui, QtWidgets, the Windows platform plugin and the image
# plugins) carries inside the program, out of Debian's source package of the
# host's version, into PREFIX/licenses/source/ under their paths in that
# source. The Windows packages take them from there (packaging/windows).
# A later call for the same version only checks they are there.
# Usage: windows-qt-licenses.sh PREFIX   (PREFIX as scripts/windows-qt.sh prints it)
set -eu

PREFIX=${1:?usage: windows-qt-licenses.sh PREFIX}
CACHE=${VESMIRA_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/vesmira-windows}
FULL=$(dpkg-query -W -f='${Version}' qt6-base-dev)
OUT=$PREFIX/licenses/source

# Each path once, as in the source; what each is for is in
# packaging/windows/LICENSES.txt.in.
FILES="
LICENSES/LGPL-3.0-only.txt
LICENSES/GPL-3.0-only.txt
LICENSES/GPL-2.0-or-later.txt
debian/copyright
src/3rdparty/freetype/LICENSE.txt
src/3rdparty/freetype/docs/FTL.TXT
src/3rdparty/freetype/BDF-LICENSE.txt
src/3rdparty/freetype/PCF-LICENSE.txt
src/3rdparty/freetype/ZLIB-LICENSE.txt
src/3rdparty/harfbuzz-ng/COPYING
src/3rdparty/libpng/LICENSE
src/3rdparty/libjpeg/LICENSE
src/3rdparty/libjpeg/ijg-license.txt
src/3rdparty/libjpeg/zlib-license.txt
src/3rdparty/zlib/LICENSE
src/3rdparty/pcre2/LICENCE
src/3rdparty/pcre2/LICENCE-SLJIT
src/3rdparty/md4c/LICENSE.md
src/3rdparty/double-conversion/LICENSE
src/3rdparty/tinycbor/LICENSE
src/3rdparty/blake2/COPYING
src/3rdparty/sha3/CC0_LICENSE
src/3rdparty/sha3/BRG_ENDIAN_LICENSE
src/3rdparty/rfc6234/LICENSE
src/3rdparty/easing/LICENSE
src/3rdparty/icc/LICENSE.txt
src/corelib/text/UNICODE_LICENSE.txt
src/corelib/tools/LICENSE.siphash
src/gui/painting/QIMAGETRANSFORM_LICENSE.txt
src/gui/painting/XCONSORTIUM_LICENSE.txt
src/gui/text/AGLFN_LICENSE.txt
util/gradientgen/WEBGRADIENTS_LICENSE.txt
"

have_all() {
  for f in $FILES; do
    [ -s "$OUT/$f" ] || return 1
  done
  [ "$(cat "$OUT/.version" 2>/dev/null)" = "$FULL" ]
}

if have_all; then
  echo "$OUT"
  exit 0
fi

mkdir -p "$CACHE"
WORK=$(mktemp -d "$CACHE/licenses.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
apt-get source -qq --download-only "qt6-base=$FULL" >/dev/null
orig=$(ls qt6-base_*.orig.tar.*)
top=$(tar -tf "$orig" | head -1 | cut -d/ -f1)
members=
for f in $FILES; do
  case $f in
    debian/*) ;;
    *) members="$members $top/$f" ;;
  esac
done
# shellcheck disable=SC2086 # one member each
tar -xf "$orig" $members
mkdir -p "$top/debian"
tar -xf qt6-base_*.debian.tar.* debian/copyright
mv debian/copyright "$top/debian/copyright"

rm -rf "$OUT"
for f in $FILES; do
  mkdir -p "$OUT/$(dirname "$f")"
  cp "$top/$f" "$OUT/$f"
done
echo "$FULL" >"$OUT/.version"
echo "$OUT"
