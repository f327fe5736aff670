#!/bin/bash
# Takes the README's screenshots: the wizard's two step windows over the
# backdrop, typed through as a user would, on a virtual X display.
# Usage: scripts/screenshot.sh [build dir]   (writes docs/screenshot-step*.png)
set -euo pipefail

if [ -z "${DISPLAY:-}" ]; then
    for p in xvfb xauth openbox xdotool imagemagick; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing="${missing:-} $p"
    done
    if [ -n "${missing:-}" ]; then
        # shellcheck disable=SC2086 # one word per package
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
    fi
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi

top=$(cd "$(dirname "$0")/.." && pwd)
program="$top/${1:-build}/app/vesmira"
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
export XDG_RUNTIME_DIR="$work"

openbox >/dev/null 2>&1 &
sleep 0.5
"$program" &
xdotool search --sync --name 'STEP1' >/dev/null
sleep 0.5

# Birth date 10 May 1985, typed into the focused fields.
xdotool key Tab ctrl+a && xdotool type 1985
xdotool key Tab ctrl+a && xdotool type 5
xdotool key Tab ctrl+a && xdotool type 10
sleep 0.3
import -window root "$top/docs/screenshot-step1.png"

# On to the schools: 高等学校 as offered, then 大学 after one year of 浪人.
xdotool key Return
xdotool search --sync --name 'STEP2' >/dev/null
sleep 0.3
xdotool key Return
sleep 0.3
# xdotool types the Japanese character through a remapped key.
xdotool key ctrl+a BackSpace
xdotool type --delay 80 "大"
xdotool key Tab Tab ctrl+a && xdotool type 1
sleep 0.3
import -window root "$top/docs/screenshot-step2.png"
echo "wrote docs/screenshot-step1.png and docs/screenshot-step2.png"
