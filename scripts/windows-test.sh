#!/bin/sh
# make test-windows: the cross-built tests under Wine, then the installed
# program's whole road (scripts/windows-road.sh). Wine runs in a prefix of
# the build folder's own, on an X server of its own, so that nothing of the
# user's Wine is touched.
set -eu
cd "$(dirname "$0")/.."
DIR=${WINDOWS_DIR:-build-windows}
JOBS=${JOBS:-$(nproc)}

export WINEPREFIX="$PWD/$DIR/wine"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
unset QT_QPA_PLATFORM

pipe=$(mktemp -u)
mkfifo "$pipe"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$pipe" 2>/dev/null &
xvfb=$!
read -r number <"$pipe"
rm -f "$pipe"
export DISPLAY=":$number"
# Wine leaves the frames and the activation of its windows to the X window
# manager: without one, no window becomes active.
openbox >/dev/null 2>&1 &
wm=$!
# shellcheck disable=SC2317 # called by the trap
stop() {
  wineserver -k 2>/dev/null || /usr/lib/wine/wineserver -k 2>/dev/null || true
  kill "$wm" "$xvfb" 2>/dev/null || true
}
trap stop EXIT INT TERM

[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1
status=0
JOBS=$JOBS ./scripts/run-tests.sh "$DIR" || status=1
./scripts/windows-road.sh "$DIR" || status=1
exit "$status"
