#!/bin/sh
# Builds the probes of bench/ in Release, in a build folder of their own, and
# prints: start-up of the wizard against an empty window and against the
# toolkit's floor for its first screen (time to the first paint, wall time and
# peak memory, medians of PAIRS alternating rounds, and their ratios), the
# same phase by phase (with callgrind's instruction counts where valgrind is
# installed), the latency of each step of a typical use, and the Google
# Benchmark table of the logic and the step files. Start-up and steps run on
# the offscreen platform and, where xvfb-run is installed, on a real X server
# too.
set -eu
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "$self")/.."

BENCH_DIR=${BENCH_DIR:-build-bench}
PAIRS=${PAIRS:-15}
JOBS=${JOBS:-$(nproc)}
SCREEN=${SCREEN:-1280x1024x24}
probes="$BENCH_DIR/bench"

suite() {
    echo "-- start-up: bench_startup against bench_baseline and bench_floor"
    counts=""
    if command -v valgrind >/dev/null 2>&1; then counts=--callgrind; fi
    # shellcheck disable=SC2086 # an option or nothing
    "$probes/bench_run" $counts "$PAIRS" "$probes/bench_baseline" "$probes/bench_floor" \
        "$probes/bench_startup"
    echo "-- steps: bench_steps"
    # The probe writes its step files in a folder of its own; its diagnostics
    # (the offscreen platform warns about every window) are not the result.
    "$probes/bench_steps" 2>"$log" || { cat "$log" >&2; exit 1; }
}

if [ "${1:-}" = "--suite" ]; then
    log=$(mktemp)
    trap 'rm -f "$log"' EXIT
    suite
    exit 0
fi

# Qt warns on every start without a runtime folder of the user's.
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR
bus_pid=""
trap 'rm -rf "$XDG_RUNTIME_DIR"; [ -z "$bus_pid" ] || kill "$bus_pid"' EXIT

# A desktop session has a message bus, which every program on the toolkit
# joins as it shows its first window (for assistive tools). Without one, each
# start would run dbus-launch to look for one, some 10 ms that have nothing
# to do with the program; so the probes get a bus of their own, as on a
# desktop.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && command -v dbus-daemon >/dev/null 2>&1; then
    bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 2>/dev/null) || bus=""
    if [ -n "$bus" ]; then
        DBUS_SESSION_BUS_ADDRESS=$(echo "$bus" | sed -n 1p)
        bus_pid=$(echo "$bus" | sed -n 2p)
        export DBUS_SESSION_BUS_ADDRESS
    fi
fi

# A window manager maximises the backdrop (and frames and activates the
# windows) as on a desktop; the probes only need one for that. Callgrind
# counts the instructions of each phase of the start, which, unlike times, do
# not depend on what else the machine is doing. Both are only for make bench,
# so they are fetched here, where allowed, rather than by install-deps.sh.
wanted=""
for tool in openbox valgrind; do
    command -v "$tool" >/dev/null 2>&1 || wanted="$wanted $tool"
done
if [ -n "$wanted" ] && [ "$(id -u)" -eq 0 ]; then
    # shellcheck disable=SC2086 # a list of names
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq \
        --no-install-recommends $wanted >/dev/null 2>&1 || true
fi

echo "building the probes in $BENCH_DIR (Release)"
build_log="$XDG_RUNTIME_DIR/build.log"
{
    cmake -S . -B "$BENCH_DIR" -DCMAKE_BUILD_TYPE=Release -DVESMIRA_BENCH=ON -DVESMIRA_TESTS=OFF &&
        cmake --build "$BENCH_DIR" -j "$JOBS" --target bench_run bench_baseline bench_floor \
            bench_startup bench_steps bench_core
} >"$build_log" 2>&1 || { cat "$build_log" >&2; exit 1; }

echo
echo "== offscreen platform"
QT_QPA_PLATFORM=offscreen "$self" --suite


if command -v xvfb-run >/dev/null 2>&1; then
    echo
    if command -v openbox >/dev/null 2>&1; then
        echo "== X server (Xvfb $SCREEN, openbox)"
        # shellcheck disable=SC2016 # expanded by the inner shell
        xvfb-run -a -s "-screen 0 $SCREEN" sh -c \
            'openbox >/dev/null 2>&1 & wm=$!; sleep 1; env -u QT_QPA_PLATFORM "$1" --suite; status=$?; kill $wm; exit $status' \
            sh "$self"
    else
        echo "== X server (Xvfb $SCREEN, no window manager: the backdrop is not maximised)"
        xvfb-run -a -s "-screen 0 $SCREEN" env -u QT_QPA_PLATFORM "$self" --suite
    fi
else
    echo
    echo "== X server: skipped, xvfb-run is not installed"
fi

echo
echo "== logic and step files (Google Benchmark)"
"$probes/bench_core" 2>&1
