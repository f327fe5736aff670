#!/bin/sh
# Installs the Debian packages that building, running and testing need,
# skipping those already present. Safe to run again; needs root (or sudo)
# only when something is missing. Every name exists on Debian 12 and 13 alike:
# no versioned names (libclang-rt-dev follows the default clang).
set -eu

PACKAGES="
  build-essential cmake make pkg-config
  qt6-base-dev qt6-base-private-dev qt6-qpa-plugins qt6-translations-l10n libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-dev
  fonts-ipafont-gothic
  xvfb xauth
  openbox xfwm4 mutter xwayland qt6-wayland xdotool x11-utils dbus-daemon dbus-bin
  ibus ibus-mozc
  dpkg-dev file desktop-file-utils lintian appstream man-db
  shellcheck
"

missing=""
for p in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing="$missing $p"
  fi
done

[ -z "$missing" ] && exit 0

echo "Installing:$missing"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO=sudo; else
    echo "Missing packages:$missing. Run this script as root to install them." >&2
    exit 1
  fi
fi
export DEBIAN_FRONTEND=noninteractive
# Another install may hold the package lock (an unattended upgrade, a second
# build): wait for it rather than fail.
WAIT="-o DPkg::Lock::Timeout=600"
# shellcheck disable=SC2086
$SUDO apt-get $WAIT update -qq
# shellcheck disable=SC2086
$SUDO apt-get $WAIT install -y -qq --no-install-recommends $missing
