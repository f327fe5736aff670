#!/bin/sh
# Installs what the Windows build needs, skipping what is present: the
# mingw-w64 cross compiler (posix threads, which the toolkit needs), NSIS,
# Wine, icoutils (the programs' icon), the host toolkit of the same version,
# GoogleTest's sources (built for Windows with the tests), a deb-src entry
# and the Japanese locale (Wine's own title bars need it). Needs root only
# when something is missing.
set -eu

# shellcheck source=/dev/null
. /etc/os-release
if [ "${VERSION_CODENAME:-}" != bookworm ]; then
  echo "make windows needs Debian 12 (bookworm): its toolkit source is the 6.4 the build is made for." >&2
  exit 1
fi

PACKAGES="
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64 mingw-w64-tools
  binutils-mingw-w64-x86-64
  cmake ninja-build dpkg-dev googletest
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n
  nsis icoutils wine wine64 zip unzip locales
  xvfb xauth openbox xdotool x11-utils fonts-ipafont-gothic
"

SUDO=""
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null 2>&1; then SUDO=sudo; fi
WAIT="-o DPkg::Lock::Timeout=600"
export DEBIAN_FRONTEND=noninteractive
updated=""

# The toolkit's source comes through apt-get source, which needs deb-src
# entries for the machine's own mirror and suites.
SRC=/etc/apt/sources.list.d/vesmira-deb-src.sources
if ! grep -rqs '^Types:.*deb-src' /etc/apt/sources.list.d/ && ! grep -qs '^deb-src' /etc/apt/sources.list; then
  if [ -f /etc/apt/sources.list.d/debian.sources ]; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $SUDO tee "$SRC" >/dev/null
  else
    printf 'Types: deb-src\nURIs: http://deb.debian.org/debian\nSuites: bookworm\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
      $SUDO tee "$SRC" >/dev/null
  fi
  # shellcheck disable=SC2086
  $SUDO apt-get $WAIT update -qq
  updated=1
fi

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing="$missing $p"
  fi
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  # shellcheck disable=SC2086
  [ -n "$updated" ] || $SUDO apt-get $WAIT update -qq
  # shellcheck disable=SC2086
  $SUDO apt-get $WAIT install -y -qq --no-install-recommends $missing
fi

if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  $SUDO sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  $SUDO locale-gen >/dev/null
fi
