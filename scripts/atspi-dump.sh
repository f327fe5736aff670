#!/bin/bash
# What a screen reader is told along the whole road: STEP1 -> STEP2 -> STEP3
# -> 戻る -> 完了 dialog -> OK -> STEP1, typed as a keyboard user would, on a
# virtual X display with a window manager and an AT-SPI bus. Prints a dump of
# the program's windows after each step, then the events seen on the way
# (name changes, focus moves, window activations). On demand, not in CI.
# Usage: scripts/atspi-dump.sh [build dir]
set -euo pipefail

if [ -z "${DISPLAY:-}" ]; then
    for p in xvfb xauth openbox xdotool dbus-daemon at-spi2-core python3-pyatspi; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
            missing="${missing:-} $p"
    done
    if [ -n "${missing:-}" ]; then
        # shellcheck disable=SC2086
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
    fi
    exec xvfb-run -a -s "-screen 0 1024x768x24" dbus-run-session -- "$0" "$@"
fi

top=$(cd "$(dirname "$0")/.." && pwd)
program="$top/${1:-build}/app/vesmira"
probe="$top/scripts/atspi_probe.py"
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
export XDG_RUNTIME_DIR="$work"
chmod 700 "$work"

/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
pids+=($!)
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1
/usr/bin/python3 "$probe" listen >"$work/events" 2>&1 &
pids+=($!)
QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$program" 2>/dev/null &
pids+=($!)
xdotool search --sync --onlyvisible --name 'STEP1' >/dev/null
sleep 1.5  # the toolkit joins the accessibility bus a moment after start

dump() { sleep 0.7; /usr/bin/python3 "$probe" dump "$1"; }
key() { xdotool key --delay 100 "$@"; }

dump "STEP1 at start"
key Return
xdotool search --sync --onlyvisible --name 'STEP2' >/dev/null
dump "STEP2 (Enter on STEP1)"
key Return
dump "STEP3 (Enter on STEP2: 高等学校 as offered)"
key shift+Tab Return  # from the school combo box back to 戻る
dump "STEP2 (戻る)"
key Tab Tab Tab Tab Tab space  # 戻る -> ... -> 最終学歴, ticked
dump "STEP2 with 最終学歴 ticked"
key alt+t
dump "STEP2 after Alt+T"
key Return
xdotool search --sync --onlyvisible --name '^情報$' >/dev/null
dump "完了 dialog"
key Return
xdotool search --sync --onlyvisible --name 'STEP1' >/dev/null
dump "STEP1 after OK"
sleep 0.5
echo "=== events on the way"
cat "$work/events"
